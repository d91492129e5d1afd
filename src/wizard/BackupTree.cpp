#include "wizard/BackupTree.h"

#include "base/CaseFold.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/EngineState.h"
#include "engine/NodeKeys.h"
#include "engine/SupportedProperties.h"

#include <QIcon>
#include <QTableWidget>


namespace orvex {

namespace {

using namespace backupxml;

bool IsElementNamed(const TWideXmlNode& node, std::u16string_view name) {
    return node.ElementType() == xeNormal && SameTextIgnoreCase(node.Name(), name);
}

const QIcon& MarkImage(int index) {
    static const QIcon images[] = {QIcon(QStringLiteral(":/ImageList1/0.png")),
                                   QIcon(QStringLiteral(":/ImageList1/1.png")),
                                   QIcon(QStringLiteral(":/ImageList1/3.png"))};
    return images[index == 0 ? 0 : index == 1 ? 1 : 2];
}

} // namespace

void AppendRow(QTableWidget& list, const std::u16string& id, const std::u16string& type, const std::u16string& value) {
    const int row = list.rowCount();
    list.insertRow(row);
    int column = 0;
    for (const std::u16string* text : {&id, &type, &value})
        list.setItem(row, column++, new QTableWidgetItem(QString::fromStdU16String(*text)));
}

std::u16string NodeText(const TWideXmlNode& element) {
    if (SameTextIgnoreCase(element.Name(), ElemMachine))
        return element.AttributeByName(AttrBackupName);
    if (SameTextIgnoreCase(element.AttributeByName(AttrClassName), ClassWebServer))
        return u"Web Site: " + element.AttributeByName(AttrSiteName);
    return u"[" + element.AttributeByName(AttrPath) + u"]";
}

void BuildBackupTree(TCheckTreeWidget& tree, TTreeItem* parent, const TWideXmlNode& element) {
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (!IsElementNamed(child, ElemMachine) && !IsElementNamed(child, ElemSubDir))
            continue;
        auto* node = new TTreeItem(NewTreeNodeData(child.AttributeByName(AttrPath),
                                                   child.AttributeByName(AttrClassName)));
        if (parent)
            parent->addChild(node);
        else
            tree.addTopLevelItem(node);
        node->setText(0, QString::fromStdU16String(NodeText(child)));
        ApplyImages(*node);
        BuildBackupTree(tree, node, child);
    }
}

void RefreshBackupTree(TCheckTreeWidget& tree) {
    EnsureBackupFile();
    const std::unique_ptr<TWideXmlDocument> document = LoadBackupDocument();
    const TWideXmlNode& machines = MachinesElement(*document);
    tree.clear();
    BuildBackupTree(tree, nullptr, machines);
    if (tree.topLevelItemCount() > 0)
        tree.setCurrentItem(tree.topLevelItem(0));
}

void FillPropertyList(std::u16string_view fileName, TTreeItem* node, QTableWidget& list) {
    list.setRowCount(0);
    if (!node)
        return;
    const TBackupPath path = GetTreeNodeADsPath(*node);
    if (path.Path.empty())
        return;
    TWideXmlDocument* document = GetCachedBackupDocument(fileName);
    if (!document)
        return;
    const TWideXmlNode* element = FindBackupNode(*document, path.BackupName, path.Path);
    if (!element)
        return;
    const std::u16string className = element->AttributeByName(AttrClassName);
    for (int i = 0; i < element->NodeCount(); ++i) {
        const TWideXmlNode& property = *element->Nodes(i);
        if (!IsElementNamed(property, ElemProperty))
            continue;
        const std::u16string id = property.AttributeByName(AttrId);
        if (!IsSupportedProperty(className, id) || SameTextIgnoreCase(property.AttributeByName(AttrInherit), u"True"))
            continue;
        const std::u16string type = property.AttributeByName(AttrType);
        if (!SameTextIgnoreCase(type, TypeList)) {
            AppendRow(list, id, type, property.AttributeByName(AttrValue));
            continue;
        }
        AppendRow(list, id, type, u"");
        for (int k = 0; k < property.NodeCount(); ++k)
            if (property.Nodes(k)->ElementType() == xeNormal)
                AppendRow(list, u"", u"Item", property.Nodes(k)->AttributeByName(AttrValue));
    }
}

void DeleteTreeNode(TTreeItem* node) { delete node; }

int NodeStateImage(const TreeNodeData& record) {
    if (!record.Checked)
        return 0;
    return record.PropertiesChecked ? 1 : 3;
}

void ApplyImages(TTreeItem& node) {
    const int index = node.Data() ? NodeStateImage(*node.Data()) : 0;
    node.setData(0, TTreeItem::ImageIndexRole, index);
    const auto* tree = qobject_cast<const TCheckTreeWidget*>(node.treeWidget());
    if (tree && tree->markImages())
        node.setIcon(0, MarkImage(index));
}

void SetNodeState(TTreeItem& node, bool checked, bool propertiesChecked) {
    if (TreeNodeData* record = node.Data()) {
        record->Checked = checked ? 1 : 0;
        record->PropertiesChecked = propertiesChecked ? 1 : 0;
    }
    ApplyImages(node);
}

void SetChildrenChecked(TTreeItem& node) {
    const bool checked = IsNodeChecked(node);
    for (int i = 0; i < node.childCount(); ++i)
        if (TTreeItem* child = AsTreeItem(node.child(i))) {
            SetNodeState(*child, checked, true);
            SetChildrenChecked(*child);
        }
}

void UpdateParentState(TTreeItem& node) {
    TTreeItem* parent = AsTreeItem(node.parent());
    if (!parent)
        return;
    int checkedCount = 0;
    bool partlyChecked = false;
    for (int i = 0; i < parent->childCount() && !partlyChecked; ++i) {
        const TTreeItem* child = AsTreeItem(parent->child(i));
        if (!child || !IsNodeChecked(*child))
            continue;
        ++checkedCount;
        partlyChecked = !ArePropertiesChecked(*child);
    }
    if (partlyChecked)
        SetNodeState(*parent, true, false);
    else if (checkedCount == 0)
        SetNodeState(*parent, false, true);
    else
        SetNodeState(*parent, true, checkedCount == parent->childCount());
    UpdateParentState(*parent);
}

void ToggleNodeCheck(TTreeItem& node) {
    const bool wasChecked = IsNodeChecked(node) && ArePropertiesChecked(node);
    SetNodeState(node, !wasChecked, true);
    SetChildrenChecked(node);
    UpdateParentState(node);
}

} // namespace orvex
