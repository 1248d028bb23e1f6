#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QSize>

#include <functional>

namespace quorvex {

class TGrayImageList;
class TImageList;

// The images of the main toolbar's buttons with their grey twins (20 % brighter) for disabled buttons,
// so a disabled button looks disabled whatever colours the style would give it. Each image is also
// drawn at twice its size and at the screen's pixel ratio, so it stays sharp on a scaled screen.
class TToolbarImages : public QObject {
    Q_OBJECT
public:
    explicit TToolbarImages(QSize imageSize, QObject* parent = nullptr);

    QSize ImageSize() const;
    // The icon for a button: `source` as its normal image and its grey twin as the disabled one.
    QIcon Add(const QIcon& source);
    QIcon Add(const QImage& source);
    // `draw(ratio)` gives the image at `ratio` times the image size, device pixel ratio set.
    QIcon Add(const std::function<QImage(qreal ratio)>& draw);

private:
    TImageList* images_;
    TGrayImageList* gray_;
};

// A blue gear for the settings button. The style has no image for settings, and its nearest one is
// drawn in black, which the grey list keeps black. Drawn at `ratio` times `size` for a scaled screen.
QImage SettingsImage(QSize size, qreal ratio = 1.0);

// A blue circular arrow for the repeat-scan button: the style's own is drawn in light grey, which
// reads as disabled even while the button is enabled.
QImage RefreshImage(QSize size, qreal ratio = 1.0);

} // namespace quorvex
