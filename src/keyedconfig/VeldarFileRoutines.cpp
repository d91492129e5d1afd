#include "keyedconfig/VeldarFileRoutines.h"

#include "base/AtomicFile.h"
#include "base/ExceptionText.h"
#include "base/SharedFile.h"
#include "base/Utf.h"
#include "keyedconfig/VeldarErrors.h"
#include "keyedconfig/VeldarKeyTypes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace orvex {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 as a TDateTime

bool StatOf(std::u16string_view fileName, struct stat& info) {
    if (fileName.empty())
        return false;
    return ::stat(Utf16ToUtf8(fileName).c_str(), &info) == 0;
}

} // namespace

void KeyTypeElementNames(TVeldarKeyType keyType, std::u16string& elementName,
                         std::u16string& answerAttribute) {
    switch (keyType) {
    case ktFolder:
        elementName = u"Key2Folder";
        answerAttribute = u"folder";
        return;
    case ktValue:
        elementName = u"Key2Value";
        answerAttribute = u"value";
        return;
    case ktFile:
        break;
    }
    elementName = u"Key2File";
    answerAttribute = u"filename";
}

bool GetFileAge(std::u16string_view fileName, TDateTime& age) {
    age = 0;
    struct stat info {};
    if (!StatOf(fileName, info) || !S_ISREG(info.st_mode))
        return false;
    struct tm local {};
    const time_t seconds = info.st_mtim.tv_sec;
    if (!::localtime_r(&seconds, &local))
        return false;
    // The local wall time of the file, as the days-and-fraction count of TDateTime.
    const double localSeconds = static_cast<double>(seconds) + static_cast<double>(local.tm_gmtoff);
    age = kUnixEpochDays + (localSeconds + info.st_mtim.tv_nsec / 1e9) / kSecondsPerDay;
    return true;
}

bool FileChangedSince(std::u16string_view fileName, TDateTime age) {
    TDateTime now = 0;
    return !GetFileAge(fileName, now) || now != age;
}

TFileStamp FileStampOf(std::u16string_view fileName) {
    TFileStamp stamp;
    struct stat info {};
    if (!StatOf(fileName, info) || !S_ISREG(info.st_mode))
        return stamp;
    stamp.Exists = true;
    stamp.Seconds = info.st_mtim.tv_sec;
    stamp.Nanoseconds = info.st_mtim.tv_nsec;
    stamp.Size = info.st_size;
    stamp.Inode = info.st_ino;
    stamp.Device = info.st_dev;
    return stamp;
}

bool WriteFileRespectingHolds(std::u16string_view fileName, std::string_view bytes, bool heldByCaller,
                              std::u16string& reason) {
    try {
        TSharedFile probe;
        if (!heldByCaller && FileExistsAt(fileName)) {
            // Kept open until the rename, so no update can take the file in between.
            int error = 0;
            probe = TSharedFile::Open(fileName, faWrite, fsRead | fsWrite, TFileDisposition::fdOpenExisting,
                                      error);
            if (!probe.IsOpen()) {
                reason = Utf8ToUtf16(OsErrorMessage(error));
                return false;
            }
        }
        WriteFileAtomically(fileName, bytes);
        return true;
    } catch (const std::exception& e) {
        reason = ExceptionMessage(e);
        return false;
    }
}

bool FileExistsAt(std::u16string_view fileName) {
    struct stat info {};
    return StatOf(fileName, info) && S_ISREG(info.st_mode);
}

bool FolderExistsAt(std::u16string_view folder) {
    struct stat info {};
    return StatOf(folder, info) && S_ISDIR(info.st_mode);
}

bool ForceFolderOf(std::u16string_view fileName, std::u16string& errorText) {
    errorText.clear();
    std::u16string folder = FolderOfFile(fileName);
    while (folder.size() > 1 && folder.back() == u'/')
        folder.pop_back();
    if (folder.empty() || FolderExistsAt(folder))
        return true;
    const std::string native = Utf16ToUtf8(folder);
    for (size_t slash = native.find('/', 1);; slash = native.find('/', slash + 1)) {
        const std::string level = native.substr(0, slash);
        if (::mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) {
            errorText = Utf8ToUtf16(std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    if (!FolderExistsAt(folder)) {
        errorText = Utf8ToUtf16(std::strerror(ENOTDIR));
        return false;
    }
    return true;
}

bool IsRootedPath(std::u16string_view path) { return !path.empty() && path[0] == u'/'; }

std::u16string FolderOfFile(std::u16string_view fileName) {
    const size_t slash = fileName.find_last_of(u'/');
    return slash == std::u16string_view::npos ? std::u16string()
                                              : std::u16string(fileName.substr(0, slash + 1));
}

std::u16string FileNameOnly(std::u16string_view fileName) {
    const size_t slash = fileName.find_last_of(u'/');
    return std::u16string(slash == std::u16string_view::npos ? fileName : fileName.substr(slash + 1));
}

std::u16string FileNameWithoutExtension(std::u16string_view fileName) {
    std::u16string name = FileNameOnly(fileName);
    const size_t dot = name.find_last_of(u'.');
    if (dot != std::u16string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::u16string ParentFolderOf(std::u16string_view fileName) {
    std::u16string folder = FolderOfFile(fileName);
    if (folder.size() > 1)
        folder.pop_back();
    return FolderOfFile(folder);
}

std::u16string WithTrailingDelimiter(std::u16string_view path) {
    std::u16string result(path);
    if (!result.empty() && result.back() != u'/')
        result += u'/';
    return result;
}

void MoveNodeToFront(TWideXmlNode* node) {
    if (!node)
        return;
    TWideXmlNode* parent = node->ListingParent();
    if (!parent || parent->NodeIndexOf(node) <= 0)
        return;
    std::unique_ptr<TWideXmlNode> taken = parent->NodeExtract(node);
    parent->NodeInsert(0, std::move(taken));
}

void MoveContextAttributeLast(TWideXmlNode* node, std::u16string_view contextAttributeID) {
    if (!node || contextAttributeID.empty())
        return;
    const int index = node->AttributeIndexByName(contextAttributeID);
    if (index < 0)
        return;
    // Exchanging keeps the stored (escaped) text exactly as it was.
    for (int i = index; i + 1 < node->AttributeCount(); ++i)
        node->AttributeExchange(i, i + 1);
}

std::vector<std::u16string> PropertyList(std::initializer_list<TPublishedProperty> properties) {
    std::vector<const TPublishedProperty*> byName;
    for (const TPublishedProperty& property : properties)
        byName.push_back(&property);
    std::stable_sort(byName.begin(), byName.end(),
                     [](const TPublishedProperty* a, const TPublishedProperty* b) { return a->Name < b->Name; });
    std::vector<std::u16string> lines;
    lines.reserve(byName.size());
    for (const TPublishedProperty* property : byName)
        lines.push_back(std::u16string(property->Name).append(u"=").append(property->Value));
    return lines;
}

std::u16string PropertyText(bool value) { return value ? u"True" : u"False"; }

std::u16string SetPropertyText(const std::vector<std::u16string_view>& setElements) {
    std::u16string text(u"[");
    for (size_t i = 0; i < setElements.size(); ++i)
        text.append(i ? u"," : u"").append(setElements[i]);
    return text.append(u"]");
}

} // namespace orvex
