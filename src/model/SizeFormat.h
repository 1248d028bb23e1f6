#pragma once

#include <cstdint>
#include <string>

namespace quorvex {

// A size formatter turns a byte count into "1.5 KB". The decimal separator is passed in so that
// callers can fix it (exports, tests); the defaults use the user's locale.
using TSizeFormatter = std::string (*)(std::int64_t bytes, char decimalSeparator);

std::string FormatSizeTruncated(std::int64_t bytes, char decimalSeparator);
std::string FormatSizeRounded(std::int64_t bytes, char decimalSeparator);
std::string FormatSizeTruncated(std::int64_t bytes);
std::string FormatSizeRounded(std::int64_t bytes);

// The general floating-point format: at most 15 significant digits, no thousands separators,
// the given decimal separator.
std::string FormatGeneral(double value, char decimalSeparator);

// FileSizeRounding 1 rounds; every other value truncates.
TSizeFormatter SizeFormatterFor(int fileSizeRounding);

// The user's locale decimal separator as one byte ('.' when the locale's is not a single byte).
char LocaleDecimalSeparator();

// A file count with the locale's thousands separators and no decimals.
std::string FormatCount(std::int64_t count);
// A duration with two decimals and thousands separators, then " sec." (translated).
std::string FormatDuration(double seconds);

} // namespace quorvex
