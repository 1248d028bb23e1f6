#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QSize>

namespace quorvex {

class TGrayImageList;
class TImageList;

// The images of the main toolbar's buttons with their grey twins (20 % brighter) for disabled buttons,
// so a disabled button looks disabled whatever colours the style would give it.
class TToolbarImages : public QObject {
    Q_OBJECT
public:
    explicit TToolbarImages(QSize imageSize, QObject* parent = nullptr);

    QSize ImageSize() const;
    // The icon for a button: `source` as its normal image and its grey twin as the disabled one.
    QIcon Add(const QIcon& source);
    QIcon Add(const QImage& source);

private:
    TImageList* images_;
    TGrayImageList* gray_;
};

// A blue gear for the settings button. The style has no image for settings, and its nearest one is
// drawn in black, which the grey list keeps black.
QImage SettingsImage(QSize size);

} // namespace quorvex
