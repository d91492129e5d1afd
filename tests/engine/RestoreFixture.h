#pragma once
// An in-memory restore tree, recording dialogs, and a fixture for restore tests:
// a private machines folder, backup file, log sink, host and the built-in
// supported-property list.

#include "BackupFixture.h"
#include "base/EmbeddedResources.h"
#include "base/Utf.h"
#include "engine/BackupGrammar.h"
#include "engine/RestoreTree.h"
#include "engine/SupportedProperties.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvex::test {

// One `Property` element of a backup file, not inherited.
inline std::string Prop(const std::string& id, const std::string& type, const std::string& value) {
    return "<Property id=\"" + id + "\" type=\"" + type + "\" value=\"" + value +
           "\" Inherit=\"False\"/>";
}

class TMemoryTreeNode : public TTreeNode {
public:
    TMemoryTreeNode(std::u16string text, TMemoryTreeNode* parent, std::u16string_view path, std::u16string_view className)
        : FText(std::move(text)), FParent(parent), FData(NewTreeNodeData(path, className)) {}

    std::u16string Text() const override { return FText; }
    TTreeNode* Parent() const override { return FParent; }
    int ChildCount() const override { return static_cast<int>(FChildren.size()); }
    TTreeNode* Child(int index) const override { return FChildren[static_cast<size_t>(index)].get(); }
    TreeNodeData* Data() const override { return FData.get(); }

    TMemoryTreeNode& Add(std::u16string text, std::u16string_view path, std::u16string_view className) {
        FChildren.push_back(std::make_unique<TMemoryTreeNode>(std::move(text), this, path, className));
        return *FChildren.back();
    }
    // The child with this Path, or nullptr.
    TMemoryTreeNode* ChildByPath(std::u16string_view path) const {
        for (const auto& child : FChildren)
            if (child->FData->PathText() == path) return child.get();
        return nullptr;
    }
    // Sets both flags here and, when deep, in the whole subtree.
    void Check(bool checked, bool properties, bool deep = true) {
        FData->Checked = checked;
        FData->PropertiesChecked = properties;
        if (deep)
            for (auto& child : FChildren) child->Check(checked, properties, true);
    }

private:
    std::u16string FText;
    TMemoryTreeNode* FParent;
    TTreeNodeDataPtr FData;
    std::vector<std::unique_ptr<TMemoryTreeNode>> FChildren;
};

class TMemoryTree : public TRestoreTree {
public:
    std::vector<std::unique_ptr<TMemoryTreeNode>> Tops;

    int TopLevelCount() const override { return static_cast<int>(Tops.size()); }
    TTreeNode* TopLevelNode(int index) const override { return Tops[static_cast<size_t>(index)].get(); }

    TMemoryTreeNode& AddBackup(std::u16string backupName) {
        Tops.push_back(std::make_unique<TMemoryTreeNode>(std::move(backupName), nullptr, backupxml::PathWebService,
                                                         backupxml::ClassWebService));
        return *Tops.back();
    }
    // The node of backup at a "/"-separated path below it ("1/ROOT"); "" the backup.
    TMemoryTreeNode& Node(std::u16string_view backup, std::u16string_view path = {}) const {
        TMemoryTreeNode* node = nullptr;
        for (const auto& top : Tops)
            if (top->Text() == backup) node = top.get();
        std::u16string rest(path);
        while (node && !rest.empty()) {
            size_t slash = rest.find(u'/');
            node = node->ChildByPath(rest.substr(0, slash));
            rest = slash == std::u16string::npos ? u"" : rest.substr(slash + 1);
        }
        if (!node) throw std::runtime_error("no tree node " + Utf16ToUtf8(path));
        return *node;
    }
};

// The tree the wizard shows for a backup file: every `Machine` and `SubDir`, all
// checked with their properties.
inline void AddTreeChildren(TMemoryTreeNode& node, const TWideXmlNode& element) {
    using namespace backupxml;
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (child.Name() != ElemSubDir) continue;
        bool site = child.AttributeByName(AttrClassName) == ClassWebServer;
        TMemoryTreeNode& added = node.Add(child.AttributeByName(site ? AttrSiteName : AttrPath),
                                          child.AttributeByName(AttrPath), child.AttributeByName(AttrClassName));
        AddTreeChildren(added, child);
    }
}

inline std::unique_ptr<TMemoryTree> BuildRestoreTree(const TWideXmlDocument& document) {
    auto tree = std::make_unique<TMemoryTree>();
    const TWideXmlNode* machines = document.Root()->NodeByName(backupxml::ElemMachines);
    for (int i = 0; i < machines->NodeCount(); ++i) {
        const TWideXmlNode& machine = *machines->Nodes(i);
        TMemoryTreeNode& top = tree->AddBackup(machine.AttributeByName(backupxml::AttrBackupName));
        AddTreeChildren(top, machine);
        top.Check(true, true);
    }
    return tree;
}

// A host whose yes/no/cancel answers are set one by one.
class TRestoreHost : public TMemoryHost {
public:
    std::vector<int> Answers;  // taken in turn; mrNo when used up

    int AskYesNoCancel(const std::u16string& text) override {
        Questions.push_back(text);
        if (Answers.empty()) return mrNo;
        int answer = Answers.front();
        Answers.erase(Answers.begin());
        return answer;
    }
};

class TRestoreFixture : public TBackupFixture {
protected:
    TRestoreHost Dialogs;
    TEngineHostScope RestoreScope{&Sink, &Dialogs};

    void SetUp() override {
        TBackupFixture::SetUp();
        FillSupportedPropertyTable(std::string(*FindEmbeddedResource(u"SupportedProperty")));
        SetSiteConflictMode(scmUnset);
    }
    void TearDown() override {
        SetSiteConflictMode(scmUnset);
        TBackupFixture::TearDown();
    }

    void WriteBackupFile(const std::string& xml) { WriteBytes(File, xml); }
    std::unique_ptr<TMemoryTree> TreeOfFile() { return BuildRestoreTree(*LoadBackupDocument()); }

    std::vector<std::string> Red() const { return Sink.LinesIn(clLogRed); }
    std::vector<std::string> Black() const { return Sink.LinesIn(clLogBlack); }
    std::vector<std::string> Green() const { return Sink.LinesIn(clLogGreen); }
    std::vector<std::string> Blue() const { return Sink.LinesIn(clLogBlue); }
    // Lines of one colour after the last "Restoring......" (all when there is none).
    std::vector<std::string> Restored(TColor colour) const {
        size_t from = 0;
        for (size_t i = 0; i < Sink.Lines.size(); ++i)
            if (Sink.Lines[i].Text == u"Restoring......") from = i + 1;
        std::vector<std::string> out;
        for (size_t i = from; i < Sink.Lines.size(); ++i)
            if (Sink.Lines[i].Colour == colour) out.push_back(Utf16ToUtf8(Sink.Lines[i].Text));
        return out;
    }
    bool Logged(const std::string& line) const {
        auto all = Sink.AllLines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
};

} // namespace orvex::test
