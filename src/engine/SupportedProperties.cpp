#include "engine/SupportedProperties.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/EmbeddedResources.h"
#include "base/Module.h"
#include "base/Utf.h"
#include "xml/WideXmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlStreams.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace orvex {

namespace {

std::vector<TSupportedPropertyEntry> Table;

std::u16string ListFileName() { return ExecutableFolder() + u"SupportedProperty.xml"; }

bool ListFileExists() {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::path(ListFileName()), error);
}

std::unique_ptr<TWideXmlDocument> ParseList(std::string_view xmlText) {
    auto document = std::make_unique<TWideXmlDocument>();
    TxmUTF8StringStream stream{std::string(xmlText)};
    document->LoadFromStream(stream);
    return document;
}

std::unique_ptr<TWideXmlDocument> LoadBuiltInList() {
    auto bytes = FindEmbeddedResource(u"SupportedProperty");
    if (!bytes) throw EXmlError("The built-in supported-property list is missing");
    return ParseList(*bytes);
}

// The file beside the executable when there is one and it reads; else the
// built-in list, with the reason in error.
std::unique_ptr<TWideXmlDocument> LoadListSource(std::u16string& error) {
    if (ListFileExists()) {
        try {
            auto document = std::make_unique<TWideXmlDocument>();
            document->LoadFromFile(ListFileName());
            return document;
        } catch (const std::exception& e) {
            error = u"The supported-property list \"" + ListFileName() + u"\" cannot be read: " +
                    Utf8ToUtf16(e.what()) + u". The built-in list is used.";
        }
    }
    return LoadBuiltInList();
}

void LoadClass(const TWideXmlDocument& document, TSupportedPropertyList& list, std::u16string_view className) {
    list.Clear();
    const TWideXmlNode* root = document.Root();
    // Found the same way under every locale: the list is one of our own files.
    const TWideXmlNode* element = nullptr;
    for (int i = 0; root && !element && i < root->NodeCount(); ++i)
        if (SameAsciiText(root->Nodes(i)->Name(), className)) element = root->Nodes(i);
    if (!element) return;
    for (int i = 0; i < element->NodeCount(); ++i) {
        const TWideXmlNode* child = element->Nodes(i);
        if (child->ElementType() == xeNormal) list.Add(child->AttributeByName(u"id"));
    }
}

void FillFrom(const TWideXmlDocument& document) {
    std::vector<TSupportedPropertyEntry> table(SupportedPropertyClasses.size());
    for (size_t i = 0; i < table.size(); ++i) {
        table[i].ClassName = SupportedPropertyClasses[i];
        LoadClass(document, table[i].Properties, table[i].ClassName);
    }
    Table = std::move(table);
}

} // namespace

void TSupportedPropertyList::Clear() {
    FIds.clear();
    FLookup.clear();
}

bool TSupportedPropertyList::Add(std::u16string_view id) {
    if (id.empty() || !FLookup.emplace(id).second) return false;
    FIds.emplace_back(id);
    return true;
}

bool TSupportedPropertyList::Contains(std::u16string_view id) const { return FLookup.find(id) != FLookup.end(); }

const std::vector<TSupportedPropertyEntry>& SupportedPropertyTable() { return Table; }

std::u16string InitSupportedPropertyTable() {
    std::u16string error;
    auto document = LoadListSource(error);
    FillFrom(*document);
    return error;
}

void FillSupportedPropertyTable(std::string_view xmlText) { FillFrom(*ParseList(xmlText)); }

void LoadSupportedProperties(TSupportedPropertyList& list, std::u16string_view className) {
    std::u16string ignored;
    LoadClass(*LoadListSource(ignored), list, className);
}

const TSupportedPropertyList* SupportedPropertiesOf(std::u16string_view className) {
    for (const auto& entry : Table)
        if (SameTextIgnoreCase(entry.ClassName, className)) return &entry.Properties;
    return nullptr;
}

bool IsSupportedProperty(std::u16string_view className, std::u16string_view id) {
    const TSupportedPropertyList* list = SupportedPropertiesOf(className);
    return list && list->Contains(id);
}

} // namespace orvex
