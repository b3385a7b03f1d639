#include "largeview/large_view.h"

#include "photo/opened_photo.h"
#include "photo/photo_file.h"
#include "sandbox/protocol.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace viewer {
namespace {

constexpr QRgb kBackdrop = 0xFF141414u;
constexpr double kZoomPerNotch = 1.25;
constexpr int kWheelNotch = 120;
// The zoom settles before a sharper picture is asked for: a turn of the
// wheel is several events.
constexpr int kDetailDelayMs = 150;
constexpr int kProblemPixels = 18;

// The histogram: 256 levels a pixel each, in a box in the bottom right
// corner, under a row for the marks of clipping.
constexpr int kPlotWidth = 256;
constexpr int kPlotHeight = 100;
constexpr int kHistogramPadding = 10;
constexpr int kHistogramMargin = 24;
constexpr int kMarkSize = 8;
constexpr int kMarkRow = kMarkSize + 4;

struct FormatHintOf {
    photo::Format format;
    sandbox::FormatHint hint;
};
constexpr FormatHintOf kFormatHints[] = {
    {photo::Format::Jpeg, sandbox::FormatHint::Jpeg},
    {photo::Format::Png, sandbox::FormatHint::Png},
    {photo::Format::Gif, sandbox::FormatHint::Gif},
    {photo::Format::Bmp, sandbox::FormatHint::Bmp},
    {photo::Format::Tiff, sandbox::FormatHint::Tiff},
    {photo::Format::WebP, sandbox::FormatHint::WebP},
    {photo::Format::Ico, sandbox::FormatHint::Ico},
    {photo::Format::Heif, sandbox::FormatHint::Heif},
    {photo::Format::Raw, sandbox::FormatHint::Raw},
};

sandbox::FormatHint HintFor(photo::Format format) {
    for (const FormatHintOf& entry : kFormatHints)
        if (entry.format == format) return entry.hint;
    return sandbox::FormatHint::Unknown;
}

sandbox::DecoderClient::Options& WorkerOptions() {
    static sandbox::DecoderClient::Options options;
    return options;
}

qint64 PictureBytes(const QSize& size) { return qint64{size.width()} * size.height() * 4; }

bool WithinPictureLimits(const QSize& size) {
    return static_cast<std::uint32_t>(size.width()) <= sandbox::kMaxPictureSide &&
           static_cast<std::uint32_t>(size.height()) <= sandbox::kMaxPictureSide &&
           static_cast<std::uint64_t>(PictureBytes(size)) <= sandbox::kMaxPictureBytes;
}

// The photo's size divided by `divisor`, rounded up as the decoders' whole
// factors round.
QSize DividedUp(const QSize& photo, int divisor) {
    return QSize((photo.width() + divisor - 1) / divisor, (photo.height() + divisor - 1) / divisor);
}

// A sharper picture is never a smaller fraction of the photo than this.
constexpr int kMostDivisor = 64;

}  // namespace

LargeView::LargeView(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("largeView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    detailTimer_.setSingleShot(true);
    detailTimer_.setInterval(kDetailDelayMs);
    connect(&detailTimer_, &QTimer::timeout, this, [this] { askForDetail(); });
}

LargeView::~LargeView() = default;

void LargeView::setWorkerOptions(const sandbox::DecoderClient::Options& options) {
    WorkerOptions() = options;
}

void LargeView::showOver(QWidget* over, const QString& path) {
    QScreen* screen = over && over->screen() ? over->screen() : QGuiApplication::primaryScreen();
    if (!client_) {
        sandbox::DecoderClient::Options options = WorkerOptions();
        options.timeLimitMs = kDecodeTimeLimitMs;
        client_ = std::make_unique<sandbox::DecoderClient>(options);
        connect(client_.get(), &sandbox::DecoderClient::decoded, this, &LargeView::takePicture);
        client_->start();
    }
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
        zoom_.setView(screen->geometry().size(), screen->devicePixelRatio());
    }
    showFullScreen();
    raise();
    activateWindow();
    showPhoto(path);
}

