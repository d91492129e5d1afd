// The restore tree: node texts, check marks and their propagation, select all
// sites, delete node and the property list.

#include "WizardFixture.h"

#include "wizard/BackupTree.h"

#include <QHeaderView>
#include <QTableWidget>

namespace orvex::test {
namespace {

class TTreesTest : public TWizardTest {
protected:
    void SetUp() override {
        TWizardTest::SetUp();
        FFile = CopyFixture("Restore.xml");
        LoadRestoreFile(FFile);
        Tree = Find<TCheckTreeWidget>("tvRestore");
        Tree->expandAll();
        QApplication::processEvents();
    }

    // The first node of this text ("[ROOT]" is Default Web Site's).
    TTreeItem* Node(const char* text) {
        const auto found = Tree->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_FALSE(found.isEmpty()) << text;
        return found.isEmpty() ? nullptr : AsTreeItem(found[0]);
    }

    // The image index of each named node, in one text: "site=1 ROOT=3".
    std::string Marks(std::initializer_list<const char*> texts) {
        std::string out;
        for (const char* text : texts)
            out += (out.empty() ? "" : " ") + std::string(text) + "=" + std::to_string(Node(text)->ImageIndex());
        return out;
    }

    void ClickAt(TTreeItem* node, int dx) {
        const QRect text = Tree->TextRect(node);
        QTest::mouseClick(Tree->viewport(), Qt::LeftButton, {}, QPoint(text.left() + dx, text.center().y()));
    }

    std::vector<std::string> Rows(const char* listName) {
        auto* list = Find<QTableWidget>(listName);
        std::vector<std::string> rows;
        for (int row = 0; row < list->rowCount(); ++row)
            rows.push_back(U8(list->item(row, 0)->text() + "|" + list->item(row, 1)->text() + "|" +
                              list->item(row, 2)->text()));
        return rows;
    }

