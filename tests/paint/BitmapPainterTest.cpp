#include "paint/BarText.h"
#include "paint/Canvas.h"
#include "paint/Skins.h"

#include "PaintTestSupport.h"

#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvex;
using namespace quorvex::test;

namespace {

constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kBlack = 0x000000;

struct SkinFile {
    const char* resource;
    int width;
};

// Header fields of an uncompressed BMP: 'BM', width, height, bits per pixel, compression.
struct BmpHeader {
    bool magic = false;
    qint32 width = 0;
    qint32 height = 0;
    quint16 bits = 0;
    quint32 compression = 0xFFFFFFFF;
};

BmpHeader ReadBmpHeader(const QString& path) {
    QFile file(path);
    BmpHeader header;
    if (!file.open(QIODevice::ReadOnly))
        return header;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 54)
        return header;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    header.magic = bytes.startsWith("BM");
    header.width = qFromLittleEndian<qint32>(data + 18);
    header.height = qFromLittleEndian<qint32>(data + 22);
    header.bits = qFromLittleEndian<quint16>(data + 28);
    header.compression = qFromLittleEndian<quint32>(data + 30);
    return header;
}

QImage Paint(TQxBarChartPainter& painter, const QRect& rect, double fraction, const QString& text = {},
             bool selected = false, QColor background = Qt::white) {
    QImage image(rect.right() + 21, rect.bottom() + 5, QImage::Format_RGB32);
    image.fill(background);
    QPainter canvas(&image);
    canvas.setFont(CrispFont());
    if (selected)
        painter.PaintSelected(canvas, rect, text, fraction);
    else
        painter.Paint(canvas, rect, text, fraction);
    return image;
}

// A repeat painter whose resource does not exist: its tile has width 0.
class TMissingSkin : public TBarChartRepeatBitmapPainter {
public:
    TMissingSkin() : TBarChartRepeatBitmapPainter(QStringLiteral("RES_NO_SUCH_SKIN")) {}
};

} // namespace

TEST(SkinBitmaps, AreUncompressed24BitAt16PixelsAndLoadIgnoringCase) {
    const SkinFile skins[] = {
        {"RES_CHARTBAR_SKIN_CAIRO", 32}, {"RES_SKIN_Crystal", 128},  {"RES_SKIN_RedGlass", 32},
        {"RES_SKIN_BlackIce", 32},       {"RES_SKIN_BlueChip", 32},  {"RES_SKIN_BrownBrick", 32},
        {"RES_SKIN_CenterCourt", 32},    {"RES_SKIN_Spectrum", 320},
    };
    ASSERT_FALSE(LoadSkinBitmap(QStringLiteral("RES_SKIN_CRYSTAL")).isNull()); // registers the resources
    for (const auto& skin : skins) {
        const QString name = QString::fromLatin1(skin.resource);
        const BmpHeader header = ReadBmpHeader(QStringLiteral(":/skins/") + name.toUpper());
        EXPECT_TRUE(header.magic) << skin.resource;
        EXPECT_EQ(header.width, skin.width) << skin.resource;
        EXPECT_EQ(header.height, 16) << skin.resource;
        EXPECT_EQ(header.bits, 24) << skin.resource;
        EXPECT_EQ(header.compression, 0u) << skin.resource;
        EXPECT_EQ(LoadSkinBitmap(name.toLower()).size(), QSize(skin.width, 16)) << skin.resource;
    }
    EXPECT_TRUE(LoadSkinBitmap(QStringLiteral("RES_NO_SUCH_SKIN")).isNull());

    // The spectrum runs from green through yellow to red.
    const QImage spectrum = LoadSkinBitmap(QStringLiteral("RES_SKIN_Spectrum"));
    EXPECT_GT(spectrum.pixelColor(0, 10).green(), 2 * spectrum.pixelColor(0, 10).red());
    EXPECT_GT(std::min(spectrum.pixelColor(160, 10).red(), spectrum.pixelColor(160, 10).green()), 180);
    EXPECT_GT(spectrum.pixelColor(319, 10).red(), 2 * spectrum.pixelColor(319, 10).green());
}

TEST(StretchStrategy, ThreePixelsHaveNoCapsFourPixelsAreTheTwoCaps) {
    TSkinCrystal painter;
    ASSERT_EQ(painter.LeftCap().size(), QSize(2, 16));
    ASSERT_EQ(painter.RightCap().size(), QSize(2, 16));
    ASSERT_EQ(painter.Bitmap().size(), QSize(124, 16));
    const QRect rect(0, 0, 100, 16);

    const QImage three = Paint(painter, rect, 0.03);
    QImage expected = WhiteCanvas(three.width(), three.height());
    {
        QPainter canvas(&expected);
        CopyImageRect(canvas, QRect(0, 0, 3, 16), painter.Bitmap(), painter.Bitmap().rect());
    }
    EXPECT_EQ(three, expected) << "the middle piece stretched over 3 columns, no caps";

    const QImage four = Paint(painter, rect, 0.04);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(four.pixel(0, y), painter.LeftCap().pixel(0, y));
        EXPECT_EQ(four.pixel(1, y), painter.LeftCap().pixel(1, y));
        EXPECT_EQ(four.pixel(2, y), painter.RightCap().pixel(0, y));
        EXPECT_EQ(four.pixel(3, y), painter.RightCap().pixel(1, y));
        EXPECT_EQ(Rgb(four, 4, y), kWhite);
    }
}