void LargeView::showPhoto(const QString& path) {
    if (!client_ || (path == path_ && !failed_ && (!fitted_.isNull() || pending_ != 0))) return;
    detailTimer_.stop();
    path_ = path;
    photo::OpenedPhoto opened = photo::OpenedPhoto::open(path);
    if (!opened.isOpen()) {
        client_->cancel();
        pending_ = 0;
        showProblem(photo::reasonText(opened.problem()));
        return;
    }
    // The photo shown so far stays until the new one's picture comes.
    file_ = opened.file();
    format_ = HintFor(opened.format());
    // The worker fits the photo within the screen; its size comes back
    // with the picture (the viewer reads no header).
    pendingPhotoSize_ = QSize();
    request(screenBox(), false);
}

QSize LargeView::screenBox() const {
    const double ratio = devicePixelRatioF();
    QSize box(std::max(1, static_cast<int>(std::lround(width() * ratio))),
              std::max(1, static_cast<int>(std::lround(height() * ratio))));
    while (!WithinPictureLimits(box)) box = DividedUp(box, 2);
    return box;
}

void LargeView::request(const QSize& size, bool detail) {
    if (!client_ || !file_) return;
    pendingDetail_ = detail;
    pendingRequest_ = size;
    pending_ = client_->request(file_->descriptor(), format_, size);
    updateCursor();
}

void LargeView::takePicture(quint64 id, const sandbox::DecodedPicture& picture) {
    if (id != pending_) return;
    pending_ = 0;
    updateCursor();
    if (pendingDetail_) {
        if (picture.ok()) {
            detail_ = picture.image;
            update();
            emit pictureChanged();
        } else {
            // Refused (a decode limit): the next smaller fraction may pass;
            // without any, the fitted picture is shown enlarged.
            askForDetail(pendingRequest_);
        }
        return;
    }
    if (!picture.ok()) {
        showProblem(picture.reason);
        return;
    }
    fitted_ = picture.image;
    detail_ = QImage();
    failed_ = false;
    problem_.clear();
    photoSize_ = !picture.photoSize.isEmpty()   ? picture.photoSize
                 : !pendingPhotoSize_.isEmpty() ? pendingPhotoSize_
                                                : fitted_.size();
    zoom_.setPhoto(photoSize_);
    histogram_ = histogramOf(fitted_);
    histogramPicture_ = QImage();
    updateCursor();
    update();
    emit pictureChanged();
}

void LargeView::showProblem(const QString& reason) {
    fitted_ = QImage();
    detail_ = QImage();
    histogram_ = Histogram();
    histogramPicture_ = QImage();
    photoSize_ = QSize();
    zoom_.setPhoto(QSize());
    failed_ = true;
    problem_ = reason;
    updateCursor();
    update();
    emit pictureChanged();
}

void LargeView::askForDetail(const QSize& refused) {
    if (!file_ || fitted_.isNull() || pending_ != 0) return;
    const QImage& sharpest = detail_.isNull() ? fitted_ : detail_;
    const double shownWidth = zoom_.photoRect().width() * devicePixelRatioF();
    if (shownWidth <= sharpest.width() || sharpest.width() >= photoSize_.width()) return;
    // A whole fraction of the photo is what every decoder makes without
    // scaling again: libjpeg's factors, a HEIF photo's whole-factor shrink.
    int divisor = 1;
    while (divisor < kMostDivisor && DividedUp(photoSize_, divisor * 2).width() >= shownWidth)
        divisor *= 2;
    QSize target = DividedUp(photoSize_, divisor);
    while (divisor < kMostDivisor &&
           (PictureBytes(target) > kDetailBudgetBytes || !WithinPictureLimits(target) ||
            (refused.isValid() && target.width() >= refused.width())))
        target = DividedUp(photoSize_, divisor *= 2);
    if (target.width() <= sharpest.width() ||
        (refused.isValid() && target.width() >= refused.width()))
        return;
    request(target, true);
}

void LargeView::zoomChanged() {
    updateCursor();
    update();
    detailTimer_.start();
}

