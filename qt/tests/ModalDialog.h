// Acting on a modal dialog from inside the modal loop that shows it.
#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

namespace qttest {

// Runs `open`, which shows a Dialog modally and returns when it has closed, and calls `act` once on
// the dialog as soon as it is the active modal widget; `act` must close it. True when `act` ran.
template <typename Dialog> bool ActOnModal(const std::function<void()>& open, const std::function<void(Dialog&)>& act) {
    QTimer timer;
    timer.setInterval(5);
    bool acted = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* shown = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (shown == nullptr) {
            return;
        }
        timer.stop();
        acted = true;
        act(*shown);
    });
    timer.start();
    open();
    return acted;
}

} // namespace qttest
