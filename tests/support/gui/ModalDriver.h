#pragma once
// Acts on the next modal window from the event loop that shows it.

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

namespace orvex::testing {

// Polls for a modal window and hands it to action once; after five seconds without
// one, every modal dialog is rejected so a failing test cannot hang.
inline void ActOnNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(qApp);
    auto* waited = new int(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, waited, action = std::move(action)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            delete waited;
            action(modal);
        } else if (++*waited > 500) {
            timer->stop();
            timer->deleteLater();
            delete waited;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(widget))
                    dialog->reject();
        }
    });
    timer->start(10);
}

} // namespace orvex::testing
