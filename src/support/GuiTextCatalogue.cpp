#include "support/GuiTextCatalogue.h"

#include <string>
#include <sys/stat.h>

#include "base/EmbeddedResources.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "support/StringUtils.h"
#include "support/TextFile.h"
#include "xml/XmlStreams.h"

namespace orvex {

namespace {

bool IsFile(const std::u16string& fileName) {
    struct stat info {};
    return stat(Utf16ToUtf8(fileName).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

} // namespace

std::unique_ptr<TVeldarXmlDoc> NewGuiTextDocument() {
    return std::make_unique<TVeldarXmlDoc>(u"", kGuiTextRootName, u"", kGuiTextContextAttribute);
}

std::u16string GuiTextFileName(std::u16string_view folder) {
    std::u16string fileName(folder);
    if (!fileName.empty() && fileName.back() != u'/')
        fileName += u'/';
    return fileName + std::u16string(kGuiTextFileName);
}

void LoadGuiTextCatalogue(TVeldarXmlDoc& doc, std::u16string_view folder) {
    const std::u16string fileName = GuiTextFileName(folder);
    if (!IsFile(fileName)) {
        LoadBuiltInGuiTextCatalogue(doc);
        return;
    }
    // Parsed aside first: a broken file must not leave the window with half a catalogue.
    TWideXmlDocument loaded;
    std::string bytes = LoadUtf8TextFile(fileName);
    StripUtf8Bom(bytes);
    loaded.ReadFromString(Utf8ToUtf16(bytes));
    doc.Assign(loaded);
}

void LoadBuiltInGuiTextCatalogue(TVeldarXmlDoc& doc) {
    TWideXmlDocument loaded;
    TxmUTF8StringStream stream(std::string(FindEmbeddedResource(kGuiTextResourceName).value_or("")));
    loaded.LoadFromStream(stream);
    doc.Assign(loaded);
}

void LoadGuiTextCatalogue(TVeldarXmlDoc& doc) { LoadGuiTextCatalogue(doc, ExecutableFolder()); }

} // namespace orvex
