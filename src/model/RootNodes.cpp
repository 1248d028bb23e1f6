#include "model/RootNodes.h"

#include "diag/QxLogger.h"
#include "i18n/Translation.h"
#include "model/HardLinkSet.h"
#include "support/FreeSpaceProbe.h"
#include "support/MountTable.h"
#include "support/PathText.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"

#include <QStorageInfo>

#include <cerrno>

namespace quorvex {

// ---- TRootNode ------------------------------------------------------------------------------

TRootNode::TRootNode() = default;
TRootNode::~TRootNode() = default;

void TRootNode::SetHardLinksOnce(bool once) {
    if (once && hardLinks_ == nullptr)
        hardLinks_ = std::make_unique<THardLinkSet>();
    hardLinksOnce_.store(once, std::memory_order_relaxed);
}

// ---- TRootDirNode ---------------------------------------------------------------------------

void TRootDirNode::SetPath(const std::string& path) {
    if (path != Name())
        SetName(path);
    const std::string mountPoint = ExcludeTrailingPathDelimiter(path);
    const auto table = ReadMountTable();
    if (IsDriveRoot(mountPoint, table)) {
        const QStorageInfo info(DecodePath(mountPoint));
        if (info.isValid()) {
            const std::string label = info.name().toStdString();
            std::lock_guard guard(labelMutex_);
            if (!label.empty() && label != volumeLabel_)
                volumeLabel_ = label;
        } else {
            ProgramLogger().debug(SystemErrorMessage(ENOENT) + " - " + path);
        }
    }
    UpdateFreeSpace();
}

void TRootDirNode::Clear() {
    TRootNode::Clear();
    {
        std::lock_guard guard(labelMutex_);
        volumeLabel_.clear();
    }
    driveKindCache_.store(0, std::memory_order_relaxed);
}

TNodeType TRootDirNode::GetNodeType() const {
    if (const std::uint8_t cached = driveKindCache_.load(std::memory_order_relaxed); cached != 0)
        return static_cast<TNodeType>(cached);
    const TNodeType type = IsDriveRoot(ExcludeTrailingPathDelimiter(Name())) ? ntDrive : ntDirectory;
    driveKindCache_.store(type, std::memory_order_relaxed);
    return type;
}

std::string TRootDirNode::VolumeLabel() const {
    std::lock_guard guard(labelMutex_);
    return volumeLabel_;
}

std::string TRootDirNode::GetDisplayName() const {
    const std::string label = VolumeLabel();
    return label.empty() ? Name() : label + " (" + Name() + ")";
}

void TRootDirNode::Recalculate() {
    TRootNode::Recalculate();
    UpdateFreeSpace();
}

void TRootDirNode::UpdateFreeSpace() {
    if (Name().empty())
        return;
    // Also called on the user-interface thread (after a rescan or a deletion below this root), where a
    // dead network mount must not freeze the window: an unanswered query keeps the last known value.
    if (const auto st = TimedStatvfs(Name(), kFreeSpaceTimeLimit))
        freeSpace_.store(static_cast<std::int64_t>(st->f_bavail) * static_cast<std::int64_t>(st->f_frsize),
                         std::memory_order_relaxed);
}

// ---- TFixedDrivesNode -----------------------------------------------------------------------

namespace {
std::vector<std::string> FixedMountPoints() {
    std::vector<std::string> points;
    for (const auto& drive : FixedDrives(ReadMountTable()))
        points.push_back(drive.MountPoint);
    return points;
}
} // namespace

TFixedDrivesNode::TFixedDrivesNode() : TFixedDrivesNode(FixedMountPoints()) {}

TFixedDrivesNode::TFixedDrivesNode(std::vector<std::string> mountPoints)
    : mountPoints_(std::move(mountPoints)) {
    SetName(kLocalDrivesName);
    ListFiles();
}

std::string TFixedDrivesNode::GetDisplayName() const {
    return TranslateText(kLocalDrivesName);
}

std::int32_t TFixedDrivesNode::ListFiles() {
    if (HasFlag(nfFilesListed))
        return -1;
    std::int32_t added = 0;
    for (const auto& point : mountPoints_) {
        auto drive = std::make_unique<TRootDirNode>();
        drive->SetName(point);
        AddChild(std::move(drive));
        ++added;
    }
    SetFlag(nfFilesListed, true);
    return added;
}

} // namespace quorvex
