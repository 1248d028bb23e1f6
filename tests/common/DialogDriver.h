#pragma once

// Acting on a modal dialog as a user does, while the code that opened it waits in its event loop.

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace quorvex::testing {

// Waits for a `Dialog` to run modally and acts on it; `act` must close it.
template <typename Dialog> class WhileShown {
public:
    explicit WhileShown(std::function<void(Dialog&)> act) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this, act] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            timer_.stop();
            ran = true;
            act(*dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                dialog->reject();
            }
        });
        timer_.start();
    }
    bool ran = false;

private:
    QTimer timer_;
};

template <typename T> T* Control(const QWidget& dialog, const char* name) {
    T* control = dialog.findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr)
        throw std::runtime_error(std::string("no control ") + name);
    return control;
}

inline void Click(const QWidget& dialog, const char* button) {
    QTest::mouseClick(Control<QPushButton>(dialog, button), Qt::LeftButton);
}

} // namespace quorvex::testing
