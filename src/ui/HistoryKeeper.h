#pragma once

#include "export/ScanHistory.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace quorvex {

class TSerialWorker;

// Keeps finished scans in the history without freezing the window: the tree is copied on the
// window's thread a slice at a time between events, then compressed and written on a thread of its
// own. A copy under way holds pointers into the tree, so the window completes it (FinishCopy) before
// it changes or destroys the tree: a rescan or a deletion right after a scan still keeps that scan.
class THistoryKeeper : public QObject {
public:
    explicit THistoryKeeper(QObject* parent = nullptr);
    // Waits for a file being written, so that it is finished rather than left half done.
    ~THistoryKeeper() override;

    // Starts keeping `root`, whose scan has just finished; `folder` is where its file goes. Returns
    // the time the scan is kept as (THistoryScan::TimeMs).
    std::int64_t Keep(const TRootDirNode& root, std::string folder, const THistoryLimits& limits);
    // Completes a copy under way at once and hands it to the writer.
    void FinishCopy();
    bool IsCopying() const { return copier_ != nullptr; }

private:
    static constexpr int kSliceMs = 8;
    void Slice();
    void Write();

    QTimer timer_;
    std::unique_ptr<THistoryCopier> copier_;
    std::string folder_;
    THistoryLimits limits_;
    std::unique_ptr<TSerialWorker> writer_; // made on first use: most windows never finish a scan
};

} // namespace quorvex
