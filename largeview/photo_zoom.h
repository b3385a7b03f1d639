// Where the large view draws the photo: its scale (view pixels per photo
// pixel) and its place in the view. A photo smaller than the view on an
// axis is centred on it; a larger one can be moved, but never so far that
// a gap opens between its edge and the view's.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>

namespace viewer {

class PhotoZoom {
public:
    // The most a photo is magnified, in device pixels per photo pixel.
    static constexpr double kMostMagnification = 16;

    // The view's size in view pixels, and the device pixels per view pixel.
    void setView(const QSizeF& view, double devicePixelRatio);
    // The photo's upright size in its own pixels; the view then fits it.
    void setPhoto(const QSize& photo);

    // The largest scale at which the whole photo is in view; the photo is
    // enlarged to it when it is smaller than the view.
    double fitScale() const;
    // One photo pixel on one device pixel: 100 %.
    double actualScale() const { return 1 / devicePixelRatio_; }
    double minimumScale() const;
    double maximumScale() const;

    double scale() const { return scale_; }
    bool fitted() const { return fitted_; }
    QRectF photoRect() const { return QRectF(offset_, QSizeF(photo_) * scale_); }

    // The whole photo in view, centred.
    void fit();
    // `scale` (within the limits) with the photo point under `anchor` kept
    // under it.
    void zoomTo(double scale, const QPointF& anchor);
    void zoomBy(double factor, const QPointF& anchor) { zoomTo(scale_ * factor, anchor); }
    void moveBy(const QPointF& delta);

private:
    void keepInView();

    QSizeF view_;
    double devicePixelRatio_ = 1;
    QSize photo_;
    double scale_ = 1;
    QPointF offset_;
    bool fitted_ = true;
};

}  // namespace viewer
