#pragma once

// Answers every modal message box that comes up while it lives, as a user clicking would, and keeps a
// transcript of what each one said.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quorvex::testing {

class BoxAnswers {
public:
    // NoButton closes a box as its title bar's close button would.
    explicit BoxAnswers(QMessageBox::StandardButton first = QMessageBox::Yes,
                        std::function<void(QMessageBox&)> check = {})
        : answer(first), onShown(std::move(check)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box->property("answered").toBool())
                return;
            box->setProperty("answered", true);
            texts.push_back(box->text().toStdString());
            defaultIsNo.push_back(static_cast<QAbstractButton*>(box->defaultButton()) ==
                                  box->button(QMessageBox::No));
            if (onShown)
                onShown(*box);
            QMessageBox::StandardButton button = answer;
            if (!next.empty()) {
                button = next.front();
                next.pop_front();
            }
            if (button == QMessageBox::NoButton)
                box->reject();
            else
                box->button(button)->click();
        });
        timer_.start();
    }

    QMessageBox::StandardButton answer;
    std::deque<QMessageBox::StandardButton> next; // taken before `answer`, one a box
    std::function<void(QMessageBox&)> onShown;    // sees each box before it is answered
    std::vector<std::string> texts;
    std::vector<bool> defaultIsNo;

private:
    QTimer timer_;
};

} // namespace quorvex::testing
