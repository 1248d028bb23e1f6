#include "i18n/MoCatalogue.h"

#include "support/AsciiCase.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvex {
namespace {

constexpr std::uint32_t kMagic = 0x950412deu;
constexpr std::uint32_t kMagicSwapped = 0xde120495u;
constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kTableEntrySize = 8;

[[noreturn]] void Invalid(const std::string& name) {
    throw EMoFileError(kInvalidMoFile, name);
}

class TWordReader {
public:
    TWordReader(std::string_view bytes, bool swapped) : bytes_(bytes), swapped_(swapped) {}

    // The caller has checked that the word lies inside the file.
    std::uint32_t At(std::size_t offset) const {
        std::uint32_t word;
        std::memcpy(&word, bytes_.data() + offset, sizeof word);
        return swapped_ ? __builtin_bswap32(word) : word;
    }

private:
    std::string_view bytes_;
    bool swapped_;
};

struct TRange {
    std::uint64_t Begin;
    std::uint64_t End; // one past the terminating NUL
};

// The strings of one table; every string lies inside the file and ends with a NUL.
std::vector<std::string_view> ReadTable(std::string_view bytes, const TWordReader& words, std::uint64_t count,
                                        std::uint64_t tableOffset, std::vector<TRange>& ranges,
                                        const std::string& name) {
    std::vector<std::string_view> strings;
    strings.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = tableOffset + i * kTableEntrySize;
        const std::uint64_t length = words.At(entry);
        const std::uint64_t offset = words.At(entry + 4);
        if (offset + length >= bytes.size() || bytes[offset + length] != '\0')
            Invalid(name);
        ranges.push_back({offset, offset + length + 1});
        strings.push_back(bytes.substr(offset, length));
    }
    return strings;
}

std::string_view FirstForm(std::string_view text) {
    return text.substr(0, std::min(text.find('\0'), text.size()));
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void ReadFailed(const std::string& name, int error) {
    throw EMoFileError(N_("This catalogue file could not be read: "), name,
                       std::string(": ") + std::strerror(error));
}

} // namespace

std::unique_ptr<TMoCatalogue> TMoCatalogue::FromBytes(std::string bytes, const std::string& name) {
    std::unique_ptr<TMoCatalogue> catalogue(new TMoCatalogue);
    catalogue->bytes_ = std::move(bytes);
    const std::string_view data = catalogue->bytes_;
    if (data.size() < kHeaderSize || data.size() > kMaxFileSize)
        Invalid(name);
    std::uint32_t magic;
    std::memcpy(&magic, data.data(), sizeof magic);
    if (magic != kMagic && magic != kMagicSwapped)
        Invalid(name);
    const TWordReader words(data, magic == kMagicSwapped);
    // Only major revisions 0 and 1 exist; a later one may lay the file out differently.
    if ((words.At(4) >> 16) > 1)
        Invalid(name);
    const std::uint64_t count = words.At(8);
    const std::uint64_t originals = words.At(12);
    const std::uint64_t translations = words.At(16);
    // Both tables must fit inside the file before anything is allocated for them, so an absurd count
    // is refused by the file's own size.
    const std::uint64_t tableSize = count * kTableEntrySize;
    for (const std::uint64_t table : {originals, translations})
        if (table < kHeaderSize || table + tableSize > data.size())
            Invalid(name);
    std::vector<TRange> ranges{
        {0, kHeaderSize}, {originals, originals + tableSize}, {translations, translations + tableSize}};
    ranges.reserve(2 * count + 3);
    const auto keys = ReadTable(data, words, count, originals, ranges, name);
    const auto values = ReadTable(data, words, count, translations, ranges, name);
    // Strings sharing bytes with each other or with the tables are no product of a catalogue
    // compiler; refusing them keeps a crafted file from aliasing one entry into another. The two
    // tables may be empty and then share their offset.
    std::sort(ranges.begin(), ranges.end(),
              [](const TRange& a, const TRange& b) { return a.Begin < b.Begin; });
    std::uint64_t covered = 0;
    for (const TRange& range : ranges) {
        if (range.Begin == range.End)
            continue;
        if (range.Begin < covered)
            Invalid(name);
        covered = range.End;
    }
    catalogue->entries_.reserve(count);
    for (std::size_t i = 0; i < keys.size(); ++i)
        catalogue->entries_.emplace(FirstForm(keys[i]), values[i]);
    return catalogue;
}

std::unique_ptr<TMoCatalogue> TMoCatalogue::FromFile(const std::filesystem::path& file) {
    const std::string name = file.string();
    // Non-blocking, so that opening a FIFO returns at once instead of waiting for a writer.
    const TFileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0)
        ReadFailed(name, errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        ReadFailed(name, errno);
    if (!S_ISREG(info.st_mode) || info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > kMaxFileSize)
        Invalid(name);
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ReadFailed(name, errno);
        if (got == 0)
            break; // shrank while being read: what is there is checked like any short file
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return FromBytes(std::move(bytes), name);
}

std::optional<std::string_view> TMoCatalogue::Find(std::string_view key) const {
    const auto found = entries_.find(key);
    if (found == entries_.end())
        return std::nullopt;
    return FirstForm(found->second);
}

std::string_view TMoCatalogue::Header() const {
    return Find({}).value_or(std::string_view{});
}

bool HeaderDeclaresUtf8(std::string_view header) {
    const std::string lowered = AsciiLowered(header);
    std::string_view rest = lowered;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        if (line.starts_with("content-type:"))
            return line.find("charset=utf-8") != std::string_view::npos;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
}

} // namespace quorvex
