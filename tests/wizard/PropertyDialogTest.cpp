// The property dialog and the main window's property actions: validation with its
// texts, the stored spelling of types and values, which rows may be edited, and
// that the list changes only with the file it belongs to.

#include "DialogFixture.h"

#include "wizard/PropertyForm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace orvex::test {
namespace {

class TPropertyDialogTest : public TDialogTest {
protected:
    void SetUp() override {
        TDialogTest::SetUp();
        FFile = CopyFixture("Restore.xml");
        LoadRestoreFile(FFile);
        List = Find<QTableWidget>("lvPropertyR");
    }

    void SelectNode(const char* text) { Find<TCheckTreeWidget>("tvRestore")->setCurrentItem(RestoreNode(text)); }

    // Selects the row of the list whose cells read "id|type|value".
    void SelectRow(const std::string& cells) {
        for (int row = 0; row < List->rowCount(); ++row)
            if (RowCells(row) == cells)
                return List->selectRow(row);
        ADD_FAILURE() << "no row " << cells;
    }
    std::string RowCells(int row) const {
        return U8(List->item(row, 0)->text() + "|" + List->item(row, 1)->text() + "|" + List->item(row, 2)->text());
    }
    std::string SelectedCells() const {
        const auto selected = List->selectedItems();
        return selected.isEmpty() ? "" : RowCells(selected.front()->row());
    }
    std::vector<std::string> AllCells() const {
        std::vector<std::string> rows;
        for (int row = 0; row < List->rowCount(); ++row)
            rows.push_back(RowCells(row));
        return rows;
    }

    static void Fill(QDialog& dialog, std::u16string_view id, std::u16string_view type, std::u16string_view value) {
        In<QLineEdit>(dialog, "editProperty")->setText(QString::fromStdU16String(std::u16string(id)));
        In<QComboBox>(dialog, "cbType")->setEditText(QString::fromStdU16String(std::u16string(type)));
        In<QLineEdit>(dialog, "editValue")->setText(QString::fromStdU16String(std::u16string(value)));
    }

    std::string FileBytes() const { return ReadBytes(Temp("Restore.xml")); }

