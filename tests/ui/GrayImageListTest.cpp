#include "ui/GrayImageList.h"
#include "paint/Colors.h"

#include <QApplication>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvex;

namespace {

QRgb Gray(int v) {
    return qRgb(v, v, v);
}

QImage Filled(QRgb colour, QSize size = QSize(4, 4)) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

} // namespace

TEST(GrayPixel, MeanTimesPortionRoundedHalfToEvenAndClippedAtWhite) {
    EXPECT_EQ(GrayPixel(qRgb(30, 60, 90), 100, gisGray), Gray(60));
    EXPECT_EQ(GrayPixel(qRgb(30, 60, 91), 100, gisGray), Gray(60)) << "the mean truncates";
    EXPECT_EQ(GrayPixel(qRgb(30, 60, 90), 120, gisGray), Gray(72));
    EXPECT_EQ(GrayPixel(qRgb(5, 5, 5), 110, gisGray), Gray(6)) << "5.5 -> 6";
    EXPECT_EQ(GrayPixel(qRgb(15, 15, 15), 110, gisGray), Gray(16)) << "16.5 -> 16";
    EXPECT_EQ(GrayPixel(qRgb(250, 250, 250), 120, gisGray), Gray(255)) << "300 is clipped at white";
    EXPECT_EQ(GrayPixel(qRgb(255, 255, 255), 255, gisGray), Gray(255));
    EXPECT_EQ(GrayPixel(qRgb(0, 0, 0), 120, gisGray), qRgb(0, 0, 0)) << "pure black stays black";
    EXPECT_EQ(GrayPixel(qRgb(0, 0, 1), 100, gisGray), Gray(0)) << "nearly black is not exempt";
    EXPECT_EQ(GrayPixel(qRgba(200, 100, 0, 40), 100, gisGray), qRgba(100, 100, 100, 40))
        << "alpha is the mask";
    EXPECT_EQ(GrayPixel(qRgb(110, 110, 110), 100, gisBlue), qRgb(100, 100, 110));
    EXPECT_EQ(GrayPixel(qRgb(12, 12, 12), 100, gisBlue), qRgb(11, 11, 12)) << "10.9 -> 11";
}

TEST(GrayPixel, SystemDeactiveMapsBrightnessBandsToButtonColours) {
    const QRgb light = ResolveColor(clBtnHighlight).rgb();
    const QRgb face = ResolveColor(clBtnFace).rgb();
    const QRgb shadow = ResolveColor(clBtnShadow).rgb();
    const QRgb text = ResolveColor(clBtnText).rgb();
    EXPECT_EQ(ResolveColor(clBtnFace), QApplication::palette().color(QPalette::Button));
    const std::pair<int, QRgb> bands[] = {{255, light}, {181, light}, {180, face}, {81, face},
                                          {80, shadow}, {31, shadow}, {30, text},  {1, text}};
    for (const auto& [v, expected] : bands)
        EXPECT_EQ(GrayPixel(Gray(v), 100, gisSystemDeactive), expected) << v;
}

TEST(GrayImageList, MirrorsItsLinkedListInGrey) {
    TImageList source(QSize(4, 4));
    source.Add(Filled(qRgb(200, 100, 0)));
    source.Add(Filled(qRgba(0, 0, 0, 0)));
    TGrayImageList gray(QSize(4, 4));
    EXPECT_EQ(gray.GrayPortion(), 100);
    EXPECT_EQ(gray.Style(), gisGray);
    gray.SetLinkedImageList(&source);
    ASSERT_EQ(gray.Count(), 2);
    EXPECT_EQ(gray.Image(0).pixel(1, 1), Gray(100));
    EXPECT_EQ(gray.Image(1).pixel(1, 1), qRgba(0, 0, 0, 0)) << "transparent stays transparent";

    source.Add(Filled(qRgb(90, 90, 90)));
    ASSERT_EQ(gray.Count(), 3) << "follows additions to the linked list";
    EXPECT_EQ(gray.Image(2).pixel(0, 0), Gray(90));

    const QIcon icon = gray.Icon(0);
    EXPECT_EQ(icon.pixmap(QSize(4, 4), QIcon::Disabled)
                  .toImage()
                  .convertToFormat(QImage::Format_ARGB32)
                  .pixel(1, 1),
              Gray(100));
    EXPECT_EQ(
        icon.pixmap(QSize(4, 4), QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32).pixel(1, 1),
        qRgb(200, 100, 0));
}

TEST(GrayImageList, IgnoresPortionsOutsideOneTo255AndRebuildsOnChanges) {
    TImageList source(QSize(2, 2));
    source.Add(Filled(qRgb(250, 250, 250), QSize(2, 2)));
    TGrayImageList gray(QSize(2, 2));
    gray.SetLinkedImageList(&source);
    gray.SetGrayPortion(0);
    EXPECT_EQ(gray.GrayPortion(), 100);
    gray.SetGrayPortion(300);
    EXPECT_EQ(gray.GrayPortion(), 100);
    EXPECT_EQ(gray.Image(0).pixel(0, 0), Gray(250));
    gray.SetGrayPortion(120);
    EXPECT_EQ(gray.GrayPortion(), 120);
    EXPECT_EQ(gray.Image(0).pixel(0, 0), Gray(255));
    gray.SetGrayPortion(1);
    EXPECT_EQ(gray.Image(0).pixel(0, 0), Gray(2)) << "2.5 -> 2";
    gray.SetStyle(gisBlue);
    EXPECT_EQ(gray.Image(0).pixel(0, 0), qRgb(2, 2, 2)) << "1.8 -> 2 for red and green";
    gray.SetGrayPortion(255);
    EXPECT_EQ(gray.Image(0).pixel(0, 0), qRgb(232, 232, 255));
}

TEST(GrayImageList, LinkToItselfIsIgnoredAndADestroyedLinkBecomesNone) {
    auto source = std::make_unique<TImageList>(QSize(2, 2));
    source->Add(Filled(qRgb(10, 20, 30), QSize(2, 2)));
    TGrayImageList gray(QSize(2, 2));
    gray.SetLinkedImageList(source.get());
    gray.SetLinkedImageList(&gray);
    EXPECT_EQ(gray.LinkedImageList(), source.get());
    source.reset();
    EXPECT_EQ(gray.LinkedImageList(), nullptr);
    gray.SetGrayPortion(150); // rebuilds without a source: no crash, nothing to mirror
    EXPECT_EQ(gray.Count(), 0);

    // Two grey lists linked to each other settle instead of rebuilding each other forever.
    TGrayImageList a(QSize(2, 2));
    TGrayImageList b(QSize(2, 2));
    a.SetLinkedImageList(&b);
    b.SetLinkedImageList(&a);
    EXPECT_EQ(a.LinkedImageList(), &b);
    EXPECT_EQ(b.LinkedImageList(), &a);
}
