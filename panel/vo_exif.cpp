#include "panel/vo_exif.h"

#include "controls/fr_scroll.h"
#include "panel/drop_refuser.h"
#include "panel/hint_icon.h"
#include "panel/list_surface.h"
#include "platform/gdip_graphics.h"
#include "platform/gdip_image.h"
#include "platform/mgdip.h"
#include "platform/property_store.h"
#include "platform/runtime.h"

#include <QDropEvent>
#include <QFrame>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

namespace {

using namespace platform;

constexpr int kDefaultHeight = 418;
constexpr int kCaptionLeft = 8;
constexpr int kCaptionWidth = 192;
constexpr int kCaptionGap = 4;
constexpr int kCaptionLineStep = 12;
constexpr float kCellFontSize = 12;
constexpr int kCellTop = 4;
constexpr int kCellHeight = 12;
constexpr int kBandWidth = 550;
constexpr int kWheelNotch = 120;
// 16 points at the 96 dots per inch the layout assumes.
constexpr int kHintPixelSize = 21;
// The system window colour: the list's background.
constexpr std::uint32_t kWindowColour = 0x80000005u;

struct Cell {
    int left;
    int width;
    StringAlignment alignment;
};
constexpr Cell kNumberCell{0, 30, StringAlignmentCenter};
constexpr Cell kLabelCell{30, 160, StringAlignmentFar};
constexpr Cell kValueCell{198, 290, StringAlignmentNear};

const QString& CellFont() {
    static const QString name = QStringLiteral("宋体");
    return name;
}

int ClampToInt(double value) {
    return static_cast<int>(std::clamp(value, static_cast<double>(std::numeric_limits<int>::min()),
                                       static_cast<double>(std::numeric_limits<int>::max())));
}

// The first local file of a drop. Other entries (a second file, a web
// address dragged from a browser) are not opened.
QString FirstLocalFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return QString();
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty()) return path;
    }
    return QString();
}

}  // namespace

