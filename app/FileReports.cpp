#include "FileReports.h"

#include "model/FileKinds.h"
#include "model/FileSystemNode.h"
#include "model/LocalYears.h"
#include "model/PackedFiles.h"
#include "model/TreeOperations.h"
#include "support/Utilities.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <unordered_map>

namespace quorvex {
namespace {

bool Counts(const TPackedFile& file) {
    return (file.Attributes & kCountedAtAnotherName) == 0;
}

std::int64_t SizeOf(const TPackedFile& file, const TSizeOptions& sizes) {
    return sizes.Kind == TSizeKind::Allocated ? file.AllocatedSize : file.Size;
}

// Comes first in the list: larger, or as large and first in byte order.
bool Before(const TLargeFile& a, const TLargeFile& b) {
    return a.Size != b.Size ? a.Size > b.Size : a.Path < b.Path;
}

} // namespace

std::vector<TLargeFile> LargestFiles(const TGroupNode& top, std::int64_t count, const TSizeOptions& sizes) {
    // A heap whose front is the file that leaves first when a larger one comes.
    std::vector<TLargeFile> kept;
    const auto full = [&] { return static_cast<std::int64_t>(kept.size()) >= count; };
    const TDirNode* lastDir = nullptr;
    std::string dirPath;
    ForEachRecordedFile(&top, [&](const TDirNode& dir, const TPackedFile& file) {
        const std::int64_t size = SizeOf(file, sizes);
        if (!Counts(file) || (full() && size < kept.front().Size))
            return;
        // The records of a directory come together: its path is made once.
        if (&dir != lastDir) {
            lastDir = &dir;
            dirPath = GetFullPath(&dir);
        }
        TLargeFile candidate{size, JoinPath(dirPath, file.Name)};
        if (!full()) {
            kept.push_back(std::move(candidate));
            std::push_heap(kept.begin(), kept.end(), Before);
        } else if (Before(candidate, kept.front())) {
            std::pop_heap(kept.begin(), kept.end(), Before);
            kept.back() = std::move(candidate);
            std::push_heap(kept.begin(), kept.end(), Before);
        }
    });
    std::sort_heap(kept.begin(), kept.end(), Before);
    return kept;
}

std::vector<TFileTally> FilesByType(const TGroupNode& top, const TFileKinds& kinds,
                                    const TSizeOptions& sizes) {
    std::unordered_map<std::string, TFileTally> byExtension;
    ForEachRecordedFile(&top, [&](const TDirNode&, const TPackedFile& file) {
        if (!Counts(file))
            return;
        TFileTally& tally = byExtension[kinds.ExtensionOf(file.Name)];
        ++tally.Files;
        tally.Size += SizeOf(file, sizes);
    });
    std::vector<TFileTally> rows;
    rows.reserve(byExtension.size());
    for (auto& [extension, tally] : byExtension) {
        tally.Extension = extension;
        rows.push_back(std::move(tally));
    }
    std::sort(rows.begin(), rows.end(), [](const TFileTally& a, const TFileTally& b) {
        return a.Size != b.Size ? a.Size > b.Size : a.Extension < b.Extension;
    });
    return rows;
}

std::vector<TFileTally> FilesByAge(const TGroupNode& top, const TSizeOptions& sizes) {
    std::map<int, TFileTally> byYear;
    const TLocalYears years(std::time(nullptr));
    ForEachRecordedFile(&top, [&](const TDirNode&, const TPackedFile& file) {
        if (!Counts(file))
            return;
        TFileTally& tally = byYear[years.Year(file.ModifyTime)];
        ++tally.Files;
        tally.Size += SizeOf(file, sizes);
    });
    std::vector<TFileTally> rows;
    rows.reserve(byYear.size());
    for (auto& [year, tally] : byYear) {
        tally.Year = year;
        rows.push_back(std::move(tally));
    }
    return rows;
}

} // namespace quorvex
