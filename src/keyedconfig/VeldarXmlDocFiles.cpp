// TVeldarXmlDoc: loading and saving its file and the guarded update cycle.

#include "base/ExceptionText.h"
#include "base/Utf.h"
#include "keyedconfig/VeldarXmlDoc.h"
#include "keyedconfig/Veldarmark.h"
#include "xml/XmlStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace orvex {

namespace {

class EHeldFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr std::u16string_view kCharactersLost =
    u"Characters lost reading the file: some of its bytes are no text in its encoding";

// The file read as a stream, so a load holds a window of it, not all of it.
class TSharedFileStream : public TStream {
public:
    explicit TSharedFileStream(TSharedFile& file) : FFile(file) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t got = FFile.Read(buffer, static_cast<size_t>(std::max<int64_t>(count, 0)));
        if (got < 0)
            throw std::runtime_error(OsErrorMessage(errno));
        return got;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        return FFile.Seek(offset, origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END);
    }

private:
    TSharedFile& FFile;
};

} // namespace

void TVeldarXmlDoc::DoUnicodeLoss() {
    std::u16string warning(kCharactersLost);
    if (const std::u16string detail = FileNameDetail(); !detail.empty())
        warning.append(u"\r\nFilename: ").append(detail);
    FWarnings.push_back(std::move(warning));
    TWideXmlDocument::DoUnicodeLoss();
}

void TVeldarXmlDoc::SnapshotContent() { FContentBeforeChanges = TUtf8XmlDocument::WriteToString(); }

void TVeldarXmlDoc::TakeSnapshot() {
    FContentBeforeChanges = TUtf8XmlDocument::WriteToString();
    GetFileAge(FFilePathAndName, FFileAgeBeforeChanges);
    FFileStampBeforeChanges = FileStampOf(FFilePathAndName);
}

bool TVeldarXmlDoc::HasChangedOnDisk() const {
    if (FFilePathAndName.empty())
        return false;
    return FileChangedSince(FFilePathAndName, FFileAgeBeforeChanges) ||
           FileStampOf(FFilePathAndName) != FFileStampBeforeChanges;
}

bool TVeldarXmlDoc::ValidatesForFile(std::u16string& reason) {
    try {
        return ValidatesOK(reason);
    } catch (const std::exception& e) {
        // A report that cannot be built (a node path beyond its limit) still fails the file.
        reason = ExceptionMessage(e);
        return false;
    }
}

bool TVeldarXmlDoc::ReadFileContent(std::u16string& reason) {
    try {
        int error = 0;
        TSharedFile file = TSharedFile::Open(FFilePathAndName, faRead, fsRead | fsWrite,
                                             TFileDisposition::fdOpenExisting, error);
        if (!file.IsOpen()) {
            reason = Utf8ToUtf16(OsErrorMessage(error));
            return false;
        }
        TSharedFileStream stream(file);
        FLast.Reset(); // its nodes go with the old tree
        LoadFromStream(stream);
        return true;
    } catch (const std::exception& e) {
        reason = ExceptionMessage(e);
        return false;
    }
}

bool TVeldarXmlDoc::LoadFile() {
    // Refused before anything changes, so the update keeps its loaded document.
    if (FUpdateInProgress)
        RaiseErrorFmt(VeldarMessage(vmNotAllowedDuringUpdate), {u"LoadFile"}, u"LoadFile");
    FXmlOK = false;
    FFileLoaded = false;
    const std::u16string_view verb = VeldarMessage(vmVerbLoad);
    // Stamped before reading: a change made while we read shows as a change later.
    TDateTime age = 0;
    GetFileAge(FFilePathAndName, age);
    const TFileStamp stamp = FileStampOf(FFilePathAndName);
    std::u16string reason;
    if (!stamp.Exists) {
        FLastError = FormatFileError(verb, VeldarMessage(vmFileNotFound));
    } else if (!ReadFileContent(reason)) {
        FLastError = FormatFileError(verb, reason);
    } else if (std::u16string invalid; !ValidatesForFile(invalid)) {
        FLastError = FormatFileError(verb, invalid);
    } else {
        FXmlOK = true;
        FFileLoaded = true;
        FLastError.clear();
    }
    FContentBeforeChanges = TUtf8XmlDocument::WriteToString();
    FFileAgeBeforeChanges = age;
    FFileStampBeforeChanges = stamp;
    return FFileLoaded;
}

