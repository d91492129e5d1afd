// The backup tree and the restore tree each read, and write, the file they were
// built from, also when both files hold a backup of the same name.

#include "DialogFixture.h"

#include "wizard/FormProperty.h"

#include <QTableWidget>

namespace orvex::test {
namespace {

class TPropertyPaneTest : public TDialogTest {
protected:
    static constexpr const char* kSite = "Web Site: Default Web Site";
    static constexpr const char* kComment = R"(<Property id="ServerComment" type="STRING" value="Default Web Site")";

    // A backup of the local machine into Sites.xml, and Restore.xml holding the same
    // backup under the same name with another ServerComment; restore page 2 shows it.
    void SetUp() override {
        TDialogTest::SetUp();
        BackUpFromThePages(Temp16("Sites.xml"));
        ASSERT_EQ(Form().ActivePage(), wpBackup4);
        BackupBytes = ReadBytes(Temp("Sites.xml"));
        RestoreBytes = BackupBytes;
        const size_t at = RestoreBytes.find(kComment);
        ASSERT_NE(at, std::string::npos);
        RestoreBytes.replace(at, std::string(kComment).size(),
                             R"(<Property id="ServerComment" type="STRING" value="Restore copy")");
        WriteBytes(Temp("Restore.xml"), RestoreBytes);
        for (int page = 0; page < 4; ++page)
            Click("btnback");
        LoadRestoreFile(Temp16("Restore.xml"));
    }

    // Selects the site in a tree and gives the value of ServerComment in its list.
    std::string Comment(const char* treeName, const char* listName) {
        auto* tree = Find<TCheckTreeWidget>(treeName);
        tree->setCurrentItem(tree->findItems(QString::fromUtf8(kSite), Qt::MatchRecursive).value(0));
        auto* list = Find<QTableWidget>(listName);
        for (int row = 0; row < list->rowCount(); ++row)
            if (list->item(row, 0)->text() == QStringLiteral("ServerComment")) {
                list->selectRow(row);
                return U8(list->item(row, 2)->text());
            }
        return "(none)";
    }

    std::string BackupBytes, RestoreBytes;
};

TEST_F(TPropertyPaneTest, EachListReadsTheFileOfItsTree) {
    EXPECT_EQ(Comment("tvBackup", "lvProperty"), "Default Web Site");
    EXPECT_EQ(Comment("tvRestore", "lvPropertyR"), "Restore copy");
    EXPECT_EQ(Comment("tvBackup", "lvProperty"), "Default Web Site");
    EXPECT_EQ(LogText().find("Can not find"), std::string::npos) << LogText();

    // A change from outside is seen when the node is shown again.
    std::string changed = RestoreBytes;
    changed.replace(changed.find("Restore copy"), 12, "Changed outside");
    WriteBytes(Temp("Restore.xml"), changed);
    Find<TCheckTreeWidget>("tvRestore")->setCurrentItem(RestoreNode("[ROOT]"));
    EXPECT_EQ(Comment("tvRestore", "lvPropertyR"), "Changed outside");
    EXPECT_EQ(Comment("tvBackup", "lvProperty"), "Default Web Site");
    Screenshot("Page6-Restore2-OwnFile-English");
    Trigger("miLingvoDeutsch");
    EXPECT_EQ(Comment("tvRestore", "lvPropertyR"), "Changed outside");
    Screenshot("Page6-Restore2-OwnFile-German");
}

TEST_F(TPropertyPaneTest, EditsGoToTheFileOfTheirTree) {
    // The restore list, after the backup tree was shown last.
    Comment("tvBackup", "lvProperty");
    Comment("tvRestore", "lvPropertyR");
    WithModal<TFormProperty>([this] { Trigger("actionPropertyEditR"); }, [](TFormProperty& dialog) {
        SetIn(dialog, "editValue", "Edited in restore");
        ClickIn(dialog, "Ok");
    });
    EXPECT_EQ(Comment("tvRestore", "lvPropertyR"), "Edited in restore");
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")), BackupBytes);
    EXPECT_NE(ReadBytes(Temp("Restore.xml")).find(R"(value="Edited in restore")"), std::string::npos);

    // Delete Node of the backup tree names and changes the backup's file only.
    const std::string restoreBytes = ReadBytes(Temp("Restore.xml"));
    auto* tree = Find<TCheckTreeWidget>("tvBackup");
    tree->setCurrentItem(tree->findItems(QString::fromUtf8(kSite), Qt::MatchRecursive).value(0));
    Answers = {mrYes};
    Trigger("actionDeleteNodeB");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_NE(U8(Messages[0].Text).find("Sites.xml"), std::string::npos) << U8(Messages[0].Text);
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")).find(kComment), std::string::npos);
    EXPECT_EQ(ReadBytes(Temp("Restore.xml")), restoreBytes);
    EXPECT_TRUE(tree->findItems(QString::fromUtf8(kSite), Qt::MatchRecursive).isEmpty());
    EXPECT_EQ(Comment("tvRestore", "lvPropertyR"), "Edited in restore");
}

} // namespace
} // namespace orvex::test
