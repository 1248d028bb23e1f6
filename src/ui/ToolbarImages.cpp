#include "ui/ToolbarImages.h"

#include "ui/GrayImageList.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <QTransform>

#include <algorithm>

namespace quorvex {
namespace {

constexpr int kDisabledGrayPortion = 120;
constexpr int kGearTeeth = 8;
// The ratios an icon is drawn at besides 1: the common 2, and every screen's own.
QList<qreal> ExtraRatios() {
    QList<qreal> ratios{2.0};
    for (const QScreen* screen : QGuiApplication::screens()) {
        const qreal ratio = screen->devicePixelRatio();
        if (ratio > 1.0 && !ratios.contains(ratio))
            ratios.append(ratio);
    }
    if (const qreal ratio = qApp->devicePixelRatio(); ratio > 1.0 && !ratios.contains(ratio))
        ratios.append(ratio);
    return ratios;
}

} // namespace

TToolbarImages::TToolbarImages(QSize imageSize, QObject* parent)
    : QObject(parent), images_(new TImageList(imageSize, this)), gray_(new TGrayImageList(imageSize, this)) {
    gray_->SetGrayPortion(kDisabledGrayPortion);
    gray_->SetStyle(gisGray);
    gray_->SetLinkedImageList(images_);
}

QSize TToolbarImages::ImageSize() const {
    return images_->ImageSize();
}

QIcon TToolbarImages::Add(const QIcon& source) {
    const QSize size = images_->ImageSize();
    return Add([&source, size](qreal ratio) { return source.pixmap(size, ratio).toImage(); });
}

QIcon TToolbarImages::Add(const QImage& source) {
    return Add([&source](qreal) { return source; });
}

QIcon TToolbarImages::Add(const std::function<QImage(qreal ratio)>& draw) {
    const int index = images_->Add(draw(1.0));
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(images_->Image(index)), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(gray_->Image(index)), QIcon::Disabled);
    const QSize size = images_->ImageSize();
    for (const qreal ratio : ExtraRatios()) {
        QImage image = draw(ratio);
        if (image.size() != size * ratio)
            continue; // nothing sharper than the image of ratio 1
        image.setDevicePixelRatio(ratio);
        QImage gray = GrayImage(image, gray_->GrayPortion(), gisGray);
        gray.setDevicePixelRatio(ratio);
        icon.addPixmap(QPixmap::fromImage(image), QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(gray), QIcon::Disabled);
    }
    return icon;
}

QImage SettingsImage(QSize logicalSize, qreal ratio) {
    const QSize size = logicalSize * ratio;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const qreal side = std::min(size.width(), size.height());
    const qreal outer = side * 0.47;
    const qreal body = side * 0.34;
    const qreal hole = side * 0.13;
    const qreal toothWidth = side * 0.16;

    QPainterPath gear;
    gear.addEllipse(QPointF(0, 0), body, body);
    for (int i = 0; i < kGearTeeth; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-toothWidth / 2, -outer, toothWidth, outer - body + 1));
        gear = gear.united(QTransform().rotate(360.0 * i / kGearTeeth).map(tooth));
    }
    QPainterPath centre;
    centre.addEllipse(QPointF(0, 0), hole, hole);
    gear = gear.subtracted(centre);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size.width() / 2.0, size.height() / 2.0);
    QLinearGradient fill(QPointF(0, -outer), QPointF(0, outer));
    fill.setColorAt(0, QColor(128, 178, 230));
    fill.setColorAt(1, QColor(48, 102, 168));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(34, 66, 112), std::max<qreal>(1.0, side / 24.0)));
    painter.drawPath(gear);
    painter.end();
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    result.setDevicePixelRatio(ratio);
    return result;
}

QImage RefreshImage(QSize logicalSize, qreal ratio) {
    const QSize size = logicalSize * ratio;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const qreal side = std::min(size.width(), size.height());
    const qreal radius = side * 0.32;
    const qreal width = std::max<qreal>(1.5, side * 0.13);
    constexpr qreal kStartDegrees = 60;
    constexpr qreal kSpanDegrees = 290;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size.width() / 2.0, size.height() / 2.0);
    QPainterPath arc;
    arc.arcMoveTo(QRectF(-radius, -radius, 2 * radius, 2 * radius), kStartDegrees);
    arc.arcTo(QRectF(-radius, -radius, 2 * radius, 2 * radius), kStartDegrees, kSpanDegrees);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(48, 102, 168), width, Qt::SolidLine, Qt::FlatCap));
    painter.drawPath(arc);

    // The head points along the arc at its start, where the turn begins again.
    const QPointF tip = arc.pointAtPercent(0);
    const qreal angle = arc.angleAtPercent(0);
    painter.translate(tip);
    painter.rotate(-angle);
    const qreal head = width * 1.6;
    QPainterPath arrow;
    arrow.moveTo(-head, 0);
    arrow.lineTo(0, -head);
    arrow.lineTo(0, head);
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(48, 102, 168));
    painter.drawPath(arrow);
    painter.end();
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    result.setDevicePixelRatio(ratio);
    return result;
}

} // namespace quorvex
