#include "shell/ChangeNotifyMonitor.h"

#include "diag/QxLogger.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>
#include <unordered_set>

namespace quorvex {
namespace {

std::unordered_set<std::string> MountPoints(const std::vector<TMountEntry>& table) {
    std::unordered_set<std::string> points;
    for (const TMountEntry& e : table)
        points.insert(e.MountPoint);
    return points;
}

} // namespace

TMountTableMonitor::TMountTableMonitor(std::string tablePath, TChangeCallback callback, QObject* parent)
    : QObject(parent), tablePath_(std::move(tablePath)), callback_(std::move(callback)) {}

TMountTableMonitor::~TMountTableMonitor() {
    Stop();
}

bool TMountTableMonitor::Start() {
    Stop();
    fd_ = ::open(tablePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    if (!ReadTable(table_)) {
        Stop();
        return false;
    }
    // Qt's event dispatchers poll an exception notifier for POLLPRI.
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Exception);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TMountTableMonitor::TableChanged);
    return true;
}

void TMountTableMonitor::Stop() {
    notifier_.reset(); // before its descriptor goes
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    table_.clear();
}

bool TMountTableMonitor::ReadTable(std::vector<TMountEntry>& table) const {
    // Reading the file from its start through the watched descriptor is what clears the mark.
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        return false;
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::istringstream in(text);
    table = ParseMountInfo(in);
    return true;
}

void TMountTableMonitor::TableChanged() {
    std::vector<TMountEntry> now;
    if (!ReadTable(now)) {
        ProgramLogger().error("mount table unreadable: " + tablePath_);
        return;
    }
    const auto changes = Compare(table_, now);
    table_ = std::move(now);
    for (const auto& [change, mountPoint] : changes)
        callback_(change, mountPoint);
}

std::vector<std::pair<TMountTableMonitor::TChange, std::string>>
TMountTableMonitor::Compare(const std::vector<TMountEntry>& before, const std::vector<TMountEntry>& after) {
    std::vector<std::pair<TChange, std::string>> changes;
    const auto beforePoints = MountPoints(before);
    const auto afterPoints = MountPoints(after);
    for (const TMountEntry& e : before) {
        if (!afterPoints.contains(e.MountPoint))
            changes.emplace_back(TChange::Removed, e.MountPoint);
    }
    for (const TMountEntry& e : after) {
        if (!beforePoints.contains(e.MountPoint))
            changes.emplace_back(TChange::Added, e.MountPoint);
    }
    return changes;
}

} // namespace quorvex
