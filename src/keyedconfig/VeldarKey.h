#pragma once
// TVeldarKey: an activated key of a keybox map. It owns the keyed document of the
// file the key resolved to; the document is not read until asked.

#include <memory>
#include <string>
#include <string_view>

#include "keyedconfig/VeldarKeyTypes.h"
#include "keyedconfig/VeldarProjectOptions.h"
#include "keyedconfig/VeldarXmlDoc.h"

namespace orvex {

class TVeldarmark;

class TVeldarKey : public TComponent {
public:
    // A key in slot keyIndex of owner for keyedFileName. The document gets the
    // required root name, the request's context value as context default and
    // "context" as context attribute; its LastError reads "Unable to locate ..."
    // while the file does not exist.
    TVeldarKey(TVeldarmark* owner, int keyIndex, std::u16string_view keyedFileName,
               std::u16string_view requiredRootNodeName, const TKeyedDetail& keyedDetail);
    ~TVeldarKey() override;

    // Parses the text and saves it as the keyed file, making missing folders. False
    // with the reason in errorMessage (the file is then unchanged). Raises 65147
    // while the key's document is inside an update.
    bool CreateKeyedFileFromString(std::u16string_view fileContents, std::u16string& errorMessage);

    bool KeyedFileExists() const;
    const std::u16string& KeyedFileLastError() const { return FKeyedFile->LastError(); }
    const std::u16string& KeyedFileName() const { return FKeyedFileName; }
    const std::u16string& KeyedFilePath() const { return FKeyedFilePath; }
    const std::u16string& KeyedFilePathParentDir() const { return FKeyedFilePathParentDir; }
    const std::u16string& KeyedFileRootNodeName() const { return FKeyedFileRootNodeName; }
    const TKeyedDetail& KeyedDetail() const { return FKeyedDetail; }
    int KeyIndex() const { return FKeyIndex; }
    TVeldarXmlDoc* KeyedFile() const { return FKeyedFile.get(); }
    // Replaces the key's document (taking ownership).
    void SetKeyedFile(std::unique_ptr<TVeldarXmlDoc> document);
    TVeldarmark* Map() const { return FMap; }

private:
    TVeldarmark* FMap;
    int FKeyIndex;
    TKeyedDetail FKeyedDetail;
    std::u16string FKeyedFileName;
    std::u16string FKeyedFilePath;
    std::u16string FKeyedFilePathParentDir;
    std::u16string FKeyedFileRootNodeName;
    std::unique_ptr<TVeldarXmlDoc> FKeyedFile;
};

} // namespace orvex
