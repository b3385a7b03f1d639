#include "largeview/photo_zoom.h"

#include <algorithm>

namespace viewer {

// A zoomed photo keeps the point at the view's centre at the centre.
void PhotoZoom::setView(const QSizeF& view, double devicePixelRatio) {
    const QPointF centred = (QPointF(view_.width() / 2, view_.height() / 2) - offset_) / scale_;
    view_ = view;
    devicePixelRatio_ = devicePixelRatio > 0 ? devicePixelRatio : 1;
    if (fitted_) {
        fit();
        return;
    }
    scale_ = std::clamp(scale_, minimumScale(), maximumScale());
    offset_ = QPointF(view_.width() / 2, view_.height() / 2) - centred * scale_;
    keepInView();
}

void PhotoZoom::setPhoto(const QSize& photo) {
    photo_ = photo;
    fit();
}

double PhotoZoom::fitScale() const {
    if (photo_.isEmpty() || view_.isEmpty()) return 1;
    return std::min(view_.width() / photo_.width(), view_.height() / photo_.height());
}

double PhotoZoom::minimumScale() const { return std::min(fitScale(), actualScale()); }

double PhotoZoom::maximumScale() const {
    return std::max(fitScale(), kMostMagnification * actualScale());
}

void PhotoZoom::fit() {
    scale_ = fitScale();
    fitted_ = true;
    offset_ = QPointF((view_.width() - photo_.width() * scale_) / 2,
                      (view_.height() - photo_.height() * scale_) / 2);
}

void PhotoZoom::zoomTo(double scale, const QPointF& anchor) {
    const double bounded = std::clamp(scale, minimumScale(), maximumScale());
    const QPointF photoPoint = (anchor - offset_) / scale_;
    scale_ = bounded;
    offset_ = anchor - photoPoint * scale_;
    fitted_ = scale_ == fitScale();
    keepInView();
}

void PhotoZoom::moveBy(const QPointF& delta) {
    offset_ += delta;
    keepInView();
}

void PhotoZoom::keepInView() {
    const auto axis = [](double offset, double length, double view) {
        if (length <= view) return (view - length) / 2;
        return std::clamp(offset, view - length, 0.0);
    };
    offset_ = QPointF(axis(offset_.x(), photo_.width() * scale_, view_.width()),
                      axis(offset_.y(), photo_.height() * scale_, view_.height()));
}

}  // namespace viewer
