#include "paint/Canvas.h"
#include "paint/QuorvexOneBarChartPainter.h"

#include "PaintTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorvex;
using namespace quorvex::test;

namespace {

constexpr QRgb kFrame = 0xE2C25F; // 0x5FC2E2 in the BGR layout
constexpr QRgb kFill = 0xF6E07B;
constexpr QRgb kWhite = 0xFFFFFF;

QImage PaintFlat(const QRect& rect, double fraction, const QString& text = {}) {
    QImage image = WhiteCanvas(rect.right() + 11, rect.bottom() + 3);
    QPainter canvas(&image);
    canvas.setFont(CrispFont());
    TQuorvexOneBarChartPainter().Paint(canvas, rect, text, fraction);
    return image;
}

} // namespace

TEST(BarGeometry, WidthRoundsHalvesToEvenAndStaysInsideTheCell) {
    const QRect cell(10, 3, 100, 16);
    EXPECT_EQ(GetBarRect(cell, 0.125), QRect(10, 3, 12, 16)); // 12.5 -> 12
    EXPECT_EQ(GetBarRect(cell, 0.135), QRect(10, 3, 14, 16)); // 13.5 -> 14
    EXPECT_EQ(GetBarRect(cell, 0.126).width(), 13);
    EXPECT_EQ(GetBarRect(cell, 1.0), cell);
    EXPECT_EQ(GetBarRect(cell, 0.0).width(), 0);
    // Shares read while a scan still adds to the totals may leave 0 to 1.
    EXPECT_EQ(GetBarRect(cell, 1.7), cell);
    EXPECT_EQ(GetBarRect(cell, -0.2).width(), 0);
    EXPECT_EQ(GetBarRect(cell, std::numeric_limits<double>::quiet_NaN()).width(), 0);
    EXPECT_EQ(GetBarRect(QRect(0, 0, 0, 16), 0.5).width(), 0);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(-1.5L), -2);
}

TEST(FlatPainter, ZeroFractionDrawsNoBarButCentresTheText) {
    const QRect rect(0, 0, 100, 18);
    const QImage image = PaintFlat(rect, 0.0, QStringLiteral("0%"));
    EXPECT_EQ(CountColour(image, image.rect(), kFrame), 0);
    EXPECT_EQ(CountColour(image, image.rect(), kFill), 0);
    const QRect ink = InkBounds(image, image.rect(), kWhite);
    ASSERT_TRUE(ink.isValid()) << "the text is drawn";
    EXPECT_LE(std::abs((ink.left() + ink.right() + 1) - 100), 3) << "horizontally centred";
    EXPECT_LE(std::abs((ink.top() + ink.bottom() + 1) - 18), 4) << "vertically centred";
    EXPECT_EQ(CountPixels(image, ink, [](QRgb c) { return c != kWhite && c != 0x000000; }), 0)
        << "the text is black";
}

TEST(FlatPainter, OnePixelBarIsASingleLineInTheFrameColour) {
    const QRect rect(10, 1, 100, 16); // 0.01 x 100 = 1 pixel
    const QImage image = PaintFlat(rect, 0.01);
    EXPECT_EQ(CountColour(image, QRect(10, 1, 1, 16), kFrame), 16);
    EXPECT_EQ(InkBounds(image, image.rect(), kWhite), QRect(10, 1, 1, 16));
}

TEST(FlatPainter, TwoPixelBarIsAnOutlineWithNothingInside) {
    const QRect rect(10, 1, 100, 16);
    const QImage image = PaintFlat(rect, 0.02);
    EXPECT_EQ(CountColour(image, QRect(10, 1, 2, 16), kFrame), 32);
    EXPECT_EQ(InkBounds(image, image.rect(), kWhite), QRect(10, 1, 2, 16));
}

TEST(FlatPainter, WideBarHasFrameWhiteInnerLineAndFill) {
    const QRect rect(10, 1, 100, 16);
    const QImage image = PaintFlat(rect, 0.5); // columns 10..59
    EXPECT_EQ(InkBounds(image, image.rect(), kWhite), QRect(10, 1, 50, 16));
    for (int y = 1; y < 17; ++y) {
        EXPECT_EQ(Rgb(image, 10, y), kFrame);
        EXPECT_EQ(Rgb(image, 59, y), kFrame);
    }
    for (int x = 10; x < 60; ++x) {
        EXPECT_EQ(Rgb(image, x, 1), kFrame);
        EXPECT_EQ(Rgb(image, x, 16), kFrame);
    }
    EXPECT_EQ(Rgb(image, 11, 8), kWhite);
    EXPECT_EQ(Rgb(image, 58, 8), kWhite);
    EXPECT_EQ(Rgb(image, 30, 2), kWhite);
    EXPECT_EQ(Rgb(image, 30, 15), kWhite);
    EXPECT_EQ(CountColour(image, QRect(12, 3, 46, 12), kFill), 46 * 12);
}

TEST(FlatPainter, SelectedOutlinesInHighlightTextAndKeepsTheCallersBrush) {
    const QRgb highlightText = ResolveColor(clHighlightText).rgb() & 0xFFFFFF;
    QImage image(120, 18, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x40, 0x80));
    QPainter canvas(&image);
    canvas.setFont(CrispFont());
    canvas.setBrush(QColor(0x11, 0x22, 0x33));
    TQuorvexOneBarChartPainter().PaintSelected(canvas, QRect(0, 1, 100, 16), QStringLiteral("25%"), 0.25);
    canvas.end();
    EXPECT_EQ(CountColour(image, QRect(0, 1, 25, 1), highlightText), 25);
    EXPECT_EQ(CountColour(image, QRect(24, 1, 1, 16), highlightText), 16);
    EXPECT_EQ(Rgb(image, 5, 8), 0x112233u) << "inside filled with the canvas brush";
    EXPECT_GT(CountColour(image, QRect(30, 0, 70, 18), highlightText), 0) << "text in highlight text";
    EXPECT_EQ(Rgb(image, 110, 8), 0x204080u) << "nothing outside the cell";
}

TEST(FlatPainter, TextWiderThanTheCellIsClipped) {
    const QRect rect(40, 1, 20, 16);
    const QImage image = PaintFlat(rect, 0.0, QStringLiteral("123456789012345%"));
    const QRect ink = InkBounds(image, image.rect(), kWhite);
    ASSERT_TRUE(ink.isValid());
    EXPECT_GE(ink.left(), 40);
    EXPECT_LE(ink.right(), 59);
}
