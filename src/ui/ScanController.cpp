#include "ui/ScanController.h"

#include "model/FileSystemNode.h"
#include "model/TreeOperations.h"
#include "scan/DirScanThreadList.h"
#include "scan/ScanExclusions.h"
#include "settings/QxSettings.h"

#include <QTimer>

#include <algorithm>

namespace quorvex {
namespace {

bool LiesBelow(const TFileSystemNode* ancestor, const TFileSystemNode* node) {
    for (const TFileSystemNode* up = node->Parent(); up != nullptr; up = up->Parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

bool LiesWithin(const TFileSystemNode* node, const TFileSystemNode* ancestor) {
    return node == ancestor || LiesBelow(ancestor, node);
}

} // namespace

TScanController::TScanController(int maxThreads, TScanHooks hooks)
    : maxThreads_(maxThreads), hooks_(std::move(hooks)), threads_(MakeList(nullptr)),
      timerAniSearch_(new QTimer(this)), timerTreeRefresh_(new QTimer(this)),
      timerStatusBar_(new QTimer(this)) {
    timerAniSearch_->setInterval(100);
    connect(timerAniSearch_, &QTimer::timeout, this, [this] {
        aniFrame_ = aniFrame_ >= 7 ? 0 : aniFrame_ + 1;
        hooks_.Animate();
    });
    timerTreeRefresh_->setInterval(kDefaultTreeViewRefreshRate);
    connect(timerTreeRefresh_, &QTimer::timeout, this, [this] { hooks_.RefreshTree(); });
    timerStatusBar_->setInterval(100);
    connect(timerStatusBar_, &QTimer::timeout, this,
            [this] { hooks_.ShowProgress(threads_->GetCurrentDir()); });
}

TScanController::~TScanController() = default;

std::unique_ptr<TDirScanThreadList> TScanController::MakeList(TFileSystemApi* fileSystem) const {
    return std::make_unique<TDirScanThreadList>(maxThreads_, hooks_.GroupThreshold, fileSystem);
}

bool TScanController::IsRunning() const {
    return !threads_->IsEmpty();
}

bool TScanController::IsFull() const {
    return threads_->IsFull();
}

void TScanController::UseFileSystem(TFileSystemApi* fileSystem, int jobs) {
    threads_->StopAllAndWait();
    threads_ = MakeList(fileSystem);
    threads_->SetJobs(jobs);
}

void TScanController::SetJobs(int jobs) {
    threads_->SetJobs(jobs);
}

bool TScanController::DeferWhileRunning(const std::string& path) {
    if (threads_->IsEmpty())
        return false;
    pendingPath_ = path;
    threads_->StopAll();
    return true;
}

bool TScanController::StartRootScan(TGroupNode* root) {
    return Start(root, false);
}

// Each walk takes the patterns as they are when it starts, as it takes the grouping threshold.
TDirScanThread* TScanController::AddThread(TGroupNode* root) {
    threads_->SetExclusions(hooks_.Exclusions ? hooks_.Exclusions() : nullptr);
    return threads_->AddThread(root);
}

bool TScanController::StartDriveScan(TGroupNode* drive) {
    TDirScanThread* thread = AddThread(drive);
    if (thread == nullptr)
        return false;
    thread->SetOnFinished([this](TDirScanThread& done) { OnSubScanDone(done); });
    thread->Resume();
    StartTimers();
    return true;
}

bool TScanController::StartSubScan(TDirNode* dir) {
    return Start(dir, true);
}

bool TScanController::Start(TGroupNode* root, bool subScan) {
    TDirScanThread* thread = AddThread(root);
    if (thread == nullptr)
        return false;
    if (subScan) {
        runningSubScans_.insert(thread);
        thread->SetOnFinished([this](TDirScanThread& done) { OnSubScanDone(done); });
    } else {
        thread->SetOnFinished([this](TDirScanThread& done) { OnRootScanDone(done); });
    }
    thread->Resume();
    StartTimers();
    return true;
}

int TScanController::StopBelow(const TDirNode* dir) {
    const int stopped = threads_->StopThreadsBelow(dir);
    // Their completions are still to come, and the rescan is about to destroy their roots.
    for (TDirScanThread* thread : runningSubScans_) {
        if (LiesBelow(dir, thread->Root()))
            orphanedScans_.insert(thread);
    }
    return stopped;
}

int TScanController::StopWithin(const TGroupNode* group) {
    const int stopped = threads_->StopThreadsWithin(group);
    for (TDirScanThread* thread : runningSubScans_) {
        if (LiesWithin(thread->Root(), group))
            orphanedScans_.insert(thread);
    }
    return stopped;
}

bool TScanController::IsCountingWithin(const TFileSystemNode* node) const {
    return std::any_of(runningSubScans_.begin(), runningSubScans_.end(),
                       [node](const TDirScanThread* thread) { return LiesWithin(thread->Root(), node); });
}

void TScanController::StopAll() {
    threads_->StopAll();
}

void TScanController::StopAllAndWait() {
    threads_->StopAllAndWait();
}

std::string TScanController::CurrentDir() const {
    return threads_->GetCurrentDir();
}

void TScanController::SetRefreshInterval(int milliseconds) {
    timerTreeRefresh_->setInterval(milliseconds);
}

void TScanController::StartTimers() {
    timerAniSearch_->start();
    timerTreeRefresh_->start();
    timerStatusBar_->start();
}

void TScanController::StopTimers() {
    timerAniSearch_->stop();
    timerTreeRefresh_->stop();
    timerStatusBar_->stop();
}

void TScanController::OnRootScanDone(TDirScanThread& thread) {
    threads_->Remove(&thread);
    if (threads_->IsEmpty())
        hooks_.Finished(thread);
    QueuePending();
}

void TScanController::OnSubScanDone(TDirScanThread& thread) {
    threads_->Remove(&thread);
    runningSubScans_.erase(&thread);
    const bool orphaned = orphanedScans_.erase(&thread) > 0;
    if (threads_->IsEmpty())
        hooks_.Finished(thread);
    if (!orphaned) {
        TGroupNode* root = thread.Root();
        for (TGroupNode* up = root->Parent(); dynamic_cast<TDirNode*>(up) != nullptr; up = up->Parent()) {
            up->Recalculate();
            hooks_.RefreshNode(up);
        }
        hooks_.RefreshNode(root);
    }
    QueuePending();
}

// Queued: the scan starts once the completion that made room for it has returned.
void TScanController::QueuePending() {
    if (pendingPath_.empty())
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (pendingPath_.empty())
                return;
            const std::string path = pendingPath_;
            hooks_.StartPending(path);
        },
        Qt::QueuedConnection);
}

} // namespace quorvex
