#include "model/SizeFormat.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <string>

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

// Qt's start-up puts the C library into the user's locale; a separator of more than one byte (Pashto's
// U+066B) must neither leak into the text nor stop the cut.
TEST(SizeFormat, LocaleWithMultiByteSeparatorIsCutAtTheOneSeparatorWeUse) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "ps_AF.UTF-8") == nullptr)
        GTEST_SKIP() << "locale ps_AF.UTF-8 is not generated (./build.sh test generates it)";
    QLocale::setDefault(QLocale(QLocale::Pashto, QLocale::Afghanistan));
    const char separator = LocaleDecimalSeparator();
    EXPECT_EQ(FormatSizeTruncated(2047), std::string("1") + separator + "99 KB");
    EXPECT_EQ(FormatSizeRounded(1536), std::string("1") + separator + "5 KB");
    EXPECT_EQ(FormatGeneral(0.25, ','), "0,25");
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, previous.c_str());
}