TEST(StretchStrategy, CapsFollowTheRowHeight) {
    TSkinChromeRed painter;
    const QImage image = Paint(painter, QRect(0, 0, 100, 20), 0.5);
    // 20 rows show the 16 rows of each cap, first and last row at the bar's top and bottom.
    EXPECT_EQ(image.pixel(0, 0), painter.LeftCap().pixel(0, 0));
    EXPECT_EQ(image.pixel(0, 19), painter.LeftCap().pixel(0, 15));
    EXPECT_EQ(image.pixel(49, 19), painter.RightCap().pixel(1, 15));
    EXPECT_EQ(image.pixel(1, 10), painter.LeftCap().pixel(1, 8));
    EXPECT_EQ(Rgb(image, 50, 10), kWhite);
}

TEST(ClippingStrategy, SpectrumAtHalfShowsTheGreenToYellowHalfFramedInBlack) {
    TSkinSpectrum painter;
    const QRect rect(0, 0, 200, 16);
    const QImage half = Paint(painter, rect, 0.5);
    for (int x = 0; x < 100; ++x) {
        EXPECT_EQ(Rgb(half, x, 0), kBlack);
        EXPECT_EQ(Rgb(half, x, 15), kBlack);
    }
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(Rgb(half, 0, y), kBlack);
        EXPECT_EQ(Rgb(half, 99, y), kBlack);
        EXPECT_EQ(Rgb(half, 100, y), kWhite);
    }
    for (int x = 1; x < 99; ++x) {
        const QColor c = half.pixelColor(x, 10);
        EXPECT_GE(c.green(), c.red() - 8) << "no orange or red in the left half, column " << x;
    }
    const QColor end = half.pixelColor(98, 10);
    EXPECT_GT(end.red(), 150) << "ends near yellow";

    const QImage full = Paint(painter, rect, 1.0);
    const QColor last = full.pixelColor(198, 10);
    EXPECT_GT(last.red(), 2 * last.green()) << "the whole scale ends in red";
}

TEST(SelectedSkins, InvertTheBarThroughXorAndRedrawTheTextInHighlightText) {
    TSkinCairoHelix painter;
    const QImage& tile = painter.Bitmap();
    const QRect rect(0, 0, 100, 16);
    const QColor background(0x40, 0x40, 0x40);
    const QImage bare = Paint(painter, rect, 0.5, {}, true, background);
    for (int y = 0; y < 16; ++y)
        for (int x : {0, 5, 31, 32, 49})
            EXPECT_EQ(Rgb(bare, x, y), (tile.pixel(x % 32, y) ^ 0xFFFFFFu) & 0xFFFFFF) << x << "," << y;
    EXPECT_EQ(Rgb(bare, 50, 8), background.rgb() & 0xFFFFFF) << "nothing right of the bar";

    const QRgb highlightText = ResolveColor(clHighlightText).rgb() & 0xFFFFFF;
    const QImage withText = Paint(painter, rect, 0.1, QStringLiteral("88888"), true, background);
    EXPECT_GT(CountColour(withText, QRect(30, 0, 60, 16), highlightText), 20);
    EXPECT_EQ(CountColour(withText, QRect(30, 0, 60, 16), kBlack), 0) << "the plain text is drawn over";
}

TEST(RepeatStrategy, MissingTileDrawsNoBarAndDoesNotLoop) {
    TMissingSkin painter;
    ASSERT_TRUE(painter.Bitmap().isNull());
    const QImage image = Paint(painter, QRect(0, 0, 100, 16), 1.0, QStringLiteral("100%"));
    const QRect ink = InkBounds(image, image.rect(), kWhite);
    ASSERT_TRUE(ink.isValid()) << "the text is still drawn";
    EXPECT_GT(ink.left(), 20);
    EXPECT_LT(ink.right(), 80);
}

TEST(TwoColourText, ChangesColourExactlyAtTheBarsEdge) {
    const QRect rect(0, 0, 200, 16);
    const QString text = QStringLiteral("8888888888");
    for (int edge : {84, 99, 107}) {
        QImage image = WhiteCanvas(220, 20);
        {
            QPainter canvas(&image);
            canvas.setFont(CrispFont());
            DrawTwoColourText(canvas, rect, text, edge, QColor(255, 0, 0), Qt::black);
        }
        const QRect left(0, 0, edge + 1, 20);
        const QRect right(edge + 1, 0, 219 - edge, 20);
        EXPECT_GT(CountColour(image, left, 0xFF0000), 0) << edge;
        EXPECT_EQ(CountColour(image, left, kBlack), 0) << edge;
        EXPECT_GT(CountColour(image, right, kBlack), 0) << edge;
        EXPECT_EQ(CountColour(image, right, 0xFF0000), 0) << edge;
    }
    // The skins pass their bar's last column as the edge: white text over the bar, black beside it.
    TSkinCairoHelix repeat;
    TSkinChromeRed stretch;
    for (TQxBarChartPainter* painter :
         {static_cast<TQxBarChartPainter*>(&repeat), static_cast<TQxBarChartPainter*>(&stretch)}) {
        const QImage image = Paint(*painter, QRect(0, 0, 100, 16), 0.5, QStringLiteral("50.5%"));
        EXPECT_EQ(CountColour(image, QRect(0, 0, 50, 16), kBlack), 0);
        EXPECT_GT(CountColour(image, QRect(0, 0, 50, 16), kWhite), 0);
        EXPECT_GT(CountColour(image, QRect(50, 0, 50, 16), kBlack), 0);
    }
}
