#pragma once

#include <QIcon>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>

namespace quorvex {

// An ordered list of images of one size, such as the images of a toolbar's buttons. Each image keeps
// its alpha channel, which serves as its mask.
class TImageList : public QObject {
    Q_OBJECT

public:
    explicit TImageList(QSize imageSize = QSize(16, 16), QObject* parent = nullptr);

    QSize ImageSize() const { return imageSize_; }
    int Count() const { return static_cast<int>(images_.size()); }
    // An image of another size is scaled to fit, keeping its proportions, and centred. Returns the index.
    int Add(const QImage& image);
    // A null image for an index out of range.
    QImage Image(int index) const;
    void Clear();

signals:
    void Changed();

private:
    QSize imageSize_;
    QList<QImage> images_;
};

enum TGrayImageStyle { gisGray, gisSystemDeactive, gisBlue };

// The grey value of one pixel: pure black stays black, everything else gets the mean of its channels
// times `grayPortion` percent (halves to even, at most 255), mapped by `style`. Alpha is kept.
QRgb GrayPixel(QRgb pixel, int grayPortion, TGrayImageStyle style);
QImage GrayImage(const QImage& source, int grayPortion, TGrayImageStyle style);

// The grey twins of a linked image list, for disabled buttons. Rebuilt whenever the link, the
// brightness or the style change, and whenever the linked list changes.
class TGrayImageList : public TImageList {
    Q_OBJECT

public:
    explicit TGrayImageList(QSize imageSize = QSize(16, 16), QObject* parent = nullptr);

    TImageList* LinkedImageList() const { return linked_.data(); }
    // Linking the list to itself is ignored. When the linked list is destroyed the link becomes none.
    void SetLinkedImageList(TImageList* list);
    int GrayPortion() const { return grayPortion_; }
    // Brightness in percent; values outside 1 to 255 are ignored.
    void SetGrayPortion(int percent);
    TGrayImageStyle Style() const { return style_; }
    void SetStyle(TGrayImageStyle style);

    // The linked image as the normal icon with its grey twin as the disabled one.
    QIcon Icon(int index) const;

private:
    void Rebuild();

    QPointer<TImageList> linked_;
    QMetaObject::Connection linkedChanged_;
    int grayPortion_ = 100;
    TGrayImageStyle style_ = gisGray;
    bool rebuilding_ = false;
};

} // namespace quorvex
