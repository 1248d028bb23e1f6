#include "ui/SlicedFileWalk.h"

#include "model/FileSystemNode.h"

#include <chrono>
#include <ctime>

namespace quorvex {
namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ThreadProcessorTime() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

TSlicedFileWalk::TSlicedFileWalk(QObject* parent) : QObject(parent) {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &TSlicedFileWalk::Slice);
}

void TSlicedFileWalk::Start(const TGroupNode* top, Visit visit, std::function<void()> done) {
    Cancel();
    if (top == nullptr)
        return;
    pending_.push_back(top);
    visit_ = std::move(visit);
    done_ = std::move(done);
    busySeconds_ = 0;
    processorSeconds_ = 0;
    startedAt_ = Now();
    timer_.start();
}

void TSlicedFileWalk::Cancel() {
    timer_.stop();
    pending_.clear();
    visit_ = nullptr;
    done_ = nullptr;
}

void TSlicedFileWalk::Slice() {
    const double start = Now();
    const double processorStart = ThreadProcessorTime();
    const double end = start + kSliceMs / 1000.0;
    while (!pending_.empty()) {
        const TGroupNode* group = pending_.back();
        pending_.pop_back();
        if (const auto* dir = dynamic_cast<const TDirNode*>(group))
            dir->ForEachFile([this, dir](const TPackedFile& file) { visit_(*dir, file); });
        {
            const TChildrenLock guard(group);
            for (const auto& child : guard.Children()) {
                // A file group's files are its directory's records.
                if (child->GetNodeType() != ntFile && child->GetNodeType() != ntFileGroup)
                    pending_.push_back(static_cast<const TGroupNode*>(child.get()));
            }
        }
        if (Now() >= end)
            break;
    }
    const double now = Now();
    busySeconds_ += now - start;
    processorSeconds_ += ThreadProcessorTime() - processorStart;
    if (!pending_.empty())
        return;
    timer_.stop();
    elapsedSeconds_ = now - startedAt_;
    visit_ = nullptr;
    // Taken first: `done` may start the next walk.
    const std::function<void()> done = std::move(done_);
    done_ = nullptr;
    if (done)
        done();
}

} // namespace quorvex
