#include "engine/BackupPaths.h"

#include "engine/BackupDocument.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orvex {
namespace {

class TFakeNode : public TTreeNode {
public:
    TFakeNode(std::u16string text, TFakeNode* parent, std::u16string path)
        : FText(std::move(text)), FParent(parent), FData(NewTreeNodeData(path, u"")) {}
    std::u16string Text() const override { return FText; }
    TTreeNode* Parent() const override { return FParent; }
    int ChildCount() const override { return 0; }
    TTreeNode* Child(int) const override { return nullptr; }
    TreeNodeData* Data() const override { return FData.get(); }

private:
    std::u16string FText;
    TFakeNode* FParent;
    TTreeNodeDataPtr FData;
};

TEST(BackupPathsTest, TreeNodePaths) {
    TFakeNode machine(u"WEBSRV1Sites", nullptr, u"w3svc");
    TFakeNode site(u"Default Web Site", &machine, u"1");
    TFakeNode root(u"ROOT", &site, u"ROOT");
    auto path = GetTreeNodeADsPath(root);
    EXPECT_EQ(path.BackupName, u"WEBSRV1Sites");
    EXPECT_EQ(path.Path, u"w3svc/1/ROOT");
    EXPECT_EQ(GetTreeNodeADsPathOnly(machine), u"w3svc");
    EXPECT_EQ(GetTreeNodeADsPath(machine).BackupName, u"WEBSRV1Sites");
}

class BackupElementPathsTest : public ::testing::Test {
protected:
    std::unique_ptr<TWideXmlDocument> Document = NewBackupDocument();
    TWideXmlNode* Machine = nullptr;
    TWideXmlNode* Site = nullptr;
    TWideXmlNode* Images = nullptr;

    void SetUp() override {
        Document->Root()->SetName(u"Root");
        Machine = Document->Root()->NodeNew(u"Machines")->NodeNew(u"Machine");
        Machine->AttributeAdd(u"backupName", u"B1");
        Machine->AttributeAdd(u"path", u"w3svc");
        Site = &AppendSubDirElement(*Machine, u"1", u"IIsWebServer");
        Site->AttributeAdd(u"siteName", u"Default Web Site");
        Images = &AppendSubDirElement(AppendSubDirElement(*Site, u"ROOT", u"IIsWebVirtualDir"), u"images",
                                      u"IIsWebDirectory");
    }
};

TEST_F(BackupElementPathsTest, MetabasePaths) {
    auto path = GetXmlNodeADsPath(*Images);
    EXPECT_EQ(path.BackupName, u"B1");
    EXPECT_EQ(path.Path, u"w3svc/1/ROOT/images");
    EXPECT_EQ(GetXmlNodeADsPathOnly(*Machine), u"w3svc");
    EXPECT_EQ(GetXmlNodeADsPathOnly(*Site), u"w3svc/1");
    TWideXmlNode* property = Site->NodeNew(u"Property");  // no path: its parent's path and "/"
    EXPECT_EQ(GetXmlNodeADsPathOnly(*property), u"w3svc/1/");
}

TEST_F(BackupElementPathsTest, DisplayPaths) {
    EXPECT_EQ(GetDisplayPath(*Machine), u"\\");
    EXPECT_EQ(GetDisplayPath(*Site), u"\\Default Web Site");
    EXPECT_EQ(GetDisplayPath(*Images), u"\\Default Web Site\\ROOT\\images");
    EXPECT_EQ(GetDisplayPath(*Document->Root()), u"\\");
    Site->SetAttributeByName(u"className", u"iiswebserver");
    EXPECT_EQ(GetDisplayPath(*Site), u"\\Default Web Site");
    TWideXmlNode& unbound = AppendSubDirElement(*Machine, u"2", u"IIsWebServer");  // no siteName
    EXPECT_EQ(GetDisplayPath(unbound), u"\\");
}

TEST(BackupPathsJoinTest, JoinBackslash) {
    EXPECT_EQ(JoinBackslash(u"\\", u"a"), u"\\a");
    EXPECT_EQ(JoinBackslash(u"\\a", u"b"), u"\\a\\b");
    EXPECT_EQ(JoinBackslash(u"", u"b"), u"\\b");
    EXPECT_EQ(JoinBackslash(u"\\", u""), u"\\");
}

} // namespace
} // namespace orvex