    std::u16string FFile;
    TCheckTreeWidget* Tree = nullptr;
};

TEST_F(TTreesTest, NodesShowTheBackupsElements) {
    ASSERT_EQ(Tree->topLevelItemCount(), 1);
    std::vector<std::string> texts;
    for (QTreeWidgetItemIterator it(Tree); *it; ++it)
        texts.push_back(U8((*it)->text(0)));
    EXPECT_EQ(texts, (std::vector<std::string>{"WEBSRV1Sites", "Web Site: Default Web Site", "[ROOT]", "[images]",
                                               "[scripts]", "Web Site: Shop", "[ROOT]", "Web Site: Lower", "[Pop3 Service]"}));
    EXPECT_EQ(U8(Node("[images]")->Data()->PathText()), "images");
    EXPECT_EQ(U8(Node("Web Site: Lower")->Data()->ClassNameText()), "iiswebserver");
    EXPECT_EQ(Tree->currentItem(), Tree->topLevelItem(0));
    EXPECT_EQ(Marks({"WEBSRV1Sites", "Web Site: Shop", "[images]"}), "WEBSRV1Sites=0 Web Site: Shop=0 [images]=0");
    Screenshot("Page6-Restore2-Tree");
}

TEST_F(TTreesTest, ChecksPropagateDownAndUp) {
    const std::initializer_list<const char*> all = {"WEBSRV1Sites", "Web Site: Default Web Site", "[ROOT]",
                                                    "[images]", "Web Site: Shop"};
    ClickAt(Node("Web Site: Default Web Site"), -10);
    EXPECT_EQ(Marks(all), "WEBSRV1Sites=3 Web Site: Default Web Site=1 [ROOT]=1 [images]=1 Web Site: Shop=0");
    ClickAt(Node("[images]"), -10);
    EXPECT_EQ(Marks(all), "WEBSRV1Sites=3 Web Site: Default Web Site=3 [ROOT]=3 [images]=0 Web Site: Shop=0");
    EXPECT_EQ(Node("[images]")->Data()->PropertiesChecked, 1);
    // A partly checked node becomes fully checked with everything below it.
    ClickAt(Node("Web Site: Default Web Site"), -10);
    EXPECT_EQ(Marks(all), "WEBSRV1Sites=3 Web Site: Default Web Site=1 [ROOT]=1 [images]=1 Web Site: Shop=0");
    // The text itself only selects; the edges of the image toggle.
    ClickAt(Node("Web Site: Shop"), 2);
    EXPECT_EQ(Tree->currentItem(), Node("Web Site: Shop"));
    EXPECT_EQ(Marks({"Web Site: Shop"}), "Web Site: Shop=0");
    ClickAt(Node("Web Site: Shop"), -19);
    ClickAt(Node("Web Site: Shop"), -5);
    EXPECT_EQ(Marks({"Web Site: Shop"}), "Web Site: Shop=0");
    ClickAt(Node("Web Site: Shop"), -18);
    EXPECT_EQ(Marks({"Web Site: Shop"}), "Web Site: Shop=1");
    ClickAt(Node("Web Site: Shop"), -6);
    EXPECT_EQ(Marks({"Web Site: Shop"}), "Web Site: Shop=0");
    // Space toggles the selected node as a click on its image does.
    Tree->setCurrentItem(Node("WEBSRV1Sites"));
    QTest::keyClick(Tree, Qt::Key_Space);
    EXPECT_EQ(Marks(all), "WEBSRV1Sites=1 Web Site: Default Web Site=1 [ROOT]=1 [images]=1 Web Site: Shop=1");
    Screenshot("Page6-Restore2-Checked");
    QTest::keyClick(Tree, Qt::Key_Space);
    EXPECT_EQ(Marks(all), "WEBSRV1Sites=0 Web Site: Default Web Site=0 [ROOT]=0 [images]=0 Web Site: Shop=0");
}

TEST_F(TTreesTest, SelectAllSitesChecksExactlyTheWebServers) {
    Tree->setCurrentItem(Node("[images]"));
    Trigger("actionSelectAllSitesR");
    EXPECT_EQ(Marks({"WEBSRV1Sites", "Web Site: Default Web Site", "[images]", "Web Site: Shop", "Web Site: Lower",
                     "[Pop3 Service]"}),
              "WEBSRV1Sites=3 Web Site: Default Web Site=1 [images]=1 Web Site: Shop=1 Web Site: Lower=0 "
              "[Pop3 Service]=0");
    EXPECT_FALSE(SoundPlayed());
    Tree->setCurrentItem(nullptr);
    Trigger("actionSelectAllSitesR");
    EXPECT_TRUE(SoundPlayed());
}

TEST_F(TTreesTest, DeleteNodeAsksAndChangesFileAndTreeTogether) {
    const std::string before = ReadBytes(Temp("Restore.xml"));
    Tree->setCurrentItem(Node("[images]"));
    Answers = {mrNo};
    Trigger("popDeleteNode");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(U8(Messages[0].Text), "Please confirm that you want to delete the backup information at the current "
                                    "node? \r\n\r\n It will be removed completely from your Restore.xml file. This "
                                    "action cannot be undone.");
    EXPECT_EQ(ReadBytes(Temp("Restore.xml")), before);
    EXPECT_EQ(Node("[ROOT]")->childCount(), 2);

    Answers = {mrYes};
    Trigger("popDeleteNode");
    EXPECT_EQ(Tree->findItems(QStringLiteral("[images]"), Qt::MatchExactly | Qt::MatchRecursive).size(), 0);
    EXPECT_EQ(Node("[ROOT]")->childCount(), 1);
    const std::string after = ReadBytes(Temp("Restore.xml"));
    EXPECT_EQ(after.find("path=\"images\""), std::string::npos);
    EXPECT_NE(after.find("Z:\\nowhere\\wwwroot"), std::string::npos);

    // The file changed behind the wizard's back: nothing is deleted anywhere.
    std::string changed = after;
    changed.replace(changed.find("path=\"2\""), 8, "path=\"9\"");
    WriteBytes(Temp("Restore.xml"), changed);
    Tree->setCurrentItem(Node("Web Site: Shop"));
    Messages.clear();
    Answers = {mrYes};
    Trigger("actionDeleteNodeR");
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Type, TMsgDlgType::mtError);
    EXPECT_EQ(U8(Messages[1].Text), "The node \"Web Site: Shop\" could not be deleted from \"" +
                                        Temp("Restore.xml").string() + "\"; the log tells why.");
    EXPECT_EQ(ReadBytes(Temp("Restore.xml")), changed);
    EXPECT_NE(Node("Web Site: Shop"), nullptr);

    // Without a selection nothing is asked.
    Tree->setCurrentItem(nullptr);
    Trigger("actionDeleteNodeR");
    EXPECT_EQ(Messages.size(), 2u);
}

TEST_F(TTreesTest, PropertyListShowsSupportedOwnPropertiesAndListItems) {
    Tree->setCurrentItem(Node("Web Site: Default Web Site"));
    EXPECT_EQ(Rows("lvPropertyR"), (std::vector<std::string>{"ServerComment|STRING|Default Web Site",
                                                              "ServerBindings|LIST|", "|Item|:80:", "|Item|:8080:",
                                                              "SecureBindings|LIST|"}));
    Tree->setCurrentItem(Node("WEBSRV1Sites"));
    EXPECT_EQ(Rows("lvPropertyR"), (std::vector<std::string>{"MaxConnections|INTEGER|1000"}));
    Tree->setCurrentItem(Node("Web Site: Lower"));
    EXPECT_EQ(Rows("lvPropertyR"), std::vector<std::string>());
}

} // namespace
} // namespace orvex::test
