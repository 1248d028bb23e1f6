// The main window driven through real mouse events on a shown window.

#include "FormMainFixture.h"

#include "ui/GrayImageList.h"
#include "ui/NodeTreeModel.h"
#include "ui/NodeTreeView.h"

#include <QHeaderView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>

namespace quorvex {
namespace {

using testing::DoubleClick;
using testing::FormMainTest;
using testing::MakeWideTree;
using testing::TempTree;

void ClickHeader(QHeaderView& header, int section) {
    const QPoint centre(header.sectionViewportPosition(section) + header.sectionSize(section) / 2,
                        header.height() / 2);
    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, centre);
}

// Whether the root's rows are ordered by `key` in the direction the header shows.
bool RootRowsFollowHeader(const TFormMain& form, std::int64_t (*key)(const TFileSystemNode*)) {
    const TNodeTreeModel& model = *form.TreeModel();
    const std::vector<TFileSystemNode*> rows = model.PublishedRows(model.index(0, 0));
    const bool descending = form.TreeView()->header()->sortIndicatorOrder() == Qt::DescendingOrder;
    return rows.size() > 2 && std::is_sorted(rows.begin(), rows.end(), [&](auto* a, auto* b) {
               return descending ? key(a) > key(b) : key(a) < key(b);
           });
}

std::int64_t SizeOf(const TFileSystemNode* node) {
    return node->GetSize();
}
std::int64_t FilesOf(const TFileSystemNode* node) {
    return node->GetFileCount();
}

int ColouredPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int spread =
                std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)});
            count += spread > 24 ? 1 : 0;
        }
    }
    return count;
}

// The largest difference of one channel of one pixel, alpha applied (a faint pixel's colour hardly
// shows, and pixmaps keep it premultiplied); 255 for images of different sizes.
int LargestDifference(const QImage& first, const QImage& second) {
    const QImage a = first.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = second.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (a.size() != b.size())
        return 255;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            for (const int d :
                 {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q), qAlpha(p) - qAlpha(q)})
                largest = std::max(largest, std::abs(d));
        }
    }
    return largest;
}

// Laid out and visible to the widgets, but never painted to the screen.
class FormMainEvents : public FormMainTest {
protected:
    static void Show(TFormMain& form) {
        form.setAttribute(Qt::WA_DontShowOnScreen);
        form.show();
    }
};

TEST_F(FormMainEvents, AHeaderClickKeepsTheDirectionForANewColumnAndFlipsItForTheSameOne) {
    TempTree data;
    MakeWideTree(data, 6, 2);
    data.File("d0/extra1", 1);
    data.File("d0/extra2", 1);
    TFormMain form(settings_);
    Show(form);
    ASSERT_TRUE(Scan(form, data.Path()));
    QHeaderView& header = *form.TreeView()->header();
    ASSERT_EQ(header.sortIndicatorSection(), TNodeTreeModel::colPercent);
    ASSERT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);

    ClickHeader(header, TNodeTreeModel::colSize);
    EXPECT_EQ(header.sortIndicatorSection(), TNodeTreeModel::colSize);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder) << "largest first, as before";
    EXPECT_TRUE(RootRowsFollowHeader(form, SizeOf));
    ClickHeader(header, TNodeTreeModel::colSize);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_TRUE(RootRowsFollowHeader(form, SizeOf));
    ClickHeader(header, TNodeTreeModel::colFiles);
    EXPECT_EQ(header.sortIndicatorSection(), TNodeTreeModel::colFiles);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(form.TreeModel()->SortOrder(), Qt::AscendingOrder);
    ClickHeader(header, TNodeTreeModel::colPercent);
    ClickHeader(header, TNodeTreeModel::colPercent);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_TRUE(RootRowsFollowHeader(form, SizeOf));
    ClickHeader(header, TNodeTreeModel::colFiles);
    EXPECT_TRUE(RootRowsFollowHeader(form, FilesOf));
}

TEST_F(FormMainEvents, DoubleClickingThePromptRowOpensTheFolderPicker) {
    TempTree data;
    MakeWideTree(data, 2, 1);
    TFormMain form(settings_);
    Show(form);
    std::vector<QString> asked;
    QUrl choice;
    form.SetFolderDialog([&](QWidget*, const QString& title, const QUrl&) {
        asked.push_back(title);
        return choice;
    });
    TNodeTreeView& view = *form.TreeView();
    const QModelIndex prompt = form.TreeModel()->index(0, 0);
    ASSERT_EQ(form.TreeModel()->NodeAt(prompt), nullptr);
    DoubleClick(view.viewport(), view.visualRect(prompt).center());
    ASSERT_EQ(asked, std::vector<QString>{"Choose the drive or directory to analyse"});
    EXPECT_EQ(form.RootNode(), nullptr) << "cancelled: nothing starts";

    choice = QUrl::fromLocalFile(QString::fromStdString(data.Path()));
    ASSERT_TRUE(Await(form, [&] { DoubleClick(view.viewport(), view.visualRect(prompt).center()); }));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(form.RootNode()->Name(), data.Path());

    // Once a tree is shown, a double click on a row opens that row, never the picker.
    DoubleClick(view.viewport(), view.visualRect(form.TreeModel()->index(0, 0)).center());
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(FormMainEvents, DisabledToolbarButtonsShowTheGreyImagesAndTheSettingsButtonIsAlwaysThere) {
    TFormMain form(settings_);
    Show(form);
    auto* refresh = form.findChild<QAction*>("ActRefresh");
    auto* config = form.findChild<QAction*>("ActConfig");
    const auto* toolbar = form.findChild<QToolBar*>("MainToolbar");
    auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(config));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(refresh->isEnabled()) << "nothing scanned yet";

    const QSize size = toolbar->iconSize();
    const QImage normal = refresh->icon().pixmap(size).toImage();
    EXPECT_LE(LargestDifference(refresh->icon().pixmap(size, QIcon::Disabled).toImage(),
                                GrayImage(normal, 120, gisGray)),
              2)
        << "the grey list's image";
    for (QAction* action : toolbar->actions()) {
        QWidget* shown = toolbar->widgetForAction(action);
        if (shown != nullptr && !action->isSeparator() && !action->isEnabled()) {
            EXPECT_EQ(ColouredPixels(shown->grab().toImage()), 0) << action->objectName().toStdString();
        }
    }

    int opened = 0;
    form.SetSettingsDialogOpener([&](TFormMain&) { ++opened; });
    EXPECT_TRUE(button->isEnabled());
    EXPECT_GT(ColouredPixels(button->grab().toImage()), 20) << "enabled, the image is in colour";
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
}

} // namespace
} // namespace quorvex
