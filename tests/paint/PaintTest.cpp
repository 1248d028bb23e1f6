// The bar painters: one contract over every registered painter, the strategies' edge cases, the percent cell.

#include "model/FileSystemNode.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "model/TreemapLayout.h"
#include "paint/BarText.h"
#include "paint/Canvas.h"
#include "paint/PainterClassResolver.h"
#include "paint/PercentCell.h"
#include "paint/QuorvexOneBarChartPainter.h"
#include "paint/Skins.h"
#include "paint/TreemapImage.h"
#include "settings/QxSettings.h"

#include "app/QuorvexProcess.h"
#include "common/TempTree.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <numeric>
#include <set>

namespace quorvex {
namespace {

constexpr QRgb kWhite = 0xFFFFFF;

// `painter` drawn into `rect` of a canvas filled with `background` that leaves room right and below.
inline QImage PaintCell(TQxBarChartPainter& painter, const QRect& rect, double fraction,
                        const QString& text = {}, bool selected = false,
                        const QColor& background = Qt::white) {
    QImage image(rect.right() + 21, rect.bottom() + 5, QImage::Format_RGB32);
    image.fill(background);
    QPainter canvas(&image);
    QFont font(QStringLiteral("DejaVu Sans"), 9);
    font.setStyleStrategy(QFont::NoAntialias); // ink bounds that do not depend on the smoothing
    canvas.setFont(font);
    if (selected)
        painter.PaintSelected(canvas, rect, text, fraction);
    else
        painter.Paint(canvas, rect, text, fraction);
    return image;
}

// The bounding box of the pixels of `image` other than `background`.
inline QRect InkBounds(const QImage& image, QRgb background) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFFu) != (background & 0xFFFFFFu))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

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

