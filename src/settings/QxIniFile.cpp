#include "settings/QxIniFile.h"

#include "i18n/Translation.h"

#include "support/PosixDir.h"
#include "support/SafeFileWriter.h"
#include "support/Utilities.h"

#include <SimpleIni.h>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvex {
namespace {

// Multi-key, so that a duplicate key of a hand-edited file survives a write to another key and the
// first occurrence is the one read; no multi-line values, whose end marker a value could forge.
std::unique_ptr<CSimpleIniA> NewDocument() {
    auto ini = std::make_unique<CSimpleIniA>(/*isUtf8=*/false, /*multiKey=*/true, /*multiLine=*/false);
    ini->SetSpaces(false);
    return ini;
}

struct TDocument {
    std::unique_ptr<CSimpleIniA> ini = NewDocument();
    // Comment lines after the last section or key: the library keeps only comments that precede
    // an entry, so these are carried over by hand.
    std::string trailingComments;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view line) {
    while (!line.empty() && (IsBlank(line.front()) || line.front() == '\r'))
        line.remove_prefix(1);
    while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

bool IsCommentLine(std::string_view trimmed) {
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// The comment lines after the last section or key line (all of them when there is none).
std::vector<std::string_view> TrailingCommentLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        const std::string_view trimmed = TrimBlanks(line);
        if (IsCommentLine(trimmed))
            lines.push_back(line);
        else if (!trimmed.empty())
            lines.clear();
        pos = end + 1;
    }
    return lines;
}

// What of the file's closing comments the library would drop. It keeps none of them after an
// entry, but keeps the first block of a file that holds comments only.
std::string DroppedTrailingComments(std::string_view original, const CSimpleIniA& ini) {
    const std::vector<std::string_view> wanted = TrailingCommentLines(original);
    std::string saved;
    ini.Save(saved, false);
    const std::vector<std::string_view> kept = TrailingCommentLines(saved);
    std::size_t skip = 0;
    while (skip < kept.size() && skip < wanted.size() && TrimBlanks(kept[skip]) == TrimBlanks(wanted[skip]))
        ++skip;
    std::string dropped;
    for (std::size_t i = skip; i < wanted.size(); ++i) {
        dropped.append(wanted[i]);
        dropped.push_back('\n');
    }
    return dropped;
}

// Closes a descriptor however the read ends.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { ::close(fd_); }

private:
    int fd_;
};

// The file's bytes; nullopt when it does not exist. Anything but a regular file (a pipe that
// would wait for a writer forever, a device, a folder) raises `error` with the reason, as does
// any other failure. Opened without blocking, so a pipe is seen for what it is before a read.
std::optional<std::string> ReadFileBytes(const std::string& path, const std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw EIniFileError(error + ": " + SystemErrorMessage(errno));
    }
    const TFd guard(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw EIniFileError(error + ": " + SystemErrorMessage(errno));
    if (!S_ISREG(st.st_mode))
        throw EIniFileError(error + ": " + TranslateText("not a regular file"));
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EIniFileError(error + ": " + SystemErrorMessage(errno));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

// The library reads its text up to the first NUL byte and so would lose every key after one. No
// name or value we read or write can hold a NUL, so dropping them loses nothing a key needs; the
// next write leaves them out and keeps the rest.
std::string WithoutNulBytes(std::string text) {
    std::erase(text, '\0');
    return text;
}

TDocument LoadDocument(const std::string& path, const std::string& error) {
    TDocument doc;
    const std::optional<std::string> bytes = ReadFileBytes(path, error);
    if (!bytes)
        return doc;
    const std::string text = WithoutNulBytes(*bytes);
    if (doc.ini->LoadData(text.data(), text.size()) < 0)
        throw EIniFileError(error);
    doc.trailingComments = DroppedTrailingComments(text, *doc.ini);
    return doc;
}

void SaveDocument(const TDocument& doc, const std::string& path, const std::string& error) {
    std::string text;
    if (doc.ini->Save(text, doc.ini->IsUnicode()) < 0)
        throw EIniFileError(error);
    if (!doc.trailingComments.empty()) {
        if (!text.empty() && text.back() != '\n')
            text.push_back('\n');
        text.append(doc.trailingComments);
    }
    // The writer follows a link to the INI file (a managed dotfile, say) and replaces the file it
    // points to, and refuses a read-only file or folder.
    try {
        WriteFileSafely(path, text);
    } catch (const EFileWriteError& failure) {
        throw EIniFileError(error + ": " + failure.Reason());
    }
}

void CheckName(std::string_view name, char forbidden) {
    if (name.empty() ||
        name.find_first_of(std::string{'\r', '\n', '\0', forbidden}) != std::string_view::npos)
        throw std::invalid_argument("invalid INI section or key name: " + std::string(name));
}

} // namespace

std::optional<std::int64_t> ParseIniInt64(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : std::numeric_limits<std::int64_t>::max();
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return std::nullopt;
        if (value > (limit - static_cast<std::uint64_t>(digit)) / base)
            return std::nullopt;
        value = value * base + static_cast<std::uint64_t>(digit);
    }
    if (negative)
        return value == limit ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t>(value);
    return static_cast<std::int64_t>(value);
}

std::string CutToCharacters(std::string text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte: part of the character before it
        if (++chars > maxChars) {
            text.resize(i);
            break;
        }
    }
    return text;
}

TQxIniFile::TQxIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TQxIniFile::ReadString(std::string_view section, std::string_view key,
                                   const std::string& defaultValue) const {
    if (fileName_.empty())
        return defaultValue;
    const TDocument doc = LoadDocument(fileName_, Substitute(TranslateText("Unable to read %s"), fileName_));
    const char* value = doc.ini->GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    if (value == nullptr)
        return defaultValue;
    return CutToCharacters(value, kMaxValueLength);
}

std::int32_t TQxIniFile::ReadInteger(std::string_view section, std::string_view key,
                                     std::int32_t defaultValue) const {
    const std::optional<std::int64_t> value = ParseIniInt64(ReadString(section, key, {}));
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max())
        return defaultValue;
    return static_cast<std::int32_t>(*value);
}

bool TQxIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::int64_t TQxIniFile::ReadInt64(std::string_view section, std::string_view key,
                                   std::int64_t defaultValue) const {
    return ParseIniInt64(ReadString(section, key, {})).value_or(defaultValue);
}

void TQxIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    CheckName(section, ']');
    CheckName(key, '=');
    const std::string error = Substitute(TranslateText("Unable to write to %s"), fileName_);
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw EIniFileError(
            error + ": " + Substitute(TranslateText("the value of %s holds a line break"), std::string(key)));
    if (fileName_.empty())
        return;
    TDocument doc = LoadDocument(fileName_, error);
    const std::string v(value);
    if (doc.ini->SetValue(std::string(section).c_str(), std::string(key).c_str(), v.c_str(), nullptr,
                          /*forceReplace=*/true) < 0)
        throw EIniFileError(error);
    SaveDocument(doc, fileName_, error);
}

void TQxIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TQxIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TQxIniFile::WriteInt64(std::string_view section, std::string_view key, std::int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void TQxIniFile::WriteSet(std::string_view section, std::string_view key,
                          std::span<const std::string_view> memberNames, std::uint64_t bits) {
    std::string text = "[";
    for (std::size_t i = 0; i < memberNames.size() && i < 64; ++i) {
        if ((bits & (std::uint64_t{1} << i)) == 0)
            continue;
        if (text.size() > 1)
            text.push_back(',');
        text.append(memberNames[i]);
    }
    text.push_back(']');
    WriteString(section, key, text);
}

} // namespace quorvex
