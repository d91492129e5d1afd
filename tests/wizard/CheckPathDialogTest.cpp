// The check-path dialog: the values it lists and their order, the common folder
// of a selection, search and replace of the path inside a value, the folder rules
// of the automatic fix, and the save.

#include "DialogFixture.h"

#include "wizard/FormCheckPath.h"

#include <QHeaderView>
#include <QTableWidget>

namespace orvex::test {
namespace {

using Rows = std::vector<std::string>;

TEST(CheckPathRulesTest, CommonFolderOfTwoPaths) {
    const std::tuple<const char16_t*, const char16_t*, const char16_t*> cases[] = {
        {u"c:\\web\\a\\x", u"c:\\web\\b", u"c:\\web"}, {u"c:\\web", u"c:\\web\\b", u"c:\\web"},
        {u"c:\\web\\b", u"c:\\web", u"c:\\web"},       {u"C:\\Web\\ab", u"c:\\web\\abc", u"C:\\Web"},
        {u"c:\\web\\abc", u"c:\\web\\ab", u"c:\\web"}, {u"c:\\web", u"C:\\WEB", u"c:\\web"},
        {u"c:\\", u"c:\\web", u"c:\\"},                {u"c:\\web2", u"c:\\web", u"c:"},
        {u"c:\\web", u"d:\\web", u""},                 {u"", u"c:\\web", u""},
    };
    for (const auto& [a, b, common] : cases)
        EXPECT_EQ(U8(CommonPathPrefix(a, b)), U8(common)) << U8(a) << " " << U8(b);
}

TEST(CheckPathRulesTest, ReplaceMatchesWholeFoldersOnly) {
    const std::tuple<const char16_t*, const char16_t*, const char16_t*, const char16_t*> cases[] = {
        {u"C:\\web\\b", u"c:\\WEB", u"D:\\site", u"D:\\site\\b"},
        {u"C:\\web", u"C:\\web", u"D:\\site", u"D:\\site"},         // the whole path
        {u"C:\\website\\b", u"C:\\web", u"D:\\site", nullptr},      // inside a name
        {u"C:\\web/b", u"C:\\web", u"D:", u"D:/b"},                    // either separator
        {u"C:\\web\\x\\web\\y", u"web", u"w", u"C:\\w\\x\\w\\y"}, // every occurrence
        {u"C:\\web\\webs", u"web", u"w", u"C:\\w\\webs"},
        {u"C:\\web\\b", u"C:\\web\\", u"E:\\", u"E:\\b"},         // from ends a folder itself
        {u"C:\\web\\b", u"C:\\web\\b\\c", u"E:", nullptr},        // longer than the path
        {u"C:\\web", u"", u"E:", nullptr},
    };
    for (const auto& [path, from, to, replaced] : cases)
        EXPECT_EQ(ReplaceFolder(path, from, to), replaced ? std::optional<std::u16string>(replaced) : std::nullopt)
            << U8(path) << " " << U8(from);
}

using TCheckPathRulesTest = TDialogTest;

TEST_F(TCheckPathRulesTest, FolderRulesFollowThisMachinesFolders) {
    OpenMachine(u"localhost");
    const std::filesystem::path machine = MachineFolderOf(u"localhost");
    // Each step changes the drives (C:\WINDOWS at first), then rewrites two paths.
    const std::vector<std::tuple<std::function<void()>, const char16_t*, const char16_t*>> steps = {
        {[] {}, u"C:\\WINNT\\system32", u"C:\\windows\\system32"},
        {[] {}, u"c:\\Windows\\x", nullptr},
        {[&] { CreateDriveFolder(machine, u"D:\\WINDOWS"); }, u"c:\\Windows\\x", u"d:\\windows\\x"},
        {[&] { CreateDriveFolder(machine, u"C:\\WINNT"); }, u"c:\\Windows\\x", u"c:\\winnt\\x"},
        {[&] { std::filesystem::remove_all(machine / "drives" / "C" / "WINDOWS"); }, u"C:\\WINNT\\x", nullptr},
        {[&] { CreateDriveFolder(machine, u"D:\\WINNT"); }, u"C:\\WINNT\\x", u"d:\\winnt\\x"},
    };
    for (const auto& [change, path, rewritten] : steps) {
        change();
        EXPECT_EQ(RewriteByPathRules(path), rewritten ? std::optional<std::u16string>(rewritten) : std::nullopt)
            << U8(path);
    }
}

class TCheckPathDialogTest : public TDialogTest {
protected:
    // Ticks Alpha of Dialogs.xml, goes to restore page 4 ("make sure" the paths)
    // and shows the dialog with the choice given, driving it with body; the
    // restore is then declined.
    void OpenWith(const char* choice, const std::function<void(TFormCheckPath&)>& body) {
        LoadRestoreFile(CopyFixture("Dialogs.xml"));
        Tick("Web Site: Alpha");
        Click("btnnext");
        for (const char* button : {"rbWebsitesExist2", "rbIpNotFound2", "rbPathsValid1", choice})
            Find<QRadioButton>(button)->setChecked(true);
        Click("btnnext");
        Answers.push_back(mrNo);
        WithModal<TFormCheckPath>([this] { Click("btnnext"); }, body);
    }
    static void ClickRows(QDialog& dialog, std::initializer_list<int> rows, Qt::KeyboardModifiers keys = {}) {
        auto* list = In<QTreeWidget>(dialog, "lvNonexistPath");
        for (int row : rows)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, keys, list->visualItemRect(list->topLevelItem(row)).center());
    }
    static void ClickHeader(QDialog& dialog, int column) {
        QHeaderView& header = *In<QTreeWidget>(dialog, "lvNonexistPath")->header();
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, {header.sectionViewportPosition(column) + 9, 5});
    }
    // The listed row (kListed) with a new value and its mark.
    static std::string With(int row, const std::string& newValue, int mark) {
        return kListed[static_cast<size_t>(row)].substr(0, kListed[static_cast<size_t>(row)].size() - 2) + newValue +
               "|" + std::to_string(mark);
    }
    std::string FileBytes() const { return ReadBytes(Temp("Dialogs.xml")); }

