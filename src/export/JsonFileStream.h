#pragma once

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quorvex {

// Longest single value (a name, a number, the whitespace between two) the reader buffers; the
// parser holds a whole string in memory before handing it over, so without a bound a file of one
// 2 GB name would cost 2 GB.
inline constexpr std::uint64_t kMaxTokenBytes = std::uint64_t{1} << 20;

// RapidJSON's input stream over a descriptor, read in large blocks. A gzip file (the scan history's)
// is inflated on the way, told by its first two bytes, so that every reader of scan files takes both.
// It ends the input early (a NUL, which the parser takes for the end) when one value grows beyond
// kMaxTokenBytes, a read fails or the compressed data is damaged; the reader then reports why.
class TJsonFileStream {
public:
    using Ch = char;

    explicit TJsonFileStream(int fd);
    TJsonFileStream(const TJsonFileStream&) = delete;
    TJsonFileStream& operator=(const TJsonFileStream&) = delete;
    ~TJsonFileStream();

    // The parser calls these once or twice per byte of the file: the offset is kept per block, not
    // counted per byte.
    Ch Peek() {
        if (pos_ == end_) [[unlikely]]
            Fill();
        return pos_ != end_ ? *pos_ : '\0';
    }
    Ch Take() {
        if (pos_ == end_) [[unlikely]]
            Fill();
        return pos_ != end_ ? *pos_++ : '\0';
    }
    std::size_t Tell() const { return blockStart_ + static_cast<std::size_t>(pos_ - buffer_.data()); }

    // The reader never writes to its input.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    std::size_t PutEnd(Ch*) { return 0; }

    // The start of the value being read: where the handler saw its last event.
    void Mark() { mark_ = Tell(); }
    bool TokenTooLong() const { return tooLong_; }
    int ReadError() const { return readError_; }
    // Why the compressed data could not be inflated (damaged, or ending before its end); empty when
    // it could, or when the file is not compressed.
    const std::string& CompressionError() const { return compressionError_; }

private:
    class TInflater;

    void Fill();
    // The next block of the inflated file into the buffer: its length, 0 at the end or on damage, -1
    // with errno set when a read fails.
    long Inflate();
    // Up to `size` bytes of the file as stored; -1 with errno set on failure.
    long ReadRaw(char* data, std::size_t size);

    int fd_;
    std::unique_ptr<TInflater> inflater_;
    bool started_ = false;
    std::string compressionError_;
    std::array<char, std::size_t{256} * 1024> buffer_{};
    // Before the first read both stand at the buffer's start, so that Tell gives 0.
    const char* pos_ = buffer_.data();
    const char* end_ = buffer_.data();
    std::size_t blockStart_ = 0;
    std::size_t mark_ = 0;
    bool done_ = false;
    bool tooLong_ = false;
    int readError_ = 0;
};

} // namespace quorvex
