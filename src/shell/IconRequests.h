#pragma once

#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quorvex {

// One question for a file's icon and, in the results list, its answer.
struct TSHGetFileInfoProperties {
    std::string Path;
    std::uint32_t Flags = 0;
    std::uint32_t Attributes = 0;
    std::int32_t RequestId = 0; // random, 0..2147483646
    std::int32_t ImageIndex = -1;
    double Created = 0; // days since the epoch

    static TSHGetFileInfoProperties Make(std::string path, std::uint32_t attributes, std::uint32_t flags);
};

// The current time in days since the epoch, the unit of Created.
double NowDays();
constexpr double kSecondInDays = 1.0 / 86400.0;

// The answers the icon thread has given, or is about to give, to the user-interface thread. Each
// operation holds the lock for its whole duration. Looked up by path and by request number in
// constant time: the tree asks about every visible file row at each paint.
class TSHGetFileInfoPropertiesList {
public:
    void Add(TSHGetFileInfoProperties entry);
    // The answer for `path`, removing the entry; -1 while the request is pending; -2 when there is none.
    int Take(const std::string& path);
    void SetResult(std::int32_t requestId, int imageIndex);
    // Drops every entry created before `date` (days).
    void PurgeOlderThan(double date);
    void Clear();
    int Count() const;

private:
    using Entries = std::list<TSHGetFileInfoProperties>;
    mutable std::mutex mutex_;
    Entries entries_; // in the order added
    std::unordered_map<std::string, Entries::iterator> byPath_;
    std::unordered_multimap<std::int32_t, Entries::iterator> byId_;
    void EraseLocked(Entries::iterator at);
};

// The freedesktop icon names of a file type: the type's own, then its generic one, then the names
// every theme has. From the name alone (the extension), never reading the file. Thread-safe.
QStringList FileIconNames(const std::string& path);

// Answers icon requests on its own thread, the most recent first, so that the rows just painted are
// served before those scrolled away. Answers go to `deliver`, called on the icon thread; it must
// hand them over to the user-interface thread. Requests still waiting at destruction are dropped.
class TShellFileIconThread {
public:
    using Resolver = std::function<QStringList(const std::string& path)>;
    using Deliver = std::function<void(std::int32_t requestId, QStringList iconNames)>;

    TShellFileIconThread(Resolver resolver, Deliver deliver);
    TShellFileIconThread(const TShellFileIconThread&) = delete;
    TShellFileIconThread& operator=(const TShellFileIconThread&) = delete;
    ~TShellFileIconThread();

    void Enqueue(TSHGetFileInfoProperties request);

private:
    void Run();

    Resolver resolver_;
    Deliver deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<TSHGetFileInfoProperties> stack_;
    bool terminated_ = false;
    std::thread thread_; // last: it starts once everything above exists
};

} // namespace quorvex
