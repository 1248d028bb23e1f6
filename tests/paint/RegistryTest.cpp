#include "paint/PainterClassResolver.h"
#include "paint/QuorvexOneBarChartPainter.h"
#include "paint/Skins.h"
#include "settings/QxSettings.h"

#include "PaintTestSupport.h"
#include "common/TempTree.h"

#include <QGuiApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

using namespace quorvex;
using namespace quorvex::test;

namespace {

struct BuiltIn {
    const char* className;
    const char* painterName;
};

constexpr BuiltIn kBuiltIns[] = {
    {"TQuorvexOneBarChartPainter", "Quorvex Classic"},
    {"TSkinCairoHelix", "Cairo Helix"},
    {"TSkinCrystal", "Crystal"},
    {"TSkinChromeRed", "Chrome Red"},
    {"TSkinBlackIce", "Black Ice"},
    {"TSkinTrueBlue", "True Blue"},
    {"TSkinBronceAge", "Bronze Age"},
    {"TSkinCenterCourt", "Center Court"},
    {"TSkinSpectrum", "Spectrum"},
};

QImage PaintCell(TQxBarChartPainter& painter, const QRect& cell, const QString& text, double fraction,
                 bool selected) {
    QImage image(160, 30, QImage::Format_RGB32);
    image.fill(QColor(0x31, 0x62, 0x93));
    QPainter canvas(&image);
    canvas.setFont(CrispFont());
    if (selected)
        painter.PaintSelected(canvas, cell, text, fraction);
    else
        painter.Paint(canvas, cell, text, fraction);
    return image;
}

} // namespace

TEST(PainterRegistry, HoldsTheNineBuiltInsInOrder) {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    ASSERT_EQ(registry.Count(), 9);
    for (int i = 0; i < registry.Count(); ++i) {
        EXPECT_EQ(registry.Items(i).ClassName, QString::fromLatin1(kBuiltIns[i].className));
        EXPECT_EQ(registry.Items(i).GetPainterName(), QString::fromLatin1(kBuiltIns[i].painterName));
    }
    EXPECT_THROW(registry.Items(9), std::out_of_range);
    EXPECT_THROW(registry.Items(-1), std::out_of_range);
    EXPECT_EQ(&BarChartPainterRegistry(), &registry) << "one registry per process";
}

TEST(PainterRegistry, RefusesADuplicateDisplayName) {
    TQxBarChartPainterRegistry registry;
    RegisterBuiltInPainters(registry);
    TQxBarChartPainterClass twin = PainterClassOf<TSkinCrystal>("TSkinCrystalTwin");
    try {
        registry.Register(twin);
        FAIL() << "a second \"Crystal\" was accepted";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "Crystal ist bereits registriert!");
    }
    EXPECT_EQ(registry.Count(), 9);
    EXPECT_EQ(registry.FindByClassName(QStringLiteral("TSkinCrystalTwin")), nullptr);
}

TEST(PainterRegistry, LooksUpDisplayNamesExactlyAndClassNamesIgnoringAsciiCase) {
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    EXPECT_EQ(registry.IndexOfPainterName(QStringLiteral("Spectrum")), 8);
    EXPECT_EQ(registry.IndexOfPainterName(QStringLiteral("spectrum")), -1);
    EXPECT_EQ(registry.FindByPainterName(QStringLiteral("Bronze Age")), &registry.Items(6));
    EXPECT_EQ(registry.FindByPainterName(QStringLiteral("Bronze")), nullptr);

    EXPECT_EQ(registry.FindByClassName(QStringLiteral("tskinspectrum")), &registry.Items(8));
    EXPECT_EQ(registry.FindByClassName(QStringLiteral("TSKINCRYSTAL")), &registry.Items(2));
    EXPECT_EQ(registry.FindByClassName(QStringLiteral("TSkinCrystal ")), nullptr);
    EXPECT_EQ(registry.FindByClassName(QString()), nullptr);
    EXPECT_EQ(registry.FindByClassName(QStringLiteral("TDefaultBarChartPainter")), nullptr)
        << "not registered";
    // Only ASCII letters fold: a dotted capital I is not an i.
    EXPECT_EQ(registry.FindByClassName(QString::fromUtf8("TSk\u0130nCrystal")), nullptr);
}

TEST(PainterRegistry, ListsDisplayNamesInOrderOrSorted) {
    QStringList names{QStringLiteral("stale entry")};
    BarChartPainterRegistry().GetPainterNames(names, false);
    ASSERT_EQ(names.size(), 9);
    EXPECT_EQ(names.first(), QStringLiteral("Quorvex Classic"));
    EXPECT_EQ(names.last(), QStringLiteral("Spectrum"));
    BarChartPainterRegistry().GetPainterNames(names, true);
    EXPECT_EQ(names, (QStringList{"Black Ice", "Bronze Age", "Cairo Helix", "Center Court", "Chrome Red",
                                  "Crystal", "Quorvex Classic", "Spectrum", "True Blue"}));
}

