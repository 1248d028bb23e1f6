#include "ui/HistoryKeeper.h"

#include "diag/QxLogger.h"
#include "export/TreeTypesExport.h"
#include "support/SerialWorker.h"

namespace quorvex {

THistoryKeeper::THistoryKeeper(QObject* parent) : QObject(parent) {
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &THistoryKeeper::Slice);
}

THistoryKeeper::~THistoryKeeper() = default;

std::int64_t THistoryKeeper::Keep(const TRootDirNode& root, std::string folder,
                                  const THistoryLimits& limits) {
    FinishCopy();
    copier_ = std::make_unique<THistoryCopier>(root);
    folder_ = std::move(folder);
    limits_ = limits;
    timer_.start();
    return copier_->TimeMs();
}

void THistoryKeeper::FinishCopy() {
    if (copier_ == nullptr)
        return;
    copier_->CopyUntil(std::chrono::steady_clock::time_point::max());
    Write();
}

void THistoryKeeper::Slice() {
    if (copier_ != nullptr &&
        copier_->CopyUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(kSliceMs)))
        Write();
}

void THistoryKeeper::Write() {
    timer_.stop();
    auto snapshot = std::make_shared<const THistorySnapshot>(copier_->Take());
    copier_.reset();
    if (!writer_)
        writer_ = std::make_unique<TSerialWorker>();
    writer_->Post([snapshot, folder = folder_, limits = limits_] {
        try {
            ProgramLogger().debug("History saved: " + SaveToHistory(folder, *snapshot, limits));
        } catch (const EExportError& e) {
            ProgramLogger().error(e.what());
        }
    });
}

} // namespace quorvex