bool TVeldarXmlDoc::WriteDocumentAtomically(std::u16string& reason) {
    // Serialised in full before the file is touched: a failure here changes nothing.
    std::string bytes;
    try {
        TxmUTF8StringStream stream;
        SaveToStream(stream);
        bytes = stream.TakeDataString();
    } catch (const std::exception& e) {
        reason = ExceptionMessage(e);
        return false;
    }
    return WriteFileRespectingHolds(FFilePathAndName, bytes, FUpdateInProgress, reason);
}

bool TVeldarXmlDoc::SaveFile() {
    if (FUpdateInProgress)
        RaiseErrorFmt(VeldarMessage(vmNotAllowedDuringUpdate), {u"SaveFile"}, u"SaveFile");
    if (!FFileLoaded)
        RaiseError(VeldarMessage(vmSaveFileBeforeLoadFile), u"SaveFile");
    const std::u16string_view verb = VeldarMessage(vmVerbSave);
    if (FDeleteEmptyNodesOnSave && Root())
        Root()->DeleteEmptyNodes();
    std::u16string reason;
    if (!ValidatesForFile(reason) || !WriteDocumentAtomically(reason)) {
        FLastError = FormatFileError(verb, reason);
        return false;
    }
    TakeSnapshot();
    return true;
}

bool TVeldarXmlDoc::BeginUpdate(bool& fileReloaded) {
    fileReloaded = false;
    if (FUpdateInProgress)
        RaiseError(VeldarMessage(vmBeginUpdateTwice), u"BeginUpdate");
    if (TUtf8XmlDocument::WriteToString() != FContentBeforeChanges)
        RaiseError(VeldarMessage(vmChangesBeforeBeginUpdate), u"BeginUpdate");
    std::u16string verb = u"BeginUpdate";
    try {
        int error = 0;
        auto held = std::make_unique<TSharedFile>(TSharedFile::Open(
            FFilePathAndName, faRead | faWrite, fsRead, TFileDisposition::fdOpenExisting, error));
        if (!held->IsOpen())
            throw EHeldFileError(OsErrorMessage(error));
        FFileStreamForUpdate = std::move(held);
        // Looked at once the file is held, so no writer can slip in after the check.
        if (HasChangedOnDisk()) {
            if (!LoadFile()) {
                ReleaseUpdateFile();
                return false;
            }
            fileReloaded = true;
        }
        FUpdateInProgress = true;
        if (fileReloaded && FVeldarmark && IsEventAssigned(FVeldarmark->OnKeyedFileReloaded)) {
            verb = u"BeginUpdate (" + std::u16string(VeldarMessage(vmWordErrorIn)) +
                   u" OnKeyedFileReloaded)";
            FVeldarmark->OnKeyedFileReloaded(FVeldarKey);
        }
        return true;
    } catch (const std::exception& e) {
        FLastError = FormatFileError(verb, ExceptionMessage(e));
        ReleaseUpdateFile();
        FUpdateInProgress = false;
        return false;
    }
}

void TVeldarXmlDoc::CancelUpdate() {
    if (!FUpdateInProgress)
        RaiseError(VeldarMessage(vmCancelUpdateWithoutBegin), u"CancelUpdate");
    FUpdateInProgress = false;
    ReleaseUpdateFile();
    FLast.Reset(); // its nodes go with the discarded tree
    TUtf8XmlDocument::ReadFromString(FContentBeforeChanges);
}

bool TVeldarXmlDoc::EndUpdate() {
    if (!FUpdateInProgress)
        RaiseError(VeldarMessage(vmEndUpdateWithoutBegin), u"EndUpdate");
    if (FDeleteEmptyNodesOnSave && Root())
        Root()->DeleteEmptyNodes();
    std::u16string reason;
    if (!ValidatesForFile(reason) || !WriteDocumentAtomically(reason)) {
        FLastError = FormatFileError(u"EndUpdate for", reason);
        CancelUpdate();
        return false;
    }
    TakeSnapshot();
    FUpdateInProgress = false;
    ReleaseUpdateFile();
    return true;
}

} // namespace orvex
