#include "shell/InfoPanel.h"

#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvex {
namespace {

// The panel in a shown window, as under the main window's toolbar.
class InfoPanelTest : public ::testing::Test {
protected:
    InfoPanelTest() {
        auto* layout = new QVBoxLayout(&window_);
        layout->addWidget(panel_);
        layout->addStretch(1);
        window_.resize(500, 200);
        window_.show();
        panel_->SetOnRefresh([this](const std::string& path) { refreshed_.push_back(path); });
    }

    void Click(const char* button) {
        auto* b = panel_->findChild<QPushButton*>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->isVisible());
        QTest::mouseClick(b, Qt::LeftButton);
    }
    bool AwaitHeight(int height) {
        return QTest::qWaitFor([&] { return panel_->height() == height; }, 2000);
    }

    QWidget window_;
    TFrameInfoPanel* panel_ = new TFrameInfoPanel(&window_);
    std::vector<std::string> refreshed_;
};

TEST_F(InfoPanelTest, PendingPathsStayUniqueByBytesAndTheLatestTextIsShown) {
    panel_->ShowNotification("/data/Scan", QStringLiteral("first"));
    panel_->ShowNotification("/data/Scan", QStringLiteral("second"));
    panel_->ShowNotification("/data/scan", QStringLiteral("third"));
    panel_->ShowNotification("/data/\xff", QStringLiteral("fourth"));
    EXPECT_EQ(panel_->PendingPaths(), (std::vector<std::string>{"/data/Scan", "/data/scan", "/data/\xff"}));
    EXPECT_EQ(panel_->Message(), QStringLiteral("fourth"));
}

TEST_F(InfoPanelTest, SlidesInToItsHeightAndOutOnClose) {
    EXPECT_FALSE(panel_->isVisible()) << "hidden until something is shown";
    panel_->ShowNotification("/data", QStringLiteral("changed"));
    EXPECT_TRUE(panel_->isVisible());
    EXPECT_LT(panel_->height(), TFrameInfoPanel::kPanelHeight) << "it slides, it does not pop up";
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    panel_->SlideVisible(true);
    QTest::qWait(3 * TFrameInfoPanel::kSlideIntervalMs);
    EXPECT_EQ(panel_->height(), TFrameInfoPanel::kPanelHeight) << "asking again changes nothing";

    Click("ButtonCloseInfoPanel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel_->isVisible(); }, 2000));
    EXPECT_EQ(panel_->height(), 0);
    EXPECT_TRUE(panel_->PendingPaths().empty());
    EXPECT_TRUE(refreshed_.empty());

    // Shown again halfway out: it turns back and ends fully shown.
    panel_->ShowNotification("/data", QStringLiteral("again"));
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    panel_->SlideVisible(false);
    QTest::qWait(4 * TFrameInfoPanel::kSlideIntervalMs);
    panel_->SlideVisible(true);
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    QTest::qWait(3 * TFrameInfoPanel::kSlideIntervalMs);
    EXPECT_TRUE(panel_->isVisible());
}

TEST_F(InfoPanelTest, RefreshNowRefreshesTheOutermostPathsOnceInOrder) {
    panel_->ShowNotification("/data/b", QStringLiteral("x"));
    panel_->ShowNotification("/data", QStringLiteral("x"));
    panel_->ShowNotification("/data/b/c", QStringLiteral("x"));
    panel_->ShowNotification("/other", QStringLiteral("x"));
    panel_->ShowNotification("/database", QStringLiteral("x"));
    ASSERT_TRUE(AwaitHeight(TFrameInfoPanel::kPanelHeight));
    Click("ButtonInfoPanelRefresh");
    EXPECT_EQ(refreshed_, (std::vector<std::string>{"/data", "/other", "/database"}));
    EXPECT_TRUE(panel_->PendingPaths().empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel_->isVisible(); }, 2000));
}

} // namespace
} // namespace quorvex
