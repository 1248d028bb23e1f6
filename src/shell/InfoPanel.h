#pragma once

#include <QFrame>

#include <string>

class QLabel;

namespace quorvex {

// The notification strip above the tree. For now it only carries a message and the path it is about;
// the change-notification refresh button joins it later. Hidden until something is shown.
class TInfoPanel : public QFrame {
    Q_OBJECT
public:
    explicit TInfoPanel(QWidget* parent = nullptr);

    void ShowMessage(const std::string& message, const std::string& path);
    QString Message() const;

private:
    QLabel* text_;
};

} // namespace quorvex