    std::u16string FFile;
    QTableWidget* List = nullptr;
};

TEST_F(TPropertyDialogTest, AddRefusesWhatTheRestoreCannotWriteAndStoresTheRest) {
    struct TCase {
        const char* Name;
        std::u16string Id, Type, Value;
        const char* Warning;  // the warning shown; nullptr: accepted, or the sound for a blank id
        const char* Focus;    // the control given the focus when refused
        const char* Stored;   // the property line in the file when accepted
    };
    const std::vector<TCase> cases = {
        {"blank id", u"   ", u"STRING", u"x", nullptr, "editProperty", nullptr},
        {"list type", u"DefaultDoc", u"LIST", u"a", "Please select a supported type!", "cbType", nullptr},
        {"no type", u"DefaultDoc", u"", u"a", "Please select a supported type!", "cbType", nullptr},
        {"decimal", u"ConnectionTimeout", u"integer", u"1.5", "Enter an integer.", "editValue", nullptr},
        {"empty integer", u"ConnectionTimeout", u"INTEGER", u"  ", "Enter an integer.", "editValue", nullptr},
        {"hexadecimal", u"ConnectionTimeout", u"INTEGER", u"$FF", "Enter an integer.", "editValue", nullptr},
        {"C hexadecimal", u"ConnectionTimeout", u"Integer", u"0x1F", "Enter an integer.", "editValue", nullptr},
        {"above 32 bits", u"ConnectionTimeout", u"INTEGER", u"2147483648", "Enter an integer.", "editValue", nullptr},
        {"yes", u"AllowKeepAlive", u"BOOLEAN", u"yes", "Boolean value should be True or False!", "editValue", nullptr},
        {"lowest integer, type in lower case", u"ConnectionTimeout", u" integer ", u" -2147483648 ", nullptr, nullptr,
         R"(<Property id="ConnectionTimeout" type="INTEGER" value="-2147483648" Inherit="False"/>)"},
        {"plus sign", u"ServerListenTimeout", u"INTEGER", u"+120", nullptr, nullptr,
         R"(<Property id="ServerListenTimeout" type="INTEGER" value="+120" Inherit="False"/>)"},
        {"boolean in capitals", u"AllowKeepAlive", u"Boolean", u"TRUE", nullptr, nullptr,
         R"(<Property id="AllowKeepAlive" type="BOOLEAN" value="True" Inherit="False"/>)"},
        {"string, trimmed", u"  DefaultDoc ", u"string", u"  index.htm, a & b  ", nullptr, nullptr,
         R"(<Property id="DefaultDoc" type="STRING" value="index.htm, a &amp; b" Inherit="False"/>)"},
        {"empty string", u"ServerComment", u"STRING", u"", nullptr, nullptr,
         R"(<Property id="ServerComment" type="STRING" value="" Inherit="False"/>)"},
    };
    SelectNode("WEBSRV1Sites");
    SelectRow("MaxConnections|INTEGER|1000");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string before = FileBytes();
        const size_t shown = Messages.size();
        const std::string selected = SelectedCells();
        WithModal<TFormProperty>([this] { Trigger("actionPropertyAddR"); }, [&](TFormProperty& dialog) {
            Fill(dialog, c.Id, c.Type, c.Value);
            ClickIn(dialog, "Ok");
            if (c.Stored) {
                EXPECT_FALSE(dialog.isVisible());
                return;
            }
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(U8(dialog.focusWidget()->objectName()), c.Focus);
            dialog.reject();
        });
        if (!c.Stored) {
            EXPECT_EQ(FileBytes(), before);
            EXPECT_EQ(SelectedCells(), selected);
            ASSERT_EQ(Messages.size(), shown + (c.Warning ? 1 : 0));
            if (c.Warning) {
                EXPECT_EQ(U8(Messages.back().Text), c.Warning);
                EXPECT_EQ(Messages.back().Type, TMsgDlgType::mtWarning);
            } else {
                EXPECT_TRUE(SoundPlayed());
            }
            continue;
        }
        EXPECT_EQ(Messages.size(), shown);
        const std::string after = FileBytes();
        EXPECT_NE(after.find(std::string("\r\n      ") + c.Stored + "\r\n    </Machine>"), std::string::npos) << after;
        const std::string line = c.Stored;
        const auto attribute = [&line](const std::string& name) {
            const size_t start = line.find(name + "=\"") + name.size() + 2;
            return line.substr(start, line.find('"', start) - start);
        };
        std::string value = attribute("value");
        if (const size_t amp = value.find("&amp;"); amp != std::string::npos)
            value.replace(amp, 5, "&");
        EXPECT_EQ(SelectedCells(), attribute("id") + "|" + attribute("type") + "|" + value);
    }
}