// Class names are looked up ignoring ASCII case only.
TEST(PainterRegistry, HoldsTheNineBuiltInsInOrderAndLooksThemUp) {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    QStringList pairs;
    for (int i = 0; i < registry.Count(); ++i)
        pairs << registry.Items(i).ClassName + "=" + registry.Items(i).GetPainterName();
    EXPECT_EQ(pairs.join(',').toStdString(), // the class names are what the settings store
              "TQuorvexOneBarChartPainter=Quorvex Classic,TSkinCairoHelix=Cairo Helix,TSkinCrystal=Crystal,"
              "TSkinChromeRed=Chrome Red,TSkinBlackIce=Black Ice,TSkinTrueBlue=True Blue,"
              "TSkinBronceAge=Bronze Age,TSkinCenterCourt=Center Court,TSkinSpectrum=Spectrum");
    // Only ASCII letters fold: a dotted capital I is not an i.
    for (const char* absent : {"TSkinCrystal ", "", "TDefaultBarChartPainter", "TSk\u0130nCrystal"})
        EXPECT_EQ(registry.FindByClassName(QString::fromUtf8(absent)), nullptr) << absent;
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

    EXPECT_NE(dynamic_cast<TDefaultBarChartPainter*>(CreateBarChartPainter("TNoSuchPainter").get()), nullptr);

    quorvex::testing::TempTree t;
    const std::string ini = t / "Quorvex.ini";
    const PainterClassResolver previous = SetPainterClassResolver({});
    InstallPainterClassResolver();
    // A display name is not a class name.
    for (const auto& [stored, expected] :
         {std::pair{"tskincentercourt", "TSkinCenterCourt"}, std::pair{"Crystal", "TDefaultBarChartPainter"},
          std::pair{"", "TDefaultBarChartPainter"}}) {
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

// Below the root's children the parent's share comes first; empty totals draw no bar.
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
    EXPECT_EQ(draw(*topFile), "bar 0.25 '25%'");
    EXPECT_EQ(draw(*file), "child 0.25 '' | bar 0.125 '12.5%'");
    EXPECT_EQ(draw(*file, true), "child* 0.25 '' | bar* 0.125 '12.5%'");
    dir->SetSize(0);
    EXPECT_EQ(draw(*file), "bar 0.125 '12.5%'") << "an empty parent suppresses only the child bar";
    root.SetSize(0);
    EXPECT_EQ(draw(*file, true), "");
    scanRoot = nullptr;
    EXPECT_EQ(draw(*file), "");
}

// A folder's files as the walk records them, file i of sizes[i] bytes; no name: the parent's own.
TDirNode* RecordedFolder(TGroupNode* parent, const std::string& name,
                         const std::vector<std::int64_t>& sizes) {
    TDirNode* dir = name.empty() ? dynamic_cast<TDirNode*>(parent) : AddDirNode(parent, name, 0);
    TPackedFilesWriter writer;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        writer.Add({"f" + std::to_string(i), sizes[i], sizes[i]});
    dir->SetFiles(TPackedFiles(writer));
    const std::int64_t sum = std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
    dir->AddOwnFiles(static_cast<std::int32_t>(sizes.size()), sum, sum);
    dir->Recalculate();
    return dir;
}

// Every tile inside its folder's frame, no two tiles overlapping; the files' areas and sizes, largest first.
std::vector<std::pair<float, std::int64_t>> CheckNesting(const std::vector<TTreemapTile>& tiles) {
    // How far [a, a + aw) and [b, b + bw) overlap.
    const auto overlap = [](float a, float aw, float b, float bw) {
        return std::min(a + aw, b + bw) - std::max(a, b);
    };
    std::vector<std::pair<float, std::int64_t>> files;
    std::vector<const TTreemapTile*> frames{&tiles.front()}; // the latest tile of each depth
    for (const TTreemapTile& t : tiles) {
        frames.resize(std::max(1, int{t.Depth}));
        EXPECT_TRUE(overlap(t.X, t.Width, frames.back()->X, frames.back()->Width) >= t.Width - 1e-3F &&
                    overlap(t.Y, t.Height, frames.back()->Y, frames.back()->Height) >= t.Height - 1e-3F);
        frames.push_back(&t);
        if (t.Type == TTileType::File)
            files.emplace_back(t.Width * t.Height, TreemapTileItem(t, TSizeKind::Logical).Size);
        for (const TTreemapTile& o : tiles)
            EXPECT_TRUE(&o == &t || o.Type == TTileType::Folder || t.Type == TTileType::Folder ||
                        overlap(t.X, t.Width, o.X, o.Width) <= 1e-3F ||
                        overlap(t.Y, t.Height, o.Y, o.Height) <= 1e-3F);
    }
    std::sort(files.rbegin(), files.rend());
    return files;
}

TEST(Treemap, SquarifiedTilesShareTheAreaNestAndLeaveSubPixelFilesToTheFrame) {
    TRootDirNode reference;
    RecordedFolder(&reference, "", {6, 6, 4, 3, 2, 2, 1});
    const std::vector<TTreemapTile> paper =
        LayoutTreemap(reference, {.Width = 6, .Height = 4, .FrameInset = 0});
    for (const auto& [area, size] : CheckNesting(paper))
        EXPECT_FLOAT_EQ(area, static_cast<float>(size));
    for (const TTreemapTile& tile : paper)
        EXPECT_LE(std::max(tile.Width / tile.Height, tile.Height / tile.Width), 3.F) << "the paper's rows";
    TRootDirNode root;
    TDirNode* a = RecordedFolder(&root, "a", {900000, 1, 70000, 5000, 120000});
    RecordedFolder(a, "deep", {400000, 300000, 2000, 2000, 80000});
    a->Recalculate();
    RecordedFolder(&root, "b", {600000, 30000, 30000, 1000});
    std::vector<std::int64_t> tiny(70000, 3); // none reaches a pixel, together 7 % of the picture
    tiny.insert(tiny.begin(), {250000, 50000});
    RecordedFolder(&root, "", tiny);
    const std::vector<TTreemapTile> tiles = LayoutTreemap(root, {.Width = 640, .Height = 480});
    const auto files = CheckNesting(tiles);
    EXPECT_EQ(files.size(), 15U) << "the files of 1 and 3 bytes are below a pixel";
    EXPECT_NEAR(files[0].first / files[1].first, 900000.F / 600000.F, 0.03 * 1.5);
    EXPECT_NEAR(files[0].first, 640 * 480 * 900000.F / root.GetSize(), 0.03 * files[0].first);
    const QImage image = TreemapImage(tiles, {640, 480}, 2);
    EXPECT_TRUE(image.size() == QSize(1280, 960) && image.devicePixelRatio() == 2);
}

// The command's PNG, drawn without a display: flat tiles would give one colour per kind.
TEST(Treemap, CommandWritesShadedTilesAsPng) {
    const testing::TempTree scratch;
    const testing::Result r =
        testing::Quorvex({"--treemap", scratch / "doc.png", "--size", "640x480", "/usr/share/doc"}, scratch,
                         false, {"/usr/bin/env", "-u", "DISPLAY", "-u", "QT_QPA_PLATFORM"})
            .Wait();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const QImage image(QString::fromStdString(scratch / "doc.png"));
    ASSERT_EQ(image.size(), QSize(640, 480));
    std::set<QRgb> colours;
    for (int i = 0; i < 640 * 480; ++i)
        colours.insert(image.pixel(i % 640, i / 640));
    EXPECT_GT(colours.size(), 1000U);
}

} // namespace
} // namespace quorvex
