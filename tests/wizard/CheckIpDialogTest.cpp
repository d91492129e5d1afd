// The check-IP dialog: which bindings it lists, whole-address replacement with
// its validation, the automatic choice of free local addresses, and the save,
// after which the restore takes the ticked site with its new bindings.

#include "DialogFixture.h"

#include "engine/IIsBinding.h"
#include "platform/MetabaseValues.h"
#include "wizard/FormCheckIP.h"

#include <QTableWidget>

namespace orvex::test {
namespace {

using Rows = std::vector<std::string>;

TEST(CheckIpRulesTest, AddressesAndBindings) {
    for (const char16_t* valid : {u"10.0.0.1", u"1.0.0.0", u"254.254.254.254", u"010.0.0.1"})
        EXPECT_TRUE(IsValidIPv4(valid)) << U8(valid);
    for (const char16_t* invalid : {u"0.1.2.3", u"10.0.0.255", u"10.0.0", u"255.255.255.0", u"10.0.0.x", u"1.2.3.4.5",
                                    u"", u"10..0.1", u"+1.2.3.4", u"10.0.0.1:80", u"1000.1.1.1", u"1.2.3.\uFF14"})
        EXPECT_FALSE(IsValidIPv4(invalid)) << U8(invalid);
    EXPECT_EQ(BindingAddress(u"10.0.0.1:80:www") + u"|" + BindingAddress(u":80:") + u"|" + BindingAddress(u"10.0.0.1"),
              u"10.0.0.1||10.0.0.1");
}

class TCheckIpDialogTest : public TDialogTest {
protected:
    // Ticks the sites of Dialogs.xml, then Next on restore page 3 with "fix the
    // addresses first" and "not mind" the paths, driving the dialog with body.
    void OpenFor(std::initializer_list<const char*> sites, const std::function<void(TFormCheckIP&)>& body) {
        LoadRestoreFile(CopyFixture("Dialogs.xml"));
        for (const char* site : sites)
            Tick(site);
        Click("btnnext");
        for (const char* choice : {"rbWebsitesExist2", "rbIpNotFound1", "rbPathsValid2"})
            Find<QRadioButton>(choice)->setChecked(true);
        WithModal<TFormCheckIP>([this] { Click("btnnext"); }, body);
    }
    static void Replace(QDialog& dialog, const char* from, const char* to) {
        SetIn(dialog, "editFrom", from);
        SetIn(dialog, "editTo", to);
        ClickIn(dialog, "btnReplace");
    }
    std::string FileBytes() const { return ReadBytes(Temp("Dialogs.xml")); }
};

TEST_F(TCheckIpDialogTest, ReplacementTakesWholeAddressesAndWaitsForTheYes) {
    std::string expected;
    Answers = {mrNo, mrYes, mrNo};  // save: no, save: yes, restore: no
    OpenFor({"Web Site: Alpha", "Web Site: Beta"}, [&](TFormCheckIP& dialog) {
        expected = FileBytes();
        EXPECT_EQ(U8(dialog.windowTitle()) + "|" + TextIn(dialog, "GroupBox1") + "|" + TextIn(dialog, "btnReplace"),
                  "Check IP|Error found. Invalid IP.|Replace All");
        const Rows listed = {"WEB2Sites/11@@ServerBindings|10.99.99.1:80:||1",
                             "WEB2Sites/11@@ServerBindings|10.99.99.1:8080:alpha||1",
                             "WEB2Sites/11@@SecureBindings|10.99.99.2:443:||1",
                             "WEB2Sites/12@@ServerBindings|110.99.99.12:80:||1",
                             "WEB2Sites/12@@ServerBindings|10.99.99.1:80:beta||1"};
        EXPECT_EQ(ListRows(dialog, "lvIpList"), listed);
        // Bad addresses are said, change nothing and keep the dialog open.
        for (const char* to : {"10.0.0.255", "10.0.0", "255.255.255.0", "10.0.0.x", "10.0.0.20.5"})
            Replace(dialog, "10.99.99.1", to);
        Replace(dialog, "10.99.99.1", "  ");
        EXPECT_EQ(Messages.size(), 5u);
        EXPECT_EQ(U8(Messages.back().Text), "Error with ip address.");
        EXPECT_EQ(Messages.back().Type, TMsgDlgType::mtError);
        EXPECT_EQ(ListRows(dialog, "lvIpList"), listed);

        auto* list = In<QTreeWidget>(dialog, "lvIpList");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        EXPECT_EQ(TextIn(dialog, "editFrom") + "|" + TextIn(dialog, "editTo"), "10.99.99.1|10.99.99.1");
        Replace(dialog, " 10.99.99.1 ", "10.0.0.20");
        Replace(dialog, "10.99.99.2", "10.99.99.7");
        EXPECT_EQ(ListRows(dialog, "lvIpList"),
                  (Rows{"WEB2Sites/11@@ServerBindings|10.99.99.1:80:|10.0.0.20:80:|0",
                        "WEB2Sites/11@@ServerBindings|10.99.99.1:8080:alpha|10.0.0.20:8080:alpha|0",
                        "WEB2Sites/11@@SecureBindings|10.99.99.2:443:|10.99.99.7:443:|1",
                        "WEB2Sites/12@@ServerBindings|110.99.99.12:80:||1",
                        "WEB2Sites/12@@ServerBindings|10.99.99.1:80:beta|10.0.0.20:80:beta|0"}));
        Screenshot("FormCheckIP-Replaced", &dialog);

        ClickIn(dialog, "btnSave");
        EXPECT_EQ(U8(Messages.back().Text), "Please confirm that you want to save the new IPs.\r\n\r\n The Dialogs.xml "
                                            "file will be altered. \r\n\r\nThis action cannot be undone.");
        EXPECT_EQ(FileBytes(), expected);
        EXPECT_EQ(ListRows(dialog, "lvIpList").size(), 5u);
        ClickIn(dialog, "btnSave");
        // Rows now bound here are done; one still bound elsewhere stays with its new binding.
        EXPECT_EQ(ListRows(dialog, "lvIpList"), (Rows{"WEB2Sites/11@@SecureBindings|10.99.99.7:443:||1",
                                                      "WEB2Sites/12@@ServerBindings|110.99.99.12:80:||1"}));
        dialog.close();
    });
    for (auto [from, to] : {std::pair<std::string, std::string>{"\"10.99.99.1:80:\"", "\"10.0.0.20:80:\""},
                            {"\"10.99.99.1:8080:alpha\"", "\"10.0.0.20:8080:alpha\""},
                            {"\"10.99.99.2:443:\"", "\"10.99.99.7:443:\""},
                            {"\"10.99.99.1:80:beta\"", "\"10.0.0.20:80:beta\""}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(Form().ActivePage(), wpRestore3);
    EXPECT_EQ(RestoreNode("Web Site: Beta")->ImageIndex(), 1);
    EXPECT_EQ(RestoreNode("Web Site: Gamma")->ImageIndex(), 0);
}

TEST_F(TCheckIpDialogTest, AutomaticReplacementTakesFreeLocalAddressesOnly) {
    Answers = {mrNo};
    OpenFor({"Web Site: Alpha"}, [&](TFormCheckIP& dialog) {
        ClickIn(dialog, "btnAuto");
        // This machine has 192.168.10.5 and 10.0.0.20; the backup binds the first itself.
        EXPECT_EQ(ListRows(dialog, "lvIpList"),
                  (Rows{"WEB2Sites/11@@ServerBindings|10.99.99.1:80:|10.0.0.20:80:|0",
                        "WEB2Sites/11@@ServerBindings|10.99.99.1:8080:alpha|10.0.0.20:8080:alpha|0",
                        "WEB2Sites/11@@SecureBindings|10.99.99.2:443:||1"}));
        EXPECT_TRUE(Messages.empty());
        dialog.close();
    });
}

TEST_F(TCheckIpDialogTest, RestoreAfterTheChangeTakesTheTickedSiteWithItsNewBindings) {
    Answers = {mrYes, mrYes};  // save, restore
    OpenFor({"Web Site: Alpha"}, [&](TFormCheckIP& dialog) {
        Replace(dialog, "10.99.99.1", "10.0.0.20");
        Replace(dialog, "10.99.99.2", "10.0.0.20");
        ClickIn(dialog, "btnSave");
        dialog.close();
    });
    ASSERT_EQ(Form().ActivePage(), wpRestore5);
    const auto bindings = [](std::u16string_view id) {
        return TextsOfArray(GetIIsObject(u"localhost", u"W3SVC/11").Call(u"Get", id));
    };
    EXPECT_EQ(bindings(u"ServerBindings"),
              (std::vector<std::u16string>{u"10.0.0.20:80:", u"10.0.0.20:8080:alpha", u":81:", u"192.168.10.5:80:www"}));
    EXPECT_EQ(bindings(u"SecureBindings"), std::vector<std::u16string>{u"10.0.0.20:443:"});
    EXPECT_TRUE(IIsObjectExists(u"localhost", u"W3SVC/11/ROOT/images"));
    EXPECT_FALSE(IIsObjectExists(u"localhost", u"W3SVC/12") || IIsObjectExists(u"localhost", u"W3SVC/13"));
    // The property list of the selected site shows the saved file.
    EXPECT_EQ(Find<QTableWidget>("lvPropertyR")->findItems(QStringLiteral("10.0.0.20:8080:alpha"), Qt::MatchExactly).size(), 1);
}

} // namespace
} // namespace orvex::test