TEST_F(TPropertyDialogTest, EditAndDeleteTakeOnlyEditableRows) {
    SelectNode("Web Site: Default Web Site");
    const std::string before = FileBytes();
    for (const char* row : {"ServerBindings|LIST|", "|Item|:80:"}) {
        SelectRow(row);
        WithoutModal([this] {
            Trigger("actionPropertyEditR");
            Trigger("actionPropertyDeleteR");
        });
    }
    List->clearSelection();
    WithoutModal([this] {
        Trigger("actionPropertyAddR");
        Trigger("actionPropertyEditR");
    });
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(List->rowCount(), 5);

    // A double-click on a row edits it; Cancel changes nothing.
    SelectRow("ServerComment|STRING|Default Web Site");
    WithModal<TFormProperty>(
        [this] {
            DoubleClick(*List, List->visualItemRect(List->item(0, 2)).center());
        },
        [&](TFormProperty& dialog) {
            EXPECT_EQ(U8(dialog.windowTitle()), "Properties");
            EXPECT_FALSE(In<QLineEdit>(dialog, "editProperty")->isEnabled());
            EXPECT_FALSE(In<QComboBox>(dialog, "cbType")->isEnabled());
            EXPECT_EQ(U8(In<QLineEdit>(dialog, "editProperty")->text()), "ServerComment");
            EXPECT_EQ(U8(In<QComboBox>(dialog, "cbType")->currentText()), "STRING");
            EXPECT_EQ(U8(In<QLineEdit>(dialog, "editValue")->text()), "Default Web Site");
            In<QLineEdit>(dialog, "editValue")->setText(QStringLiteral("Main"));
            ClickIn(dialog, "Cancel");
        });
    EXPECT_EQ(FileBytes(), before);

    WithModal<TFormProperty>([this] { Trigger("popEditProperty"); }, [&](TFormProperty& dialog) {
        In<QLineEdit>(dialog, "editValue")->setText(QStringLiteral("  Main <site>  "));
        ScreenshotOf(dialog, "FormProperty-Edit");
        ClickIn(dialog, "Ok");
    });
    std::string expected = before;
    const std::string old = R"(value="Default Web Site" Inherit="False"/>)";
    expected.replace(expected.find(old), old.size(), R"(value="Main &lt;site&gt;" Inherit="False"/>)");
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(SelectedCells(), "ServerComment|STRING|Main <site>");

    // Delete asks nothing.
    Trigger("popDeleteProperty");
    EXPECT_EQ(FileBytes().find("Main &lt;site&gt;"), std::string::npos);
    EXPECT_EQ(AllCells(), (std::vector<std::string>{"ServerBindings|LIST|", "|Item|:80:", "|Item|:8080:",
                                                    "SecureBindings|LIST|"}));
    EXPECT_TRUE(Messages.empty());
}

TEST_F(TPropertyDialogTest, AddingAnIdTheListShowsChangesThatRow) {
    SelectNode("Web Site: Default Web Site");
    SelectRow("|Item|:8080:");
    WithModal<TFormProperty>([this] { Trigger("actionPropertyAddR"); }, [](TFormProperty& dialog) {
        Fill(dialog, u"servercomment", u"STRING", u"Renamed");
        ClickIn(dialog, "Ok");
    });
    EXPECT_EQ(AllCells(), (std::vector<std::string>{"servercomment|STRING|Renamed", "ServerBindings|LIST|",
                                                    "|Item|:80:", "|Item|:8080:", "SecureBindings|LIST|"}));
    EXPECT_EQ(SelectedCells(), "servercomment|STRING|Renamed");
    const std::string file = FileBytes();
    EXPECT_NE(file.find(R"(<Property id="servercomment" type="STRING" value="Renamed" Inherit="False"/>)"),
              std::string::npos);
    EXPECT_EQ(file.find("Default Web Site\" Inherit"), std::string::npos);
}

TEST_F(TPropertyDialogTest, DialogSpeaksTheWizardsLanguage) {
    Trigger("miLingvoDeutsch");
    SelectNode("WEBSRV1Sites");
    SelectRow("MaxConnections|INTEGER|1000");
    WithModal<TFormProperty>([this] { Trigger("actionPropertyAddR"); }, [this](TFormProperty& dialog) {
        EXPECT_EQ(U8(dialog.windowTitle()), "Eigenschaften");
        EXPECT_EQ(U8(In<QLabel>(dialog, "Label1")->text()), "Eigenschaft:");
        EXPECT_EQ(U8(In<QPushButton>(dialog, "Ok")->text()), "OK");
        EXPECT_EQ(U8(In<QPushButton>(dialog, "Cancel")->text()), "Abbrechen");
        EXPECT_EQ(In<QComboBox>(dialog, "cbType")->count(), 3);
        EXPECT_EQ(U8(In<QComboBox>(dialog, "cbType")->itemText(2)), "BOOLEAN");
        Fill(dialog, u"MaxConnections", u"DWORD", u"5");
        ClickIn(dialog, "Ok");
        EXPECT_EQ(U8(Messages.at(0).Text), "Bitte wählen Sie einen unterstützten Typ aus!");
        ScreenshotOf(dialog, "FormProperty-Add-Deutsch");
        dialog.reject();
    });
    // The edit dialog keeps the form's Cancel.
    WithModal<TFormProperty>([this] { Trigger("actionPropertyEditR"); }, [](TFormProperty& dialog) {
        EXPECT_EQ(U8(In<QPushButton>(dialog, "Cancel")->text()), "Cancel");
        EXPECT_EQ(U8(In<QLabel>(dialog, "Label3")->text()), "Wert:");
        dialog.reject();
    });
}

