#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace quorvex {

// One file as a directory's records hold it.
struct TPackedFile {
    std::string_view Name; // bytes, not necessarily UTF-8
    std::int64_t Size = 0;
    std::int64_t AllocatedSize = 0;
    // Seconds since the epoch; 0 when the source did not say.
    std::int64_t ModifyTime = 0;
    std::uint16_t Attributes = 0; // TFileAttribute bits, and kCountedAtAnotherName
    // The IdentityStamp the walk saw, so that a deletion acts on that very file; 0 when not known.
    std::uint64_t Stamp = 0;
    // The identity of a file with several names, for hard-link counting and for a writer that records
    // it; Links is 0 where the file did not say it had several.
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Links = 0;
};

// Collects a directory's files into the form TPackedFiles keeps: per file its name's length and
// bytes, then sizes, time and attributes as variable-length numbers, the stamp in 8 bytes, and the
// identity only for a file with several names, so a file costs a few bytes more than its name instead
// of a node. Reusable: Clear keeps the capacity.
class TPackedFilesWriter {
public:
    // Sizes are never negative: the reader of the scan file refuses negative numbers.
    void Add(const TPackedFile& file);
    std::uint32_t Count() const { return count_; }
    void Clear() {
        bytes_.clear();
        count_ = 0;
    }

private:
    friend class TPackedFiles;
    std::vector<char> bytes_;
    std::uint32_t count_ = 0;
};

// The files of one directory, in one allocation of exactly their bytes (the count first, then the
// entries): every file a scan met or a scan file holds costs little more than its name until the
// window asks for it as a node. Guarded by its directory's lock.
class TPackedFiles {
public:
    TPackedFiles() = default;
    explicit TPackedFiles(const TPackedFilesWriter& writer);

    bool Empty() const { return data_ == nullptr; }
    std::uint32_t Count() const;
    // Calls visit(const TPackedFile&) for every file, in the order they were added.
    template <typename F> void ForEach(F&& visit) const {
        if (data_ == nullptr)
            return;
        const std::uint8_t* p = data_.get();
        const std::uint64_t count = ReadNumber(p);
        for (std::uint64_t i = 0; i < count; ++i)
            visit(Next(p));
    }
    // The same files less those named `name`: a file deleted from the tree is gone from its records.
    TPackedFiles Without(std::string_view name) const;

private:
    static std::uint64_t ReadNumber(const std::uint8_t*& p);
    static TPackedFile Next(const std::uint8_t*& p);

    std::unique_ptr<std::uint8_t[]> data_;
};

} // namespace quorvex
