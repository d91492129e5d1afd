#include "keyedconfig/VeldarKey.h"

#include "base/ExceptionText.h"
#include "base/TextFormat.h"
#include "keyedconfig/Veldarmark.h"
#include "xml/XmlStreams.h"

#include <exception>

namespace orvex {

TVeldarKey::TVeldarKey(TVeldarmark* owner, int keyIndex, std::u16string_view keyedFileName,
                       std::u16string_view requiredRootNodeName, const TKeyedDetail& keyedDetail)
    : TComponent(owner), FMap(owner), FKeyIndex(keyIndex), FKeyedDetail(keyedDetail),
      FKeyedFileName(keyedFileName), FKeyedFilePath(FolderOfFile(keyedFileName)),
      FKeyedFilePathParentDir(ParentFolderOf(keyedFileName)),
      FKeyedFileRootNodeName(requiredRootNodeName) {
    auto document = std::make_unique<TVeldarXmlDoc>(FKeyedFileName, FKeyedFileRootNodeName,
                                                    FKeyedDetail.ContextValue, u"context");
    document->SetOwners(FMap, this);
    document->SetXmlFormat(xfCompact);
    document->SnapshotContent();
    FKeyedFile = std::move(document);
    if (!FileExistsAt(FKeyedFileName))
        FKeyedFile->SetLastError(FKeyedFile->FormatFileError(VeldarMessage(vmVerbLocate),
                                                             VeldarMessage(vmFileNotFound)));
}

TVeldarKey::~TVeldarKey() = default;

bool TVeldarKey::KeyedFileExists() const { return FileExistsAt(FKeyedFileName); }

void TVeldarKey::SetKeyedFile(std::unique_ptr<TVeldarXmlDoc> document) {
    FKeyedFile = std::move(document);
}

bool TVeldarKey::CreateKeyedFileFromString(std::u16string_view fileContents,
                                           std::u16string& errorMessage) {
    errorMessage.clear();
    if (FKeyedFile && FKeyedFile->UpdateInProgress())
        FMap->RaiseMapErrorFmt(VeldarMessage(vmNotAllowedDuringUpdate), {u"CreateKeyedFileFromString"},
                               u"CreateKeyedFileFromString");
    const std::u16string_view create = VeldarMessage(vmVerbCreate);
    const std::u16string fileDetail = FKeyedFile ? FKeyedFile->FileNameDetail() : std::u16string();
    try {
        TWideXmlDocument parsed;
        parsed.ReadFromString(fileContents);
        parsed.SetXmlFormat(xfCompact);
        std::u16string folderError;
        if (!ForceFolderOf(FKeyedFileName, folderError)) {
            errorMessage = FormatTolerant(
                VeldarMessage(vmUnableKeyedFile),
                {create, FKeyedDetail.KeyDesc,
                 fileDetail + u": unable to create folders in path - " + folderError},
                TMissingValue::StaysVisible);
            return false;
        }
        TxmUTF8StringStream bytes;
        parsed.SaveToStream(bytes);
        std::u16string reason;
        if (WriteFileRespectingHolds(FKeyedFileName, bytes.DataString(), false, reason))
            return true;
        errorMessage = FormatTolerant(VeldarMessage(vmUnableKeyedFile),
                                      {create, FKeyedDetail.KeyDesc, fileDetail + u": " + reason},
                                      TMissingValue::StaysVisible);
        return false;
    } catch (const std::exception& e) {
        errorMessage =
            FormatTolerant(VeldarMessage(vmUnableKeyedFile),
                           {create, FKeyedDetail.KeyDesc, fileDetail + u": " + ExceptionMessage(e)},
                           TMissingValue::StaysVisible);
        return false;
    }
}

} // namespace orvex
