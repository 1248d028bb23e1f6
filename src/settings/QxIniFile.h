#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvex {

// Raised when the file cannot be read or replaced; the message names the file.
class EIniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An INI file with the rules of classic profile files: section and key names compared without
// regard to case, a missing file or key reads as the caller's default, values come back cut to
// kMaxValueLength characters, and every write reaches the disk at once.
//
// Nothing is cached: each read parses the file as it is now, so two objects on the same file (the
// settings dialog's copy and the shared settings) see each other's writes. Each write re-reads
// the file, changes the one key and replaces the whole file through a temporary file in the same
// folder and a rename (TSafeFileWriter), so a crash or a full disk never leaves a truncated file.
// Comments, unknown sections and unknown keys of a hand-edited file survive; NUL bytes, which
// nothing we read can hold, are dropped. A name that leads to anything but a regular file (a pipe,
// a device, a folder) is never opened for a blocking read: reads raise "Unable to read ...",
// writes "Unable to write to ...".
//
// An object without a file name stands for settings that cannot be kept (their folder could not be
// made, which the user has been told): every read gives the default and writes go nowhere.
class TQxIniFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit TQxIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& defaultValue) const;
    // Decimal text, or hexadecimal after "0x"/"0X"/"$"; anything else, or a value outside the
    // 32-bit range, yields the default.
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    // Read as an integer: any non-zero value is true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // Leading blanks, an optional sign, then decimal digits or hexadecimal digits after "$" or
    // "0x"; trailing characters or an overflow yield the default.
    std::int64_t ReadInt64(std::string_view section, std::string_view key, std::int64_t defaultValue) const;

    // A value may not hold a line break: the format has no way to write one back.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    void WriteInt64(std::string_view section, std::string_view key, std::int64_t value);
    // The names of the members in `bits` (bit n = memberNames[n]), in ordinal order, joined by ","
    // and enclosed in "[" and "]"; the empty set is "[]".
    void WriteSet(std::string_view section, std::string_view key,
                  std::span<const std::string_view> memberNames, std::uint64_t bits);

private:
    std::string fileName_;
};

// The integer grammar of ReadInt64 and ReadInteger.
std::optional<std::int64_t> ParseIniInt64(std::string_view text);

// `text` cut to at most `maxChars` UTF-8 characters, never in the middle of a character.
std::string CutToCharacters(std::string text, std::size_t maxChars);

} // namespace quorvex
