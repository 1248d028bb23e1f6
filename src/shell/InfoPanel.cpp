#include "shell/InfoPanel.h"

#include "i18n/TranslatedText.h"
#include "i18n/Translation.h"
#include "support/NestedPaths.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace quorvex {
namespace {

constexpr int kBorderWidth = 5;

} // namespace

TFrameInfoPanel::TFrameInfoPanel(QWidget* parent)
    : QFrame(parent), labelNotify_(new QLabel), buttonRefresh_(new QPushButton),
      buttonClose_(new QPushButton), slideTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("FrameInfoPanel"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* edge = new QHBoxLayout(this);
    edge->setContentsMargins(1, 1, 1, 1);
    auto* space = new QFrame(this);
    space->setAutoFillBackground(true);
    space->setBackgroundRole(QPalette::ToolTipBase);
    space->setForegroundRole(QPalette::ToolTipText);
    edge->addWidget(space);

    auto* row = new QHBoxLayout(space);
    row->setContentsMargins(kBorderWidth, 0, kBorderWidth, 0);
    row->setSpacing(kBorderWidth);
    labelNotify_->setWordWrap(true);
    labelNotify_->setTextFormat(Qt::PlainText);
    labelNotify_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    labelNotify_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored); // the 40 pixels rule
    row->addWidget(labelNotify_, 1);
    buttonRefresh_->setObjectName(QStringLiteral("ButtonInfoPanelRefresh"));
    buttonClose_->setObjectName(QStringLiteral("ButtonCloseInfoPanel"));
    for (QPushButton* button : {buttonRefresh_, buttonClose_}) {
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        row->addWidget(button, 0, Qt::AlignVCenter);
    }
    connect(buttonRefresh_, &QPushButton::clicked, this, &TFrameInfoPanel::ButtonInfoPanelRefreshClick);
    connect(buttonClose_, &QPushButton::clicked, this, &TFrameInfoPanel::ButtonCloseInfoPanelClick);

    slideTimer_->setInterval(kSlideIntervalMs);
    connect(slideTimer_, &QTimer::timeout, this, &TFrameInfoPanel::SlideStep);
    RetranslateUi();
    setFixedHeight(0);
    hide();
}

void TFrameInfoPanel::RetranslateUi() {
    buttonRefresh_->setText(Tr("Refresh Now"));
    buttonClose_->setText(Tr("Close"));
}

QString TFrameInfoPanel::Message() const {
    return labelNotify_->text();
}

void TFrameInfoPanel::ShowNotification(const std::string& path, const QString& text) {
    if (std::find(pendingPaths_.begin(), pendingPaths_.end(), path) == pendingPaths_.end())
        pendingPaths_.push_back(path);
    labelNotify_->setText(text);
    SlideVisible(true);
}

void TFrameInfoPanel::SlideVisible(bool visible) {
    if (visible == wanted_)
        return;
    wanted_ = visible;
    if (visible && !isVisible()) {
        setFixedHeight(0);
        show();
    }
    slideTimer_->start();
}

void TFrameInfoPanel::SlideStep() {
    if (wanted_) {
        if (height() + kSlideStep < kPanelHeight) {
            setFixedHeight(height() + kSlideStep);
            return;
        }
        setFixedHeight(kPanelHeight);
    } else {
        if (height() - kSlideStep > 0) {
            setFixedHeight(height() - kSlideStep);
            return;
        }
        setFixedHeight(0);
        hide();
    }
    slideTimer_->stop();
}

void TFrameInfoPanel::ButtonInfoPanelRefreshClick() {
    SlideVisible(false);
    // Taken first: a refresh may ask for a new notification, which must survive.
    std::vector<std::string> paths = std::exchange(pendingPaths_, {});
    // A rescan of a directory replaces everything inside it; refreshing an inner path too would
    // touch nodes that the outer rescan has already destroyed.
    RemoveNestedPaths(paths);
    if (onRefresh_) {
        for (const std::string& path : paths)
            onRefresh_(path);
    }
}

void TFrameInfoPanel::ButtonCloseInfoPanelClick() {
    SlideVisible(false);
    pendingPaths_.clear();
}

} // namespace quorvex
