// The large view: the photo upright over the whole screen, at the largest
// size that fits it. The decoder worker decodes it for the screen's device
// pixels (a JPEG by the scaled decoder at the smallest factor that covers
// them, a HEIF photo's primary image, a raw file's largest preview); zoomed
// in past those pixels, the view asks for the photo again at a whole
// fraction of its size that covers the zoom, within a budget. The wheel
// zooms about the pointer, a drag moves the photo, "1" shows 100 %, "0" fits,
// ←/→ ask for the folder's previous and next photo, H shows the histogram,
// Esc or a click beside the photo closes the view.
//
// The worker runs while the view is open and ends when it closes, and with
// it the memory a large decode took.
#pragma once

#include "largeview/histogram.h"
#include "largeview/photo_zoom.h"
#include "sandbox/decoder_client.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>

namespace photo {
class PhotoFile;
}

namespace viewer {

class LargeView : public QWidget {
    Q_OBJECT

public:
    // What one decode may cost the worker: a 48-megapixel HEIF photo is
    // decoded whole before it is shrunk, which takes seconds on a busy
    // two-core machine.
    static constexpr int kDecodeTimeLimitMs = 30000;
    // The most a sharper picture for a zoom may take (4 bytes a pixel).
    static constexpr qint64 kDetailBudgetBytes = 64LL << 20;

    explicit LargeView(QWidget* parent = nullptr);
    ~LargeView() override;

    // Covers the screen `over` is on and shows the photo at `path`.
    void showOver(QWidget* over, const QString& path);
    // Shows another photo in the open view, fitted; the photo already shown
    // stays as it is, zoom and all (a folder of one photo steps onto itself).
    void showPhoto(const QString& path);

    // The pictures the worker gave for the fitted view and for the zoom
    // (null when there is none).
    const QImage& fittedPicture() const { return fitted_; }
    const QImage& detailPicture() const { return detail_; }
    // The photo could not be shown: "无法预览" and the reason are.
    bool failed() const { return failed_; }
    QString problem() const { return problem_; }
    // Waiting for the worker.
    bool decoding() const { return pending_ != 0; }
    // The photo's upright size in its own pixels.
    QSize photoSize() const { return photoSize_; }

    const PhotoZoom& zoom() const { return zoom_; }
    bool histogramShown() const { return histogramShown_; }
    const Histogram& histogram() const { return histogram_; }
    // Where the histogram is drawn, and its marks of clipped shadows and
    // highlights, in view pixels.
    QRect histogramRect() const;
    QRectF shadowMarkRect() const;
    QRectF highlightMarkRect() const;

    // Tests start the worker from the build tree; empty options restore the
    // installed worker.
    static void setWorkerOptions(const sandbox::DecoderClient::Options& options);

signals:
    // ← or →: the window should step through the folder.
    void stepRequested(int step);
    // A picture or a problem arrived.
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void request(const QSize& size, bool detail);
    void takePicture(quint64 id, const sandbox::DecodedPicture& picture);
    void showProblem(const QString& reason);
    // The view in device pixels, within what the worker may send.
    QSize screenBox() const;
    // After the zoom settles: a sharper picture when the zoom shows more
    // device pixels than the pictures have; smaller than `refused`, when
    // the worker refused that.
    void askForDetail(const QSize& refused = QSize());
    void zoomChanged();
    void updateCursor();
    void drawHistogram(QPainter& painter);

    std::unique_ptr<sandbox::DecoderClient> client_;
    std::shared_ptr<const photo::PhotoFile> file_;
    QString path_;
    sandbox::FormatHint format_ = sandbox::FormatHint::Unknown;
    QSize photoSize_;
    quint64 pending_ = 0;
    bool pendingDetail_ = false;
    QSize pendingRequest_;
    QSize
        pendingPhotoSize_;  // of the photo asked for; empty when not known before its picture comes

    QImage fitted_;
    QImage detail_;
    bool failed_ = false;
    QString problem_;
    Histogram histogram_;
    QImage histogramPicture_;  // drawn once per histogram
    bool histogramShown_ = false;

    PhotoZoom zoom_;
    QTimer detailTimer_;
    bool pressed_ = false;
    bool dragging_ = false;
    bool pressedOnPhoto_ = false;
    QPointF pressedAt_;
    QPointF lastAt_;
};

}  // namespace viewer
