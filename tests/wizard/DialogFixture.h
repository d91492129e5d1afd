#pragma once
// Tests of the wizard's modal dialogs: a dialog that an action opens is driven
// from inside its own event loop, as a user would, and must be closed by then.

#include "WizardFixture.h"

#include "platform/EmulatedMachine.h"
#include "platform/MachineFacts.h"
#include "wizard/CheckTreeWidget.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace orvex::test {

class TDialogTest : public TWizardTest {
protected:
    // Calls open, which makes the wizard show a modal T, and drives it with body
    // once it is up. A T never shown, or left open by body, fails the test.
    template <class T>
    void WithModal(const std::function<void()>& open, const std::function<void(T&)>& body) {
        bool shown = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || shown)
                return;
            shown = true;
            poll.stop();
            body(*dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                dialog->reject();
            }
        });
        poll.start();
        open();
        EXPECT_TRUE(shown) << "no dialog was shown";
    }

    // Calls open; any modal dialog it shows is a failure and is closed.
    void WithoutModal(const std::function<void()>& open) {
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "unexpected dialog " << U8(dialog->objectName());
                dialog->reject();
            }
        });
        poll.start();
        open();
    }

    // A named control of a dialog.
    template <class T>
    static T* In(QWidget& dialog, const char* name) {
        T* found = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void ClickIn(QWidget& dialog, const char* name) {
        auto* button = In<QAbstractButton>(dialog, name);
        ASSERT_TRUE(button && button->isVisible() && button->isEnabled()) << name << " cannot be clicked";
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // A double-click as a user makes it: the press of its first click is what the
    // view's double-click refers to.
    static void DoubleClick(QAbstractItemView& view, QPoint position) {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, position);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, position);
    }

    // The rows of a check dialog's list: "key|old|new|mark".
    static std::vector<std::string> ListRows(QWidget& dialog, const char* listName) {
        std::vector<std::string> rows;
        auto* list = In<QTreeWidget>(dialog, listName);
        for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            rows.push_back(U8(row->text(0) + "|" + row->text(1) + "|" + row->text(2) + "|" +
                              QString::number(row->data(0, Qt::UserRole + 1).toInt())));
        }
        return rows;
    }

    void ScreenshotOf(QWidget& widget, const std::string& name) {
        const std::filesystem::path folder = Beside("screenshots");
        std::filesystem::create_directories(folder);
        QApplication::processEvents();
        EXPECT_TRUE(widget.grab().save(QString::fromStdString((folder / (name + ".png")).string())));
    }

    // The node of the restore tree with this text.
    TTreeItem* RestoreNode(const char* text) {
        const auto found = Find<TCheckTreeWidget>("tvRestore")
                               ->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_FALSE(found.isEmpty()) << text;
        return found.isEmpty() ? nullptr : AsTreeItem(found[0]);
    }
    // Checks a node of the restore tree as Space does.
    void Tick(const char* text) {
        auto* tree = Find<TCheckTreeWidget>("tvRestore");
        tree->setCurrentItem(RestoreNode(text));
        QTest::keyClick(tree, Qt::Key_Space);
    }

    // A folder on a drive of this (emulated) machine.
    static void MakeLocalFolder(std::u16string_view windowsPath) {
        OpenMachine(u"localhost");
        CreateDriveFolder(MachineFolderOf(u"localhost"), windowsPath);
    }
};

} // namespace orvex::test