voExif::voExif(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    setFixedWidth(kPanelWidth);

    QPalette listPalette = palette();
    listPalette.setColor(QPalette::Window, ToQColor(kWindowColour));

    picture1_ = new QFrame(this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    picture1_->setLineWidth(kViewportFrame);
    picture1_->setPalette(listPalette);
    picture1_->setAutoFillBackground(true);
    DropRefuser::Install(picture1_);
    picture1_->installEventFilter(this);

    listClip_ = new QWidget(picture1_);
    listClip_->setPalette(listPalette);
    listClip_->setAutoFillBackground(true);

    picture3_ = new ListSurface(listClip_);
    picture3_->setObjectName(QStringLiteral("Picture3"));
    picture3_->setBackground(ToQColor(kWindowColour));
    picture3_->setRowPainter(
        [this](QImage& strip, int firstRow, int rowCount) { DrawListRows(strip, firstRow, rowCount); });
    picture3_->setGeometry(0, 0, 0, 0);

    voScroll1_ = new frScroll(this);
    voScroll1_->setObjectName(QStringLiteral("voScroll1"));
    voScroll1_->ReadProperties(DesignProperties(QStringLiteral("voExif"), QStringLiteral("voScroll1")));
    DropRefuser::Install(voScroll1_);
    voScroll1_->installEventFilter(this);
    connect(voScroll1_, &frScroll::Change, this, &voExif::ScrollList);

    image2_ = new HintIcon(this);
    image2_->setObjectName(QStringLiteral("Image2"));
    connect(image2_, &HintIcon::Click, this, &voExif::SelectPhoto);

    resize(kPanelWidth, kDefaultHeight);
    ResizeHandler();
}

voExif::~voExif() = default;

// Qt delivers the resize of a hidden widget only when it is shown; the
// panel is laid out at once, and a deferred event for a size already laid
// out must not wipe a photo opened meanwhile.
void voExif::resizeEvent(QResizeEvent*) {
    if (size() != laidOutSize_) ResizeHandler();
}

void voExif::EnsureLaidOut() {
    if (size() != laidOutSize_) ResizeHandler();
}

void voExif::ResizeHandler() {
    if (width() != kPanelWidth) resize(kPanelWidth, height());
    laidOutSize_ = size();
    const int panelWidth = width();
    const int panelHeight = height();
    surface_ = QImage(panelWidth, panelHeight, QImage::Format_RGB32);

    picture1_->setGeometry(kPreviewWidth, 0, panelWidth - kPreviewWidth - kScrollWidth, panelHeight);
    listClip_->setGeometry(picture1_->contentsRect());
    picture3_->setGeometry(0, 0, listClip_->width(), picture3_->height());
    voScroll1_->setGeometry(panelWidth - kScrollWidth, 0, kScrollWidth, picture1_->height());
    image2_->move(static_cast<int>(mGdip::RoundHalfEven((panelWidth - image2_->width()) / 2.0)), kIconTop);
    ShowEmptyHint();
}

void voExif::ShowEmptyHint() {
    image2_->show();
    picture1_->hide();
    voScroll1_->hide();

    surface_.fill(Qt::white);
    if (!surface_.isNull()) {
        QPainter painter(&surface_);
        QFont hintFont = font();
        hintFont.setPixelSize(kHintPixelSize);
        painter.setFont(hintFont);
        painter.setPen(Qt::black);
        const QString hint = QStringLiteral("点击图标或拖动图像到这里");
        const QFontMetricsF metrics(hintFont);
        const qreal left = (width() - metrics.horizontalAdvance(hint)) / 2;
        painter.drawText(QPointF(left, kHintTop + metrics.ascent()), hint);
    }
    update();
}

void voExif::DrawCellText(GpGraphics* graphics, const QString& text, const RectF& layout,
                          std::uint32_t colour, const QString& fontName, float size, int alignment) {
    if (text.isEmpty()) return;
    const FontFamilyHandle family(GdipCreateFontFamilyFromName(fontName));
    const StringFormatHandle format(GdipCreateStringFormat(0, 0));
    const FontHandle font(GdipCreateFont(family.get(), size, FontStyleRegular, UnitPixel));
    GdipSetStringFormatFlags(format.get(), StringFormatFlagsNoWrap);
    GdipSetStringFormatAlign(format.get(), static_cast<StringAlignment>(alignment));
    GdipSetStringFormatTrimming(format.get(), StringTrimmingEllipsisCharacter);
    const BrushHandle brush(GdipCreateSolidFill(colour));
    GdipDrawString(graphics, text, -1, font.get(), &layout, format.get(), brush.get());
    update();
}

bool voExif::DrawPreview(GpGraphics* graphics, const GpImage* image, int left, int top, int width,
                         int height) {
    const int sourceWidth = image->size().width();
    const int sourceHeight = image->size().height();
    if (graphics && width > 0 && height > 0) {
        return GdipDrawImageRectRectI(graphics, image, left, top, width, height, 0, 0, sourceWidth,
                                      sourceHeight, UnitPixel) == Ok;
    }
    // Nothing to draw (a photo fitted to less than a pixel): still prove that
    // its pixels can be read, at the smallest size.
    QImage probe(1, 1, QImage::Format_RGB32);
    const GraphicsHandle probeGraphics(GdipCreateFromHDC(&probe));
    return probeGraphics && GdipDrawImageRectRectI(probeGraphics.get(), image, 0, 0, 1, 1, 0, 0,
                                                   sourceWidth, sourceHeight, UnitPixel) == Ok;
}

void voExif::OpenPhoto(const QString& path) {
    EnsureLaidOut();
    mGdip::InitGDIPlus(true, true, QStringLiteral("GDI+ 初始化错误。程序即将关闭。"), vbCritical,
                       QStringLiteral("初始化错误"));
    const auto session = qScopeGuard([] { mGdip::TerminateGDIPlus(); });

    const ImageHandle image(GdipLoadImageFromFile(path));
    if (!image) {
        ShowEmptyHint();
        return;
    }

    surface_.fill(Qt::white);
    image2_->hide();

    std::uint32_t decodedWidth = 0;
    std::uint32_t decodedHeight = 0;
    GdipGetImageWidth(image.get(), &decodedWidth);
    GdipGetImageHeight(image.get(), &decodedHeight);
    const auto width = static_cast<std::int32_t>(std::min<std::uint32_t>(decodedWidth, INT32_MAX));
    const auto height = static_cast<std::int32_t>(std::min<std::uint32_t>(decodedHeight, INT32_MAX));
    std::int32_t w = width;
    std::int32_t h = height;
    const int panelHeight = this->height();
    mGdip::FitToBox(kPreviewWidth, panelHeight, w, h);
    const int left = static_cast<int>(mGdip::RoundHalfEven((kPreviewWidth - w) / 2.0));
    const int top = static_cast<int>(mGdip::RoundHalfEven((panelHeight - h) / 2.0));

    GraphicsHandle graphics(GdipCreateFromHDC(&surface_));
    // Only a photo whose pixels can be read replaces the current one: a file
    // that merely looks like an image (a header over nothing, a size its
    // bytes cannot hold) leaves the previous photo's name, path and list.
    if (!DrawPreview(graphics.get(), image.get(), left, top, w, h)) {
        graphics.reset();
        ShowEmptyHint();
        return;
    }

    list_.SetPhoto(path.toStdString());
    photoWidth_ = width;
    photoHeight_ = height;
    previewRect_ = QRect(left, top, w, h);
    const auto captionTop = static_cast<float>(top + h + kCaptionGap);
    captionRects_[0] = RectF{kCaptionLeft, captionTop, kCaptionWidth, 0};
    captionRects_[1] = RectF{kCaptionLeft, captionTop + kCaptionLineStep, kCaptionWidth, 0};
    DrawCellText(graphics.get(), QString::fromStdString(list_.PhotoName()), captionRects_[0],
                 kTextColour, CellFont(), kCellFontSize, StringAlignmentNear);
    DrawCellText(graphics.get(),
                 QString::number(width) + QString::fromUtf16(u" \u00D7 ") + QString::number(height),
                 captionRects_[1], kTextColour, CellFont(), kCellFontSize, StringAlignmentNear);

    update();
    setCursor(Qt::WaitCursor);
    const auto pointer = qScopeGuard([this] { unsetCursor(); });
    list_.LoadMetadata(image->properties());
    graphics.reset();
    if (list_.EntryCount() > 0) {
        RenderList();
    } else {
        // Nothing to list: the viewport and the scroll bar go, as in the
        // empty state, rather than showing the previous photo's rows.
        picture3_->Clear();
        picture1_->hide();
        voScroll1_->hide();
    }
}

void voExif::GetExifData(std::vector<std::string>& labels, std::vector<std::string>& values) const {
    list_.GetExifData(labels, values);
}

void voExif::RenderList() {
    const int innerHeight = listClip_->height();
    constexpr std::size_t kMaxRows = QWIDGETSIZE_MAX / kRowHeight;
    const int rows = static_cast<int>(std::min(list_.EntryCount(), kMaxRows));

    // Positions are worked out in 32 bits: the rows of a long list lie
    // beyond 32,767 pixels. A list longer than the scroll bar can count
    // (Max 32,755) moves several rows per step, so that every row can still
    // be reached.
    const double wanted = mGdip::RoundHalfEven((static_cast<double>(rows) * kRowHeight - innerHeight) / kRowHeight + 1);
    double max = wanted;
    rowsPerStep_ = 1;
    if (wanted > frScroll::kMaxLimit) {
        rowsPerStep_ = static_cast<int>(std::ceil(wanted / frScroll::kMaxLimit));
        max = std::ceil(wanted / rowsPerStep_);
    }
    wheelRemainder_ = 0;
    voScroll1_->SetMax(ClampToInt(max));
    voScroll1_->SetValue(0);
    voScroll1_->show();

    picture3_->Clear();
    picture3_->setGeometry(0, 0, listClip_->width(), rows * kRowHeight);
    picture3_->DrawRows(rows);
    picture3_->update();
    picture1_->show();
}

void voExif::DrawListRows(QImage& strip, int firstRow, int rowCount) {
    const std::vector<exif::MetadataEntry>& entries = list_.Entries();
    const auto available = static_cast<int>(std::min(entries.size(), list_.EntryCount()));
    GraphicsHandle graphics(GdipCreateFromHDC(&strip));
    const BrushHandle band(GdipCreateSolidFill(kBandColour));
    for (int k = 0; k < rowCount; ++k) {
        const int row = firstRow + k;
        if (row >= available) break;
        const int y = k * kRowHeight;
        if (row % 2 == 1) GdipFillRectangleI(graphics.get(), band.get(), 0, y, kBandWidth, kRowHeight);
        const exif::MetadataEntry& entry = entries[static_cast<std::size_t>(row)];
        const QString texts[] = {QString::number(row + 1), QString::fromStdString(entry.label),
                                 QString::fromStdString(entry.value)};
        const Cell* cells[] = {&kNumberCell, &kLabelCell, &kValueCell};
        for (int c = 0; c < 3; ++c) {
            const RectF rect{static_cast<float>(cells[c]->left), static_cast<float>(y + kCellTop),
                             static_cast<float>(cells[c]->width), kCellHeight};
            DrawCellText(graphics.get(), texts[c], rect, kTextColour, CellFont(), kCellFontSize,
                         cells[c]->alignment);
        }
    }
}

void voExif::ScrollList(int value) {
    const double top = -static_cast<double>(kRowHeight) * rowsPerStep_ * value;
    picture3_->move(picture3_->x(), ClampToInt(top));
}

void voExif::WheelList(int angleDelta) {
    wheelRemainder_ += angleDelta;
    const int notches = wheelRemainder_ / kWheelNotch;
    wheelRemainder_ -= notches * kWheelNotch;
    if (notches == 0) return;
    const int stepsPerNotch = std::max(1, kRowsPerNotch / rowsPerStep_);
    const double value = static_cast<double>(voScroll1_->Value()) - static_cast<double>(notches) * stepsPerNotch;
    voScroll1_->SetValue(static_cast<int>(std::clamp(value, -1.0, static_cast<double>(frScroll::kMaxLimit))));
}

bool voExif::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && (watched == picture1_ || watched == voScroll1_)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        WheelList(wheel->angleDelta().y());
        wheel->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void voExif::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.fillRect(exposed, Qt::white);
    painter.drawImage(exposed.topLeft(), surface_, exposed);
}

void voExif::dragEnterEvent(QDragEnterEvent* event) {
    if (FirstLocalFile(event->mimeData()).isEmpty()) event->ignore();
    else event->acceptProposedAction();
}

void voExif::dragMoveEvent(QDragMoveEvent* event) {
    if (FirstLocalFile(event->mimeData()).isEmpty()) event->ignore();
    else event->acceptProposedAction();
}

void voExif::dropEvent(QDropEvent* event) {
    const QString path = FirstLocalFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OpenPhoto(path);
}
