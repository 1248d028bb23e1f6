#include "shell/IconRequests.h"

#include <QFile>
#include <QMimeDatabase>

#include <chrono>
#include <random>

namespace quorvex {

double NowDays() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() / 86400.0;
}

TSHGetFileInfoProperties TSHGetFileInfoProperties::Make(std::string path, std::uint32_t attributes,
                                                        std::uint32_t flags) {
    thread_local std::mt19937 random{std::random_device{}()};
    TSHGetFileInfoProperties request;
    request.Path = std::move(path);
    request.Attributes = attributes;
    request.Flags = flags;
    request.RequestId = std::uniform_int_distribution<std::int32_t>(0, 2147483646)(random);
    request.Created = NowDays();
    return request;
}

void TSHGetFileInfoPropertiesList::Add(TSHGetFileInfoProperties entry) {
    const std::lock_guard lock(mutex_);
    const auto at = entries_.insert(entries_.end(), std::move(entry));
    byPath_.try_emplace(at->Path, at); // the first entry of a path is the one Take finds
    byId_.emplace(at->RequestId, at);
}

void TSHGetFileInfoPropertiesList::EraseLocked(Entries::iterator at) {
    if (const auto p = byPath_.find(at->Path); p != byPath_.end() && p->second == at) {
        byPath_.erase(p);
        // A later entry of the same path becomes the one found.
        for (auto later = std::next(at); later != entries_.end(); ++later)
            if (later->Path == at->Path) {
                byPath_.emplace(later->Path, later);
                break;
            }
    }
    for (auto [first, last] = byId_.equal_range(at->RequestId); first != last; ++first)
        if (first->second == at) {
            byId_.erase(first);
            break;
        }
    entries_.erase(at);
}

int TSHGetFileInfoPropertiesList::Take(const std::string& path) {
    const std::lock_guard lock(mutex_);
    const auto found = byPath_.find(path);
    if (found == byPath_.end())
        return -2;
    const int index = found->second->ImageIndex;
    if (index < 0)
        return -1;
    EraseLocked(found->second);
    return index;
}

void TSHGetFileInfoPropertiesList::SetResult(std::int32_t requestId, int imageIndex) {
    const std::lock_guard lock(mutex_);
    // The first entry with that number in the order added, as the multimap keeps no order of its own.
    Entries::iterator first = entries_.end();
    for (auto [at, last] = byId_.equal_range(requestId); at != last; ++at)
        if (first == entries_.end() || at->second->Created < first->Created)
            first = at->second;
    if (first != entries_.end())
        first->ImageIndex = imageIndex;
}

void TSHGetFileInfoPropertiesList::PurgeOlderThan(double date) {
    const std::lock_guard lock(mutex_);
    for (auto at = entries_.begin(); at != entries_.end();) {
        const auto next = std::next(at);
        if (at->Created < date)
            EraseLocked(at);
        at = next;
    }
}

void TSHGetFileInfoPropertiesList::Clear() {
    const std::lock_guard lock(mutex_);
    byPath_.clear();
    byId_.clear();
    entries_.clear();
}

int TSHGetFileInfoPropertiesList::Count() const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

QStringList FileIconNames(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const QString name = QFile::decodeName(
        QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QStringList names{type.iconName(), type.genericIconName()};
    names << QStringLiteral("text-x-generic") << QStringLiteral("unknown");
    names.removeAll(QString());
    names.removeDuplicates();
    return names;
}

TShellFileIconThread::TShellFileIconThread(Resolver resolver, Deliver deliver)
    : resolver_(std::move(resolver)), deliver_(std::move(deliver)), thread_([this] { Run(); }) {}

TShellFileIconThread::~TShellFileIconThread() {
    {
        const std::lock_guard lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void TShellFileIconThread::Enqueue(TSHGetFileInfoProperties request) {
    {
        // The push happens under the lock the thread holds while it decides to sleep, so a wake-up
        // between its check and its wait cannot be lost.
        const std::lock_guard lock(mutex_);
        stack_.push_back(std::move(request));
    }
    wake_.notify_one();
}

void TShellFileIconThread::Run() {
    std::unique_lock lock(mutex_);
    while (!terminated_) {
        if (stack_.empty()) {
            wake_.wait(lock, [this] { return terminated_ || !stack_.empty(); });
            continue;
        }
        TSHGetFileInfoProperties request = std::move(stack_.back());
        stack_.pop_back();
        lock.unlock();
        deliver_(request.RequestId, resolver_(request.Path));
        lock.lock();
    }
}

} // namespace quorvex
