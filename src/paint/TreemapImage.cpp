#include "paint/TreemapImage.h"

#include "model/TreemapShading.h"

#include <cmath>

namespace quorvex {

QImage TreemapImage(std::span<const TTreemapTile> tiles, QSize size, qreal devicePixelRatio) {
    const QSize pixels(static_cast<int>(std::ceil(size.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(size.height() * devicePixelRatio)));
    // 0xFFRRGGBB words, as the shading writes them.
    QImage image(pixels, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    PaintTreemap(tiles, static_cast<float>(devicePixelRatio), reinterpret_cast<std::uint32_t*>(image.bits()),
                 image.width(), image.height(), image.bytesPerLine() / 4);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

} // namespace quorvex
