#include "model/RootNodes.h"
#include "model/TreeOperations.h"
#include "paint/PainterClassResolver.h"
#include "paint/PercentCell.h"
#include "paint/QuorvexOneBarChartPainter.h"
#include "paint/Skins.h"
#include "settings/QxSettings.h"

#include "PaintTestSupport.h"
#include "common/TempTree.h"

#include <QDir>
#include <QGuiApplication>
#include <QPalette>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

using namespace quorvex;
using namespace quorvex::test;

TEST(PainterRegistry, HoldsTheNineBuiltInsInOrderAndRefusesADuplicateDisplayName) {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    QStringList classes, names{QStringLiteral("stale entry")}, sorted;
    for (int i = 0; i < registry.Count(); ++i)
        classes << registry.Items(i).ClassName;
    EXPECT_EQ(classes.join(',').toStdString(),
              "TQuorvexOneBarChartPainter,TSkinCairoHelix,TSkinCrystal,TSkinChromeRed,"
              "TSkinBlackIce,TSkinTrueBlue,TSkinBronceAge,TSkinCenterCourt,TSkinSpectrum");
    registry.GetPainterNames(names, false);
    EXPECT_EQ(names.join(',').toStdString(),
              "Quorvex Classic,Cairo Helix,Crystal,Chrome Red,Black Ice,True Blue,"
              "Bronze Age,Center Court,Spectrum");
    registry.GetPainterNames(sorted, true);
    EXPECT_EQ(sorted.join(',').toStdString(),
              "Black Ice,Bronze Age,Cairo Helix,Center Court,Chrome Red,Crystal,"
              "Quorvex Classic,Spectrum,True Blue");
    EXPECT_THROW(registry.Items(9), std::out_of_range);
    EXPECT_THROW(registry.Items(-1), std::out_of_range);

    TQxBarChartPainterRegistry own;
    RegisterBuiltInPainters(own);
    EXPECT_THAT([&] { own.Register(PainterClassOf<TSkinCrystal>("TSkinCrystalTwin")); },
                ::testing::ThrowsMessage<std::logic_error>("Crystal ist bereits registriert!"));
    EXPECT_EQ(own.Count(), 9);
}

