// The property dialog and the main window's property actions: validation with its
// texts, the stored spelling of types and values, which rows may be edited, and
// that a list changes only with the file its tree was built from.

#include "DialogFixture.h"

#include "wizard/FormProperty.h"

#include <QTableWidget>

namespace orvex::test {
namespace {

using Rows = std::vector<std::string>;

class TPropertyDialogTest : public TDialogTest {
protected:
    void SetUp() override {
        TDialogTest::SetUp();
        LoadRestoreFile(CopyFixture("Restore.xml"));
    }
    static Rows Cells(const QTableWidget& list) {
        Rows rows;
        for (int row = 0; row < list.rowCount(); ++row)
            rows.push_back(U8(list.item(row, 0)->text() + "|" + list.item(row, 1)->text() + "|" +
                              list.item(row, 2)->text()));
        return rows;
    }
    Rows Cells() { return Cells(*Find<QTableWidget>("lvPropertyR")); }
    std::string Selected() {
        const auto selected = Find<QTableWidget>("lvPropertyR")->selectedItems();
        return selected.isEmpty() ? "" : Cells().at(static_cast<size_t>(selected[0]->row()));
    }
    // Selects a node of the restore tree and the row of its list reading cells.
    void Select(const char* node, const std::string& cells) {
        Find<TCheckTreeWidget>("tvRestore")->setCurrentItem(RestoreNode(node));
        const Rows rows = Cells();
        const auto at = std::find(rows.begin(), rows.end(), cells);
        ASSERT_NE(at, rows.end()) << cells;
        Find<QTableWidget>("lvPropertyR")->selectRow(static_cast<int>(at - rows.begin()));
    }
    static void Fill(QDialog& dialog, const char* id, const char* type, const char* value) {
        SetIn(dialog, "editProperty", id);
        In<QComboBox>(dialog, "cbType")->setEditText(QString::fromUtf8(type));
        SetIn(dialog, "editValue", value);
    }
    std::string FileBytes() const { return ReadBytes(Temp("Restore.xml")); }
};

TEST_F(TPropertyDialogTest, AddRefusesWhatTheRestoreCannotWriteAndStoresTheRest) {
    struct TCase {
        const char *Id, *Type, *Value;
        const char* Result;  // the warning, "sound", or the row the accepted property shows
        const char* Focus;   // the control that takes the input again when refused
    };
    const TCase cases[] = {
        {"   ", "STRING", "x", "sound", "editProperty"},
        {"DefaultDoc", "LIST", "a", "Please select a supported type!", "cbType"},
        {"ConnectionTimeout", "integer", "1.5", "Enter an integer.", "editValue"},
        {"ConnectionTimeout", "INTEGER", "  ", "Enter an integer.", "editValue"},
        {"ConnectionTimeout", "INTEGER", "$FF", "Enter an integer.", "editValue"},
        {"ConnectionTimeout", "INTEGER", "2147483648", "Enter an integer.", "editValue"},
        {"AllowKeepAlive", "BOOLEAN", "yes", "Boolean value should be True or False!", "editValue"},
        {"ConnectionTimeout", " integer ", " -2147483648 ", "ConnectionTimeout|INTEGER|-2147483648", nullptr},
        {"ServerListenTimeout", "INTEGER", "+120", "ServerListenTimeout|INTEGER|+120", nullptr},
        {"AllowKeepAlive", "Boolean", "TRUE", "AllowKeepAlive|BOOLEAN|True", nullptr},
        {"  DefaultDoc ", "string", "  index.htm, a b  ", "DefaultDoc|STRING|index.htm, a b", nullptr},
    };
    Select("WEBSRV1Sites", "MaxConnections|INTEGER|1000");
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Id) + " " + c.Type + " " + c.Value);
        const std::string before = FileBytes(), selected = Selected();
        Messages.clear();
        WithModal<TFormProperty>([this] { Trigger("actionPropertyAddR"); }, [&](TFormProperty& dialog) {
            Fill(dialog, c.Id, c.Type, c.Value);
            ClickIn(dialog, "Ok");
            if (c.Focus) {  // refused: the dialog stays
                EXPECT_EQ(U8(dialog.focusWidget()->objectName()), c.Focus);
                dialog.reject();
            }
        });
        if (c.Focus) {
            EXPECT_EQ(FileBytes(), before);
            EXPECT_EQ(Selected(), selected);
            EXPECT_EQ(Messages.empty() ? "sound" : U8(Messages[0].Text), c.Result);
            EXPECT_TRUE(Messages.empty() ? SoundPlayed() : Messages[0].Type == TMsgDlgType::mtWarning);
            continue;
        }
        // Appended after the SubDirs, with the type in its stored spelling.
        EXPECT_EQ(Selected(), c.Result);
        const QStringList cells = QString::fromUtf8(c.Result).split(u'|');
        EXPECT_NE(FileBytes().find(U8(QStringLiteral("      <Property id=\"%1\" type=\"%2\" value=\"%3\" "
                                                     "Inherit=\"False\"/>\r\n    </Machine>")
                                           .arg(cells[0], cells[1], cells[2]))),
                  std::string::npos);
    }
}

