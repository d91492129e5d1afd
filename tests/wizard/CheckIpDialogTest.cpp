// The check-IP dialog: which bindings it lists, whole-address replacement with
// its validation, the automatic choice of free local addresses, and the save,
// after which the restore takes the ticked site with its new bindings.

#include "DialogFixture.h"

#include "engine/IIsBinding.h"
#include "platform/MetabaseValues.h"
#include "wizard/CheckDialogs.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace orvex::test {
namespace {

using Rows = std::vector<std::string>;

TEST(CheckIpRulesTest, AddressesAndBindings) {
    for (const char16_t* valid : {u"10.0.0.1", u"1.0.0.0", u"254.254.254.254", u"010.0.0.1"})
        EXPECT_TRUE(IsValidIPv4(valid)) << U8(valid);
    for (const char16_t* invalid : {u"0.1.2.3", u"10.0.0.255", u"10.0.0", u"255.255.255.0", u"10.0.0.x",
                                    u"1.2.3.4.5", u"", u"10..0.1", u"+1.2.3.4", u"10.0.0.1:80", u"1000.1.1.1",
                                    u"-1.2.3.4", u" 1.2.3.4", u"1.2.3.\uFF14"})
        EXPECT_FALSE(IsValidIPv4(invalid)) << U8(invalid);
    EXPECT_EQ(BindingAddress(u"10.0.0.1:80:www"), u"10.0.0.1");
    EXPECT_EQ(BindingAddress(u":80:"), u"");
    EXPECT_EQ(BindingAddress(u"10.0.0.1"), u"10.0.0.1");
}

class TCheckIpDialogTest : public TDialogTest {
protected:
    void SetUp() override {
        TDialogTest::SetUp();
        LoadRestoreFile(CopyFixture("Dialogs.xml"));
    }

    // Ticks the sites, then Next on restore page 3 with "fix the addresses first"
    // and "not mind" the paths, driving the dialog with body.
    void OpenFor(std::initializer_list<const char*> sites, const std::function<void(TFormCheckIP&)>& body) {
        for (const char* site : sites)
            Tick(site);
        Click("btnnext");
        for (const char* choice : {"rbWebsitesExist2", "rbIpNotFound1", "rbPathsValid2"})
            Find<QRadioButton>(choice)->setChecked(true);
        WithModal<TFormCheckIP>([this] { Click("btnnext"); }, body);
    }

    static void Replace(QDialog& dialog, const char* from, const char* to) {
        In<QLineEdit>(dialog, "editFrom")->setText(QString::fromUtf8(from));
        In<QLineEdit>(dialog, "editTo")->setText(QString::fromUtf8(to));
        ClickIn(dialog, "btnReplace");
    }

    static void ClickRow(QDialog& dialog, int index) {
        auto* list = In<QTreeWidget>(dialog, "lvIpList");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(index)).center());
    }

    std::string FileBytes() const { return ReadBytes(Temp("Dialogs.xml")); }
};

