#include "paint/PercentCell.h"
#include "model/FileSystemNode.h"

#include "PaintTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quorvex;
using namespace quorvex::test;

namespace {

struct Call {
    const char* painter;
    bool selected;
    QRect rect;
    QString text;
    double fraction;
};

class TRecordingPainter : public TQxBarChartPainter {
public:
    TRecordingPainter(const char* name, std::vector<Call>& calls) : name_(name), calls_(calls) {}
    void Paint(QPainter&, const QRect& rect, const QString& text, double fraction) override {
        calls_.push_back({name_, false, rect, text, fraction});
    }
    void PaintSelected(QPainter&, const QRect& rect, const QString& text, double fraction) override {
        calls_.push_back({name_, true, rect, text, fraction});
    }

private:
    const char* name_;
    std::vector<Call>& calls_;
};

// root (800) / dir (400) / file (100), and a file (200) directly under the root.
class PercentCell : public ::testing::Test {
protected:
    PercentCell() {
        root.SetSize(800);
        dir = AddDirNode(&root, "dir", faDirectory);
        dir->SetSize(400);
        file = AddChild(dir, std::make_unique<TFileNode>());
        file->SetSize(100);
        topFile = AddChild(&root, std::make_unique<TFileNode>());
        topFile->SetSize(200);
    }

    std::vector<Call> Draw(const TFileSystemNode& node, bool selected, bool childBars,
                           const TFileSystemNode* scanRoot) {
        std::vector<Call> calls;
        TRecordingPainter bar("bar", calls);
        TRecordingPainter child("child", calls);
        QImage image = WhiteCanvas(120, 20);
        QPainter canvas(&image);
        PaintPercentCell(canvas, QRect(5, 2, 100, 18), node, scanRoot, selected, {&bar, &child}, childBars,
                         QLocale::c());
        return calls;
    }

    TRootDirNode root;
    TDirNode* dir = nullptr;
    TFileSystemNode* file = nullptr;
    TFileSystemNode* topFile = nullptr;
};

} // namespace

TEST(PercentText, RoundsToOneDecimalInTheShortestForm) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(FormatPercentText(1.0L / 3, c), QStringLiteral("33.3%"));
    EXPECT_EQ(FormatPercentText(0.5L, c), QStringLiteral("50%"));
    EXPECT_EQ(FormatPercentText(0.125L, c), QStringLiteral("12.5%"));
    EXPECT_EQ(FormatPercentText(2.0L / 3, c), QStringLiteral("66.7%"));
    EXPECT_EQ(FormatPercentText(1.0L, c), QStringLiteral("100%"));
    EXPECT_EQ(FormatPercentText(0.0L, c), QStringLiteral("0%"));
    EXPECT_EQ(FormatPercentText(0.0004L, c), QStringLiteral("0%"));
    EXPECT_EQ(FormatPercentText(0.0006L, c), QStringLiteral("0.1%"));
    EXPECT_EQ(FormatPercentText(0.999999L, c), QStringLiteral("100%"));
    EXPECT_EQ(FormatPercentText(1.0L / 3, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("33,3%"));
}

TEST_F(PercentCell, RootAndItsChildrenHaveNoChildBar) {
    const std::vector<Call> calls = Draw(root, false, true, &root);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_STREQ(calls[0].painter, "bar");
    EXPECT_EQ(calls[0].text, QStringLiteral("100%"));
    EXPECT_DOUBLE_EQ(calls[0].fraction, 1.0);
    EXPECT_EQ(calls[0].rect, QRect(6, 3, 98, 16)) << "the cell shrunk by a pixel on every side";

    const std::vector<Call> top = Draw(*topFile, false, true, &root);
    ASSERT_EQ(top.size(), 1u) << "no child bar directly under the root";
    EXPECT_EQ(top[0].text, QStringLiteral("25%"));
}

TEST_F(PercentCell, DeeperRowDrawsTheShareOfItsParentFirst) {
    std::vector<Call> calls = Draw(*file, false, true, &root);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_STREQ(calls[0].painter, "child");
    EXPECT_DOUBLE_EQ(calls[0].fraction, 0.25);
    EXPECT_TRUE(calls[0].text.isEmpty());
    EXPECT_STREQ(calls[1].painter, "bar");
    EXPECT_DOUBLE_EQ(calls[1].fraction, 0.125);
    EXPECT_EQ(calls[1].text, QStringLiteral("12.5%"));
    EXPECT_EQ(calls[0].rect, calls[1].rect);

    calls = Draw(*file, true, true, &root);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].selected && calls[1].selected);

    calls = Draw(*file, false, false, &root);
    ASSERT_EQ(calls.size(), 1u) << "child bars switched off";
    EXPECT_STREQ(calls[0].painter, "bar");
}

TEST_F(PercentCell, EmptyTotalsSuppressTheirBars) {
    dir->SetSize(0);
    const std::vector<Call> calls = Draw(*file, false, true, &root);
    ASSERT_EQ(calls.size(), 1u) << "an empty parent suppresses only the child bar";
    EXPECT_STREQ(calls[0].painter, "bar");
    EXPECT_TRUE(Draw(*file, false, true, nullptr).empty());
    root.SetSize(0);
    EXPECT_TRUE(Draw(*file, false, true, &root).empty());
    root.SetSize(-5);
    EXPECT_TRUE(Draw(*file, true, true, &root).empty());
}
