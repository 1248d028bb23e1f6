#include "ui/GrayImageList.h"

#include "paint/Colors.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace quorvex {

TImageList::TImageList(QSize imageSize, QObject* parent) : QObject(parent), imageSize_(imageSize) {}

int TImageList::Add(const QImage& image) {
    QImage fitted(imageSize_, QImage::Format_ARGB32);
    fitted.fill(Qt::transparent);
    if (!image.isNull()) {
        if (image.size() == imageSize_) {
            fitted = image.convertToFormat(QImage::Format_ARGB32);
        } else {
            const QImage scaled = image.scaled(imageSize_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QPainter painter(&fitted);
            painter.drawImage((imageSize_.width() - scaled.width()) / 2,
                              (imageSize_.height() - scaled.height()) / 2, scaled);
        }
    }
    images_.append(fitted);
    emit Changed();
    return Count() - 1;
}

QImage TImageList::Image(int index) const {
    if (index < 0 || index >= Count())
        return {};
    return images_.at(index);
}

void TImageList::Clear() {
    if (images_.isEmpty())
        return;
    images_.clear();
    emit Changed();
}

namespace {

// n / 100 rounded to the nearest integer, halves to even.
int DivideBy100HalfEven(int n) {
    int quotient = n / 100;
    const int remainder = n % 100;
    if (remainder > 50 || (remainder == 50 && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

QRgb SystemRgb(TColor color) {
    return ResolveColor(color).rgb();
}

} // namespace

QRgb GrayPixel(QRgb pixel, int grayPortion, TGrayImageStyle style) {
    if ((pixel & 0x00FFFFFFu) == 0)
        return pixel;
    const int mean = (qRed(pixel) + qGreen(pixel) + qBlue(pixel)) / 3;
    const int v = std::min(255, DivideBy100HalfEven(mean * grayPortion));
    QRgb grey = qRgb(v, v, v);
    switch (style) {
    case gisGray:
        break;
    case gisBlue: {
        // v / 1.1 never falls on a half, so plain rounding is exact.
        const int redGreen = (v * 20 + 11) / 22;
        grey = qRgb(redGreen, redGreen, v);
        break;
    }
    case gisSystemDeactive:
        if (v >= 181)
            grey = SystemRgb(clBtnHighlight);
        else if (v >= 81)
            grey = SystemRgb(clBtnFace);
        else if (v >= 31)
            grey = SystemRgb(clBtnShadow);
        else
            grey = SystemRgb(clBtnText);
        break;
    }
    return (grey & 0x00FFFFFFu) | (pixel & 0xFF000000u);
}

QImage GrayImage(const QImage& source, int grayPortion, TGrayImageStyle style) {
    if (source.isNull())
        return {};
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = GrayPixel(line[x], grayPortion, style);
    }
    return image;
}

TGrayImageList::TGrayImageList(QSize imageSize, QObject* parent) : TImageList(imageSize, parent) {}

void TGrayImageList::SetLinkedImageList(TImageList* list) {
    if (list == this)
        return;
    QObject::disconnect(linkedChanged_);
    linked_ = list;
    if (list != nullptr)
        linkedChanged_ = connect(list, &TImageList::Changed, this, &TGrayImageList::Rebuild);
    Rebuild();
}

void TGrayImageList::SetGrayPortion(int percent) {
    if (percent < 1 || percent > 255 || percent == grayPortion_)
        return;
    grayPortion_ = percent;
    Rebuild();
}

void TGrayImageList::SetStyle(TGrayImageStyle style) {
    if (style == style_)
        return;
    style_ = style;
    Rebuild();
}

void TGrayImageList::Rebuild() {
    // Two grey lists linked to each other would otherwise rebuild each other forever.
    if (rebuilding_)
        return;
    rebuilding_ = true;
    Clear();
    if (!linked_.isNull()) {
        for (int i = 0; i < linked_->Count(); ++i)
            Add(GrayImage(linked_->Image(i), grayPortion_, style_));
    }
    rebuilding_ = false;
}

QIcon TGrayImageList::Icon(int index) const {
    QIcon icon;
    if (!linked_.isNull() && index >= 0 && index < linked_->Count())
        icon.addPixmap(QPixmap::fromImage(linked_->Image(index)), QIcon::Normal);
    if (index >= 0 && index < Count())
        icon.addPixmap(QPixmap::fromImage(Image(index)), QIcon::Disabled);
    return icon;
}

} // namespace quorvex
