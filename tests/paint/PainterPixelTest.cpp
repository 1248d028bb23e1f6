#include "paint/BarText.h"
#include "paint/Canvas.h"
#include "paint/QuorvexOneBarChartPainter.h"
#include "paint/Skins.h"

#include "PaintTestSupport.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

using namespace quorvex;
using namespace quorvex::test;

namespace {

constexpr QRgb kFrame = 0xE2C25F; // 0x5FC2E2 in the BGR layout
constexpr QRgb kFill = 0xF6E07B;

QImage PaintFlat(const QRect& rect, double fraction, const QString& text = {}) {
    TQuorvexOneBarChartPainter painter;
    return PaintCell(painter, rect, fraction, text);
}

} // namespace

TEST(BarGeometry, WidthRoundsHalvesToEvenAndStaysInsideTheCell) {
    const QRect cell(10, 3, 100, 16);
    EXPECT_EQ(GetBarRect(cell, 0.125), QRect(10, 3, 12, 16));
    // Shares read while a scan still adds to the totals may leave 0 to 1.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, int> widths[] = {{0.135, 14}, {0.126, 13}, {1.0, 100}, {0.0, 0},
                                             {1.7, 100},  {-0.2, 0},   {nan, 0}};
    for (const auto& [fraction, width] : widths)
        EXPECT_EQ(GetBarRect(cell, fraction), QRect(10, 3, width, 16)) << fraction;
    EXPECT_EQ(GetBarRect(QRect(0, 0, 0, 16), 0.5).width(), 0);
}

TEST(FlatPainter, ZeroFractionDrawsNoBarButCentresTheText) {
    const QImage image = PaintFlat(QRect(0, 0, 100, 18), 0.0, QStringLiteral("0%"));
    EXPECT_EQ(CountColour(image, image.rect(), kFrame) + CountColour(image, image.rect(), kFill), 0);
    const QRect ink = InkBounds(image, kWhite);
    ASSERT_TRUE(ink.isValid()) << "the text is drawn";
    EXPECT_LE(std::abs((ink.left() + ink.right() + 1) - 100), 3) << "horizontally centred";
    EXPECT_LE(std::abs((ink.top() + ink.bottom() + 1) - 18), 4) << "vertically centred";
    EXPECT_EQ(CountColour(image, ink, kBlack) + CountColour(image, ink, kWhite), ink.width() * ink.height())
        << "the text is black";
}

TEST(FlatPainter, NarrowBarsAreFrameOnlyAndWideBarsFramedWhiteLinedAndFilled) {
    const QRect rect(10, 1, 100, 16);
    for (const auto& [fraction, width] : {std::pair{0.01, 1}, std::pair{0.02, 2}}) {
        const QImage image = PaintFlat(rect, fraction);
        EXPECT_EQ(InkBounds(image, kWhite), QRect(10, 1, width, 16)) << width;
        EXPECT_EQ(CountColour(image, QRect(10, 1, width, 16), kFrame), width * 16) << width;
    }

    const QImage image = PaintFlat(rect, 0.5); // columns 10..59
    EXPECT_EQ(InkBounds(image, kWhite), QRect(10, 1, 50, 16));
    EXPECT_EQ(CountColour(image, QRect(10, 1, 50, 16), kFrame), 2 * 50 + 2 * 14) << "the frame";
    EXPECT_EQ(CountColour(image, QRect(11, 2, 48, 14), kWhite), 2 * 48 + 2 * 12) << "a white inner line";
    EXPECT_EQ(CountColour(image, QRect(12, 3, 46, 12), kFill), 46 * 12);
}