TEST_F(TPropertyDialogTest, EditAndDeleteTakeOnlyEditableRows) {
    const std::string before = FileBytes();
    for (const char* row : {"ServerBindings|LIST|", "|Item|:80:"}) {
        Select("Web Site: Default Web Site", row);
        WithModal([this] { Trigger("actionPropertyEditR"); });
        Trigger("actionPropertyDeleteR");
    }
    Find<QTableWidget>("lvPropertyR")->clearSelection();
    WithModal([this] { Trigger("actionPropertyAddR"); });
    EXPECT_EQ(FileBytes(), before);

    // A double-click edits; Cancel keeps everything.
    Select("Web Site: Default Web Site", "ServerComment|STRING|Default Web Site");
    auto* list = Find<QTableWidget>("lvPropertyR");
    WithModal<TFormProperty>([&] { DoubleClick(*list, list->visualItemRect(list->item(0, 2)).center()); },
                             [](TFormProperty& dialog) {
                                 EXPECT_EQ(U8(dialog.windowTitle()), "Properties");
                                 EXPECT_FALSE(In<QLineEdit>(dialog, "editProperty")->isEnabled());
                                 EXPECT_FALSE(In<QComboBox>(dialog, "cbType")->isEnabled());
                                 EXPECT_EQ(TextIn(dialog, "editProperty") + "|" + TextIn(dialog, "cbType") + "|" +
                                               TextIn(dialog, "editValue"),
                                           "ServerComment|STRING|Default Web Site");
                                 SetIn(dialog, "editValue", "Main");
                                 ClickIn(dialog, "Cancel");
                             });
    EXPECT_EQ(FileBytes(), before);
    WithModal<TFormProperty>([this] { Trigger("popEditProperty"); }, [this](TFormProperty& dialog) {
        SetIn(dialog, "editValue", "  Main <site>  ");
        EXPECT_EQ(TextIn(dialog, "Ok") + " " + TextIn(dialog, "Cancel"), "OK Cancel");
        Screenshot("FormProperty-Edit", &dialog);
        ClickIn(dialog, "Ok");
    });
    std::string expected = before;
    expected.replace(expected.find("\"Default Web Site\" Inherit"), 18, "\"Main &lt;site&gt;\"");
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(Selected(), "ServerComment|STRING|Main <site>");

    // Adding an id the list shows changes that row; Delete asks nothing.
    WithModal<TFormProperty>([this] { Trigger("popAddProperty"); }, [](TFormProperty& dialog) {
        Fill(dialog, "servercomment", "STRING", "Renamed");
        ClickIn(dialog, "Ok");
    });
    EXPECT_EQ(Cells(), (Rows{"servercomment|STRING|Renamed", "ServerBindings|LIST|", "|Item|:80:", "|Item|:8080:",
                             "SecureBindings|LIST|"}));
    Trigger("popDeleteProperty");
    EXPECT_EQ(Cells(), (Rows{"ServerBindings|LIST|", "|Item|:80:", "|Item|:8080:", "SecureBindings|LIST|"}));
    EXPECT_EQ(FileBytes().find("Renamed"), std::string::npos);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(TPropertyDialogTest, DialogSpeaksTheWizardsLanguage) {
    Trigger("miLingvoDeutsch");
    Select("WEBSRV1Sites", "MaxConnections|INTEGER|1000");
    WithModal<TFormProperty>([this] { Trigger("actionPropertyAddR"); }, [this](TFormProperty& dialog) {
        EXPECT_EQ(U8(dialog.windowTitle()), "Eigenschaften");
        EXPECT_EQ(TextIn(dialog, "Label1") + " " + TextIn(dialog, "Ok") + " " + TextIn(dialog, "Cancel"),
                  "Eigenschaft: OK Abbrechen");
        Fill(dialog, "MaxConnections", "DWORD", "5");
        ClickIn(dialog, "Ok");
        EXPECT_EQ(U8(Messages.at(0).Text), "Bitte wählen Sie einen unterstützten Typ aus!");
        Screenshot("FormProperty-Add-Deutsch", &dialog);
        dialog.reject();
    });
    // The edit dialog's Cancel speaks the language too.
    WithModal<TFormProperty>([this] { Trigger("actionPropertyEditR"); }, [this](TFormProperty& dialog) {
        EXPECT_EQ(TextIn(dialog, "Label3") + " " + TextIn(dialog, "Cancel"), "Wert: Abbrechen");
        Screenshot("FormProperty-Edit-Deutsch", &dialog);
        dialog.reject();
    });
}

TEST_F(TPropertyDialogTest, FailedWriteIsSaidAndChangesNoRow) {
    Select("Web Site: Default Web Site", "ServerComment|STRING|Default Web Site");
    const std::string broken = FileBytes().substr(0, 300);
    WriteBytes(Temp("Restore.xml"), broken);
    WithModal<TFormProperty>([this] { Trigger("actionPropertyEditR"); }, [](TFormProperty& dialog) {
        SetIn(dialog, "editValue", "Main");
        ClickIn(dialog, "Ok");
    });
    Trigger("actionPropertyDeleteR");
    EXPECT_EQ(FileBytes(), broken);
    EXPECT_EQ(Selected(), "ServerComment|STRING|Default Web Site");
    ASSERT_EQ(Messages.size(), 2u);
    const std::string file = "\"" + Temp("Restore.xml").string() + "\"; the file is left as it was and the log tells why.";
    EXPECT_EQ(U8(Messages[0].Text), "The property \"ServerComment\" could not be saved in " + file);
    EXPECT_EQ(U8(Messages[1].Text), "The property \"ServerComment\" could not be deleted from " + file);
    EXPECT_EQ(Messages[1].Type, TMsgDlgType::mtError);
}

TEST_F(TPropertyDialogTest, BackupListEditsTheBackupFileAndNothingElse) {
    Select("Web Site: Default Web Site", "ServerComment|STRING|Default Web Site");
    const std::string restoreFile = FileBytes();
    Click("btnback");
    Click("btnback");
    Find<QRadioButton>("rbBackup")->setChecked(true);
    BackUpFromThePages(Temp16("Sites.xml"));
    auto* tree = Find<TCheckTreeWidget>("tvBackup");
    tree->setCurrentItem(tree->findItems(QStringLiteral("Web Site: Default Web Site"), Qt::MatchRecursive).value(0));
    auto* list = Find<QTableWidget>("lvProperty");
    const Rows rows = Cells(*list);
    const int row = static_cast<int>(std::find(rows.begin(), rows.end(), "ServerComment|STRING|Default Web Site") - rows.begin());
    ASSERT_LT(row, list->rowCount());
    std::string expected = ReadBytes(Temp("Sites.xml"));
    WithModal<TFormProperty>([&] { DoubleClick(*list, list->visualItemRect(list->item(row, 2)).center()); },
                             [](TFormProperty& dialog) {
                                 SetIn(dialog, "editValue", "Renamed");
                                 ClickIn(dialog, "Ok");
                             });
    EXPECT_EQ(FileBytes(), restoreFile);
    EXPECT_EQ(Cells(*list).at(static_cast<size_t>(row)), "ServerComment|STRING|Renamed");
    const std::string old = R"(<Property id="ServerComment" type="STRING" value="Default Web Site")";
    expected.replace(expected.find(old), old.size(), R"(<Property id="ServerComment" type="STRING" value="Renamed")");
    EXPECT_EQ(ReadBytes(Temp("Sites.xml")), expected);
}

} // namespace
} // namespace orvex::test
