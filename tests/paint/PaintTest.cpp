// The bar painters by their pixels, one contract over every registered painter, and the percent cell.

#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "paint/BarText.h"
#include "paint/Canvas.h"
#include "paint/PainterClassResolver.h"
#include "paint/PercentCell.h"
#include "paint/QuorvexOneBarChartPainter.h"
#include "paint/Skins.h"
#include "settings/QxSettings.h"

#include "common/TempTree.h"

#include <QPainter>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace quorvex {
namespace {

constexpr QRgb kWhite = 0xFFFFFF;
constexpr QRgb kBlack = 0x000000;

// A font without antialiasing, so glyph pixels carry exactly the text colour.
inline QFont CrispFont() {
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// `painter` drawn into `rect` of a canvas filled with `background` that leaves room right and below.
inline QImage PaintCell(TQxBarChartPainter& painter, const QRect& rect, double fraction,
                        const QString& text = {}, bool selected = false, const QColor& background = Qt::white,
                        const QBrush& brush = Qt::NoBrush) {
    QImage image(rect.right() + 21, rect.bottom() + 5, QImage::Format_RGB32);
    image.fill(background);
    QPainter canvas(&image);
    canvas.setFont(CrispFont());
    canvas.setBrush(brush);
    if (selected)
        painter.PaintSelected(canvas, rect, text, fraction);
    else
        painter.Paint(canvas, rect, text, fraction);
    return image;
}

inline QRgb Rgb(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0x00FFFFFFu;
}

inline int CountColour(const QImage& image, const QRect& area, QRgb colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += Rgb(image, x, y) == (colour & 0x00FFFFFFu) ? 1 : 0;
    return count;
}

// The bounding box of the pixels of `image` other than `background`.
inline QRect InkBounds(const QImage& image, QRgb background) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Rgb(image, x, y) != (background & 0x00FFFFFFu))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

constexpr QRgb kFrame = 0xE2C25F; // 0x5FC2E2 in the BGR layout
constexpr QRgb kFill = 0xF6E07B;

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

// No bar at 0 with the text centred in black; narrow bars are frame only, wide ones framed, lined white
// and filled; selected, outlined in the highlight text colour over the caller's brush.
TEST(FlatPainter, DrawsTheClassicBarAndItsSelectedOutline) {
    TQuorvexOneBarChartPainter painter;
    const QImage zero = PaintCell(painter, QRect(0, 0, 100, 18), 0.0, QStringLiteral("0%"));
    EXPECT_EQ(CountColour(zero, zero.rect(), kFrame) + CountColour(zero, zero.rect(), kFill), 0);
    const QRect ink = InkBounds(zero, kWhite);
    ASSERT_TRUE(ink.isValid()) << "the text is drawn";
    EXPECT_LE(std::abs((ink.left() + ink.right() + 1) - 100), 3) << "horizontally centred";
    EXPECT_LE(std::abs((ink.top() + ink.bottom() + 1) - 18), 4) << "vertically centred";
    EXPECT_EQ(CountColour(zero, ink, kBlack) + CountColour(zero, ink, kWhite), ink.width() * ink.height());

    const QRect rect(10, 1, 100, 16);
    for (const auto& [fraction, width] : {std::pair{0.01, 1}, std::pair{0.02, 2}}) {
        const QImage image = PaintCell(painter, rect, fraction);
        EXPECT_EQ(InkBounds(image, kWhite), QRect(10, 1, width, 16)) << width;
        EXPECT_EQ(CountColour(image, QRect(10, 1, width, 16), kFrame), width * 16) << width;
    }
    const QImage half = PaintCell(painter, rect, 0.5); // columns 10..59
    EXPECT_EQ(InkBounds(half, kWhite), QRect(10, 1, 50, 16));
    EXPECT_EQ(CountColour(half, QRect(10, 1, 50, 16), kFrame), 2 * 50 + 2 * 14) << "the frame";
    EXPECT_EQ(CountColour(half, QRect(11, 2, 48, 14), kWhite), 2 * 48 + 2 * 12) << "a white inner line";
    EXPECT_EQ(CountColour(half, QRect(12, 3, 46, 12), kFill), 46 * 12);

    const QRgb highlightText = ResolveColor(clHighlightText).rgb();
    const QImage selected = PaintCell(painter, QRect(0, 1, 100, 16), 0.25, QStringLiteral("25%"), true,
                                      QColor(0x20, 0x40, 0x80), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(CountColour(selected, QRect(0, 1, 25, 1), highlightText), 25);
    EXPECT_EQ(CountColour(selected, QRect(24, 1, 1, 16), highlightText), 16);
    EXPECT_EQ(Rgb(selected, 5, 8), 0x112233u) << "inside filled with the canvas brush";
    EXPECT_GT(CountColour(selected, QRect(30, 0, 70, 18), highlightText), 0) << "text in highlight text";
    EXPECT_EQ(Rgb(selected, 110, 8), 0x204080u) << "nothing outside the cell";
}

TEST(StretchStrategy, ThreePixelsHaveNoCapsFourAreTheTwoCapsAndCapsFollowTheRowHeight) {
    TSkinCrystal painter;
    ASSERT_EQ(painter.Bitmap().size(), QSize(124, 16));
    const QRect rect(0, 0, 100, 16);
    const QImage three = PaintCell(painter, rect, 0.03);
    EXPECT_EQ(CountColour(three, QRect(3, 0, 97, 16), kWhite), 97 * 16);
    EXPECT_NE(three.copy(0, 0, 2, 16), painter.LeftCap().convertToFormat(three.format())) << "no caps at 3";
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

// The skins pass their bar's last column as the edge: white text over the bar, black beside it.
TEST(TwoColourText, ChangesColourExactlyAtTheBarsEdge) {
    TSkinCairoHelix repeat;
    TSkinChromeRed stretch;
    for (TQxBarChartPainter* painter : std::initializer_list<TQxBarChartPainter*>{&repeat, &stretch}) {
        const QImage image = PaintCell(*painter, QRect(0, 0, 100, 16), 0.5, QStringLiteral("50.5%"));
        EXPECT_EQ(CountColour(image, QRect(0, 0, 50, 16), kBlack), 0);
        EXPECT_GT(CountColour(image, QRect(0, 0, 50, 16), kWhite), 0);
        EXPECT_GT(CountColour(image, QRect(50, 0, 50, 16), kBlack), 0);
    }
}

// Display names are looked up exactly, class names ignoring ASCII case only.
TEST(PainterRegistry, HoldsTheNineBuiltInsInOrderAndLooksThemUp) {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    QStringList pairs, names{QStringLiteral("stale entry")}, sorted;
    for (int i = 0; i < registry.Count(); ++i)
        pairs << registry.Items(i).ClassName + "=" + registry.Items(i).GetPainterName();
    EXPECT_EQ(pairs.join(',').toStdString(), // the class names are what the settings store
              "TQuorvexOneBarChartPainter=Quorvex Classic,TSkinCairoHelix=Cairo Helix,TSkinCrystal=Crystal,"
              "TSkinChromeRed=Chrome Red,TSkinBlackIce=Black Ice,TSkinTrueBlue=True Blue,"
              "TSkinBronceAge=Bronze Age,TSkinCenterCourt=Center Court,TSkinSpectrum=Spectrum");
    registry.GetPainterNames(names, false);
    EXPECT_EQ(names.size(), 9) << "the list is replaced";
    registry.GetPainterNames(sorted, true);
    EXPECT_TRUE(std::ranges::is_sorted(sorted) && sorted.size() == 9) << sorted.join(',').toStdString();
    EXPECT_THROW(registry.Items(9), std::out_of_range);
    EXPECT_THROW(registry.Items(-1), std::out_of_range);
    EXPECT_EQ(registry.IndexOfPainterName(QStringLiteral("Spectrum")), 8);
    EXPECT_EQ(registry.IndexOfPainterName(QStringLiteral("spectrum")), -1);
    EXPECT_EQ(registry.FindByPainterName(QStringLiteral("Bronze")), nullptr);
    EXPECT_EQ(registry.FindByClassName(QStringLiteral("tskinSPECTRUM")), &registry.Items(8));
    // Only ASCII letters fold: a dotted capital I is not an i.
    for (const char* absent : {"TSkinCrystal ", "", "TDefaultBarChartPainter", "TSk\u0130nCrystal"})
        EXPECT_EQ(registry.FindByClassName(QString::fromUtf8(absent)), nullptr) << absent;

    TQxBarChartPainterRegistry own;
    RegisterBuiltInPainters(own);
    EXPECT_THAT([&] { own.Register(PainterClassOf<TSkinCrystal>("TSkinCrystalTwin")); },
                ::testing::ThrowsMessage<std::logic_error>("Crystal ist bereits registriert!"));
    EXPECT_EQ(own.Count(), 9);
}

// One contract over every registered painter.
TEST(PainterContract, EveryPainterStaysInItsCellAndShowsItsShare) {
    const QRect cell(30, 7, 100, 16);
    const QColor background(0x31, 0x62, 0x93);
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    for (int i = 0; i < registry.Count(); ++i) {
        SCOPED_TRACE(registry.Items(i).ClassName.toStdString());
        const std::unique_ptr<TQxBarChartPainter> painter = registry.Items(i).Create();
        ASSERT_NE(painter, nullptr);
        const auto ink = [&](double fraction, const QString& text, bool selected) {
            return InkBounds(PaintCell(*painter, cell, fraction, text, selected, background),
                             background.rgb());
        };
        for (bool selected : {false, true}) {
            for (double fraction : {0.0, 0.3, 1.0, 1.5}) {
                const QRect bounds = ink(fraction, QStringLiteral("1234567890123456789012345%"), selected);
                EXPECT_TRUE(bounds.isValid() && cell.contains(bounds))
                    << fraction << " selected " << selected;
            }
        }
        // Without text, the bar alone: nothing at 0, the left share at 0.3, the whole cell at 1.
        EXPECT_FALSE(ink(0.0, {}, false).isValid());
        EXPECT_EQ(ink(0.3, {}, false), QRect(30, 7, 30, 16));
        EXPECT_EQ(ink(1.0, {}, false), cell);
        EXPECT_NE(PaintCell(*painter, cell, 1.0, {}, true, background),
                  PaintCell(*painter, cell, 1.0, {}, false, background))
            << "selection shows";
    }
}

TEST(PainterClassResolver, SettingsResolveClassNamesThroughTheRegistryFallingBackToCairoHelix) {
    TSkinCairoHelix helix;
    EXPECT_EQ(PaintCell(*DefaultBarChartPainterClass().Create(), QRect(10, 5, 120, 16), 0.425, "42.5%"),
              PaintCell(helix, QRect(10, 5, 120, 16), 0.425, "42.5%"));

    EXPECT_NE(dynamic_cast<TSkinSpectrum*>(CreateBarChartPainter("TSKINSPECTRUM").get()), nullptr);
    EXPECT_NE(dynamic_cast<TDefaultBarChartPainter*>(CreateBarChartPainter("TNoSuchPainter").get()), nullptr);

    quorvex::testing::TempTree t;
    const std::string ini = t / "Quorvex.ini";
    const PainterClassResolver previous = SetPainterClassResolver({});
    InstallPainterClassResolver();
    // A display name is not a class name.
    for (const auto& [stored, expected] :
         {std::pair{"tskincentercourt", "TSkinCenterCourt"}, std::pair{"Crystal", "TDefaultBarChartPainter"},
          std::pair{"", "TDefaultBarChartPainter"},
          std::pair{"TDefaultBarChartPainter", "TDefaultBarChartPainter"}}) {
        std::ofstream(ini, std::ios::trunc) << "[Settings]\nBarChartPainterClass=" << stored << "\n";
        TSettings settings(ini);
        settings.Load();
        EXPECT_EQ(settings.BarChartPainterClass(), expected) << stored;
    }
    SetPainterClassResolver(previous);
}

// Appends each call as "name fraction 'text'", the name marked with * when selected.
struct TRecordingPainter : TQxBarChartPainter {
    TRecordingPainter(const char* label, QStringList& log) : name(label), calls(log) {}
    void Paint(QPainter&, const QRect& r, const QString& t, double f) override { Record(r, t, f, ""); }
    void PaintSelected(QPainter&, const QRect& r, const QString& t, double f) override {
        Record(r, t, f, "*");
    }
    void Record(const QRect& rect, const QString& text, double fraction, const char* mark) {
        EXPECT_EQ(rect, QRect(6, 3, 98, 16)) << "the cell shrunk by a pixel on every side";
        calls << QStringLiteral("%1%2 %3 '%4'").arg(name, mark).arg(fraction).arg(text);
    }
    const char* name;
    QStringList& calls;
};

TEST(PercentText, RoundsToOneDecimalInTheShortestForm) {
    const std::pair<long double, const char*> cases[] = {
        {1.0L / 3, "33.3%"}, {0.5L, "50%"},   {0.125L, "12.5%"}, {2.0L / 3, "66.7%"}, {1.0L, "100%"},
        {0.0L, "0%"},        {0.0004L, "0%"}, {0.0006L, "0.1%"}, {0.999999L, "100%"}};
    for (const auto& [fraction, text] : cases)
        EXPECT_EQ(FormatPercentText(fraction, QLocale::c()).toStdString(), text);
    EXPECT_EQ(FormatPercentText(1.0L / 3, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("33,3%"));
}

// Only rows below the root's children draw the share of their parent first; empty totals suppress
// their bars. root (800) / dir (400) / file (100), and a file (200) directly under the root.
TEST(PercentCell, ParentShareFirstBelowTheRootsChildrenAndNoBarForEmptyTotals) {
    TRootDirNode root;
    TDirNode* dir = AddDirNode(&root, "dir", faDirectory);
    TFileSystemNode* file = dir->AddChild(std::make_unique<TFileNode>());
    TFileSystemNode* topFile = root.AddChild(std::make_unique<TFileNode>());
    for (auto [node, size] :
         {std::pair<TFileSystemNode*, int>{&root, 800}, {dir, 400}, {file, 100}, {topFile, 200}})
        node->SetSize(size);
    const TFileSystemNode* scanRoot = &root;
    const auto draw = [&](const TFileSystemNode& node, bool selected = false, bool childBars = true) {
        QStringList calls;
        TRecordingPainter bar("bar", calls);
        TRecordingPainter child("child", calls);
        QImage image(120, 20, QImage::Format_RGB32);
        QPainter canvas(&image);
        PaintPercentCell(canvas, QRect(5, 2, 100, 18), node, scanRoot, selected, {&bar, &child}, childBars,
                         QLocale::c());
        return calls.join(QStringLiteral(" | ")).toStdString();
    };
    EXPECT_EQ(draw(root), "bar 1 '100%'");
    EXPECT_EQ(draw(*topFile), "bar 0.25 '25%'");
    EXPECT_EQ(draw(*file), "child 0.25 '' | bar 0.125 '12.5%'");
    EXPECT_EQ(draw(*file, true), "child* 0.25 '' | bar* 0.125 '12.5%'");
    EXPECT_EQ(draw(*file, false, false), "bar 0.125 '12.5%'") << "child bars switched off";
    dir->SetSize(0);
    EXPECT_EQ(draw(*file), "bar 0.125 '12.5%'") << "an empty parent suppresses only the child bar";
    root.SetSize(0);
    EXPECT_EQ(draw(*file, true), "");
    scanRoot = nullptr;
    EXPECT_EQ(draw(*file), "");
}

} // namespace
} // namespace quorvex
