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

    Ch Peek() {
        if (pos_ == end_)
            Fill();
        return pos_ < end_ ? *pos_ : '\0';
    }
    Ch Take() {
        const Ch c = Peek();
        if (pos_ < end_) {
            ++pos_;
            ++consumed_;
        }
        return c;
    }
    std::size_t Tell() const { return consumed_; }

    // The reader never writes to its input.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    std::size_t PutEnd(Ch*) { return 0; }

    // The start of the value being read: where the handler saw its last event.
    void Mark() { mark_ = consumed_; }
    bool TokenTooLong() const { return tooLong_; }
    int ReadError() const { return readError_; }

private:
    void Fill() {
        if (done_)
            return;
        if (consumed_ - mark_ > kMaxTokenBytes) {
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
        pos_ = buffer_.data();
        end_ = pos_ + n;
    }

    int fd_;
    std::array<char, std::size_t{256} * 1024> buffer_{};
    const char* pos_ = nullptr;
    const char* end_ = nullptr;
    std::size_t consumed_ = 0;
    std::size_t mark_ = 0;
    bool done_ = false;
    bool tooLong_ = false;
    int readError_ = 0;
};

} // namespace quorvex
