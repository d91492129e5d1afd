#include "engine/BackupPaths.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "engine/BackupGrammar.h"

#include <vector>

namespace orvex {

namespace {

bool IsMachineElement(const TWideXmlNode& element) {
    return SameAsciiText(element.Name(), backupxml::ElemMachine);
}

bool IsDocumentElement(const TWideXmlNode* element) {
    return element && element->ElementType() == xeNormal && !element->Name().empty();
}

} // namespace

TBackupPath GetTreeNodeADsPath(const TTreeNode& node) {
    auto pathOf = [](const TTreeNode& n) {
        const TreeNodeData* data = n.Data();
        return data ? std::u16string(data->PathText()) : std::u16string();
    };
    TBackupPath result;
    result.Path = pathOf(node);
    const TTreeNode* top = &node;
    for (const TTreeNode* n = node.Parent(); n; n = n->Parent()) {
        result.Path = pathOf(*n) + u"/" + result.Path;
        top = n;
    }
    result.BackupName = top->Text();
    return result;
}

std::u16string GetTreeNodeADsPathOnly(const TTreeNode& node) { return GetTreeNodeADsPath(node).Path; }

TBackupPath GetXmlNodeADsPath(const TWideXmlNode& element) {
    TBackupPath result;
    result.Path = element.AttributeByName(backupxml::AttrPath);
    const TWideXmlNode* current = &element;
    while (!IsMachineElement(*current)) {
        const TWideXmlNode* parent = current->Parent();
        if (!IsDocumentElement(parent)) return result;
        std::u16string parentPath = parent->AttributeByName(backupxml::AttrPath);
        if (!parentPath.empty()) result.Path = parentPath + u"/" + result.Path;
        current = parent;
    }
    result.BackupName = current->AttributeByName(backupxml::AttrBackupName);
    return result;
}

std::u16string GetXmlNodeADsPathOnly(const TWideXmlNode& element) { return GetXmlNodeADsPath(element).Path; }

std::u16string JoinBackslash(std::u16string_view first, std::u16string_view second) {
    std::u16string out(first);
    if (first != u"\\") out += u'\\';
    out += second;
    return out;
}

std::u16string GetDisplayPath(const TWideXmlNode& element) {
    // Collected upwards and joined downwards, so a deep tree costs no recursion.
    std::vector<const TWideXmlNode*> chain;
    for (const TWideXmlNode* e = &element; IsDocumentElement(e->Parent()) && !IsMachineElement(*e); e = e->Parent())
        chain.push_back(e);
    std::u16string out = u"\\";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const TWideXmlNode& e = **it;
        bool site = SameTextIgnoreCase(e.AttributeByName(backupxml::AttrClassName), backupxml::ClassWebServer);
        out = JoinBackslash(out, e.AttributeByName(site ? backupxml::AttrSiteName : backupxml::AttrPath));
    }
    return out;
}

} // namespace orvex
