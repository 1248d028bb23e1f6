#include "ui/GrayImageList.h"
#include "paint/Colors.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace quorvex;

namespace {

QRgb Gray(int v) {
    return qRgb(v, v, v);
}

QImage Filled(QRgb colour) {
    QImage image(QSize(2, 2), QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

} // namespace

TEST(GrayPixel, MeanTimesPortionRoundedHalfToEvenClippedAtWhiteAndMappedByStyle) {
    const std::tuple<QRgb, int, TGrayImageStyle, QRgb, const char*> cases[] = {
        {qRgb(30, 60, 91), 120, gisGray, Gray(72), "the mean truncates, then the portion"},
        {qRgb(5, 5, 5), 110, gisGray, Gray(6), "5.5 -> 6"},
        {qRgb(15, 15, 15), 110, gisGray, Gray(16), "16.5 -> 16"},
        {qRgb(250, 250, 250), 120, gisGray, Gray(255), "300 is clipped at white"},
        {qRgb(0, 0, 1), 100, gisGray, Gray(0), "nearly black is not exempt"},
        {qRgba(200, 100, 0, 40), 100, gisGray, qRgba(100, 100, 100, 40), "alpha is the mask"},
        {qRgb(12, 12, 12), 100, gisBlue, qRgb(11, 11, 12), "10.9 -> 11"},
    };
    for (const auto& [in, portion, style, out, why] : cases)
        EXPECT_EQ(GrayPixel(in, portion, style), out) << why;

    // Button text not black, so that black staying black is seen; the other bands keep their colours.
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::ButtonText, QColor(1, 2, 3));
    QApplication::setPalette(palette);
    EXPECT_EQ(GrayPixel(qRgb(0, 0, 0), 100, gisSystemDeactive), qRgb(0, 0, 0)) << "pure black stays black";
    EXPECT_EQ(GrayPixel(Gray(30), 100, gisSystemDeactive), qRgb(1, 2, 3));
    EXPECT_EQ(GrayPixel(Gray(31), 100, gisSystemDeactive), ResolveColor(clBtnShadow).rgb());
    QApplication::setPalette(saved);
}

TEST(GrayImageList, MirrorsItsLinkedListAndRebuildsOnEveryChange) {
    auto source = std::make_unique<TImageList>(QSize(2, 2));
    source->Add(Filled(qRgb(200, 100, 0)));
    TGrayImageList gray(QSize(2, 2));
    gray.SetLinkedImageList(source.get());
    gray.SetLinkedImageList(&gray);
    EXPECT_EQ(gray.LinkedImageList(), source.get()) << "a link to itself is ignored";
    EXPECT_EQ(gray.Icon(0).pixmap(QSize(2, 2), QIcon::Disabled).toImage().pixel(1, 1), Gray(100));
    source->Add(Filled(qRgb(250, 250, 250)));
    ASSERT_EQ(gray.Count(), 2) << "follows additions to the linked list";
    gray.SetGrayPortion(0);
    gray.SetGrayPortion(300);
    EXPECT_EQ(gray.GrayPortion(), 100) << "0 and 300 are ignored";
    gray.SetGrayPortion(120);
    EXPECT_EQ(gray.Image(1).pixel(0, 0), Gray(255)) << "120 % is clipped at white";
    source.reset();
    EXPECT_EQ(gray.LinkedImageList(), nullptr) << "a destroyed link becomes none";
}
