#include "export/ScanHistory.h"

#include "export/NcduExport.h"
#include "export/TreeTypesExport.h"
#include "model/PackedFiles.h"
#include "model/RootNodes.h"
#include "support/DataLocations.h"
#include "support/PosixDir.h"
#include "support/SafeFileWriter.h"
#include "support/Utilities.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace quorvex {
namespace {

constexpr std::string_view kSuffix = ".json.gz";
constexpr char kSeparator = '~';

// The export's text compressed on its way to the file, as one gzip member, so that the whole text
// never stands in memory.
class TGzipStreamBuf final : public std::streambuf {
public:
    explicit TGzipStreamBuf(TSafeFileWriter& writer) : writer_(writer), in_(kBlock), out_(kBlock) {
        if (deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK)
            throw std::bad_alloc();
        setp(in_.data(), in_.data() + in_.size());
    }
    TGzipStreamBuf(const TGzipStreamBuf&) = delete;
    TGzipStreamBuf& operator=(const TGzipStreamBuf&) = delete;
    ~TGzipStreamBuf() override { deflateEnd(&z_); }

    // Compresses what is left and ends the member. Raises EFileWriteError.
    void Finish() { Deflate(Z_FINISH); }

protected:
    int_type overflow(int_type ch) override {
        Deflate(Z_NO_FLUSH);
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }

private:
    static constexpr std::size_t kBlock = std::size_t{256} * 1024;

    void Deflate(int flush) {
        z_.next_in = reinterpret_cast<Bytef*>(pbase());
        z_.avail_in = static_cast<uInt>(pptr() - pbase());
        do {
            z_.next_out = reinterpret_cast<Bytef*>(out_.data());
            z_.avail_out = static_cast<uInt>(out_.size());
            deflate(&z_, flush);
            writer_.Write({out_.data(), out_.size() - z_.avail_out});
        } while (z_.avail_out == 0);
        setp(in_.data(), in_.data() + in_.size());
    }

    TSafeFileWriter& writer_;
    z_stream z_{};
    std::vector<char> in_;
    std::vector<char> out_;
};

// A directory's copy as the export reads it: name, attributes, error, flags, identity, records.
void CopyDirectory(const TDirNode& from, TDirNode& to) {
    to.SetName(from.Name());
    to.SetAttributes(from.Attributes());
    to.SetErrorCode(from.ErrorCode());
    to.SetIdentity(from.Identity());
    for (unsigned bit = 1; bit < 0x100; bit <<= 1)
        to.SetFlag(static_cast<TNodeFlag>(bit), (from.Flags() & bit) != 0);
    TPackedFilesWriter records;
    from.ForEachFile([&](const TPackedFile& file) { records.Add(file); });
    if (records.Count() > 0)
        to.SetFiles(TPackedFiles(records));
}

// The root's last path components, in characters any file system and shell take, so that a person
// looking into the folder sees whose scans these are; the hash beside it tells the roots apart.
std::string ReadableRoot(const std::string& rootPath) {
    std::string text;
    for (const char c : rootPath) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-';
        text += plain ? c : '_';
    }
    while (!text.empty() && text.front() == '_')
        text.erase(0, 1);
    constexpr std::size_t kLongest = 60;
    if (text.size() > kLongest)
        text.erase(0, text.size() - kLongest);
    return text.empty() ? std::string("root") : text;
}

std::optional<std::int64_t> Number(std::string_view text) {
    std::int64_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || n < 0)
        return std::nullopt;
    return n;
}

