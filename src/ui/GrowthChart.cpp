#include "ui/GrowthChart.h"

#include "i18n/TranslatedText.h"
#include "i18n/TranslationMarkers.h"

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace quorvex {
namespace {

// Days apart beyond which the dates alone tell the scans apart.
constexpr std::int64_t kDateOnlySpanMs = 2 * kShortestGrowthSpanMs;
constexpr int kSettleMs = 100;

QString DateText(std::int64_t timeMs, bool withTime) {
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(timeMs);
    const QLocale locale;
    return withTime ? locale.toString(when, QLocale::ShortFormat)
                    : locale.toString(when.date(), QLocale::ShortFormat);
}

} // namespace

TGrowthChart::TGrowthChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GrowthChart"));
}

void TGrowthChart::SetScans(std::vector<THistoryScan> scans, std::optional<double> growth,
                            TSizeFormatter formatter) {
    std::sort(scans.begin(), scans.end(),
              [](const THistoryScan& a, const THistoryScan& b) { return a.TimeMs < b.TimeMs; });
    scans_ = std::move(scans);
    growth_ = growth;
    formatter_ = formatter;
    update();
}

QSize TGrowthChart::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.averageCharWidth() * 50, metrics.height() * 14};
}

QSize TGrowthChart::minimumSizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    return {metrics.averageCharWidth() * 30, metrics.height() * 7};
}