TEST(FlatPainter, SelectedOutlinesInHighlightTextAndKeepsTheCallersBrush) {
    const QRgb highlightText = ResolveColor(clHighlightText).rgb();
    TQuorvexOneBarChartPainter painter;
    const QImage image = PaintCell(painter, QRect(0, 1, 100, 16), 0.25, QStringLiteral("25%"), true,
                                   QColor(0x20, 0x40, 0x80), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(CountColour(image, QRect(0, 1, 25, 1), highlightText), 25);
    EXPECT_EQ(CountColour(image, QRect(24, 1, 1, 16), highlightText), 16);
    EXPECT_EQ(Rgb(image, 5, 8), 0x112233u) << "inside filled with the canvas brush";
    EXPECT_GT(CountColour(image, QRect(30, 0, 70, 18), highlightText), 0) << "text in highlight text";
    EXPECT_EQ(Rgb(image, 110, 8), 0x204080u) << "nothing outside the cell";
}

TEST(SkinBitmaps, AreUncompressed24BitAt16PixelsAndLoadIgnoringCase) {
    const std::pair<const char*, int> skins[] = {{"RES_CHARTBAR_SKIN_CAIRO", 32}, {"RES_SKIN_Crystal", 128},
                                                 {"RES_SKIN_RedGlass", 32},       {"RES_SKIN_BlackIce", 32},
                                                 {"RES_SKIN_BlueChip", 32},       {"RES_SKIN_BrownBrick", 32},
                                                 {"RES_SKIN_CenterCourt", 32},    {"RES_SKIN_Spectrum", 320}};
    ASSERT_FALSE(LoadSkinBitmap(QStringLiteral("RES_SKIN_CRYSTAL")).isNull()); // registers the resources
    for (const auto& [resource, width] : skins) {
        const QString name = QString::fromLatin1(resource);
        QFile file(QStringLiteral(":/skins/") + name.toUpper());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << resource;
        const QByteArray bmp = file.read(54).leftJustified(54, '\0');
        const auto* at = reinterpret_cast<const uchar*>(bmp.constData());
        EXPECT_TRUE(bmp.startsWith("BM")) << resource;
        // Width, height, bits per pixel, compression.
        EXPECT_EQ(std::tuple(qFromLittleEndian<qint32>(at + 18), qFromLittleEndian<qint32>(at + 22),
                             qFromLittleEndian<quint16>(at + 28), qFromLittleEndian<quint32>(at + 30)),
                  std::tuple(width, 16, quint16{24}, 0u))
            << resource;
        EXPECT_EQ(LoadSkinBitmap(name.toLower()).size(), QSize(width, 16)) << resource;
    }

    // The spectrum runs from green through yellow to red.
    const QImage spectrum = LoadSkinBitmap(QStringLiteral("RES_SKIN_Spectrum"));
    EXPECT_GT(spectrum.pixelColor(0, 10).green(), 2 * spectrum.pixelColor(0, 10).red());
    EXPECT_GT(std::min(spectrum.pixelColor(160, 10).red(), spectrum.pixelColor(160, 10).green()), 180);
    EXPECT_GT(spectrum.pixelColor(319, 10).red(), 2 * spectrum.pixelColor(319, 10).green());
}

TEST(StretchStrategy, ThreePixelsHaveNoCapsFourAreTheTwoCapsAndCapsFollowTheRowHeight) {
    TSkinCrystal painter;
    ASSERT_EQ(painter.Bitmap().size(), QSize(124, 16));
    const QRect rect(0, 0, 100, 16);
    QImage three(rect.right() + 21, rect.bottom() + 5, QImage::Format_RGB32);
    three.fill(Qt::white);
    QPainter canvas(&three);
    CopyImageRect(canvas, QRect(0, 0, 3, 16), painter.Bitmap(), painter.Bitmap().rect());
    canvas.end();
    EXPECT_EQ(PaintCell(painter, rect, 0.03), three) << "the middle piece stretched over 3 columns, no caps";
    const QImage four = PaintCell(painter, rect, 0.04);
    EXPECT_EQ(four.copy(0, 0, 2, 16), painter.LeftCap().convertToFormat(four.format()));
    EXPECT_EQ(four.copy(2, 0, 2, 16), painter.RightCap().convertToFormat(four.format()));
    EXPECT_EQ(CountColour(four, QRect(4, 0, 96, 16), kWhite), 96 * 16);

    // 20 rows show the 16 rows of each cap, first and last row at the bar's top and bottom.
    TSkinChromeRed red;
    const QImage tall = PaintCell(red, QRect(0, 0, 100, 20), 0.5);
    EXPECT_EQ(tall.pixel(0, 19), red.LeftCap().pixel(0, 15));
    EXPECT_EQ(tall.pixel(49, 19), red.RightCap().pixel(1, 15));
    EXPECT_EQ(Rgb(tall, 50, 10), kWhite);
}

TEST(ClippingStrategy, SpectrumAtHalfShowsTheGreenToYellowHalfFramedInBlack) {
    TSkinSpectrum painter;
    const QRect rect(0, 0, 200, 16);
    const QImage half = PaintCell(painter, rect, 0.5);
    EXPECT_EQ(InkBounds(half, kWhite), QRect(0, 0, 100, 16));
    for (const QRect edge :
         {QRect(0, 0, 100, 1), QRect(0, 15, 100, 1), QRect(0, 0, 1, 16), QRect(99, 0, 1, 16)})
        EXPECT_EQ(CountColour(half, edge, kBlack), edge.width() * edge.height())
            << edge.x() << "," << edge.y();
    for (int x = 1; x < 99; ++x) {
        const QColor c = half.pixelColor(x, 10);
        EXPECT_GE(c.green(), c.red() - 8) << "no orange or red in the left half, column " << x;
    }
    EXPECT_GT(half.pixelColor(98, 10).red(), 150) << "ends near yellow";
    const QColor last = PaintCell(painter, rect, 1.0).pixelColor(198, 10);
    EXPECT_GT(last.red(), 2 * last.green()) << "the whole scale ends in red";
}

TEST(SelectedSkins, InvertTheBarThroughXorAndRedrawTheTextInHighlightText) {
    TSkinCairoHelix painter;
    const QImage& tile = painter.Bitmap();
    const QRect rect(0, 0, 100, 16);
    const QColor background(0x40, 0x40, 0x40);
    const QImage bare = PaintCell(painter, rect, 0.5, {}, true, background);
    for (int y = 0; y < 16; ++y)
        for (int x : {0, 5, 31, 32, 49})
            EXPECT_EQ(Rgb(bare, x, y), (tile.pixel(x % 32, y) ^ 0xFFFFFFu) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(Rgb(bare, 50, 8), background.rgb() & 0xFFFFFF) << "nothing right of the bar";

    const QRgb highlightText = ResolveColor(clHighlightText).rgb();
    const QImage withText = PaintCell(painter, rect, 0.1, QStringLiteral("88888"), true, background);
    EXPECT_GT(CountColour(withText, QRect(30, 0, 60, 16), highlightText), 20);
    EXPECT_EQ(CountColour(withText, QRect(30, 0, 60, 16), kBlack), 0) << "the plain text is drawn over";
}

TEST(RepeatStrategy, MissingTileDrawsNoBarAndDoesNotLoop) {
    // Its resource does not exist, so its tile has width 0.
    struct TMissingSkin : TBarChartRepeatBitmapPainter {
        TMissingSkin() : TBarChartRepeatBitmapPainter(QStringLiteral("RES_NO_SUCH_SKIN")) {}
    } painter;
    ASSERT_TRUE(painter.Bitmap().isNull());
    const QRect ink =
        InkBounds(PaintCell(painter, QRect(0, 0, 100, 16), 1.0, QStringLiteral("100%")), kWhite);
    ASSERT_TRUE(ink.isValid()) << "the text is still drawn";
    EXPECT_GT(ink.left(), 20);
    EXPECT_LT(ink.right(), 80);
}

TEST(TwoColourText, ChangesColourExactlyAtTheBarsEdge) {
    for (int edge : {84, 99, 107}) {
        QImage image(220, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter canvas(&image);
        canvas.setFont(CrispFont());
        DrawTwoColourText(canvas, QRect(0, 0, 200, 16), QStringLiteral("8888888888"), edge, Qt::red,
                          Qt::black);
        canvas.end();
        const auto hasRedAndBlack = [&](const QRect& area) {
            return std::pair(CountColour(image, area, 0xFF0000) > 0, CountColour(image, area, kBlack) > 0);
        };
        EXPECT_EQ(hasRedAndBlack(QRect(0, 0, edge + 1, 20)), std::pair(true, false)) << edge;
        EXPECT_EQ(hasRedAndBlack(QRect(edge + 1, 0, 219 - edge, 20)), std::pair(false, true)) << edge;
    }
    // The skins pass their bar's last column as the edge: white text over the bar, black beside it.
    TSkinCairoHelix repeat;
    TSkinChromeRed stretch;
    for (TQxBarChartPainter* painter : std::initializer_list<TQxBarChartPainter*>{&repeat, &stretch}) {
        const QImage image = PaintCell(*painter, QRect(0, 0, 100, 16), 0.5, QStringLiteral("50.5%"));
        EXPECT_EQ(CountColour(image, QRect(0, 0, 50, 16), kBlack), 0);
        EXPECT_GT(CountColour(image, QRect(0, 0, 50, 16), kWhite), 0);
        EXPECT_GT(CountColour(image, QRect(50, 0, 50, 16), kBlack), 0);
    }
}
