#pragma once

#include "export/ScanHistory.h"
#include "model/SizeFormat.h"

#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDockWidget;
class QFileSystemWatcher;
class QLabel;
class QMainWindow;
class QMenu;

namespace quorvex {

// The kept scans' totals against their dates, oldest on the left, with the straight line of the
// average growth through them.
class TGrowthChart : public QWidget {
public:
    explicit TGrowthChart(QWidget* parent = nullptr);

    // `scans` in any order; `growth` as GrowthPerDay gives it.
    void SetScans(std::vector<THistoryScan> scans, std::optional<double> growth, TSizeFormatter formatter);
    std::size_t PointCount() const { return scans_.size(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<THistoryScan> scans_; // oldest first
    std::optional<double> growth_;
    TSizeFormatter formatter_ = nullptr;
};

struct TGrowthViewHooks {
    // The path the history knows the tree shown by; empty when it is no one folder.
    std::function<std::string()> RootPath;
    std::function<TSizeFormatter()> Formatter;
};

// The dock "Growth over time": the history of the tree's root as a chart, and its average growth a
// day in words. While the dock is shown the history's folder is watched, so a scan kept by this
// window (whose writer runs on a thread of its own), by another or by the command shows at once;
// hidden, nothing is listed or watched and the chart is only marked as out of date.
class TGrowthView : public QObject {
public:
    TGrowthView(QMainWindow& window, QMenu* viewMenu, TGrowthViewHooks hooks);

    QDockWidget* Dock() const { return dock_; }
    TGrowthChart* Chart() const { return chart_; }
    QLabel* Average() const { return average_; }

    // Another root, other sizes or another language: shown anew.
    void HistoryChanged();

private:
    void Refill();
    void Watch(bool on);

    TGrowthViewHooks hooks_;
    QDockWidget* dock_;
    TGrowthChart* chart_;
    QLabel* average_;
    QFileSystemWatcher* watcher_;
    // A kept scan changes the folder several times (its file appears, older ones go): one listing.
    QTimer settle_;
    bool stale_ = true;
};

} // namespace quorvex