void TGrowthChart::paintEvent(QPaintEvent* /*event*/) {
    if (scans_.empty() || formatter_ == nullptr)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const QFontMetrics metrics = fontMetrics();
    const char separator = LocaleDecimalSeparator();

    // The sizes' range, widened a little so no point sits on the frame; a flat history gets room too.
    std::int64_t low = scans_.front().Size;
    std::int64_t high = low;
    for (const THistoryScan& scan : scans_) {
        low = std::min(low, scan.Size);
        high = std::max(high, scan.Size);
    }
    const std::int64_t pad = std::max<std::int64_t>((high - low) / 10, std::max<std::int64_t>(high / 50, 1));
    low = std::max<std::int64_t>(0, low - pad);
    high += pad;
    const std::int64_t first = scans_.front().TimeMs;
    const std::int64_t last = scans_.back().TimeMs;

    const QString sizeLabels[] = {QString::fromStdString(formatter_(high, separator)),
                                  QString::fromStdString(formatter_(low + (high - low) / 2, separator)),
                                  QString::fromStdString(formatter_(low, separator))};
    int labelWidth = 0;
    for (const QString& label : sizeLabels)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(label));
    const int gap = metrics.averageCharWidth();
    const QRectF plot(labelWidth + 2 * gap, metrics.height() / 2.0, width() - labelWidth - 3 * gap,
                      height() - metrics.height() * 2.0);
    if (plot.width() < 10 || plot.height() < 10)
        return;

    // The first and the last point whole, not cut in half by the frame.
    const double radius = std::max(3.0, metrics.height() / 5.0);
    const double inset = radius + 1;
    const auto xOf = [&](std::int64_t time) {
        return last == first ? plot.center().x()
                             : plot.left() + inset +
                                   (plot.width() - 2 * inset) * static_cast<double>(time - first) /
                                       static_cast<double>(last - first);
    };
    const auto yOf = [&](double size) {
        return plot.bottom() -
               plot.height() * (size - static_cast<double>(low)) / static_cast<double>(high - low);
    };

    // Three levels, each with its size at the left.
    painter.setPen(QPen(colours.color(QPalette::Mid), 1));
    for (int i = 0; i < 3; ++i) {
        const double y = plot.top() + plot.height() * i / 2;
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter.setPen(colours.color(QPalette::WindowText));
    for (int i = 0; i < 3; ++i) {
        const double y = plot.top() + plot.height() * i / 2;
        painter.drawText(QRectF(0, y - metrics.height() / 2.0, labelWidth + gap, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, sizeLabels[i]);
    }
    // The dates of the first and the last scan under the ends.
    const bool withTime = last - first < kDateOnlySpanMs;
    const QRectF dates(plot.left(), plot.bottom() + metrics.height() / 4.0, plot.width(), metrics.height());
    if (last == first) {
        painter.drawText(dates, Qt::AlignHCenter | Qt::AlignTop, DateText(first, withTime));
    } else {
        const QString from = DateText(first, withTime);
        const QString to = DateText(last, withTime);
        painter.drawText(dates, Qt::AlignRight | Qt::AlignTop, to);
        // Both only where they fit side by side: a narrow dock shows the newest alone.
        if (metrics.horizontalAdvance(from) + metrics.horizontalAdvance(to) + 2 * gap <= dates.width())
            painter.drawText(dates, Qt::AlignLeft | Qt::AlignTop, from);
    }

    // The average growth as a line through the points' mean.
    if (growth_) {
        double meanTime = 0;
        double meanSize = 0;
        for (const THistoryScan& scan : scans_) {
            meanTime += static_cast<double>(scan.TimeMs - first);
            meanSize += static_cast<double>(scan.Size);
        }
        meanTime /= static_cast<double>(scans_.size());
        meanSize /= static_cast<double>(scans_.size());
        const double perMs = *growth_ / (24.0 * 60 * 60 * 1000);
        QColor trend = colours.color(QPalette::WindowText);
        trend.setAlpha(140);
        painter.setPen(QPen(trend, 1, Qt::DashLine));
        painter.setClipRect(plot);
        painter.drawLine(
            QPointF(xOf(first), yOf(meanSize - perMs * meanTime)),
            QPointF(xOf(last), yOf(meanSize + perMs * (static_cast<double>(last - first) - meanTime))));
        painter.setClipping(false);
    }

    const QColor line = colours.color(QPalette::Highlight);
    QPainterPath path;
    for (const THistoryScan& scan : scans_) {
        const QPointF at(xOf(scan.TimeMs), yOf(static_cast<double>(scan.Size)));
        if (path.elementCount() == 0)
            path.moveTo(at);
        else
            path.lineTo(at);
    }
    painter.setPen(QPen(line, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.setBrush(line);
    for (const THistoryScan& scan : scans_)
        painter.drawEllipse(QPointF(xOf(scan.TimeMs), yOf(static_cast<double>(scan.Size))), radius, radius);
}

TGrowthView::TGrowthView(QMainWindow& window, QMenu* viewMenu, TGrowthViewHooks hooks)
    : QObject(&window), hooks_(std::move(hooks)),
      dock_(new QDockWidget(QString::fromUtf8(N_("Growth over time")), &window)),
      watcher_(new QFileSystemWatcher(this)) {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    chart_ = new TGrowthChart(pane);
    average_ = new QLabel(pane);
    average_->setObjectName(QStringLiteral("GrowthAverage"));
    average_->setWordWrap(true);
    layout->addWidget(chart_, 1);
    layout->addWidget(average_);
    dock_->setObjectName(QStringLiteral("GrowthDock"));
    dock_->setWidget(pane);
    window.addDockWidget(Qt::RightDockWidgetArea, dock_);
    dock_->hide();
    QAction* show = dock_->toggleViewAction();
    show->setObjectName(QStringLiteral("ActShowGrowth"));
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    viewMenu->addAction(show);
    // Asked for, it comes to the front of the docks it shares a place with.
    connect(show, &QAction::triggered, dock_, [this](bool on) {
        if (on)
            dock_->raise();
    });
    connect(dock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        Watch(visible);
        if (visible && stale_)
            Refill();
    });
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &TGrowthView::HistoryChanged);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
}

void TGrowthView::Watch(bool on) {
    const QString folder = QFile::decodeName(QByteArray::fromStdString(HistoryFolder()));
    if (!on) {
        if (!watcher_->directories().isEmpty())
            watcher_->removePaths(watcher_->directories());
        return;
    }
    // Made now rather than at the first scan kept, or there would be nothing to watch for it.
    std::error_code error;
    std::filesystem::create_directories(HistoryFolder(), error);
    if (!error && watcher_->directories().isEmpty())
        watcher_->addPath(folder);
}

void TGrowthView::HistoryChanged() {
    stale_ = true;
    if (dock_->isVisible())
        Refill();
}

void TGrowthView::Refill() {
    stale_ = false;
    const std::string root = hooks_.RootPath();
    std::vector<THistoryScan> scans =
        root.empty() ? std::vector<THistoryScan>() : ListHistory(HistoryFolder(), root);
    const std::optional<double> growth = GrowthPerDay(scans);
    const TSizeFormatter formatter = hooks_.Formatter();
    if (growth) {
        const auto bytes = static_cast<std::int64_t>(std::llround(*growth));
        const QString sign = bytes > 0 ? QStringLiteral("+") : bytes < 0 ? QStringLiteral("-") : QString();
        average_->setText(
            Tr("Average growth: %1 a day")
                .arg(sign + QString::fromStdString(formatter(std::abs(bytes), LocaleDecimalSeparator()))));
    } else {
        average_->setText(Tr("Not enough scans to show growth"));
    }
    chart_->SetScans(std::move(scans), growth, formatter);
}

} // namespace quorvex
