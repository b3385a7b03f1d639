#include "panel/vo_exif.h"

#include "controls/flat_scroll_bar.h"
#include "exif/report.h"
#include "panel/drop_refuser.h"
#include "panel/hint_icon.h"
#include "panel/list_surface.h"
#include "panel/map_links.h"
#include "platform/gdip_graphics.h"
#include "platform/gdip_image.h"
#include "platform/mgdip.h"
#include "platform/open_url.h"
#include "platform/property_store.h"
#include "platform/runtime.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QTextDocument>
#include <QToolTip>
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
// A tooltip longer than this would cover the screen; it ends in "…" instead.
constexpr int kToolTipCharacters = 2000;

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
    picture3_->installEventFilter(this);

    voScroll1_ = new viewer::FlatScrollBar(this);
    voScroll1_->setObjectName(QStringLiteral("voScroll1"));
    voScroll1_->readProperties(DesignProperties(QStringLiteral("voExif"), QStringLiteral("voScroll1")));
    DropRefuser::Install(voScroll1_);
    voScroll1_->installEventFilter(this);
    connect(voScroll1_, &viewer::FlatScrollBar::valueChanged, this, &voExif::ScrollList);

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

// A surface drawn for another screen (the window moved to a denser one) is
// made again too, so the new photo is drawn at this screen's pixels.
void voExif::EnsureLaidOut() {
    if (size() != laidOutSize_ || surface_.devicePixelRatio() != devicePixelRatioF()) ResizeHandler();
}

QImage voExif::NewSurface() const {
    const qreal ratio = devicePixelRatioF();
    QImage surface(static_cast<int>(std::ceil(width() * ratio)), static_cast<int>(std::ceil(height() * ratio)),
                   QImage::Format_RGB32);
    surface.setDevicePixelRatio(ratio);
    return surface;
}

void voExif::ResizeHandler() {
    if (width() != kPanelWidth) resize(kPanelWidth, height());
    laidOutSize_ = size();
    const int panelWidth = width();
    const int panelHeight = height();
    surface_ = NewSurface();

    picture1_->setGeometry(kPreviewWidth, 0, panelWidth - kPreviewWidth - kScrollWidth, panelHeight);
    listClip_->setGeometry(picture1_->contentsRect());
    picture3_->setGeometry(0, 0, listClip_->width(), picture3_->height());
    voScroll1_->setGeometry(panelWidth - kScrollWidth, 0, kScrollWidth, picture1_->height());
    image2_->move(static_cast<int>(mGdip::RoundHalfEven((panelWidth - image2_->width()) / 2.0)), kIconTop);
    ShowEmptyHint();
}

void voExif::ShowEmptyHint() {
    showsPhoto_ = false;
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
    showsPhoto_ = true;
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
    gpsPosition_ = image->properties() ? exif::GpsPosition(*image->properties()) : std::nullopt;
    graphics.reset();
    RenderList();
}

void voExif::GetExifData(std::vector<std::string>& labels, std::vector<std::string>& values) const {
    list_.GetExifData(labels, values);
}

// A photo without entries gets one row, the line saying so, and no scroll bar.
void voExif::RenderList() {
    if (list_.EntryCount() == 0) {
        voScroll1_->hide();
        picture3_->Clear();
        picture3_->setGeometry(0, 0, listClip_->width(), kRowHeight);
        picture3_->DrawRows(1);
        picture1_->show();
        return;
    }
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
    if (wanted > viewer::FlatScrollBar::kMaximumLimit) {
        rowsPerStep_ = static_cast<int>(std::ceil(wanted / viewer::FlatScrollBar::kMaximumLimit));
        max = std::ceil(wanted / rowsPerStep_);
    }
    wheelRemainder_ = 0;
    voScroll1_->setMaximum(ClampToInt(max));
    voScroll1_->setValue(0);
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
    if (available == 0) {
        const RectF line{0, kCellTop, static_cast<float>(picture3_->width()), kCellHeight};
        DrawCellText(graphics.get(), NoMetadataText(), line, kTextColour, CellFont(), kCellFontSize,
                     StringAlignmentCenter);
        return;
    }
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
    if (voScroll1_->isHidden()) return;  // the line of a photo without metadata does not scroll
    wheelRemainder_ += angleDelta;
    const int notches = wheelRemainder_ / kWheelNotch;
    wheelRemainder_ -= notches * kWheelNotch;
    if (notches == 0) return;
    const int stepsPerNotch = std::max(1, kRowsPerNotch / rowsPerStep_);
    const double value = static_cast<double>(voScroll1_->value()) - static_cast<double>(notches) * stepsPerNotch;
    voScroll1_->setValue(static_cast<int>(std::clamp(value, -1.0, static_cast<double>(viewer::FlatScrollBar::kMaximumLimit))));
}

bool voExif::ScrollListKey(int key) {
    // Rows wholly in view make a page; a list longer than the scroll bar can
    // count moves several rows per step.
    const int page = std::max(1, listClip_->height() / kRowHeight / rowsPerStep_);
    const double value = voScroll1_->value();
    double target = value;
    switch (key) {
    case Qt::Key_Up: target = value - 1; break;
    case Qt::Key_Down: target = value + 1; break;
    case Qt::Key_PageUp: target = value - page; break;
    case Qt::Key_PageDown: target = value + page; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = voScroll1_->maximum(); break;
    default: return false;
    }
    if (voScroll1_->isHidden()) return true;  // no list, or one that has nothing to scroll
    voScroll1_->setValue(static_cast<int>(std::clamp(target, -1.0, static_cast<double>(viewer::FlatScrollBar::kMaximumLimit))));
    return true;
}