void LargeView::updateCursor() {
    if (pending_ != 0) setCursor(Qt::BusyCursor);
    else if (dragging_) setCursor(Qt::ClosedHandCursor);
    else if (zoom_.photoRect().width() > width() || zoom_.photoRect().height() > height())
        setCursor(Qt::OpenHandCursor);
    else unsetCursor();
}

void LargeView::resizeEvent(QResizeEvent*) {
    zoom_.setView(size(), devicePixelRatioF());
    histogramPicture_ = QImage();
    zoomChanged();
}

void LargeView::hideEvent(QHideEvent*) {
    // The worker and the pictures go: a large decode's memory is not kept
    // for a view that is not there.
    detailTimer_.stop();
    client_.reset();
    file_.reset();
    path_.clear();
    pending_ = 0;
    fitted_ = QImage();
    detail_ = QImage();
    histogram_ = Histogram();
    histogramPicture_ = QImage();
    failed_ = false;
    problem_.clear();
    photoSize_ = QSize();
    zoom_.setPhoto(QSize());
    pressed_ = dragging_ = false;
}

void LargeView::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    const QPointF centre(width() / 2.0, height() / 2.0);
    switch (event->key()) {
    case Qt::Key_Escape: close(); return;
    case Qt::Key_1:
        zoom_.zoomTo(zoom_.actualScale(), centre);
        zoomChanged();
        return;
    case Qt::Key_0:
        zoom_.fit();
        zoomChanged();
        return;
    case Qt::Key_Left:
    case Qt::Key_Backspace: emit stepRequested(-1); return;
    case Qt::Key_Right:
    case Qt::Key_Space: emit stepRequested(1); return;
    case Qt::Key_H:
        histogramShown_ = !histogramShown_;
        update();
        return;
    default: break;
    }
    QWidget::keyPressEvent(event);
}

void LargeView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = delta.y() != 0 ? delta.y() : delta.x();
    if (steps == 0 || fitted_.isNull()) return;
    zoom_.zoomBy(std::pow(kZoomPerNotch, static_cast<double>(steps) / kWheelNotch),
                 event->position());
    zoomChanged();
    event->accept();
}

void LargeView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    dragging_ = false;
    pressedAt_ = lastAt_ = event->position();
    pressedOnPhoto_ = !fitted_.isNull() && zoom_.photoRect().contains(event->position());
}

void LargeView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) return;
    if (!dragging_ &&
        (event->position() - pressedAt_).manhattanLength() >= QApplication::startDragDistance()) {
        dragging_ = true;
        updateCursor();
    }
    if (!dragging_) return;
    zoom_.moveBy(event->position() - lastAt_);
    lastAt_ = event->position();
    update();
}

// A click beside the photo closes the view; a drag, wherever it started,
// only moves the photo.
void LargeView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    const bool clickedBeside = !dragging_ && !pressedOnPhoto_;
    pressed_ = dragging_ = false;
    updateCursor();
    if (clickedBeside) close();
}

void LargeView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(kBackdrop));
    if (!fitted_.isNull()) {
        // The fitted picture at its own size; the sharper one only where the
        // zoom shows more than the fitted picture has (shrunk by the painter
        // it would alias).
        const QRectF target = zoom_.photoRect();
        const bool sharper =
            !detail_.isNull() && target.width() * devicePixelRatioF() > fitted_.width();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, sharper ? detail_ : fitted_);
    } else if (failed_) {
        QFont font = painter.font();
        font.setPixelSize(kProblemPixels);
        painter.setFont(font);
        painter.setPen(Qt::white);
        const QString line = QStringLiteral("无法预览");
        painter.drawText(rect(), Qt::AlignCenter,
                         problem_.isEmpty() ? line : line + QLatin1Char('\n') + problem_);
    }
    if (histogramShown_ && histogram_.pixels > 0) drawHistogram(painter);
}

QRect LargeView::histogramRect() const {
    const QSize box(kPlotWidth + 2 * kHistogramPadding,
                    kMarkRow + kPlotHeight + 2 * kHistogramPadding);
    return QRect(QPoint(width() - kHistogramMargin - box.width(),
                        height() - kHistogramMargin - box.height()),
                 box);
}