TEST(PainterRegistry, LooksUpDisplayNamesExactlyAndClassNamesIgnoringAsciiCase) {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    EXPECT_EQ(registry.IndexOfPainterName(QStringLiteral("Spectrum")), 8);
    EXPECT_EQ(registry.IndexOfPainterName(QStringLiteral("spectrum")), -1);
    EXPECT_EQ(registry.FindByPainterName(QStringLiteral("Bronze Age")), &registry.Items(6));
    EXPECT_EQ(registry.FindByPainterName(QStringLiteral("Bronze")), nullptr);
    EXPECT_EQ(registry.FindByClassName(QStringLiteral("tskinSPECTRUM")), &registry.Items(8));
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
    EXPECT_EQ(DefaultBarChartPainterClass().ClassName, QStringLiteral("TDefaultBarChartPainter"));
    EXPECT_EQ(DefaultBarChartPainterClass().GetPainterName(), QStringLiteral("Cairo Helix"));
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

namespace {

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

// root (800) / dir (400) / file (100), and a file (200) directly under the root.
class PercentCell : public ::testing::Test {
protected:
    PercentCell() {
        for (auto [node, size] :
             {std::pair<TFileSystemNode*, int>{&root, 800}, {dir, 400}, {file, 100}, {topFile, 200}})
            node->SetSize(size);
    }

    std::string Draw(const TFileSystemNode& node, bool selected = false, bool childBars = true) {
        QStringList calls;
        TRecordingPainter bar("bar", calls);
        TRecordingPainter child("child", calls);
        QImage image(120, 20, QImage::Format_RGB32);
        QPainter canvas(&image);
        PaintPercentCell(canvas, QRect(5, 2, 100, 18), node, scanRoot, selected, {&bar, &child}, childBars,
                         QLocale::c());
        return calls.join(QStringLiteral(" | ")).toStdString();
    }

    TRootDirNode root;
    TDirNode* dir = AddDirNode(&root, "dir", faDirectory);
    TFileSystemNode* file = dir->AddChild(std::make_unique<TFileNode>());
    TFileSystemNode* topFile = root.AddChild(std::make_unique<TFileNode>());
    const TFileSystemNode* scanRoot = &root;
};

} // namespace

TEST(PercentText, RoundsToOneDecimalInTheShortestForm) {
    const std::pair<long double, const char*> cases[] = {
        {1.0L / 3, "33.3%"}, {0.5L, "50%"},   {0.125L, "12.5%"}, {2.0L / 3, "66.7%"}, {1.0L, "100%"},
        {0.0L, "0%"},        {0.0004L, "0%"}, {0.0006L, "0.1%"}, {0.999999L, "100%"}};
    for (const auto& [fraction, text] : cases)
        EXPECT_EQ(FormatPercentText(fraction, QLocale::c()).toStdString(), text);
    EXPECT_EQ(FormatPercentText(1.0L / 3, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("33,3%"));
}

TEST_F(PercentCell, OnlyRowsBelowTheRootsChildrenDrawTheShareOfTheirParentFirst) {
    EXPECT_EQ(Draw(root), "bar 1 '100%'");
    EXPECT_EQ(Draw(*topFile), "bar 0.25 '25%'");
    EXPECT_EQ(Draw(*file), "child 0.25 '' | bar 0.125 '12.5%'");
    EXPECT_EQ(Draw(*file, true), "child* 0.25 '' | bar* 0.125 '12.5%'");
    EXPECT_EQ(Draw(*file, false, false), "bar 0.125 '12.5%'") << "child bars switched off";
}

TEST_F(PercentCell, EmptyTotalsSuppressTheirBars) {
    dir->SetSize(0);
    EXPECT_EQ(Draw(*file), "bar 0.125 '12.5%'") << "an empty parent suppresses only the child bar";
    root.SetSize(0);
    EXPECT_EQ(Draw(*file, true), "");
    scanRoot = nullptr;
    EXPECT_EQ(Draw(*file), "");
}

// painters.png in the build tree (above this binary's folder) shows every style at five fractions with
// their text, unselected and then selected on the selection background as the tree view paints it.
TEST(PainterGallery, WritesEveryStyleToPng) {
    const double fractions[] = {0.0, 0.01, 0.25, 0.5, 1.0};
    constexpr int labelWidth = 110, cellWidth = 112, rowHeight = 20;
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    QImage image(labelWidth + 10 * cellWidth + 8, registry.Count() * rowHeight + 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter canvas(&image);
    canvas.setFont(QGuiApplication::font());
    for (int row = 0; row < registry.Count(); ++row) {
        const std::unique_ptr<TQxBarChartPainter> painter = registry.Items(row).Create();
        const int top = 4 + row * rowHeight;
        canvas.setPen(Qt::black);
        canvas.drawText(QRect(4, top, labelWidth, rowHeight), Qt::AlignVCenter,
                        registry.Items(row).GetPainterName());
        for (int column = 0; column < 10; ++column) {
            const double fraction = fractions[column % 5];
            const QRect cell(4 + labelWidth + column * cellWidth, top, cellWidth - 4, rowHeight);
            const QString text = FormatPercentText(fraction, QLocale::c());
            canvas.setBrush(Qt::NoBrush);
            if (column < 5) {
                painter->Paint(canvas, cell.adjusted(1, 1, -1, -1), text, fraction);
                continue;
            }
            canvas.fillRect(cell, QGuiApplication::palette().color(QPalette::Highlight));
            painter->PaintSelected(canvas, cell.adjusted(1, 1, -1, -1), text, fraction);
        }
    }
    canvas.end();
    const QString target =
        QDir(QGuiApplication::applicationDirPath() + "/..").absoluteFilePath("painters.png");
    EXPECT_TRUE(image.save(target, "PNG")) << target.toStdString();
}