// One contract over every registered painter.
TEST(PainterContract, EveryPainterStaysInItsCellAndShowsItsShare) {
    const QRect cell(30, 7, 100, 16);
    const QColor background(0x31, 0x62, 0x93);
    const TQxBarChartPainterRegistry& registry = BarChartPainterRegistry();
    for (int i = 0; i < registry.Count(); ++i) {
        const TQxBarChartPainterClass& painterClass = registry.Items(i);
        SCOPED_TRACE(painterClass.ClassName.toStdString());
        const std::unique_ptr<TQxBarChartPainter> painter = painterClass.Create();
        ASSERT_NE(painter, nullptr);
        for (bool selected : {false, true}) {
            for (double fraction : {0.0, 0.3, 1.0, 1.5}) {
                const QImage image = PaintCell(*painter, cell, QStringLiteral("1234567890123456789012345%"),
                                               fraction, selected);
                const QRect ink = InkBounds(image, image.rect(), background.rgb());
                ASSERT_TRUE(ink.isValid()) << fraction;
                EXPECT_TRUE(cell.contains(ink)) << "fraction " << fraction << " selected " << selected;
            }
        }
        // Without text, the bar alone: nothing at 0, the left share at 0.3, the whole cell at 1.
        const QImage none = PaintCell(*painter, cell, {}, 0.0, false);
        EXPECT_FALSE(InkBounds(none, none.rect(), background.rgb()).isValid());
        const QImage part = PaintCell(*painter, cell, {}, 0.3, false);
        EXPECT_EQ(InkBounds(part, part.rect(), background.rgb()), QRect(30, 7, 30, 16));
        const QImage full = PaintCell(*painter, cell, {}, 1.0, false);
        EXPECT_EQ(InkBounds(full, full.rect(), background.rgb()), cell);
        const QImage fullSelected = PaintCell(*painter, cell, {}, 1.0, true);
        EXPECT_NE(fullSelected, full) << "selection shows";
    }
}

TEST(PainterContract, TheDefaultPainterIsCairoHelixUnderItsOwnName) {
    EXPECT_EQ(DefaultBarChartPainterClass().ClassName, QStringLiteral("TDefaultBarChartPainter"));
    EXPECT_EQ(DefaultBarChartPainterClass().GetPainterName(), QStringLiteral("Cairo Helix"));
    const std::unique_ptr<TQxBarChartPainter> fallback = DefaultBarChartPainterClass().Create();
    TSkinCairoHelix helix;
    const QRect cell(10, 5, 120, 16);
    EXPECT_EQ(PaintCell(*fallback, cell, QStringLiteral("42.5%"), 0.425, false),
              PaintCell(helix, cell, QStringLiteral("42.5%"), 0.425, false));
}

TEST(PainterClassResolver, SettingsResolveClassNamesThroughTheRegistry) {
    EXPECT_EQ(ResolvePainterClassName("tskinbronceage"), "TSkinBronceAge");
    EXPECT_EQ(ResolvePainterClassName(""), "TDefaultBarChartPainter");
    EXPECT_EQ(ResolvePainterClassName("TNoSuchPainter"), "TDefaultBarChartPainter");
    EXPECT_EQ(ResolvePainterClassName("TDefaultBarChartPainter"), "TDefaultBarChartPainter");
    EXPECT_NE(dynamic_cast<TSkinSpectrum*>(CreateBarChartPainter("TSKINSPECTRUM").get()), nullptr);
    EXPECT_NE(dynamic_cast<TDefaultBarChartPainter*>(CreateBarChartPainter("Crystal").get()), nullptr)
        << "a display name is not a class name";

    quorvex::testing::TempTree t;
    const std::string ini = t / "Quorvex.ini";
    const PainterClassResolver previous = SetPainterClassResolver({});
    InstallPainterClassResolver();
    for (const auto& [stored, expected] :
         {std::pair{"tskincentercourt", "TSkinCenterCourt"},
          std::pair{"TSkinNothing", "TDefaultBarChartPainter"}, std::pair{"", "TDefaultBarChartPainter"}}) {
        std::ofstream(ini, std::ios::trunc) << "[Settings]\nBarChartPainterClass=" << stored << "\n";
        TSettings settings(ini);
        settings.Load();
        EXPECT_EQ(settings.BarChartPainterClass(), expected) << stored;
    }
    SetPainterClassResolver(previous);
}
