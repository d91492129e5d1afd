// TVeldarXmlDoc: loading and saving its file and the guarded update cycle.

#include "keyedconfig/VeldarXmlDoc.h"
#include "keyedconfig/Veldarmark.h"
#include "platform/base/ExceptionText.h"
#include "platform/base/Utf.h"
#include "xml/XmlStreams.h"

#include <cerrno>
#include <exception>

namespace orvex {

namespace {

class EHeldFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace

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
        std::string bytes;
        char buffer[65536];
        for (;;) {
            const int64_t got = file.Read(buffer, sizeof buffer);
            if (got < 0) {
                reason = Utf8ToUtf16(OsErrorMessage(errno));
                return false;
            }
            if (got == 0)
                break;
            bytes.append(buffer, static_cast<size_t>(got));
        }
        TxmUTF8StringStream stream(std::move(bytes));
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
        if (fileReloaded && FVeldarmark && FVeldarmark->OnKeyedFileReloaded) {
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