// <readable>~<root key>~<time ms>~<size>~<files>~<process>-<sequence>.json.gz; anything else in the
// folder is not ours. The last field keeps two scans of one root saved within a millisecond apart,
// by two windows or by one.
std::optional<THistoryScan> ParseName(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    if (!name.ends_with(kSuffix))
        return std::nullopt;
    std::vector<std::string_view> fields;
    const std::string_view stem(name.data(), name.size() - kSuffix.size());
    for (std::size_t start = 0;;) {
        const std::size_t end = stem.find(kSeparator, start);
        fields.push_back(stem.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    if (fields.size() != 6 || fields[1].size() != 16 || fields[5].empty())
        return std::nullopt;
    const auto time = Number(fields[2]);
    const auto size = Number(fields[3]);
    const auto files = Number(fields[4]);
    if (!time || !size || !files)
        return std::nullopt;
    THistoryScan scan;
    scan.File = path.string();
    scan.RootKey = std::string(fields[1]);
    scan.TimeMs = *time;
    scan.Size = *size;
    scan.Files = *files;
    return scan;
}

} // namespace

std::string HistoryFolder() {
    return (UserDataFolder() / "history").string();
}

std::string HistoryRootKey(const std::string& rootPath) {
    // FNV-1a: stable across builds and machines, unlike std::hash.
    std::uint64_t hash = 0xcbf29ce484222325U;
    for (const char c : rootPath) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3U;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

THistoryCopier::THistoryCopier(const TRootDirNode& root) : copy_(std::make_shared<TRootDirNode>()) {
    snapshot_.RootPath = root.Name();
    snapshot_.Size = root.GetSize();
    snapshot_.Files = root.GetFileCount();
    snapshot_.TimeMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    copy_->SetDevice(root.Device());
    copy_->SetHardLinksOnce(root.HardLinksOnce());
    CopyDirectory(root, *copy_);
    // A stack of its own: a tree may be far deeper than the call stack allows recursion.
    pending_.emplace_back(&root, copy_.get());
}

bool THistoryCopier::CopyUntil(std::chrono::steady_clock::time_point deadline) {
    while (!pending_.empty()) {
        const auto [from, to] = pending_.back();
        pending_.pop_back();
        const TChildrenLock lock(from);
        for (const auto& child : lock.Children()) {
            const auto* dir = dynamic_cast<const TDirNode*>(child.get());
            if (dir == nullptr)
                continue;
            auto made = std::make_unique<TDirNode>();
            CopyDirectory(*dir, *made);
            pending_.emplace_back(dir, static_cast<TDirNode*>(to->AddChild(std::move(made))));
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    return pending_.empty();
}

THistorySnapshot THistoryCopier::Take() {
    snapshot_.Tree = std::move(copy_);
    return std::move(snapshot_);
}

THistorySnapshot TakeHistorySnapshot(const TRootDirNode& root) {
    THistoryCopier copier(root);
    copier.CopyUntil(std::chrono::steady_clock::time_point::max());
    return copier.Take();
}

std::string SaveToHistory(const std::string& folder, const THistorySnapshot& snapshot,
                          const THistoryLimits& limits) {
    static std::atomic<std::uint64_t> sequence{0};
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::int64_t now = snapshot.TimeMs;
    const std::string sep(1, kSeparator);
    std::string file =
        folder + "/" + ReadableRoot(snapshot.RootPath) + sep + HistoryRootKey(snapshot.RootPath) + sep +
        std::to_string(now) + sep + std::to_string(snapshot.Size) + sep + std::to_string(snapshot.Files) +
        sep + std::to_string(::getpid()) + "-" + std::to_string(sequence.fetch_add(1)) + std::string(kSuffix);
    try {
        TSafeFileWriter writer(file);
        TGzipStreamBuf buffer(writer);
        std::ostream stream(&buffer);
        stream.exceptions(std::ios::badbit);
        TNcduExport exporter(snapshot.Tree.get());
        exporter.SetIdentities(true);
        exporter.ExportToStream(stream);
        buffer.Finish();
        writer.Commit();
    } catch (const EFileWriteError& e) {
        throw EExportError(e.what());
    } catch (const std::ios::failure&) {
        throw EExportError(file + ": " + SystemErrorMessage(EIO));
    }
    PruneHistory(folder, limits);
    return file;
}

std::vector<THistoryScan> ListHistory(const std::string& folder, const std::string& rootPath) {
    std::vector<THistoryScan> scans;
    const std::string key = rootPath.empty() ? std::string() : HistoryRootKey(rootPath);
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::optional<THistoryScan> scan = ParseName(it->path());
        std::error_code sizeError;
        if (!scan || !it->is_regular_file(sizeError) || (!key.empty() && scan->RootKey != key))
            continue;
        scan->Bytes = it->file_size(sizeError);
        scans.push_back(std::move(*scan));
    }
    std::sort(scans.begin(), scans.end(), [](const THistoryScan& a, const THistoryScan& b) {
        return a.TimeMs != b.TimeMs ? a.TimeMs > b.TimeMs : a.File > b.File;
    });
    return scans;
}

int PruneHistory(const std::string& folder, const THistoryLimits& limits) {
    std::vector<THistoryScan> scans = ListHistory(folder); // newest first
    std::vector<THistoryScan> kept;
    std::vector<std::string> dropped;
    std::map<std::string, int> perRoot;
    for (THistoryScan& scan : scans) {
        if (++perRoot[scan.RootKey] > limits.ScansPerRoot)
            dropped.push_back(scan.File);
        else
            kept.push_back(std::move(scan));
    }
    std::uint64_t total = 0;
    for (const THistoryScan& scan : kept)
        total += scan.Bytes;
    while (kept.size() > 1 && total > limits.BudgetBytes) {
        total -= kept.back().Bytes;
        dropped.push_back(kept.back().File);
        kept.pop_back();
    }
    // Another process pruning at the same time may have taken a file already; that is as wanted.
    for (const std::string& file : dropped) {
        std::error_code error;
        std::filesystem::remove(file, error);
    }
    return static_cast<int>(dropped.size());
}

std::optional<double> GrowthPerDay(const std::vector<THistoryScan>& scans) {
    if (scans.size() < 2)
        return std::nullopt;
    const auto [first, last] =
        std::minmax_element(scans.begin(), scans.end(),
                            [](const THistoryScan& a, const THistoryScan& b) { return a.TimeMs < b.TimeMs; });
    if (last->TimeMs - first->TimeMs < kShortestGrowthSpanMs)
        return std::nullopt;
    // Measured from the first scan and the mean: squares of milliseconds since 1970 would lose the
    // differences that matter in a double's mantissa.
    constexpr double kDayMs = 24.0 * 60 * 60 * 1000;
    double meanDays = 0;
    double meanSize = 0;
    for (const THistoryScan& scan : scans) {
        meanDays += static_cast<double>(scan.TimeMs - first->TimeMs) / kDayMs;
        meanSize += static_cast<double>(scan.Size - first->Size);
    }
    const auto count = static_cast<double>(scans.size());
    meanDays /= count;
    meanSize /= count;
    double covariance = 0;
    double variance = 0;
    for (const THistoryScan& scan : scans) {
        const double days = static_cast<double>(scan.TimeMs - first->TimeMs) / kDayMs - meanDays;
        covariance += days * (static_cast<double>(scan.Size - first->Size) - meanSize);
        variance += days * days;
    }
    return covariance / variance;
}

} // namespace quorvex
