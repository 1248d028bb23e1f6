#include "shell/TreeImages.h"

#include "shell/IconRegistry.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace quorvex {

namespace {

constexpr int kSize = 16;

QPixmap Blank() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Three stacked sheets in the lower left corner.
QIcon FileGroupMark() {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setPen(QColor(40, 40, 40));
    for (int i = 2; i >= 0; --i) {
        painter.setBrush(i == 0 ? QColor(255, 255, 255) : QColor(210, 210, 210));
        painter.drawRect(1 + 2 * i, 8 - 2 * i, 5, 6);
    }
    return QIcon(pixmap);
}

// A red bar: the walk stopped before the end.
QIcon IncompleteMark() {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(120, 0, 0), 1));
    painter.setBrush(QColor(220, 30, 30));
    painter.drawEllipse(QRectF(0.5, 8.5, 7, 7));
    painter.setPen(QPen(Qt::white, 1.5));
    painter.drawLine(QPointF(2.5, 12), QPointF(5.5, 12));
    return QIcon(pixmap);
}

} // namespace

// A ring of eight dots; the bright one moves round by one position per frame.
QIcon AnimationFrame(int frame) {
    QPixmap pixmap = Blank();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    constexpr double kPi = 3.14159265358979323846;
    for (int i = 0; i < TTreeImages::kAnimationFrames; ++i) {
        const double angle = 2 * kPi * i / TTreeImages::kAnimationFrames - kPi / 2;
        const int age = (frame - i + TTreeImages::kAnimationFrames) % TTreeImages::kAnimationFrames;
        painter.setBrush(QColor(30, 90, 200, 255 - age * 28));
        painter.drawEllipse(QPointF(8 + 5.5 * std::cos(angle), 8 + 5.5 * std::sin(angle)), 1.8, 1.8);
    }
    return QIcon(pixmap);
}

TTreeImages TTreeImages::AddTo(TIconRegistry& registry) {
    TTreeImages images;
    images.FileGroupOverlay = registry.Add(FileGroupMark());
    images.IncompleteOverlay = registry.Add(IncompleteMark());
    images.LocalDrives = registry.IndexOf({{QStringLiteral("computer")}, QStyle::SP_ComputerIcon});
    for (int i = 0; i < kAnimationFrames; ++i)
        images.Animation[i] = registry.Add(AnimationFrame(i));
    return images;
}

} // namespace quorvex
