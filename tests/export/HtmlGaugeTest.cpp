#include "ExportFixtures.h"

#include "export/HtmlTableExport.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

TEST(HtmlGauge, HalvesRoundToEvenOnTheComputedValue) {
    EXPECT_EQ(GaugeFor(1, 8, '.').Width, "12");
    EXPECT_EQ(GaugeFor(1, 8, '.').Percent, "12.5");
    EXPECT_EQ(GaugeFor(3, 8, '.').Width, "38");
    EXPECT_EQ(GaugeFor(3, 8, '.').Percent, "37.5");
    EXPECT_EQ(GaugeFor(8, 8, '.').Percent, "100");
}

TEST(HtmlGauge, EmptyRootGivesZero) {
    EXPECT_EQ(GaugeFor(0, 0, '.').Width, "0");
    EXPECT_EQ(GaugeFor(0, 0, '.').Percent, "0");
    EXPECT_EQ(GaugeFor(5, 0, '.').Percent, "0");
}

TEST(HtmlGauge, PercentTakesTheDecimalSeparator) {
    EXPECT_EQ(GaugeFor(1572864, 7077888, ',').Percent, "22,2");
    WorkedExample tree;
    const std::string page = ExportText(Format("html"), &tree.root, &FormatSizeTruncated, ',');
    EXPECT_NE(page.find("&nbsp;22,2%"), std::string::npos);
    EXPECT_NE(page.find(">6,75 MB<"), std::string::npos);
}

TEST(HtmlGauge, RowColoursAlternateAcrossLevelsAndStartAfreshPerExport) {
    WorkedExample tree;
    Dir(tree.old, "deeper", 1, 1);
    const std::string page = ExportText(Format("html"), &tree.root);
    std::vector<std::string> colours;
    for (auto at = page.find("<tr bgcolor=\"#"); at != std::string::npos;
         at = page.find("<tr bgcolor=\"#", at + 1))
        colours.push_back(page.substr(at + 13, 7));
    const std::vector<std::string> expected = {"#99B4D1", "#FFFFFF", "#F0F0F0",
                                               "#FFFFFF", "#F0F0F0", "#FFFFFF"};
    EXPECT_EQ(colours, expected);
    EXPECT_EQ(ExportText(Format("html"), &tree.root), page);
}

} // namespace
