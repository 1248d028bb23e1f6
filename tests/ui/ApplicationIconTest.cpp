#include "ui/ApplicationIcon.h"
#include "ui/FormInfo.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStyle>

#include <gtest/gtest.h>

namespace quorvex {
namespace {

QImage Pixels(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The test program's application object is the window process's own (TQxApplication).
TEST(ApplicationIcon, TheApplicationAndEveryWindowCarryTheIconUnderTheDesktopEntrysId) {
    EXPECT_EQ(QGuiApplication::desktopFileName(), "org.quorvex.Quorvex");
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << "no render of " << size << " px";

    // Each size is drawn, not empty: the tile is opaque in the middle.
    for (const int size : {16, 256}) {
        const QImage image = Pixels(icon, size);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size << " px";
    }
    QMainWindow window;
    EXPECT_TRUE(Pixels(window.windowIcon(), 32) == Pixels(ApplicationIcon(), 32))
        << "a window without an icon of its own shows another one";
}

TEST(ApplicationIcon, TheAboutWindowShowsTheProgramsIconRatherThanAStandardOne) {
    TFormInfo form(nullptr);
    const QImage expected = Pixels(ApplicationIcon(), 32);
    const QImage computer = Pixels(form.style()->standardIcon(QStyle::SP_ComputerIcon), 32);
    ASSERT_FALSE(expected == computer);
    bool found = false;
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        if (label->pixmap().isNull())
            continue;
        found = true;
        EXPECT_TRUE(label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32) == expected)
            << "the about window shows another picture than the program's icon";
    }
    EXPECT_TRUE(found) << "the about window shows no picture";
}

} // namespace
} // namespace quorvex
