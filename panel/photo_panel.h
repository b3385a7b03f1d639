// The photo panel. It shows either the empty state (the hint icon and the
// hint line, and under it why the last file could not be opened) or one
// photo: its preview in the 200-pixel column on the left with the file name
// and pixel size under it, and the numbered list of its metadata on the
// right, moved by the scroll bar. A photo whose picture cannot be drawn is
// shown all the same, with "无法预览" and the reason in place of the preview.
// Photos come from the window (openPhoto, after photoRequested asked for
// one) or are dropped on the panel.
//
// Opening reads the file and its metadata at once; the picture comes from
// the decoder worker, and the window goes on meanwhile. The panel keeps
// showing what it showed for a moment, so that a photo decoded quickly
// appears in one step, list and preview together; a slow one shows its list
// first. A newer photo supersedes the one still being decoded.
//
// The preview and the caption are drawn once per photo onto the panel's own
// surface, the rows once onto the list surface; repaints only copy them.
#pragma once

#include "exif/gps_position.h"
#include "exif/metadata_list.h"
#include "sandbox/decoder_client.h"

#include <QImage>
#include <QRectF>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFrame;
class QMenu;

namespace viewer {

class FlatScrollBar;
class HintIcon;
class ListSurface;
class PreviewLoader;

class PhotoPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPanelWidth = 737;
    static constexpr int kPreviewWidth = 200;
    static constexpr int kScrollWidth = 17;
    static constexpr int kViewportFrame = 2;
    static constexpr int kIconTop = 106;
    static constexpr int kHintTop = 260;
    static constexpr int kRowHeight = 20;
    static constexpr int kRowsPerNotch = 3;
    // ARGB: the text of every cell and caption, the band of the odd rows.
    static constexpr QRgb kTextColour = 0xFF000000u;
    static constexpr QRgb kBandColour = 0xFFF2F3DEu;

    // How long the panel keeps showing what it showed while a new photo's
    // picture is on its way: a photo drawn within it appears in one step.
    static constexpr int kPreviewPatienceMs = 100;

    // Pictures come through `previews` (the panel's own, with the installed
    // decoder worker, when none is given).
    explicit PhotoPanel(QWidget* parent = nullptr, PreviewLoader* previews = nullptr);
    ~PhotoPanel() override;

    // Opens the photo at `path`: reads it and its metadata list at once, and
    // asks for its preview, drawn with the caption when it comes
    // (previewSettled). A file that cannot be opened at all (missing, not
    // readable, not a photo) leaves the empty state with a line saying why,
    // and keeps the previous photo's name, path and list; so does a file of
    // which neither the picture nor any metadata can be read. A photo with
    // metadata but no picture is shown with the placeholder and the reason.
    void openPhoto(const QString& path);
    // The empty state: icon and hint line, no preview, list and scroll bar
    // hidden. A photo still being decoded is given up.
    void showEmptyHint();

    // Why the last photo asked for shows no picture (the placeholder's
    // reason, or why it could not be opened); empty when it shows one.
    QString reason() const { return reason_; }
    // The size in device pixels a photo's picture is asked for: the photo is
    // fitted within it.
    QSize previewBox() const;
    // Whether the last photo opened still waits for its picture.
    bool previewPending() const { return pending_ != nullptr; }
    // How long a photo's picture may take before the panel shows the photo
    // without it (kPreviewPatienceMs; tests lengthen or shorten it).
    void setPreviewPatience(int milliseconds) { patienceMs_ = milliseconds; }

    // One line of a cell or of the caption in `cell` (a width of 0 is
    // unbounded), as the panel draws them: 宋体 at 12 pixels, black, cut with
    // an ellipsis when too wide. An empty text draws nothing.
    static void drawCellText(QPainter& painter, const QString& text, const QRectF& cell,
                             Qt::Alignment alignment);

    // Whether a photo is on screen: false in the empty state, which a failed
    // open shows although the previous photo's list is kept.
    bool showsPhoto() const { return showsPhoto_; }

    // The current photo's metadata, name and path (empty before the first).
    void exifData(std::vector<std::string>& labels, std::vector<std::string>& values) const;
    const std::string& photoName() const { return list_.PhotoName(); }
    const std::string& photoFile() const { return list_.PhotoFile(); }
    const exif::MetadataList& metadata() const { return list_; }

    // The photo's upright pixel size (0 before the first, and while its
    // picture is on its way or when its header cannot be read).
    int photoWidth() const { return photoSize_.width(); }
    int photoHeight() const { return photoSize_.height(); }

