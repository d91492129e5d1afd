#pragma once
// Tests of the wizard's modal dialogs: a dialog that an action opens is driven
// from inside its own event loop, as a user would, and must be closed by then.

#include "WizardFixture.h"

#include "platform/EmulatedMachine.h"
#include "platform/MachineFacts.h"
#include "wizard/CheckTreeWidget.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace orvex::test {

class TDialogTest : public TWizardTest {
protected:
    // Calls open, which makes the wizard show a modal T, and drives it with body
    // once it is up; without a body no dialog may show. A dialog left open fails
    // the test and is closed, and so does a body that throws (a missing control):
    // nothing thrown reaches the dialog's event loop.
    template <class T = QDialog>
    void WithModal(const std::function<void()>& open, const std::function<void(T&)>& body = {}) {
        bool shown = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || shown)
                return;
            shown = true;
            try {
                if (body)
                    body(*dialog);
            } catch (const std::exception& failure) {
                ADD_FAILURE() << failure.what();
                dialog->reject();
            }
            if (dialog->isVisible()) {
                EXPECT_FALSE(body) << "the dialog was left open";
                dialog->reject();
            }
        });
        poll.start(5);
        open();
        EXPECT_EQ(shown, bool(body)) << (body ? "no dialog was shown" : "a dialog was shown");
    }

    template <class T>
    static T* In(QWidget& dialog, const char* name) {
        return ChildNamed<T>(dialog, name);
    }
    // The text a control shows, whatever its kind.
    static std::string TextIn(QWidget& dialog, const char* name) {
        QWidget* control = In<QWidget>(dialog, name);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            return U8(edit->text());
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            return U8(button->text());
        if (auto* label = qobject_cast<QLabel*>(control))
            return U8(label->text());
        if (auto* group = qobject_cast<QGroupBox*>(control))
            return U8(group->title());
        auto* combo = qobject_cast<QComboBox*>(control);
        return combo ? U8(combo->currentText()) : "";
    }
    static void SetIn(QWidget& dialog, const char* edit, const char* text) {
        In<QLineEdit>(dialog, edit)->setText(QString::fromUtf8(text));
    }
    static void ClickIn(QWidget& dialog, const char* name) {
        auto* button = In<QAbstractButton>(dialog, name);
        ASSERT_TRUE(button->isVisible() && button->isEnabled()) << name << " cannot be clicked";
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // The press of the first click is what the view's double-click refers to.
    static void DoubleClick(QAbstractItemView& view, QPoint position) {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, position);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, position);
    }

    // The rows of a check dialog's list: "key|old|new|mark".
    static std::vector<std::string> ListRows(QWidget& dialog, const char* listName) {
        std::vector<std::string> rows;
        auto* list = In<QTreeWidget>(dialog, listName);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = list->topLevelItem(i);
            rows.push_back(U8(row->text(0) + "|" + row->text(1) + "|" + row->text(2) + "|") +
                           std::to_string(row->data(0, Qt::UserRole + 1).toInt()));
        }
        return rows;
    }

    TTreeItem* RestoreNode(const char* text) {
        const auto found = Find<TCheckTreeWidget>("tvRestore")
                               ->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive);
        if (found.isEmpty())
            throw EMissingWidget(std::string("no node \"") + text + "\" in tvRestore");
        return AsTreeItem(found[0]);
    }
    // Checks a node of the restore tree as Space does.
    void Tick(const char* text) {
        auto* tree = Find<TCheckTreeWidget>("tvRestore");
        tree->setCurrentItem(RestoreNode(text));
        QTest::keyClick(tree, Qt::Key_Space);
    }
};

} // namespace orvex::test