QString voExif::ReportText() const { return QString::fromStdString(exif::BuildReport(list_)); }

bool voExif::CopyReport() {
    if (!ShowsPhoto()) return false;
    QGuiApplication::clipboard()->setText(ReportText());
    return true;
}

QString voExif::NoMetadataText() { return QStringLiteral("此图像不含 EXIF 信息"); }

int voExif::RowAt(const QPoint& surfacePoint) const {
    if (!ShowsPhoto() || picture1_->isHidden() || surfacePoint.y() < 0) return -1;
    const std::size_t row = static_cast<std::size_t>(surfacePoint.y() / kRowHeight);
    return row < list_.Entries().size() && row < list_.EntryCount() ? static_cast<int>(row) : -1;
}

QMenu* voExif::RowMenu(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= list_.Entries().size()) return nullptr;
    const exif::MetadataEntry& entry = list_.Entries()[static_cast<std::size_t>(row)];
    const QString label = QString::fromStdString(entry.label);
    const QString value = QString::fromStdString(entry.value);
    auto* menu = new QMenu(this);
    const auto copy = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
    menu->addAction(QStringLiteral("复制"), menu, [=] { copy(label + QLatin1Char('\t') + value); });
    menu->addAction(QStringLiteral("复制值"), menu, [=] { copy(value); });
    const QString report = ReportText();
    menu->addAction(QStringLiteral("复制全部"), menu, [=] { copy(report); });
    if (gpsPosition_ && exif::IsGpsLabel(entry.label)) {
        const exif::GpsPoint point = *gpsPosition_;
        menu->addSeparator();
        menu->addAction(QStringLiteral("在地图中查看"), menu, [point] { platform::OpenUrl(maplinks::AmapUrl(point)); });
        menu->addAction(QStringLiteral("在 OpenStreetMap 中查看"), menu,
                        [point] { platform::OpenUrl(maplinks::OpenStreetMapUrl(point)); });
    }
    return menu;
}

bool voExif::CellTextCut(const QString& text, const RectF& layout, int alignment) const {
    const FontFamilyHandle family(GdipCreateFontFamilyFromName(CellFont()));
    const StringFormatHandle format(GdipCreateStringFormat(0, 0));
    const FontHandle font(GdipCreateFont(family.get(), kCellFontSize, FontStyleRegular, UnitPixel));
    GdipSetStringFormatFlags(format.get(), StringFormatFlagsNoWrap);
    GdipSetStringFormatAlign(format.get(), static_cast<StringAlignment>(alignment));
    GdipSetStringFormatTrimming(format.get(), StringTrimmingEllipsisCharacter);
    RectF unbounded = layout;
    unbounded.Width = 0;
    return GdipLayoutString(text, -1, font.get(), layout, format.get()).text !=
           GdipLayoutString(text, -1, font.get(), unbounded, format.get()).text;
}

// A label or value drawn cut short shows its whole text while the pointer
// rests on it. The text is the photo's: escaped, so that markup in it is
// shown as written and never interpreted.
bool voExif::ShowCutText(const QPoint& surfacePoint, const QPoint& globalPoint) {
    const int row = RowAt(surfacePoint);
    if (row < 0) return false;
    const exif::MetadataEntry& entry = list_.Entries()[static_cast<std::size_t>(row)];
    const Cell* cell = nullptr;
    QString text;
    if (surfacePoint.x() >= kValueCell.left && surfacePoint.x() < kValueCell.left + kValueCell.width) {
        cell = &kValueCell;
        text = QString::fromStdString(entry.value);
    } else if (surfacePoint.x() >= kLabelCell.left && surfacePoint.x() < kLabelCell.left + kLabelCell.width) {
        cell = &kLabelCell;
        text = QString::fromStdString(entry.label);
    }
    const int top = row * kRowHeight;
    if (!cell || text.isEmpty() ||
        !CellTextCut(text, RectF{static_cast<float>(cell->left), static_cast<float>(top + kCellTop),
                                 static_cast<float>(cell->width), kCellHeight},
                     cell->alignment))
        return false;
    if (text.size() > kToolTipCharacters) text = text.left(kToolTipCharacters) + QChar(0x2026);
    QToolTip::showText(globalPoint, Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal), picture3_,
                       QRect(cell->left, top, cell->width, kRowHeight));
    return true;
}

bool voExif::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && (watched == picture1_ || watched == voScroll1_)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        WheelList(wheel->angleDelta().y());
        wheel->accept();
        return true;
    }
    if (watched == picture3_ && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (!ShowCutText(help->pos(), help->globalPos())) QToolTip::hideText();
        return true;
    }
    if (watched == picture3_ && event->type() == QEvent::ContextMenu) {
        auto* request = static_cast<QContextMenuEvent*>(event);
        const std::unique_ptr<QMenu> menu(RowMenu(RowAt(request->pos())));
        if (menu) menu->exec(request->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void voExif::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.fillRect(exposed, Qt::white);
    // The surface is at device pixels: its part behind `exposed` is that
    // rectangle scaled by the ratio.
    const qreal ratio = surface_.devicePixelRatio();
    painter.drawImage(QRectF(exposed), surface_,
                      QRectF(exposed.x() * ratio, exposed.y() * ratio, exposed.width() * ratio,
                             exposed.height() * ratio));
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