QRectF LargeView::shadowMarkRect() const {
    const QRect box = histogramRect();
    return QRectF(box.left() + kHistogramPadding, box.top() + kHistogramPadding, kMarkSize,
                  kMarkSize);
}

QRectF LargeView::highlightMarkRect() const {
    const QRect box = histogramRect();
    return QRectF(box.right() + 1 - kHistogramPadding - kMarkSize, box.top() + kHistogramPadding,
                  kMarkSize, kMarkSize);
}

// Red, green and blue added where they overlap (white where all three
// are), luminance as a light line, on a dark box the photo shows through.
// A mark in the top corner lights up in the colour of the clipped channels.
void LargeView::drawHistogram(QPainter& painter) {
    const QRect box = histogramRect();
    if (histogramPicture_.isNull()) {
        const qreal ratio = devicePixelRatioF();
        QImage picture(box.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter canvas(&picture);
        canvas.setRenderHint(QPainter::Antialiasing);
        canvas.setPen(Qt::NoPen);
        canvas.setBrush(QColor(0, 0, 0, 150));
        canvas.drawRoundedRect(QRectF(QPointF(0, 0), box.size()), 6, 6);

        const double peak = std::max<std::uint32_t>(histogram_.peak(), 1);
        const qreal left = kHistogramPadding, bottom = kHistogramPadding + kMarkRow + kPlotHeight;
        const auto curve = [&](Histogram::Channel channel, bool closed) {
            QPainterPath path;
            if (closed) path.moveTo(left, bottom);
            for (int level = 0; level < 256; ++level) {
                const qreal height =
                    std::min(1.0, histogram_.counts[channel][level] / peak) * kPlotHeight;
                const QPointF point(left + level + 0.5, bottom - height);
                if (!closed && level == 0) path.moveTo(point);
                else path.lineTo(point);
            }
            if (closed) {
                path.lineTo(left + kPlotWidth, bottom);
                path.closeSubpath();
            }
            return path;
        };
        canvas.setCompositionMode(QPainter::CompositionMode_Plus);
        const QColor colours[] = {QColor(200, 30, 30, 200), QColor(30, 190, 30, 200),
                                  QColor(40, 60, 230, 200)};
        for (int channel = Histogram::Red; channel <= Histogram::Blue; ++channel)
            canvas.fillPath(curve(static_cast<Histogram::Channel>(channel), true),
                            colours[channel]);
        canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
        canvas.strokePath(curve(Histogram::Luminance, false), QPen(QColor(235, 235, 235, 220), 1));

        const auto mark = [&](const QRectF& at, bool pointsLeft, bool red, bool green, bool blue) {
            QPolygonF triangle;
            if (pointsLeft)
                triangle << QPointF(at.left(), at.center().y()) << at.topRight()
                         << at.bottomRight();
            else
                triangle << at.topLeft() << QPointF(at.right(), at.center().y()) << at.bottomLeft();
            const bool clipped = red || green || blue;
            canvas.setPen(QPen(clipped ? QColor(red ? 255 : 0, green ? 255 : 0, blue ? 255 : 0)
                                       : QColor(150, 150, 150),
                               1));
            canvas.setBrush(clipped ? QBrush(QColor(red ? 255 : 0, green ? 255 : 0, blue ? 255 : 0))
                                    : QBrush(Qt::NoBrush));
            canvas.drawPolygon(triangle);
        };
        const QPointF origin = box.topLeft();
        mark(shadowMarkRect().translated(-origin), true, histogram_.shadowsClipped(Histogram::Red),
             histogram_.shadowsClipped(Histogram::Green),
             histogram_.shadowsClipped(Histogram::Blue));
        mark(highlightMarkRect().translated(-origin), false,
             histogram_.highlightsClipped(Histogram::Red),
             histogram_.highlightsClipped(Histogram::Green),
             histogram_.highlightsClipped(Histogram::Blue));
        canvas.end();
        histogramPicture_ = picture;
    }
    painter.drawImage(box.topLeft(), histogramPicture_);
}

}  // namespace viewer