    static inline const Rows kListed = {
        "WEB2Sites/11@@LogFileDirectory|C:\\WINNT\\system32\\LogFiles||1",
        "WEB2Sites/11/ROOT@@ScriptMaps@@Item|.asp,C:\\WINNT\\system32\\inetsrv\\asp.dll,5,GET,HEAD||1",
        "WEB2Sites/11/ROOT@@ScriptMaps@@Item|.shtm,c:\\winnt\\system32\\inetsrv\\ssinc.dll,5,GET||1",
        "WEB2Sites/11/ROOT@@Path|Z:\\web\\alpha||1",
        "WEB2Sites/11/ROOT/images@@Path|Z:\\web\\alpha\\images||1",
    };
};

TEST_F(TCheckPathDialogTest, RowsStandByAddressAndColumnClicksReorderThem) {
    OpenWith("rbCheckPath1", [](TFormCheckPath& dialog) {
        EXPECT_EQ(U8(dialog.windowTitle()) + "|" + TextIn(dialog, "GroupBox3") + "|" + TextIn(dialog, "btnReplace"),
                  "Data Validation: Paths Used in IIS Configuration|Error found. Invalid Paths.|Replace All Now");
        EXPECT_FALSE(In<QWidget>(dialog, "btnAuto")->isVisible());
        // By address, descending until the first column click.
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), kListed);
        ClickHeader(dialog, 0);
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), (Rows{kListed[4], kListed[3], kListed[1], kListed[2], kListed[0]}));
        ClickHeader(dialog, 1);  // by the path inside the old value, descending again
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), (Rows{kListed[4], kListed[3], kListed[0], kListed[2], kListed[1]}));
        dialog.close();
    });
}

