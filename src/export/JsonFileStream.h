#pragma once

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace quorvex {

// Longest single value (a name, a number, the whitespace between two) the reader buffers; the
// parser holds a whole string in memory before handing it over, so without a bound a file of one
// 2 GB name would cost 2 GB.
inline constexpr std::uint64_t kMaxTokenBytes = std::uint64_t{1} << 20;

// RapidJSON's input stream over a descriptor, read in large blocks. It ends the input early (a NUL,
// which the parser takes for the end) when one value grows beyond kMaxTokenBytes or a read fails;
// the reader then reports why.
class TJsonFileStream {
public:
    using Ch = char;

    explicit TJsonFileStream(int fd) : fd_(fd) {}

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

private:
    void Fill() {
        if (done_)
            return;
        if (Tell() - mark_ > kMaxTokenBytes) {
            tooLong_ = done_ = true;
            return;
        }
        ssize_t n = 0;
        do {
            n = ::read(fd_, buffer_.data(), buffer_.size());
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            readError_ = n < 0 ? errno : 0;
            done_ = true;
            return;
        }
        blockStart_ = Tell();
        pos_ = buffer_.data();
        end_ = pos_ + n;
    }

    int fd_;
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
