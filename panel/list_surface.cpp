#include "panel/list_surface.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace viewer {

ListSurface::ListSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ListSurface::setBackground(const QColor& colour) {
    background_ = colour;
    update();
}

int ListSurface::stripCount() const { return (rows_ + kRowsPerStrip - 1) / kRowsPerStrip; }

int ListSurface::stripRows(int index) const {
    return std::min(kRowsPerStrip, rows_ - index * kRowsPerStrip);
}

qint64 ListSurface::stripBytes(int index) const {
    const QSize size = stripPixels(index);
    return static_cast<qint64>(size.width()) * size.height() * 4;
}

// Strips are kept at the screen's device pixels, so that text on a dense
// screen is drawn at its resolution rather than enlarged.
QSize ListSurface::stripPixels(int index) const {
    const qreal ratio = devicePixelRatioF();
    return QSize(static_cast<int>(std::ceil(std::max(1, width()) * ratio)),
                 static_cast<int>(std::ceil(stripRows(index) * kRowHeight * ratio)));
}

void ListSurface::clear() {
    strips_.clear();
    strips_.shrink_to_fit();
    rows_ = 0;
    bytesHeld_ = 0;
    update();
}

void ListSurface::drawRows(int rows) {
    // The last list's strips lend their pixels to this one's: fresh pages
    // for a strip cost more than the text drawn on them.
    std::vector<Strip> last = std::move(strips_);
    clear();
    rows_ = std::max(0, rows);
    strips_.resize(static_cast<std::size_t>(stripCount()));
    for (int index = 0; index < stripCount(); ++index) {
        const auto at = static_cast<std::size_t>(index);
        QImage pixels = at < last.size() ? std::exchange(last[at].image, QImage()) : QImage();
        if (bytesHeld_ + stripBytes(index) > kBudgetBytes) break;
        if (!drawStrip(index, std::move(pixels))) break;
    }
    update();
}

bool ListSurface::drawStrip(int index, QImage pixels) {
    const QSize size = stripPixels(index);
    QImage image = pixels.size() == size && pixels.format() == QImage::Format_RGB32
                       ? std::move(pixels)
                       : QImage(size, QImage::Format_RGB32);
    if (image.isNull()) return false;
    image.setDevicePixelRatio(devicePixelRatioF());
    image.fill(background_);
    if (rowPainter_) rowPainter_(image, index * kRowsPerStrip, stripRows(index));
    bytesHeld_ += image.sizeInBytes();
    strips_[static_cast<std::size_t>(index)].image = std::move(image);
    ++stripsDrawn_;
    return true;
}

void ListSurface::makeRoom(qint64 needed, int first, int last) {
    while (bytesHeld_ + needed > kBudgetBytes) {
        int oldest = -1;
        for (int index = 0; index < stripCount(); ++index) {
            if (index >= first && index <= last) continue;
            const Strip& strip = strips_[static_cast<std::size_t>(index)];
            if (strip.image.isNull()) continue;
            if (oldest < 0 || strip.lastShown < strips_[static_cast<std::size_t>(oldest)].lastShown)
                oldest = index;
        }
        if (oldest < 0) return;
        Strip& strip = strips_[static_cast<std::size_t>(oldest)];
        bytesHeld_ -= strip.image.sizeInBytes();
        strip.image = QImage();
    }
}

void ListSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.fillRect(exposed, background_);
    if (rows_ == 0) return;

    const int stripHeight = kRowsPerStrip * kRowHeight;
    const int first = std::clamp(exposed.top() / stripHeight, 0, stripCount() - 1);
    const int last = std::clamp(exposed.bottom() / stripHeight, 0, stripCount() - 1);
    ++paintClock_;
    for (int index = first; index <= last; ++index) {
        Strip& strip = strips_[static_cast<std::size_t>(index)];
        if (strip.image.isNull()) {
            makeRoom(stripBytes(index), first, last);
            if (!drawStrip(index)) continue;
        }
        strip.lastShown = paintClock_;
        painter.drawImage(QPoint(0, index * stripHeight), strip.image);
    }
}

}  // namespace viewer
