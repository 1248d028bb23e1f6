#pragma once

#include "support/MountTable.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace quorvex {

// Watches the process's mount table: the kernel marks /proc/self/mountinfo with POLLPRI whenever a
// file system is mounted or unmounted. Each change is compared with the table seen before and
// reported on the thread that owns the monitor, removals first, each in table order.
class TMountTableMonitor : public QObject {
    Q_OBJECT
public:
    enum class TChange : std::uint8_t { Added, Removed };
    using TChangeCallback = std::function<void(TChange change, const std::string& mountPoint)>;

    // Nothing is watched until Start.
    TMountTableMonitor(std::string tablePath, TChangeCallback callback, QObject* parent = nullptr);
    ~TMountTableMonitor() override;
    TMountTableMonitor(const TMountTableMonitor&) = delete;
    TMountTableMonitor& operator=(const TMountTableMonitor&) = delete;

    // Opens the table and reads it once as the starting point. False (and nothing watched) when the
    // table cannot be opened or read.
    bool Start();
    void Stop();

    // Exposed for tests: the differences between two tables, as reported.
    static std::vector<std::pair<TChange, std::string>> Compare(const std::vector<TMountEntry>& before,
                                                                const std::vector<TMountEntry>& after);

private:
    bool ReadTable(std::vector<TMountEntry>& table) const;
    void TableChanged();

    std::string tablePath_;
    TChangeCallback callback_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<TMountEntry> table_;
};

} // namespace quorvex
