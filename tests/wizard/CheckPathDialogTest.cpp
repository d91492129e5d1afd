// The check-path dialog: the values it lists and their order, the common folder
// of a selection, search and replace of the path inside a value, the folder rules
// of the automatic fix, and the save.

#include "DialogFixture.h"

#include "wizard/CheckDialogs.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace orvex::test {
namespace {

using Rows = std::vector<std::string>;

TEST(CheckPathRulesTest, CommonFolderOfTwoPaths) {
    const std::tuple<const char16_t*, const char16_t*, const char16_t*> cases[] = {
        {u"c:\\web\\a\\x", u"c:\\web\\b", u"c:\\web"},
        {u"c:\\web", u"c:\\web\\b", u"c:\\web"},
        {u"c:\\web\\b", u"c:\\web", u"c:\\web"},
        {u"C:\\Web\\ab", u"c:\\web\\abc", u"C:\\Web"},
        {u"c:\\web\\abc", u"c:\\web\\ab", u"c:\\web"},
        {u"c:\\web", u"C:\\WEB", u"c:\\web"},
        {u"c:\\", u"c:\\web", u"c:\\"},
        {u"c:\\web2", u"c:\\web", u"c:"},
        {u"c:\\web", u"d:\\web", u""},
        {u"", u"c:\\web", u""},
    };
    for (const auto& [a, b, common] : cases)
        EXPECT_EQ(U8(CommonPathPrefix(a, b)), U8(common)) << U8(a) << " " << U8(b);
}

TEST(CheckPathRulesTest, PathReplacedInsideItsField) {
    EXPECT_EQ(ReplacePathInValue(u".asp,C:\\a\\asp.dll,5,GET", u"D:\\asp.dll"), u".asp,D:\\asp.dll,5,GET");
    EXPECT_EQ(ReplacePathInValue(u"C:\\a", u"D:\\b"), u"D:\\b");
    EXPECT_EQ(ReplacePathInValue(u"no path", u"D:\\b"), u"no path");
}

using TCheckPathRulesMachineTest = TDialogTest;

TEST_F(TCheckPathRulesMachineTest, FolderRulesFollowThisMachinesFolders) {
    const std::filesystem::path drives = MachineFolderOf(u"localhost") / "drives";
    struct TStep {
        const char* Machine;                  // what the machine's drives hold now
        std::function<void()> Change;
        std::vector<std::pair<std::u16string, std::optional<std::u16string>>> Paths;
    };
    const std::vector<TStep> steps = {
        {"C:\\WINDOWS only", [] { OpenMachine(u"localhost"); },
         {{u"C:\\WINNT\\system32", u"C:\\windows\\system32"}, {u"c:\\Windows\\x", std::nullopt},
          {u"D:\\data", std::nullopt}}},
        {"and D:\\WINDOWS", [] { MakeLocalFolder(u"D:\\WINDOWS"); },
         {{u"c:\\Windows\\x", u"d:\\windows\\x"}, {u"C:\\WINNT\\x", u"C:\\windows\\x"}}},
        {"and C:\\WINNT", [] { MakeLocalFolder(u"C:\\WINNT"); },
         {{u"c:\\Windows\\x", u"c:\\winnt\\x"}, {u"C:\\WINNT\\x", u"C:\\windows\\x"}}},
        {"C:\\WINNT and D:\\WINNT only",
         [&drives] {
             std::filesystem::remove_all(drives / "C" / "WINDOWS");
             std::filesystem::remove_all(drives / "D");
             MakeLocalFolder(u"D:\\WINNT");
         },
         {{u"C:\\WINNT\\x", u"d:\\winnt\\x"}, {u"C:\\Windows\\x", u"C:\\winnt\\x"}}},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Machine);
        step.Change();
        for (const auto& [path, rewritten] : step.Paths)
            EXPECT_EQ(RewriteByPathRules(path), rewritten) << U8(path);
    }
}

class TCheckPathDialogTest : public TDialogTest {
protected:
    void SetUp() override {
        TDialogTest::SetUp();
        LoadRestoreFile(CopyFixture("Dialogs.xml"));
    }

