#pragma once

#include <QFrame>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;

namespace quorvex {

// The notification strip between the toolbar and the tree: one message, "Refresh Now" and "Close".
// It remembers which paths a refresh should rescan until one of its buttons is pressed; it slides in
// and out rather than popping up, so that the tree below does not jump.
class TFrameInfoPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int kPanelHeight = 40;
    static constexpr int kSlideStep = 3;
    static constexpr int kSlideIntervalMs = 10;

    using TRefreshHandler = std::function<void(const std::string& path)>;

    explicit TFrameInfoPanel(QWidget* parent = nullptr);

    // Adds `path` to the pending paths unless it is there (names compared as bytes), shows `text`
    // and slides in.
    void ShowNotification(const std::string& path, const QString& text);
    // Nothing happens when the panel is already showing, or going to, as asked.
    void SlideVisible(bool visible);
    bool SlidingVisible() const { return wanted_; }

    const std::vector<std::string>& PendingPaths() const { return pendingPaths_; }
    QString Message() const;
    // Called once per pending path, outermost paths only, by "Refresh Now".
    void SetOnRefresh(TRefreshHandler handler) { onRefresh_ = std::move(handler); }
    void RetranslateUi();

    void ButtonInfoPanelRefreshClick();
    void ButtonCloseInfoPanelClick();

private:
    void SlideStep();

    QLabel* labelNotify_;
    QPushButton* buttonRefresh_;
    QPushButton* buttonClose_;
    QTimer* slideTimer_;
    bool wanted_ = false;
    std::vector<std::string> pendingPaths_;
    TRefreshHandler onRefresh_;
};

} // namespace quorvex
