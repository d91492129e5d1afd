// Texts that fit: the lists' columns as wide as their texts, the about box's memo
// wrapped in every language, and the messages Orvex adds in the user's language.

#include "DialogFixture.h"

#include "wizard/FormAboutProduct.h"
#include "wizard/FormCheckIP.h"
#include "wizard/FormCheckPath.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableWidget>
#include <QTreeWidgetItemIterator>

namespace orvex::test {
namespace {

using Texts = std::vector<std::string>;

class TTextsFitTest : public TDialogTest {
protected:
    // The cells and headers of every column but the last that are narrower than
    // their text needs, as "row/column:text"; the last column must stretch and
    // every column stay resizable by the user.
    static QHeaderView* HeaderOf(QTableView& view) { return view.horizontalHeader(); }
    static QHeaderView* HeaderOf(QTreeView& view) { return view.header(); }
    template <class T>
    static Texts Cut(T& view) {
        QHeaderView& header = *HeaderOf(view);
        QApplication::processEvents();
        EXPECT_TRUE(header.stretchLastSection());
        Texts cut;
        const QAbstractItemModel& model = *view.model();
        for (int column = 0; column < header.count(); ++column) {
            EXPECT_EQ(header.sectionResizeMode(column), QHeaderView::Interactive) << column;
            if (column + 1 == header.count())
                break;
            const QString title = model.headerData(column, Qt::Horizontal).toString();
            if (header.sectionSize(column) < header.fontMetrics().horizontalAdvance(title))
                cut.push_back("header/" + std::to_string(column) + ":" + U8(title));
            for (int row = 0; row < model.rowCount(); ++row) {
                const QModelIndex cell = model.index(row, column);
                const QString text = cell.data().toString();
                const int width = view.visualRect(cell).width();
                if (width < view.sizeHintForIndex(cell).width() || width < view.fontMetrics().horizontalAdvance(text))
                    cut.push_back(std::to_string(row) + "/" + std::to_string(column) + ":" + U8(text));
            }
        }
        return cut;
    }
    // A check dialog's list has rows, all of them whole; the dialog closes.
    void ExpectWholeList(QDialog& dialog, const char* name, const std::string& shot) {
        auto* list = In<QTreeWidget>(dialog, name);
        EXPECT_GT(list->topLevelItemCount(), 0);
        EXPECT_EQ(Cut(*list), Texts());
        Screenshot(shot, &dialog);
        dialog.close();
    }
    // Chooses the language by its menu item.
    void Language(const std::string& name) {
        if (name != "English")
            Trigger(("miLingvo" + name).c_str());
    }
};

TEST_F(TTextsFitTest, PropertyListsShowWholeNamesTypesAndValues) {
    const char* site = "Web Site: Default Web Site";
    for (const std::string language : {"English", "Deutsch"}) {
        SCOPED_TRACE(language);
        CloseForm();
        Language(language);
        BackUpFromThePages(Temp16("Sites.xml"));
        ASSERT_EQ(Form().ActivePage(), wpBackup4);
        auto* tree = Find<TCheckTreeWidget>("tvBackup");
        auto* list = Find<QTableWidget>("lvProperty");
        int rows = 0;
        for (QTreeWidgetItemIterator node(tree); *node; ++node) {
            tree->setCurrentItem(*node);
            rows += list->rowCount();
            EXPECT_EQ(Cut(*list), Texts()) << U8((*node)->text(0));
        }
        EXPECT_GT(rows, 20);
        tree->setCurrentItem(tree->findItems(QString::fromUtf8(site), Qt::MatchExactly | Qt::MatchRecursive)[0]);
        Screenshot("TextsFit-Backup4-" + language);

        CloseForm();
        Language(language);
        LoadRestoreFile(CopyFixture("Restore.xml"));
        Find<TCheckTreeWidget>("tvRestore")->setCurrentItem(RestoreNode(site));
        auto* restoreList = Find<QTableWidget>("lvPropertyR");
        ASSERT_GT(restoreList->rowCount(), 0);
        EXPECT_EQ(Cut(*restoreList), Texts());
    }
    // The user can still narrow a column; the next node's rows fit again.
    auto* list = Find<QTableWidget>("lvPropertyR");
    list->horizontalHeader()->resizeSection(0, 40);
    QApplication::processEvents();
    EXPECT_EQ(list->horizontalHeader()->sectionSize(0), 40);
    auto* tree = Find<TCheckTreeWidget>("tvRestore");
    QTreeWidgetItem* current = tree->currentItem();
    tree->setCurrentItem(tree->topLevelItem(0));
    tree->setCurrentItem(current);
    EXPECT_EQ(Cut(*list), Texts());
}

TEST_F(TTextsFitTest, CheckDialogsShowWholeKeysAndValues) {
    for (const std::string language : {"English", "Deutsch"}) {
        SCOPED_TRACE(language);
        CloseForm();
        Language(language);
        LoadRestoreFile(CopyFixture("Dialogs.xml"));
        Tick("Web Site: Alpha");
        Tick("Web Site: Beta");
        Click("btnnext");
        Choose({"rbWebsitesExist2", "rbIpNotFound1", "rbPathsValid1"});
        WithModal<TFormCheckIP>([this] { Click("btnnext"); }, [&](TFormCheckIP& dialog) {
            ExpectWholeList(dialog, "lvIpList", "TextsFit-FormCheckIP-" + language);
        });
        ASSERT_EQ(Form().ActivePage(), wpRestore4);
        Choose({"rbCheckPath1"});
        WithModal<TFormCheckPath>([this] { Click("btnnext"); }, [&](TFormCheckPath& dialog) {
            ExpectWholeList(dialog, "lvNonexistPath", "TextsFit-FormCheckPath-" + language);
        });
    }
}

TEST_F(TTextsFitTest, AboutBoxWrapsItsTextInEveryLanguage) {
    for (const std::string language : {"English", "汉语", "Deutsch", "Français", "Português", "Español"}) {
        SCOPED_TRACE(language);
        Language(language);
        WithModal<TFormAboutProduct>([this] { Trigger("actionAbout"); }, [&](TFormAboutProduct& about) {
            auto* memo = In<QPlainTextEdit>(about, "MemoAbout");
            QApplication::processEvents();
            EXPECT_FALSE(memo->horizontalScrollBar()->isVisible());
            EXPECT_EQ(memo->horizontalScrollBar()->maximum(), 0);
            EXPECT_FALSE(memo->toPlainText().contains(QStringLiteral("%s")));
            if (language == "English" || language == "Deutsch")
                Screenshot("TextsFit-About-" + language, &about);
            about.accept();
        });
    }
}

// Refusals and failures of the wizard's own come from the catalogue, in the
// user's language.
TEST_F(TTextsFitTest, WizardsOwnMessagesSpeakTheUsersLanguage) {
    Language("Deutsch");
    Click("btnnext");
    Click("btnnext");
    SetText("editBackupMetafile", Temp16("Sites.xml"));
    Click("btnnext");
    SetText("editBackupName", u"a/b");
    Click("btnnext");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(U8(Messages[0].Text), "Der Sicherungsname „a/b“ kann nicht verwendet werden: „/“ und „@@“ trennen die "
                                    "Teile der Pfade in einer Sicherungsdatei.");
    EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtWarning);

    CloseForm();
    Messages.clear();
    Language("Français");
    WriteBytes(Temp("Broken.xml"), "<Root>");
    Choose({"rbRestore"});
    Click("btnnext");
    SetText("editRestoreMetafile", Temp16("Broken.xml"));
    Click("btnnext");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(U8(Messages[0].Text).rfind("Impossible de charger le fichier de sauvegarde « " + Temp("Broken.xml").string() +
                                         " » : ", 0),
              0u)
        << U8(Messages[0].Text);
    EXPECT_EQ(Messages[0].Type, TMsgDlgType::mtError);
}

} // namespace
} // namespace orvex::test
