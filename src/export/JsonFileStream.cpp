#include "export/JsonFileStream.h"

#include "i18n/Translation.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <unistd.h>
#include <zlib.h>

namespace quorvex {

// zlib's inflation of a gzip file, one member after the other, as gzip itself reads them.
class TJsonFileStream::TInflater {
public:
    TInflater() {
        // 16 + MAX_WBITS: a gzip header and trailer, whose check sum catches damage deflate misses.
        if (inflateInit2(&Stream, 16 + MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
    ~TInflater() { inflateEnd(&Stream); }

    std::array<char, std::size_t{256} * 1024> Input{};
    z_stream Stream{};
    bool MemberEnded = false;
    bool Failed = false;
};

TJsonFileStream::TJsonFileStream(int fd) : fd_(fd) {}

TJsonFileStream::~TJsonFileStream() = default;

long TJsonFileStream::ReadRaw(char* data, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::read(fd_, data, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

long TJsonFileStream::Inflate() {
    TInflater& inflater = *inflater_;
    if (inflater.Failed)
        return 0;
    z_stream& z = inflater.Stream;
    z.next_out = reinterpret_cast<Bytef*>(buffer_.data());
    z.avail_out = static_cast<uInt>(buffer_.size());
    // A block may inflate to nothing (a header alone): go on until something came out or the file
    // ended.
    while (z.avail_out == buffer_.size()) {
        if (z.avail_in == 0) {
            const long raw = ReadRaw(inflater.Input.data(), inflater.Input.size());
            if (raw < 0)
                return -1;
            if (raw == 0) {
                if (!inflater.MemberEnded) {
                    compressionError_ = TranslateText("the compressed data ends early");
                    inflater.Failed = true;
                }
                break;
            }
            z.next_in = reinterpret_cast<Bytef*>(inflater.Input.data());
            z.avail_in = static_cast<uInt>(raw);
        }
        if (inflater.MemberEnded) {
            inflateReset(&z);
            inflater.MemberEnded = false;
        }
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            inflater.MemberEnded = true;
        } else if (result != Z_OK && result != Z_BUF_ERROR) {
            // What came out before the damage is still handed over; the fault is reported after.
            compressionError_ = TranslateText("the compressed data is damaged");
            inflater.Failed = true;
            break;
        }
    }
    return static_cast<long>(buffer_.size() - z.avail_out);
}

void TJsonFileStream::Fill() {
    if (done_)
        return;
    if (Tell() - mark_ > kMaxTokenBytes) {
        tooLong_ = done_ = true;
        return;
    }
    const std::size_t produced = Tell();
    long n = 0;
    if (!started_) {
        started_ = true;
        n = ReadRaw(buffer_.data(), buffer_.size());
        if (n >= 2 && static_cast<unsigned char>(buffer_[0]) == 0x1f &&
            static_cast<unsigned char>(buffer_[1]) == 0x8b) {
            inflater_ = std::make_unique<TInflater>();
            std::copy_n(buffer_.data(), n, inflater_->Input.data());
            inflater_->Stream.next_in = reinterpret_cast<Bytef*>(inflater_->Input.data());
            inflater_->Stream.avail_in = static_cast<uInt>(n);
            n = Inflate();
        }
    } else {
        n = inflater_ ? Inflate() : ReadRaw(buffer_.data(), buffer_.size());
    }
    if (n <= 0) {
        readError_ = n < 0 ? errno : 0;
        done_ = true;
        return;
    }
    blockStart_ = produced;
    pos_ = buffer_.data();
    end_ = pos_ + n;
}

} // namespace quorvex
