// voExif: the photo panel. It shows either the empty state (the hint icon and
// the hint line) or one photo: its preview in the 200-pixel column on the
// left with the file name and pixel size under it, and the numbered list of
// its metadata on the right, scrolled by voScroll1. Photos come from the
// host (OpenPhoto, after SelectPhoto asked for one) or are dropped on it.
//
// The preview and the caption are drawn once per photo onto the panel's own
// surface; the rows once onto the list surface. Repaints only copy them.
#pragma once

#include "exif/gps_position.h"
#include "exif/metadata_list.h"
#include "platform/gdip_objects.h"

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QFrame;
class QMenu;
namespace viewer {
class FlatScrollBar;
}
class HintIcon;
class ListSurface;

namespace platform {
struct GpGraphics;
class GpImage;
}

class voExif : public QWidget {
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

    // Colours handed to the drawing layer, ARGB.
    static constexpr std::uint32_t kTextColour = 0xFF000000u;
    static constexpr std::uint32_t kBandColour = 0xFFF2F3DEu;

    explicit voExif(QWidget* parent = nullptr);
    ~voExif() override;

    // Loads the photo at `path`, draws its preview and caption and its
    // metadata list. A file that is not a decodable image shows the empty
    // state and keeps the previous photo's name, path and list.
    void OpenPhoto(const QString& path);
    // The empty state: icon and hint line, no preview, list and scroll bar hidden.
    void ShowEmptyHint();
    // One unwrapped line of text in `layout` (a width or height of 0 is
    // unbounded), cut with an ellipsis when too wide; alignment 0 near, 1
    // centre, 2 far. An empty text draws nothing.
    void DrawCellText(platform::GpGraphics* graphics, const QString& text,
                      const platform::RectF& layout, std::uint32_t colour, const QString& fontName,
                      float size, int alignment);

    // Whether a photo is on screen: false in the empty state, which a failed
    // open shows although the previous photo's list is kept.
    bool ShowsPhoto() const { return showsPhoto_; }

    // The current photo's metadata, name and path (empty before the first).
    void GetExifData(std::vector<std::string>& labels, std::vector<std::string>& values) const;
    const std::string& PhotoName() const { return list_.PhotoName(); }
    const std::string& PhotoFile() const { return list_.PhotoFile(); }
    const exif::MetadataList& metadata() const { return list_; }

    // The photo's pixel size as the decoder reported it (0 before the first).
    std::int32_t photoWidth() const { return photoWidth_; }
    std::int32_t photoHeight() const { return photoHeight_; }

    // Where the preview was drawn and where its two caption lines were laid
    // out, in panel pixels.
    QRect previewRect() const { return previewRect_; }
    platform::RectF captionRect(int line) const { return captionRects_[line == 0 ? 0 : 1]; }

    // Rows of the list per step of the scroll bar: 1, unless the list is
    // longer than the scroll bar can count.
    int rowsPerStep() const { return rowsPerStep_; }

    // The persistent drawing surface behind the panel, at device pixels.
    const QImage& surface() const { return surface_; }

    // The report of the current photo, as the save command writes it.
    QString ReportText() const;
    // Puts the report on the clipboard; false (and the clipboard untouched)
    // when no photo is on screen.
    bool CopyReport();

    // Moves the list as the wheel does, through the scroll bar's Value: Up
    // and Down by a row, Page Up and Page Down by the rows the viewport
    // shows, Home and End to the ends. False for any other key.
    bool ScrollListKey(int key);

    // Where the current photo was taken, when its GPS items say.
    const std::optional<exif::GpsPoint>& gpsPosition() const { return gpsPosition_; }
    // The list row under a point of the list surface, or -1.
    int RowAt(const QPoint& surfacePoint) const;
    // The pop-up menu of a list row: copy the row, its value or the whole
    // report; on the GPS rows of a photo with a position, show it on a map.
    // The caller owns the menu.
    QMenu* RowMenu(int row);

    // The line the list area shows for a photo without metadata.
    static QString NoMetadataText();

    QFrame* picture1() const { return picture1_; }
    ListSurface* picture3() const { return picture3_; }
    viewer::FlatScrollBar* voScroll1() const { return voScroll1_; }
    HintIcon* image2() const { return image2_; }

signals:
    // The hint icon was clicked: the host should ask for a photo.
    void SelectPhoto();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A surface of the panel's size at the screen's device pixels.
    QImage NewSurface() const;
    bool ShowCutText(const QPoint& surfacePoint, const QPoint& globalPoint);
    // True when DrawCellText would cut `text` short in `layout`.
    bool CellTextCut(const QString& text, const platform::RectF& layout, int alignment) const;
    void ResizeHandler();
    void EnsureLaidOut();
    // Decodes and draws the preview; false when the pixels cannot be read.
    bool DrawPreview(platform::GpGraphics* graphics, const platform::GpImage* image, int left,
                     int top, int width, int height);
    void RenderList();
    void DrawListRows(QImage& strip, int firstRow, int rowCount);
    void ScrollList(int value);
    void WheelList(int angleDelta);

    exif::MetadataList list_;
    std::optional<exif::GpsPoint> gpsPosition_;
    bool showsPhoto_ = false;
    std::int32_t photoWidth_ = 0;
    std::int32_t photoHeight_ = 0;
    QRect previewRect_;
    platform::RectF captionRects_[2];
    int rowsPerStep_ = 1;
    int wheelRemainder_ = 0;

    QImage surface_;
    QSize laidOutSize_;

    QFrame* picture1_ = nullptr;
    QWidget* listClip_ = nullptr;  // Picture1's inside: clips the list within the frame
    ListSurface* picture3_ = nullptr;
    viewer::FlatScrollBar* voScroll1_ = nullptr;
    HintIcon* image2_ = nullptr;
};
