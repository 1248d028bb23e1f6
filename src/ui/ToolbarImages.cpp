#include "ui/ToolbarImages.h"

#include "ui/GrayImageList.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>

#include <algorithm>

namespace quorvex {
namespace {

constexpr int kDisabledGrayPortion = 120;
constexpr int kGearTeeth = 8;

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
    return Add(source.pixmap(images_->ImageSize()).toImage());
}

QIcon TToolbarImages::Add(const QImage& source) {
    return gray_->Icon(images_->Add(source));
}

QImage SettingsImage(QSize size) {
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
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace quorvex