TEST_F(TCheckIpDialogTest, ReplacementTakesWholeAddressesAndWaitsForTheYes) {
    const std::string before = FileBytes();
    Answers = {mrNo, mrYes, mrNo};  // save: no, save: yes, restore: no
    OpenFor({"Web Site: Alpha", "Web Site: Beta"}, [&](TFormCheckIP& dialog) {
        EXPECT_EQ(U8(dialog.windowTitle()), "Check IP");
        EXPECT_EQ(U8(In<QGroupBox>(dialog, "GroupBox1")->title()), "Error found. Invalid IP.");
        EXPECT_EQ(U8(In<QPushButton>(dialog, "btnReplace")->text()), "Replace All");
        const Rows listed = {"WEB2Sites/11@@ServerBindings|10.99.99.1:80:||1",
                             "WEB2Sites/11@@ServerBindings|10.99.99.1:8080:alpha||1",
                             "WEB2Sites/11@@SecureBindings|10.99.99.2:443:||1",
                             "WEB2Sites/12@@ServerBindings|110.99.99.12:80:||1",
                             "WEB2Sites/12@@ServerBindings|10.99.99.1:80:beta||1"};
        EXPECT_EQ(ListRows(dialog, "lvIpList"), listed);

        // Bad addresses are said and change nothing; the dialog stays.
        const std::pair<const char*, const char*> refused[] = {
            {"10.99.99.1", "10.0.0.255"}, {"0.1.2.3", "10.0.0.20"}, {"10.99.99.1", "10.0.0"},
            {"10.99.99.1", "255.255.255.0"}, {"10.99.99.x", "10.0.0.20"}, {"10.99.99.1", "10.0.0.20.5"}};
        for (const auto& [from, to] : refused) {
            Replace(dialog, from, to);
            EXPECT_EQ(U8(Messages.back().Text), "Error with ip address.") << from << " " << to;
            EXPECT_EQ(Messages.back().Type, TMsgDlgType::mtError);
        }
        EXPECT_EQ(Messages.size(), std::size(refused));
        Replace(dialog, "10.99.99.1", "  ");
        EXPECT_EQ(Messages.size(), std::size(refused));
        EXPECT_EQ(ListRows(dialog, "lvIpList"), listed);
        EXPECT_TRUE(dialog.isVisible());

        ClickRow(dialog, 0);
        EXPECT_EQ(U8(In<QLineEdit>(dialog, "editFrom")->text()), "10.99.99.1");
        EXPECT_EQ(U8(In<QLineEdit>(dialog, "editTo")->text()), "10.99.99.1");
        Replace(dialog, " 10.99.99.1 ", "10.0.0.20");
        Replace(dialog, "10.99.99.2", "10.99.99.7");
        EXPECT_EQ(ListRows(dialog, "lvIpList"),
                  (Rows{"WEB2Sites/11@@ServerBindings|10.99.99.1:80:|10.0.0.20:80:|0",
                        "WEB2Sites/11@@ServerBindings|10.99.99.1:8080:alpha|10.0.0.20:8080:alpha|0",
                        "WEB2Sites/11@@SecureBindings|10.99.99.2:443:|10.99.99.7:443:|1",
                        "WEB2Sites/12@@ServerBindings|110.99.99.12:80:||1",
                        "WEB2Sites/12@@ServerBindings|10.99.99.1:80:beta|10.0.0.20:80:beta|0"}));
        ClickRow(dialog, 0);
        EXPECT_EQ(U8(In<QLineEdit>(dialog, "editTo")->text()), "10.0.0.20");
        ScreenshotOf(dialog, "FormCheckIP-Replaced");

        ClickIn(dialog, "btnSave");
        EXPECT_EQ(U8(Messages.back().Text), "Please confirm that you want to save the new IPs.\r\n\r\n The Dialogs.xml "
                                            "file will be altered. \r\n\r\nThis action cannot be undone.");
        EXPECT_EQ(FileBytes(), before);
        EXPECT_EQ(ListRows(dialog, "lvIpList").size(), 5u);
        EXPECT_FALSE(dialog.IpsSaved());

        ClickIn(dialog, "btnSave");
        EXPECT_EQ(ListRows(dialog, "lvIpList"), (Rows{"WEB2Sites/11@@SecureBindings|10.99.99.7:443:||1",
                                                  "WEB2Sites/12@@ServerBindings|110.99.99.12:80:||1"}));
        EXPECT_TRUE(dialog.IpsSaved());
        dialog.close();
    });
    std::string expected = before;
    for (auto [from, to] : {std::pair<std::string, std::string>{"\"10.99.99.1:80:\"", "\"10.0.0.20:80:\""},
                            {"\"10.99.99.1:8080:alpha\"", "\"10.0.0.20:8080:alpha\""},
                            {"\"10.99.99.2:443:\"", "\"10.99.99.7:443:\""},
                            {"\"10.99.99.1:80:beta\"", "\"10.0.0.20:80:beta\""}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(Form().ActivePage(), wpRestore3);
    for (auto [site, mark] : {std::pair{"Web Site: Alpha", 1}, {"Web Site: Beta", 1}, {"Web Site: Gamma", 0}})
        EXPECT_EQ(RestoreNode(site)->ImageIndex(), mark) << site;
}

TEST_F(TCheckIpDialogTest, AutomaticReplacementTakesFreeLocalAddressesOnly) {
    Answers = {mrNo};
    OpenFor({"Web Site: Alpha"}, [&](TFormCheckIP& dialog) {
        ClickIn(dialog, "btnAuto");
        // 192.168.10.5 is bound by the backup itself: only 10.0.0.20 is free, and
        // it goes to the first missing address.
        EXPECT_EQ(ListRows(dialog, "lvIpList"),
                  (Rows{"WEB2Sites/11@@ServerBindings|10.99.99.1:80:|10.0.0.20:80:|0",
                        "WEB2Sites/11@@ServerBindings|10.99.99.1:8080:alpha|10.0.0.20:8080:alpha|0",
                        "WEB2Sites/11@@SecureBindings|10.99.99.2:443:||1"}));
        EXPECT_TRUE(Messages.empty());
        dialog.close();
    });
}

TEST_F(TCheckIpDialogTest, RestoreAfterTheChangeTakesTheTickedSiteWithItsNewBindings) {
    Find<TCheckTreeWidget>("tvRestore")->setCurrentItem(RestoreNode("Web Site: Alpha"));
    Answers = {mrYes, mrYes};  // save, restore
    OpenFor({"Web Site: Alpha"}, [&](TFormCheckIP& dialog) {
        Replace(dialog, "10.99.99.1", "10.0.0.20");
        Replace(dialog, "10.99.99.2", "10.0.0.20");
        ClickIn(dialog, "btnSave");
        EXPECT_EQ(ListRows(dialog, "lvIpList"), Rows());
        dialog.close();
    });
    ASSERT_EQ(Form().ActivePage(), wpRestore5);
    const auto bindings = [](std::u16string_view site, std::u16string_view id) {
        return TextsOfArray(GetIIsObject(u"localhost", u"W3SVC/" + std::u16string(site)).Call(u"Get", id));
    };
    EXPECT_EQ(bindings(u"11", u"ServerBindings"),
              (std::vector<std::u16string>{u"10.0.0.20:80:", u"10.0.0.20:8080:alpha", u":81:", u"192.168.10.5:80:www"}));
    EXPECT_EQ(bindings(u"11", u"SecureBindings"), std::vector<std::u16string>{u"10.0.0.20:443:"});
    EXPECT_TRUE(IIsObjectExists(u"localhost", u"W3SVC/11/ROOT/images"));
    EXPECT_FALSE(IIsObjectExists(u"localhost", u"W3SVC/12"));
    EXPECT_FALSE(IIsObjectExists(u"localhost", u"W3SVC/13"));
    // The property list of the selected site shows the saved file.
    auto* list = Find<QTableWidget>("lvPropertyR");
    EXPECT_EQ(U8(list->findItems(QStringLiteral("10.0.0.20:8080:alpha"), Qt::MatchExactly).value(0)->text()),
              "10.0.0.20:8080:alpha");
}

TEST_F(TCheckIpDialogTest, FailedSaveLeavesTheFileAndSaysSo) {
    Answers = {mrYes, mrNo};
    OpenFor({"Web Site: Alpha"}, [&](TFormCheckIP& dialog) {
        Replace(dialog, "10.99.99.1", "10.0.0.20");
        const Rows replaced = ListRows(dialog, "lvIpList");
        const std::string broken = FileBytes().substr(0, 200);
        WriteBytes(Temp("Dialogs.xml"), broken);
        ClickIn(dialog, "btnSave");
        EXPECT_EQ(FileBytes(), broken);
        EXPECT_EQ(ListRows(dialog, "lvIpList"), replaced);
        EXPECT_FALSE(dialog.IpsSaved());
        EXPECT_EQ(U8(Messages.back().Text), "The changes could not be saved in \"" + Temp("Dialogs.xml").string() +
                                                "\"; the file is left as it was and the log tells why.");
        EXPECT_TRUE(dialog.isVisible());
        dialog.close();
    });
    EXPECT_NE(LogText().find("RewriteValuesByKey: "), std::string::npos) << LogText();
}

} // namespace
} // namespace orvex::test
