#include "model/PackedFiles.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quorvex {
namespace {

constexpr std::size_t kMaxNumberBytes = 10;
// Above the 16 bits of the attributes in their packed number: an identity follows.
constexpr std::uint64_t kHasIdentity = std::uint64_t{1} << 16;

// Seven bits a byte, low first; the high bit says another byte follows. 2^63-1 takes 9 bytes.
// Returns the bytes written at `out`.
std::size_t PutNumber(char* out, std::uint64_t n) {
    std::size_t i = 0;
    for (; n >= 0x80; n >>= 7)
        out[i++] = static_cast<char>((n & 0x7F) | 0x80);
    out[i++] = static_cast<char>(n);
    return i;
}

} // namespace

void TPackedFilesWriter::Add(const TPackedFile& file) {
    // Room for the most an entry can take, then trimmed to what it took: one size check per file
    // instead of one per byte.
    const std::size_t at = bytes_.size();
    bytes_.resize(at + file.Name.size() + 7 * kMaxNumberBytes);
    char* const start = bytes_.data() + at;
    char* out = start + PutNumber(start, file.Name.size());
    std::memcpy(out, file.Name.data(), file.Name.size());
    out += file.Name.size();
    out += PutNumber(out, static_cast<std::uint64_t>(file.Size));
    out += PutNumber(out, static_cast<std::uint64_t>(file.AllocatedSize));
    const bool identity = file.Links > 1;
    out += PutNumber(out, file.Attributes | (identity ? kHasIdentity : 0));
    if (identity) {
        out += PutNumber(out, file.Device);
        out += PutNumber(out, file.Inode);
        out += PutNumber(out, file.Links);
    }
    bytes_.resize(at + static_cast<std::size_t>(out - start));
    ++count_;
}

TPackedFiles::TPackedFiles(const TPackedFilesWriter& writer) {
    if (writer.count_ == 0)
        return;
    char count[kMaxNumberBytes];
    const std::size_t head = PutNumber(count, writer.count_);
    // For overwrite: zeroing the bytes first would only be undone.
    data_ = std::make_unique_for_overwrite<std::uint8_t[]>(head + writer.bytes_.size());
    std::memcpy(data_.get(), count, head);
    std::memcpy(data_.get() + head, writer.bytes_.data(), writer.bytes_.size());
}

std::uint32_t TPackedFiles::Count() const {
    if (data_ == nullptr)
        return 0;
    const std::uint8_t* p = data_.get();
    return static_cast<std::uint32_t>(ReadNumber(p));
}

std::uint64_t TPackedFiles::ReadNumber(const std::uint8_t*& p) {
    std::uint64_t n = 0;
    for (unsigned shift = 0;; shift += 7) {
        const std::uint8_t byte = *p++;
        n |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return n;
    }
}

TPackedFile TPackedFiles::Next(const std::uint8_t*& p) {
    TPackedFile file;
    const auto length = static_cast<std::size_t>(ReadNumber(p));
    file.Name = {reinterpret_cast<const char*>(p), length};
    p += length;
    file.Size = static_cast<std::int64_t>(ReadNumber(p));
    file.AllocatedSize = static_cast<std::int64_t>(ReadNumber(p));
    const std::uint64_t attributes = ReadNumber(p);
    file.Attributes = static_cast<std::uint16_t>(attributes);
    if ((attributes & kHasIdentity) != 0) {
        file.Device = ReadNumber(p);
        file.Inode = ReadNumber(p);
        file.Links = ReadNumber(p);
    }
    return file;
}

int ListPackedFiles(const TPackedFiles& files, TGroupNode* target, const TGroupNode::AcceptFunc& accept) {
    std::vector<std::unique_ptr<TFileSystemNode>> found;
    files.ForEach([&](const TPackedFile& file) {
        if (!accept(file.Size))
            return;
        const bool elsewhere = (file.Attributes & kCountedAtAnotherName) != 0;
        auto node = std::make_unique<TFileNode>();
        node->SetName(std::string(file.Name));
        node->SetSize(elsewhere ? 0 : file.Size);
        node->SetAllocatedSize(elsewhere ? 0 : file.AllocatedSize);
        node->SetAttributes(file.Attributes);
        found.push_back(std::move(node));
    });
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a->Name() < b->Name(); });
    const auto count = static_cast<int>(found.size());
    target->AdoptListedFiles(std::move(found));
    return count;
}

const TPackedFiles* PackedFilesOf(const TFileSystemNode* node) {
    if (const auto* dir = dynamic_cast<const TImportedDirNode*>(node))
        return &dir->PackedFiles();
    if (const auto* root = dynamic_cast<const TImportedRootNode*>(node))
        return &root->PackedFiles();
    return nullptr;
}

} // namespace quorvex
