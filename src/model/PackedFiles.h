#pragma once

#include "model/RootNodes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// One file as the packed list holds it.
struct TPackedFile {
    std::string_view Name; // bytes, not necessarily UTF-8
    std::int64_t Size = 0;
    std::int64_t AllocatedSize = 0;
    std::uint16_t Attributes = 0;
    // The identity of a file with several names, for a writer that records it; Links is 0 where the
    // file did not say it had several.
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Links = 0;
};

// Collects a directory's files into the form TPackedFiles keeps: per file its name's length and
// bytes, then sizes and attributes as variable-length numbers, and the identity only for a file with
// several names, so a file costs a few bytes more than its name instead of a node. Reusable: Clear
// keeps the capacity.
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

// The files of a directory read from a scan file, in one allocation of exactly their bytes (the count
// first, then the entries), so that a tree of files costs little more than its names until the window
// asks for them as nodes.
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

private:
    static std::uint64_t ReadNumber(const std::uint8_t*& p);
    static TPackedFile Next(const std::uint8_t*& p);

    std::unique_ptr<std::uint8_t[]> data_;
};

// A directory of an imported tree: its files stay packed until listed. Listing makes nodes from the
// packed files, never from the disk, and keeps them packed for the exports.
template <typename TBase> class TWithPackedFiles : public TBase {
public:
    const TPackedFiles& PackedFiles() const { return files_; }
    void SetPackedFiles(TPackedFiles files) { files_ = std::move(files); }

    int ListDirectoryFiles(TGroupNode* target, const TGroupNode::AcceptFunc& accept,
                           TGroupNode::DiskListFunc disk) const override;
    void Clear() override {
        TBase::Clear();
        files_ = TPackedFiles();
    }

private:
    TPackedFiles files_;
};

using TImportedDirNode = TWithPackedFiles<TDirNode>;

class TImportedRootNode final : public TWithPackedFiles<TRootDirNode> {};

// Makes the nodes of the files for which accept(size) holds, sorted by name as a listing of the
// disk gives them, and hands them to target. A file marked kCountedAtAnotherName keeps its size in
// the list, for the exports, and becomes a node of no size, as a listing of the disk makes it.
// Returns how many.
int ListPackedFiles(const TPackedFiles& files, TGroupNode* target, const TGroupNode::AcceptFunc& accept);

template <typename TBase>
int TWithPackedFiles<TBase>::ListDirectoryFiles(TGroupNode* target, const TGroupNode::AcceptFunc& accept,
                                                TGroupNode::DiskListFunc /*disk*/) const {
    return ListPackedFiles(files_, target, accept);
}

// The packed files of an imported directory; nullptr for any other node.
const TPackedFiles* PackedFilesOf(const TFileSystemNode* node);

} // namespace quorvex
