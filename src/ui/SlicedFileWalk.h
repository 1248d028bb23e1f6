#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <vector>

namespace quorvex {

class TDirNode;
class TGroupNode;
struct TPackedFile;

// A walk over every recorded file below a node, done on the window's thread in slices of a few
// milliseconds from a zero timer, so that a scan of a million files never freezes the window. Between
// slices it holds pointers to directories still to visit: whoever removes a directory from the tree
// must Cancel first. A walk started during a scan sees a directory's records once its read has ended.
class TSlicedFileWalk : public QObject {
public:
    using Visit = std::function<void(const TDirNode& dir, const TPackedFile& file)>;

    explicit TSlicedFileWalk(QObject* parent = nullptr);

    // Drops any walk under way and starts one from `top`; `done` runs after the last file's visit.
    void Start(const TGroupNode* top, Visit visit, std::function<void()> done);
    void Cancel();
    bool IsRunning() const { return !pending_.empty(); }
    // Of the last walk that ended: the time spent in its slices (on the clock and on this thread's
    // processor time, which other busy processes do not inflate), and from its start to its end.
    double BusySeconds() const { return busySeconds_; }
    double ProcessorSeconds() const { return processorSeconds_; }
    double ElapsedSeconds() const { return elapsedSeconds_; }

private:
    static constexpr int kSliceMs = 12;
    void Slice();

    QTimer timer_;
    std::vector<const TGroupNode*> pending_;
    Visit visit_;
    std::function<void()> done_;
    double busySeconds_ = 0;
    double processorSeconds_ = 0;
    double elapsedSeconds_ = 0;
    double startedAt_ = 0;
};

} // namespace quorvex
