#include "model/SizeFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

using namespace quorvex;

TEST(SizeFormat, BothStylesAcrossUnitBoundariesSeparatorsAndSettings) {
    constexpr std::int64_t KB = 1024, MB = KB * KB, TB = MB * MB;
    // Bytes, truncated, rounded.
    const std::tuple<std::int64_t, const char*, const char*> cases[] = {
        {0, "0 Byte", "0 Byte"},
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
    for (const auto& [bytes, truncated, rounded] : cases) {
        EXPECT_EQ(FormatSizeTruncated(bytes, '.'), truncated) << bytes;
        EXPECT_EQ(FormatSizeRounded(bytes, '.'), rounded) << bytes;
    }
    EXPECT_EQ(FormatSizeTruncated(2047, ','), "1,99 KB");
    EXPECT_EQ(FormatSizeRounded(1536, ','), "1,5 KB");
    // The FileSizeRounding setting's choice.
    EXPECT_EQ(SizeFormatterFor(1)(2047, '.'), "2 KB");
    EXPECT_EQ(SizeFormatterFor(0)(2047, '.'), "1.99 KB");
    EXPECT_EQ(SizeFormatterFor(2)(2047, '.'), "1.99 KB");
}