TEST_F(TCheckPathDialogTest, SelectionReplaceAndSave) {
    std::string expected;
    OpenWith("rbCheckPath1", [&](TFormCheckPath& dialog) {
        expected = FileBytes();
        ClickRows(dialog, {3});
        ClickRows(dialog, {4}, Qt::ControlModifier);
        EXPECT_EQ(TextIn(dialog, "editFrom") + "|" + TextIn(dialog, "editTo"), "Z:\\web\\alpha|Z:\\web\\alpha");
        ClickRows(dialog, {0});
        ClickRows(dialog, {1}, Qt::ControlModifier);
        EXPECT_EQ(TextIn(dialog, "editFrom"), "C:\\WINNT\\system32");
        // A double-click proposes the row's path as the folder rules rewrite it.
        DoubleClick(*In<QTreeWidget>(dialog, "lvNonexistPath"), {40, 8});
        EXPECT_EQ(TextIn(dialog, "editFrom") + "|" + TextIn(dialog, "editTo"),
                  "C:\\WINNT\\system32\\LogFiles|C:\\windows\\system32\\LogFiles");

        // The folder is found in any case; only the path changes.
        SetIn(dialog, "editFrom", " c:\\winnt ");
        SetIn(dialog, "editTo", "C:\\WINDOWS");
        ClickIn(dialog, "btnReplace");
        EXPECT_EQ(TextIn(dialog, "editTo"), "");
        SetIn(dialog, "editFrom", "Z:\\web\\alpha");
        SetIn(dialog, "editTo", "C:\\Inetpub\\wwwroot");
        ClickIn(dialog, "btnReplace");
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"),
                  (Rows{With(0, "C:\\WINDOWS\\system32\\LogFiles", 0),
                        With(1, ".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD", 0),
                        With(2, ".shtm,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET", 0),
                        With(3, "C:\\Inetpub\\wwwroot", 0), With(4, "C:\\Inetpub\\wwwroot\\images", 1)}));
        ClickIn(dialog, "btnSave");
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), Rows{"WEB2Sites/11/ROOT/images@@Path|C:\\Inetpub\\wwwroot\\images||1"});
        dialog.close();
    });
    for (auto [from, to] : {std::pair<std::string, std::string>{"C:\\WINNT\\system32\\LogFiles", "C:\\WINDOWS\\system32\\LogFiles"},
                            {"C:\\WINNT\\system32\\inetsrv\\asp.dll", "C:\\WINDOWS\\system32\\inetsrv\\asp.dll"},
                            {"c:\\winnt\\system32\\inetsrv\\ssinc.dll", "C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll"},
                            {"\"Z:\\web\\alpha\"", "\"C:\\Inetpub\\wwwroot\""},
                            {"\"Z:\\web\\alpha\\images\"", "\"C:\\Inetpub\\wwwroot\\images\""}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(FileBytes(), expected);
    // The list of the selected site shows the saved file; the ticks stay.
    EXPECT_EQ(Find<QTableWidget>("lvPropertyR")->findItems(QStringLiteral("C:\\WINDOWS\\system32\\LogFiles"), Qt::MatchExactly).size(), 1);
    EXPECT_EQ(RestoreNode("Web Site: Alpha")->ImageIndex(), 1);
}

// Replace works on whole folders: a From that ends inside a folder's name
// rewrites nothing, one that ends at a folder rewrites the paths below it.
TEST_F(TCheckPathDialogTest, ReplaceStopsAtFolderBoundaries) {
    OpenWith("rbCheckPath1", [&](TFormCheckPath& dialog) {
        for (const char* from : {"z:\\web\\al", "C:\\WINNT\\system3", "Z:\\web\\alpha\\im"}) {
            SetIn(dialog, "editFrom", from);
            SetIn(dialog, "editTo", "Q:\\x");
            ClickIn(dialog, "btnReplace");
            EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), kListed) << from;
        }
        SetIn(dialog, "editFrom", "z:\\WEB\\alpha\\");
        SetIn(dialog, "editTo", "C:\\Inetpub\\");
        ClickIn(dialog, "btnReplace");
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"),
                  (Rows{kListed[0], kListed[1], kListed[2], kListed[3], With(4, "C:\\Inetpub\\images", 1)}));
        SetIn(dialog, "editFrom", "Z:\\web\\alpha");
        SetIn(dialog, "editTo", "C:\\Inetpub\\wwwroot");
        ClickIn(dialog, "btnReplace");
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"),
                  (Rows{kListed[0], kListed[1], kListed[2], With(3, "C:\\Inetpub\\wwwroot", 0),
                        With(4, "C:\\Inetpub\\wwwroot\\images", 1)}));
        dialog.close();
    });
}

TEST_F(TCheckPathDialogTest, AutomaticFixCountsWhatItFoundAndAFailedSaveLeavesTheFile) {
    OpenWith("rbCheckPath2", [&](TFormCheckPath& dialog) {
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(U8(Messages[0].Text), "3 paths have been fixed!");
        const Rows fixed = {With(0, "C:\\windows\\system32\\LogFiles", 0),
                            With(1, ".asp,C:\\windows\\system32\\inetsrv\\asp.dll,5,GET,HEAD", 0),
                            With(2, ".shtm,c:\\windows\\system32\\inetsrv\\ssinc.dll,5,GET", 0), kListed[3], kListed[4]};
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), fixed);
        Screenshot("FormCheckPath-Auto", &dialog);

        const std::string broken = FileBytes().substr(0, 200);
        WriteBytes(Temp("Dialogs.xml"), broken);
        ClickIn(dialog, "btnSave");
        EXPECT_EQ(FileBytes(), broken);
        EXPECT_EQ(ListRows(dialog, "lvNonexistPath"), fixed);
        EXPECT_FALSE(dialog.Saved());
        EXPECT_EQ(U8(Messages.back().Text), "The changes could not be saved in \"" + Temp("Dialogs.xml").string() +
                                                "\"; the file is left as it was and the log tells why.");
        dialog.close();
    });
    EXPECT_NE(LogText().find("RewriteValuesByKey: "), std::string::npos) << LogText();
}

} // namespace
} // namespace orvex::test