TEST_F(TPropertyDialogTest, FailedWriteIsSaidAndChangesNoRow) {
    SelectNode("Web Site: Default Web Site");
    SelectRow("ServerComment|STRING|Default Web Site");
    const std::string broken = FileBytes().substr(0, 300);
    WriteBytes(Temp("Restore.xml"), broken);
    WithModal<TFormProperty>([this] { Trigger("actionPropertyEditR"); }, [](TFormProperty& dialog) {
        In<QLineEdit>(dialog, "editValue")->setText(QStringLiteral("Main"));
        ClickIn(dialog, "Ok");
    });
    Trigger("actionPropertyDeleteR");
    EXPECT_EQ(FileBytes(), broken);
    EXPECT_EQ(SelectedCells(), "ServerComment|STRING|Default Web Site");
    ASSERT_EQ(Messages.size(), 2u);
    const std::string file = Temp("Restore.xml").string();
    EXPECT_EQ(U8(Messages[0].Text), "The property \"ServerComment\" could not be saved in \"" + file +
                                        "\"; the file is left as it was and the log tells why.");
    EXPECT_EQ(U8(Messages[1].Text), "The property \"ServerComment\" could not be deleted from \"" + file +
                                        "\"; the file is left as it was and the log tells why.");
    EXPECT_EQ(Messages[1].Type, TMsgDlgType::mtError);
    EXPECT_NE(LogText().find("UpdateProperty: "), std::string::npos) << LogText();
}

TEST_F(TPropertyDialogTest, BackupListEditsTheBackupFileAndNothingElse) {
    SelectNode("Web Site: Default Web Site");
    SelectRow("ServerComment|STRING|Default Web Site");
    const std::string restoreFile = FileBytes();
    Click("btnback");
    Click("btnback");
    Find<QRadioButton>("rbBackup")->setChecked(true);
    Click("btnnext");
    Click("btnnext");
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Click("btnnext");
    Click("btnnext");
    ASSERT_EQ(Form().ActivePage(), wpBackup4);

    auto* tree = Find<TCheckTreeWidget>("tvBackup");
    tree->setCurrentItem(
        tree->findItems(QStringLiteral("Web Site: Default Web Site"), Qt::MatchExactly | Qt::MatchRecursive).at(0));
    auto* list = Find<QTableWidget>("lvProperty");
    const auto comment = list->findItems(QStringLiteral("ServerComment"), Qt::MatchExactly);
    ASSERT_EQ(comment.size(), 1);
    const int row = comment[0]->row();
    const std::string backupFile = ReadBytes(Temp("Sites.xml"));
    WithModal<TFormProperty>(
        [&] { DoubleClick(*list, list->visualItemRect(list->item(row, 2)).center()); },
        [](TFormProperty& dialog) {
            EXPECT_EQ(U8(In<QLineEdit>(dialog, "editProperty")->text()), "ServerComment");
            In<QLineEdit>(dialog, "editValue")->setText(QStringLiteral("Renamed"));
            ClickIn(dialog, "Ok");
        });
    EXPECT_EQ(FileBytes(), restoreFile);
    EXPECT_EQ(U8(list->item(row, 2)->text()), "Renamed");
    std::string expected = backupFile;
    const std::string old = R"(<Property id="ServerComment" type="STRING" value="Default Web Site")";
    ASSERT_NE(expected.find(old), std::string::npos);
    expected.replace(expected.find(old), old.size(), R"(<Property id="ServerComment" type="STRING" value="Renamed")");
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")), expected);
}

} // namespace
} // namespace orvex::test