    // Ticks Alpha, goes to restore page 4 ("make sure" the paths) and shows the
    // dialog with the choice given, driving it with body; the restore is declined.
    void OpenWith(const char* choice, const std::function<void(TFormCheckPath&)>& body) {
        Tick("Web Site: Alpha");
        Click("btnnext");
        for (const char* button : {"rbWebsitesExist2", "rbIpNotFound2", "rbPathsValid1"})
            Find<QRadioButton>(button)->setChecked(true);
        Click("btnnext");
        ASSERT_EQ(Form().ActivePage(), wpRestore4);
        Find<QRadioButton>(choice)->setChecked(true);
        Answers.push_back(mrNo);
        WithModal<TFormCheckPath>([this] { Click("btnnext"); }, body);
    }

    static QTreeWidget& List(QDialog& dialog) { return *In<QTreeWidget>(dialog, "lvNonexistPath"); }
    static QPoint RowCentre(QDialog& dialog, int index) {
        return List(dialog).visualItemRect(List(dialog).topLevelItem(index)).center();
    }
    static void SelectRows(QDialog& dialog, std::initializer_list<int> indexes) {
        List(dialog).clearSelection();
        for (int index : indexes)
            QTest::mouseClick(List(dialog).viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(dialog, index));
    }
    static void ClickHeader(QDialog& dialog, int column) {
        QHeaderView& header = *List(dialog).header();
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                          QPoint(header.sectionViewportPosition(column) + 10, header.height() / 2));
    }
    static std::string Edit(QDialog& dialog, const char* name) { return U8(In<QLineEdit>(dialog, name)->text()); }

    std::string FileBytes() const { return ReadBytes(Temp("Dialogs.xml")); }
};

const Rows kListed = {
    "WEB2Sites/11@@LogFileDirectory|C:\\WINNT\\system32\\LogFiles||1",
    "WEB2Sites/11/ROOT@@ScriptMaps@@Item|.asp,C:\\WINNT\\system32\\inetsrv\\asp.dll,5,GET,HEAD||1",
    "WEB2Sites/11/ROOT@@ScriptMaps@@Item|.shtm,c:\\winnt\\system32\\inetsrv\\ssinc.dll,5,GET||1",
    "WEB2Sites/11/ROOT@@Path|Z:\\web\\alpha||1",
    "WEB2Sites/11/ROOT/images@@Path|Z:\\web\\alpha\\images||1",
};

TEST_F(TCheckPathDialogTest, RowsStandByAddressAndColumnClicksReorderThem) {
    OpenWith("rbCheckPath1", [](TFormCheckPath& dialog) {
        EXPECT_EQ(U8(dialog.windowTitle()), "Data Validation: Paths Used in IIS Configuration");
        EXPECT_EQ(U8(In<QGroupBox>(dialog, "GroupBox3")->title()), "Error found. Invalid Paths.");
        EXPECT_EQ(U8(In<QPushButton>(dialog, "btnReplace")->text()), "Replace All Now");
        EXPECT_FALSE(In<QPushButton>(dialog, "btnAuto")->isVisible());
        // Filled in address order, descending until the first column click.
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), kListed);
        ClickHeader(dialog, 0);
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), (Rows{kListed[4], kListed[3], kListed[1], kListed[2], kListed[0]}));
        // By the path inside the old value, descending again.
        ClickHeader(dialog, 1);
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), (Rows{kListed[4], kListed[3], kListed[0], kListed[2], kListed[1]}));
        dialog.close();
    });
    EXPECT_EQ(Form().ActivePage(), wpRestore4);
}

