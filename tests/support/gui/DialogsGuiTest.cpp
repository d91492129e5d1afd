#include "support/gui/DialogsGui.h"

#include "ModalDriver.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvex;
using namespace orvex::testing;

namespace {

struct TBoxSeen {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
};

// Shows a box, records what it looks like and presses a button (or Escape).
int ShowAndPress(TMsgDlgType kind, TMsgDlgButtons buttons, QMessageBox::StandardButton press, TBoxSeen* seen = nullptr) {
    ActOnNextModal([press, seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        if (seen) {
            seen->text = box->text();
            seen->title = box->windowTitle();
            seen->icon = box->icon();
            for (QAbstractButton* button : box->buttons())
                if (button->isVisibleTo(box))
                    seen->buttons << box->standardButton(button);
        }
        if (press == QMessageBox::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            QTest::mouseClick(box->button(press), Qt::LeftButton);
    });
    return GuiMessageDialog(u"Text \u00E4", kind, buttons, 0);
}

} // namespace

TEST(DialogsGui, ButtonsMapToModalResults) {
    struct TCase {
        TMsgDlgButtons buttons;
        QMessageBox::StandardButton press;
        int result;
    };
    const TCase cases[] = {
        {mbYes | mbNo | mbCancel, QMessageBox::Yes, mrYes},
        {mbYes | mbNo | mbCancel, QMessageBox::No, mrNo},
        {mbYes | mbNo | mbCancel, QMessageBox::Cancel, mrCancel},
        {mbYes | mbNo, QMessageBox::Yes, mrYes},
        {mbYes | mbNo, QMessageBox::No, mrNo},
        {mbOK, QMessageBox::Ok, mrOk},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.press);
        EXPECT_EQ(ShowAndPress(TMsgDlgType::mtConfirmation, c.buttons, c.press), c.result);
    }
}

TEST(DialogsGui, EscapeNeverMeansYes) {
    EXPECT_EQ(ShowAndPress(TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, QMessageBox::Escape), mrCancel);
    EXPECT_EQ(ShowAndPress(TMsgDlgType::mtConfirmation, mbYes | mbNo, QMessageBox::Escape), mrNo);
    EXPECT_EQ(ShowAndPress(TMsgDlgType::mtInformation, mbOK, QMessageBox::Escape), mrOk);
    TBoxSeen seen;
    EXPECT_EQ(ShowAndPress(TMsgDlgType::mtConfirmation, mbYes, QMessageBox::Escape, &seen), mrCancel);
    EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Yes});
}

TEST(DialogsGui, KindGivesIconAndTitle) {
    struct TCase {
        TMsgDlgType kind;
        QMessageBox::Icon icon;
        const char* title;
    };
    const TCase cases[] = {
        {TMsgDlgType::mtWarning, QMessageBox::Warning, "Warning"},
        {TMsgDlgType::mtError, QMessageBox::Critical, "Error"},
        {TMsgDlgType::mtInformation, QMessageBox::Information, "Information"},
        {TMsgDlgType::mtConfirmation, QMessageBox::Question, "Confirm"},
    };
    for (const TCase& c : cases) {
        TBoxSeen seen;
        ShowAndPress(c.kind, mbOK, QMessageBox::Ok, &seen);
        EXPECT_EQ(seen.icon, c.icon);
        EXPECT_EQ(seen.title.toStdString(), c.title);
        EXPECT_EQ(seen.text, QString::fromUtf8("Text \xC3\xA4"));
        EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    }
}

TEST(DialogsGui, InstalledHooksServeTheFrontEnds) {
    InstallGuiDialogHooks();
    ActOnNextModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    EXPECT_TRUE(AskYesNo(u"Replace?"));
    ActOnNextModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    int answer = 0;
    AskYesNoCancel(u"Overwrite?", answer);
    EXPECT_EQ(answer, mrNo);
    MessageDialogHook = nullptr;
    OpenFileDialogHook = nullptr;
}

TEST(DialogsGui, OpenFileDialogStartsInTheFolderWithTheNamePreset) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.filePath(QStringLiteral("backup.xml")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const std::u16string preset = folder.filePath(QStringLiteral("backup.xml")).toStdU16String();

    QString directory;
    QStringList filters;
    QString suffix;
    ActOnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        directory = dialog->directory().absolutePath();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept validates the chosen file
    });
    std::u16string fileName = preset;
    EXPECT_TRUE(GuiOpenFileDialog(fileName, u"xml", u""));
    EXPECT_EQ(fileName, preset);
    EXPECT_EQ(directory, QDir(folder.path()).absolutePath());
    EXPECT_EQ(filters, QStringList{QStringLiteral("All Files (*.*)")});
    EXPECT_EQ(suffix, QStringLiteral("xml"));

    ActOnNextModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    fileName = preset + u".other";
    EXPECT_FALSE(GuiOpenFileDialog(fileName, u"", u"XML files|*.xml"));
    EXPECT_EQ(fileName, preset + u".other");
}

TEST(DialogsGui, FiltersBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilters(u"Text files|*.txt;*.log|All Files|*.*"),
              (QStringList{QStringLiteral("Text files (*.txt *.log)"), QStringLiteral("All Files (*.*)")}));
    EXPECT_EQ(QtNameFilters(u"XML (*.xml)|*.xml"), QStringList{QStringLiteral("XML (*.xml) (*.xml)")});
    EXPECT_EQ(QtNameFilters(u"no pattern"), QStringList{QStringLiteral("All Files (*)")});
}
