#include "model/PackedFiles.h"

#include <cstring>

namespace quorvex {
namespace {

constexpr std::size_t kMaxNumberBytes = 10;
// The low bits of the attributes' packed number say what follows them; the attributes sit above, so
// that the usual ones (none, hidden) keep the number to one byte.
constexpr std::uint64_t kHasIdentity = 1;
constexpr std::uint64_t kHasStamp = 2;
constexpr unsigned kAttributesShift = 2;

// Times before 1970 are rare but real (a clock reset, an archive's odd dates): zig-zag keeps them short.
std::uint64_t ZigZag(std::int64_t n) {
    return (static_cast<std::uint64_t>(n) << 1) ^ static_cast<std::uint64_t>(n >> 63);
}
std::int64_t UnZigZag(std::uint64_t n) {
    return static_cast<std::int64_t>(n >> 1) ^ -static_cast<std::int64_t>(n & 1);
}

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
    bytes_.resize(at + file.Name.size() + 8 * kMaxNumberBytes);
    char* const start = bytes_.data() + at;
    char* out = start + PutNumber(start, file.Name.size());
    std::memcpy(out, file.Name.data(), file.Name.size());
    out += file.Name.size();
    out += PutNumber(out, static_cast<std::uint64_t>(file.Size));
    out += PutNumber(out, static_cast<std::uint64_t>(file.AllocatedSize));
    out += PutNumber(out, ZigZag(file.ModifyTime));
    const bool identity = file.Links > 1;
    const bool stamp = file.Stamp != 0;
    out += PutNumber(out, (std::uint64_t{file.Attributes} << kAttributesShift) |
                              (identity ? kHasIdentity : 0) | (stamp ? kHasStamp : 0));
    if (stamp) {
        // A stamp mixes in the birth time, so its bits are random: 8 bytes beat a 10-byte number.
        std::memcpy(out, &file.Stamp, sizeof file.Stamp);
        out += sizeof file.Stamp;
    }
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
    file.ModifyTime = UnZigZag(ReadNumber(p));
    const std::uint64_t attributes = ReadNumber(p);
    file.Attributes = static_cast<std::uint16_t>(attributes >> kAttributesShift);
    if ((attributes & kHasStamp) != 0) {
        std::memcpy(&file.Stamp, p, sizeof file.Stamp);
        p += sizeof file.Stamp;
    }
    if ((attributes & kHasIdentity) != 0) {
        file.Device = ReadNumber(p);
        file.Inode = ReadNumber(p);
        file.Links = ReadNumber(p);
    }
    return file;
}

TPackedFiles TPackedFiles::Without(std::string_view name) const {
    TPackedFilesWriter writer;
    ForEach([&](const TPackedFile& file) {
        if (file.Name != name)
            writer.Add(file);
    });
    return TPackedFiles(writer);
}

} // namespace quorvex