    // Where the preview was drawn and where its caption lines were laid
    // out, in panel pixels: the name, the pixel size, then the shooting
    // summary (an empty rectangle for a line not drawn).
    QRect previewRect() const { return previewRect_; }
    QRectF captionRect(int line) const;
    int captionLines() const { return static_cast<int>(captionRects_.size()); }
    // "iPhone 13 Pro · 26 mm · F1.5 · 1/134 s · ISO 32", or empty when the
    // photo says none of it.
    const QString& shootingSummary() const { return summary_; }
    // The summary as the caption draws it: broken at its separators into the
    // lines the caption's width holds (a part wider than that alone on its
    // line, cut when drawn).
    static QStringList summaryLines(const QString& summary);

    // Rows of the list per step of the scroll bar: 1, unless the list is
    // longer than the scroll bar can count.
    int rowsPerStep() const { return rowsPerStep_; }

    // The persistent drawing surface behind the panel, at device pixels.
    const QImage& surface() const { return surface_; }

    // The report of the current photo, as the save command writes it.
    QString reportText() const;
    // Puts the report on the clipboard; false (and the clipboard untouched)
    // when no photo is on screen.
    bool copyReport();

    // Moves the list as the wheel does, through the scroll bar's value: Up
    // and Down by a row, Page Up and Page Down by the rows the viewport
    // shows, Home and End to the ends. False for any other key.
    bool scrollListKey(int key);

    // Where the current photo was taken, when its GPS items say.
    const std::optional<exif::GpsPoint>& gpsPosition() const { return gpsPosition_; }
    // The list row under a point of the list surface, or -1.
    int rowAt(const QPoint& surfacePoint) const;
    // The pop-up menu of a list row: copy the row, its value or the whole
    // report; on the GPS rows of a photo with a position, show it on a map.
    // The caller owns the menu.
    QMenu* rowMenu(int row);

    // The line the list area shows for a photo without metadata.
    static QString noMetadataText();

    QFrame* listViewport() const { return listViewport_; }
    ListSurface* listSurface() const { return listSurface_; }
    FlatScrollBar* scrollBar() const { return scrollBar_; }
    HintIcon* hintIcon() const { return hintIcon_; }

signals:
    // The hint icon was clicked: the window should ask for a photo.
    void photoRequested();
    // The photo last opened is drawn: its preview, the placeholder, or (a
    // file that turned out unreadable) the empty state with the reason.
    void previewSettled();
    // The preview was double-clicked: the window should show it large.
    void previewActivated();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pending;
    struct Shown;

    // A surface of the panel's size at the screen's device pixels.
    QImage newSurface() const;
    void previewLoaded(quint64 ticket, const sandbox::DecodedPicture& picture);
    void drawEmptyState(const QString& line);
    void drawPreview(const sandbox::DecodedPicture& picture);
    void drawPlaceholder(const QSize& photoSize, const QString& reason);
    // The caption under a box of the column: the name, and the size when known.
    void drawCaption(QPainter& painter, const QRect& box, const QSize& photoSize);
    // Keeps the panel's pixels as they are until the picture comes or the
    // patience runs out, whichever is first.
    void holdPixels();
    void releasePixels();
    void givePendingUp();
    void layOut();
    void ensureLaidOut();
    bool showCutText(const QPoint& surfacePoint, const QPoint& globalPoint);
    void drawSummary(QPainter& painter, qreal top);
    void renderList();
    void drawListRows(QImage& strip, int firstRow, int rowCount);
    void scrollList(int value);
    void wheelList(int angleDelta);

    PreviewLoader* previews_ = nullptr;
    std::unique_ptr<Pending> pending_;
    // The photo shown before the one being opened, put back should that one
    // turn out unreadable.
    std::unique_ptr<Shown> previous_;
    QTimer patience_;
    int patienceMs_ = kPreviewPatienceMs;

    exif::MetadataList list_;
    std::optional<exif::GpsPoint> gpsPosition_;
    QString reason_;
    bool showsPhoto_ = false;
    QSize photoSize_{0, 0};
    QRect previewRect_;
    std::vector<QRectF> captionRects_;
    QString summary_;
    int rowsPerStep_ = 1;
    int wheelRemainder_ = 0;

    QImage surface_;
    QSize laidOutSize_;

    QFrame* listViewport_ = nullptr;  // framed; clips the list
    QWidget* listClip_ = nullptr;     // the viewport's inside, so the list never covers the frame
    ListSurface* listSurface_ = nullptr;
    FlatScrollBar* scrollBar_ = nullptr;
    HintIcon* hintIcon_ = nullptr;
};

}  // namespace viewer
