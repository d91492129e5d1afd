#include "engine/BackupDocument.h"

#include "base/AsciiText.h"
#include "base/AtomicFile.h"
#include "base/CaseFold.h"
#include "base/Utf.h"
#include "engine/BackupGrammar.h"
#include "engine/EngineState.h"
#include "engine/PropertyText.h"
#include "xml/XmlErrors.h"
#include "xml/XmlStreams.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

namespace orvex {

namespace {

struct TFileStamp {
    std::uintmax_t Size = 0;
    std::filesystem::file_time_type Modified;
    bool operator==(const TFileStamp&) const = default;
};

struct TCachedDocument {
    std::u16string FileName;
    TFileStamp Stamp;
    std::unique_ptr<TWideXmlDocument> Document;
};

constexpr size_t kCachedDocumentCount = 2;
// The copies by file, the one used last first.
std::vector<TCachedDocument> CachedDocuments;

// The file's stamp; none when it does not exist.
std::optional<TFileStamp> StampOf(std::u16string_view fileName) {
    if (fileName.empty()) return std::nullopt;
    std::error_code error;
    const std::filesystem::path path(fileName);
    TFileStamp stamp;
    stamp.Size = std::filesystem::file_size(path, error);
    if (error) return std::nullopt;
    stamp.Modified = std::filesystem::last_write_time(path, error);
    if (error) return std::nullopt;
    return stamp;
}

bool BackupFileExists() {
    std::error_code error;
    std::filesystem::path path(BackupFileName());
    return !BackupFileName().empty() && std::filesystem::exists(path, error);
}

void ForgetCachedDocument(std::u16string_view fileName) {
    std::erase_if(CachedDocuments, [&](const TCachedDocument& cached) { return cached.FileName == fileName; });
}

} // namespace

std::unique_ptr<TWideXmlDocument> NewBackupDocument() {
    auto document = std::make_unique<TWideXmlDocument>();
    document->SetXmlFormat(xfReadable);
    document->SetExternalEncoding(seUTF8);
    return document;
}

std::unique_ptr<TWideXmlDocument> LoadBackupDocument(std::u16string_view fileName) {
    auto document = NewBackupDocument();
    try {
        document->LoadFromFile(std::u16string(fileName));
    } catch (const std::bad_alloc&) {
        document.reset();
        throw EStreamError("Cannot read file \"" + Utf16ToUtf8(fileName) + "\": there is not enough memory to read it");
    }
    return document;
}

void SaveBackupDocument(TWideXmlDocument& document) {
    document.SetXmlFormat(xfReadable);
    document.SaveToFile(BackupFileName());
    ForgetCachedDocument(BackupFileName());
}

void EnsureBackupFile() {
    if (BackupFileExists()) return;
    auto document = NewBackupDocument();
    TWideXmlNode* root = document->Root();
    root->SetName(backupxml::ElemRoot);
    root->NodeNew(backupxml::ElemMachines);
    TxmUTF8StringStream bytes;
    document->SaveToStream(bytes);
    WriteNewFileAtomically(BackupFileName(), bytes.DataString());
    ForgetCachedDocument(BackupFileName());
}

TBackupFileEdit::TBackupFileEdit() {
    FLock.Acquire(Utf16ToUtf8(BackupFileName()));  // a missing file is left to the load to report
    FDocument = LoadBackupDocument();
}

bool IsBackupElement(const TWideXmlNode& node, std::u16string_view name) {
    if (node.ElementType() != xeNormal) return false;
    // Our names are ASCII: compared in the UTF-8 bytes with the ASCII letters folded
    // only, so that neither the user's locale nor another letter (a Kelvin sign, a
    // long s) makes a match.
    const std::string_view own = node.TUtf8XmlNode::Name();
    if (own.size() != name.size()) return false;
    for (size_t i = 0; i < own.size(); ++i) {
        const auto byte = static_cast<unsigned char>(own[i]);
        if (byte >= 0x80 || AsciiLower(char16_t(byte)) != AsciiLower(name[i])) return false;
    }
    return true;
}

TWideXmlNode* FindBackupElement(const TWideXmlNode& parent, std::u16string_view name) {
    for (int i = 0; i < parent.NodeCount(); ++i)
        if (IsBackupElement(*parent.Nodes(i), name)) return parent.Nodes(i);
    return nullptr;
}

TWideXmlNode& MachinesElement(TWideXmlDocument& document) {
    TWideXmlNode* root = document.Root();
    TWideXmlNode* machines = root ? FindBackupElement(*root, backupxml::ElemMachines) : nullptr;
    if (!machines) throw EXmlError("The backup file has no Machines element");
    // A file of another kind may hold a Machines element too.
    if (!IsBackupElement(*root, backupxml::ElemRoot))
        throw EXmlError("The backup file's root element is " + Utf16ToUtf8(root->Name()) +
                        ", not Root");
    return *machines;
}

TWideXmlNode* FindMachineElement(const TWideXmlNode& machines, std::u16string_view backupName) {
    for (int i = 0; i < machines.NodeCount(); ++i) {
        TWideXmlNode* child = machines.Nodes(i);
        if (IsBackupElement(*child, backupxml::ElemMachine) &&
            SameTextIgnoreCase(child->AttributeByName(backupxml::AttrBackupName), backupName))
            return child;
    }
    return nullptr;
}

TWideXmlNode* MachineElementAt(const TWideXmlNode& machines, int index) {
    for (int i = 0; i < machines.NodeCount(); ++i) {
        TWideXmlNode* child = machines.Nodes(i);
        if (IsBackupElement(*child, backupxml::ElemMachine) &&
            index-- == 0)
            return child;
    }
    return nullptr;
}

TWideXmlNode& AppendSubDirElement(TWideXmlNode& parent, std::u16string_view path, std::u16string_view className) {
    for (std::u16string_view text : {path, className}) {
        std::u16string problem = XmlTextProblem(text, TLineControls::lcAllowed);
        if (!problem.empty())
            throw EPropertyValueError(Utf16ToUtf8(u"The name " + std::u16string(text) + u" holds " + problem));
    }
    TWideXmlNode* element = parent.NodeNew(backupxml::ElemSubDir);
    element->AttributeAdd(backupxml::AttrPath, path);
    element->AttributeAdd(backupxml::AttrClassName, className);
    return *element;
}

TWideXmlNode* FindSubDirElement(const TWideXmlNode& parent, std::u16string_view path, std::u16string_view className) {
    for (int i = 0; i < parent.NodeCount(); ++i) {
        TWideXmlNode* child = parent.Nodes(i);
        if (!IsBackupElement(*child, backupxml::ElemSubDir)) continue;
        if (!SameTextIgnoreCase(child->AttributeByName(backupxml::AttrPath), path)) continue;
        if (!className.empty() && !SameTextIgnoreCase(child->AttributeByName(backupxml::AttrClassName), className))
            continue;
        return child;
    }
    return nullptr;
}

TSubDirMap SubDirsOf(const TWideXmlNode& parent) {
    TSubDirMap map;
    for (int i = 0; i < parent.NodeCount(); ++i) {
        TWideXmlNode* child = parent.Nodes(i);
        if (IsBackupElement(*child, backupxml::ElemSubDir))
            map.emplace(CaseFoldedKey(child->AttributeByName(backupxml::AttrPath)), child);
    }
    return map;
}

TWideXmlNode* FindSubDir(const TSubDirMap& map, std::u16string_view path) {
    auto it = map.find(CaseFoldedKey(path));
    return it == map.end() ? nullptr : it->second;
}

void ResetCachedBackupDocument() { CachedDocuments.clear(); }

void LoadCachedBackupDocument(std::u16string_view fileName) {
    ForgetCachedDocument(fileName);
    GetCachedBackupDocument(fileName);
}

TWideXmlDocument* GetCachedBackupDocument(std::u16string_view fileName) {
    const std::optional<TFileStamp> stamp = StampOf(fileName);
    auto cached = std::find_if(CachedDocuments.begin(), CachedDocuments.end(),
                               [&](const TCachedDocument& entry) { return entry.FileName == fileName; });
    if (cached != CachedDocuments.end() && (!stamp || cached->Stamp != *stamp)) {
        CachedDocuments.erase(cached);
        cached = CachedDocuments.end();
    }
    if (!stamp) return nullptr;
    if (cached == CachedDocuments.end()) {
        TCachedDocument entry{std::u16string(fileName), *stamp, LoadBackupDocument(fileName)};
        if (CachedDocuments.size() >= kCachedDocumentCount) CachedDocuments.pop_back();
        CachedDocuments.insert(CachedDocuments.begin(), std::move(entry));
    } else {
        std::rotate(CachedDocuments.begin(), cached, cached + 1);
    }
    return CachedDocuments.front().Document.get();
}

} // namespace orvex
