#include "model/SizeFormat.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace quorvex;

namespace {
constexpr std::int64_t KB = 1024;
constexpr std::int64_t MB = KB * KB;
constexpr std::int64_t TB = MB * MB;

struct SizeCase {
    std::int64_t bytes;
    const char* truncated;
    const char* rounded;
};
} // namespace

TEST(SizeFormat, BothStylesAcrossUnitBoundaries) {
    const SizeCase cases[] = {
        {0, "0 Byte", "0 Byte"},
        {999, "999 Byte", "999 Byte"},
        {1023, "1023 Byte", "1023 Byte"},
        {1536, "1.5 KB", "1.5 KB"},
        {1055, "1.03 KB", "1.03 KB"},
        {1065, "1.04 KB", "1.04 KB"},
        {2047, "1.99 KB", "2 KB"},
        {10 * KB - 1, "9.99 KB", "10 KB"},
        {150 * MB + 99 * MB / 100, "150 MB", "151 MB"},
        {1024 * KB - 300, "1023 KB", "1024 KB"}, // rounding never moves to the next unit
        {2048 * TB, "2048 TB", "2048 TB"},
        {5 * KB * MB + 123, "5.00 GB", "5 GB"}, // cutting keeps the digits it cuts to
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSizeTruncated(c.bytes, '.'), c.truncated) << c.bytes;
        EXPECT_EQ(FormatSizeRounded(c.bytes, '.'), c.rounded) << c.bytes;
    }
}

TEST(SizeFormat, UsesTheGivenDecimalSeparator) {
    EXPECT_EQ(FormatSizeTruncated(1536, ','), "1,5 KB");
    EXPECT_EQ(FormatSizeRounded(1536, ','), "1,5 KB");
    EXPECT_EQ(FormatSizeTruncated(2047, ','), "1,99 KB");
}

TEST(SizeFormat, RoundingSettingPicksTheFormatter) {
    EXPECT_EQ(SizeFormatterFor(1)(2047, '.'), "2 KB");
    EXPECT_EQ(SizeFormatterFor(0)(2047, '.'), "1.99 KB");
    EXPECT_EQ(SizeFormatterFor(2)(2047, '.'), "1.99 KB");
}