TEST_F(TCheckPathDialogTest, SelectionReplaceAndSave) {
    const std::string before = FileBytes();
    OpenWith("rbCheckPath1", [&](TFormCheckPath& dialog) {
        SelectRows(dialog, {3, 4});
        EXPECT_EQ(Edit(dialog, "editFrom"), "Z:\\web\\alpha");
        EXPECT_EQ(Edit(dialog, "editTo"), "Z:\\web\\alpha");
        SelectRows(dialog, {0, 1});
        EXPECT_EQ(Edit(dialog, "editFrom"), "C:\\WINNT\\system32");

        // A double-click proposes the row's path by the folder rules.
        DoubleClick(List(dialog), RowCentre(dialog, 0));
        EXPECT_EQ(Edit(dialog, "editFrom"), "C:\\WINNT\\system32\\LogFiles");
        EXPECT_EQ(Edit(dialog, "editTo"), "C:\\windows\\system32\\LogFiles");
        DoubleClick(List(dialog), RowCentre(dialog, 4));
        EXPECT_EQ(Edit(dialog, "editTo"), "Z:\\web\\alpha\\images");

        // Replace finds the folder in any case and rewrites only the path.
        In<QLineEdit>(dialog, "editFrom")->setText(QStringLiteral(" c:\\winnt "));
        In<QLineEdit>(dialog, "editTo")->setText(QStringLiteral("C:\\WINDOWS"));
        ClickIn(dialog, "btnReplace");
        EXPECT_EQ(Edit(dialog, "editTo"), "");
        In<QLineEdit>(dialog, "editFrom")->setText(QStringLiteral("Z:\\web\\alpha"));
        In<QLineEdit>(dialog, "editTo")->setText(QStringLiteral("C:\\Inetpub\\wwwroot"));
        ClickIn(dialog, "btnReplace");
        const Rows replaced = {
            kListed[0].substr(0, kListed[0].size() - 2) + "C:\\WINDOWS\\system32\\LogFiles|0",
            kListed[1].substr(0, kListed[1].size() - 2) + ".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD|0",
            kListed[2].substr(0, kListed[2].size() - 2) + ".shtm,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET|0",
            kListed[3].substr(0, kListed[3].size() - 2) + "C:\\Inetpub\\wwwroot|0",
            kListed[4].substr(0, kListed[4].size() - 2) + "C:\\Inetpub\\wwwroot\\images|1",
        };
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), replaced);
        EXPECT_EQ(FileBytes(), before);

        ClickIn(dialog, "btnSave");
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"),
                  Rows{"WEB2Sites/11/ROOT/images@@Path|C:\\Inetpub\\wwwroot\\images||1"});
        EXPECT_TRUE(dialog.PathsSaved());
        dialog.close();
    });
    std::string expected = before;
    for (auto [from, to] : {std::pair<std::string, std::string>{"\"C:\\WINNT\\system32\\LogFiles\"", "\"C:\\WINDOWS\\system32\\LogFiles\""},
                            {"C:\\WINNT\\system32\\inetsrv\\asp.dll", "C:\\WINDOWS\\system32\\inetsrv\\asp.dll"},
                            {"c:\\winnt\\system32\\inetsrv\\ssinc.dll", "C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll"},
                            {"\"Z:\\web\\alpha\"", "\"C:\\Inetpub\\wwwroot\""},
                            {"\"Z:\\web\\alpha\\images\"", "\"C:\\Inetpub\\wwwroot\\images\""}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(FileBytes(), expected);
    // The list of the selected site shows the saved file; the ticks stay.
    auto* list = Find<QTableWidget>("lvPropertyR");
    EXPECT_FALSE(list->findItems(QStringLiteral("C:\\WINDOWS\\system32\\LogFiles"), Qt::MatchExactly).isEmpty());
    EXPECT_EQ(RestoreNode("Web Site: Alpha")->ImageIndex(), 1);
    EXPECT_EQ(RestoreNode("Web Site: Beta")->ImageIndex(), 0);
}

TEST_F(TCheckPathDialogTest, AutomaticFixCountsThePathsFoundAndAFailedSaveLeavesTheFile) {
    OpenWith("rbCheckPath2", [&](TFormCheckPath& dialog) {
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(U8(Messages[0].Text), "3 paths have been fixed!");
        EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtInformation);
        const Rows fixed = {
            kListed[0].substr(0, kListed[0].size() - 2) + "C:\\windows\\system32\\LogFiles|0",
            kListed[1].substr(0, kListed[1].size() - 2) + ".asp,C:\\windows\\system32\\inetsrv\\asp.dll,5,GET,HEAD|0",
            kListed[2].substr(0, kListed[2].size() - 2) + ".shtm,c:\\windows\\system32\\inetsrv\\ssinc.dll,5,GET|0",
            kListed[3],
            kListed[4],
        };
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), fixed);
        ScreenshotOf(dialog, "FormCheckPath-Auto");

        const std::string broken = FileBytes().substr(0, 200);
        WriteBytes(Temp("Dialogs.xml"), broken);
        ClickIn(dialog, "btnSave");
        EXPECT_EQ(FileBytes(), broken);
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), fixed);
        EXPECT_FALSE(dialog.PathsSaved());
        EXPECT_EQ(U8(Messages.back().Text), "The changes could not be saved in \"" + Temp("Dialogs.xml").string() +
                                                "\"; the file is left as it was and the log tells why.");
        dialog.close();
    });
}

} // namespace
} // namespace orvex::test
