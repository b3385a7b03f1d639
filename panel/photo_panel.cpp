#include "panel/photo_panel.h"

#include "controls/flat_scroll_bar.h"
#include "exif/report.h"
#include "exif/shooting_summary.h"
#include "panel/drop_refuser.h"
#include "panel/hint_icon.h"
#include "panel/list_surface.h"
#include "panel/map_links.h"
#include "panel/preview_loader.h"
#include "photo/opened_photo.h"
#include "platform/colours.h"
#include "platform/layout.h"
#include "platform/messages.h"
#include "platform/open_url.h"
#include "platform/property_store.h"
#include "platform/text_line.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
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

namespace viewer {
namespace {

constexpr int kDefaultHeight = 418;
constexpr int kCaptionLeft = 8;
constexpr int kCaptionWidth = 192;
constexpr int kCaptionGap = 4;
constexpr int kCaptionLineStep = 12;
constexpr int kCellFontPixels = 12;
constexpr int kCellTop = 4;
constexpr int kCellHeight = 12;
constexpr int kBandWidth = 550;
constexpr int kWheelNotch = 120;
constexpr double kHintPoints = 16;
// The line under the hint that says why a file could not be opened, and
// the placeholder of a photo without a picture.
constexpr int kReasonPixels = 12;
constexpr int kPlaceholderTitlePixels = 14;
constexpr int kReasonLineGap = 34;  // below the hint line's top
constexpr int kReasonLineMargin = 16;
constexpr QRgb kReasonColour = 0xFF505050u;
constexpr QRgb kPlaceholderFill = 0xFFF0F0F0u;
constexpr QRgb kPlaceholderBorder = 0xFFC8C8C8u;
constexpr QRgb kPlaceholderText = 0xFF606060u;
// A placeholder narrower or lower than this (a panorama's fitted box) takes
// the default box instead, so that its two lines fit.
constexpr int kPlaceholderMinWidth = 160;
constexpr int kPlaceholderMinHeight = 60;
constexpr QSize kPlaceholderDefault{200, 150};
// The system window colour: the list's background.
constexpr std::uint32_t kWindowColour = platform::kSystemColourFlag | 5;
// A tooltip longer than this would cover the screen; it ends in "…" instead.
constexpr int kToolTipCharacters = 2000;

struct Cell {
    int left;
    int width;
    Qt::Alignment alignment;
};
constexpr Cell kNumberCell{0, 30, Qt::AlignHCenter};
constexpr Cell kLabelCell{30, 160, Qt::AlignRight};
constexpr Cell kValueCell{198, 290, Qt::AlignLeft};

// The face the design sets every cell in; without an installed face that
// stands for it, cells are not drawn.
const std::optional<QFont>& CellFont() {
    static const std::optional<QFont> font =
        platform::faceFont(QStringLiteral("宋体"), kCellFontPixels);
    return font;
}

QRectF CellRect(const Cell& cell, int top) {
    return QRectF(cell.left, top + kCellTop, cell.width, kCellHeight);
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

// One line of text, control characters shown as spaces: a file name may
// hold anything.
QString OneLine(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

QFont PanelFontAt(const QFont& base, int pixels) {
    QFont font = base;
    font.setPixelSize(pixels);
    return font;
}

}  // namespace

struct PhotoPanel::Pending {
    quint64 ticket = 0;
    QString name;  // the file's name, for the line should it prove unreadable
    bool hasMetadata = false;
};

struct PhotoPanel::Shown {
    exif::MetadataList list;
    std::optional<exif::GpsPoint> gpsPosition;
    QSize photoSize;
    QString summary;
};

PhotoPanel::PhotoPanel(QWidget* parent, PreviewLoader* previews) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    setFixedWidth(kPanelWidth);

    QPalette listPalette = palette();
    listPalette.setColor(QPalette::Window, platform::toQColor(kWindowColour));

    listViewport_ = new QFrame(this);
    listViewport_->setObjectName(QStringLiteral("listViewport"));
    listViewport_->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    listViewport_->setLineWidth(kViewportFrame);
    listViewport_->setPalette(listPalette);
    listViewport_->setAutoFillBackground(true);
    DropRefuser::install(listViewport_);
    listViewport_->installEventFilter(this);

    listClip_ = new QWidget(listViewport_);
    listClip_->setPalette(listPalette);
    listClip_->setAutoFillBackground(true);

    listSurface_ = new ListSurface(listClip_);
    listSurface_->setObjectName(QStringLiteral("listSurface"));
    listSurface_->setBackground(platform::toQColor(kWindowColour));
    listSurface_->setRowPainter([this](QImage& strip, int firstRow, int rowCount) {
        drawListRows(strip, firstRow, rowCount);
    });
    listSurface_->setGeometry(0, 0, 0, 0);
    listSurface_->installEventFilter(this);

    scrollBar_ = new FlatScrollBar(this);
    scrollBar_->setObjectName(QStringLiteral("scrollBar"));
    scrollBar_->readProperties(
        platform::designProperties(QStringLiteral("photo_panel"), scrollBar_->objectName()));
    DropRefuser::install(scrollBar_);
    scrollBar_->installEventFilter(this);
    connect(scrollBar_, &FlatScrollBar::valueChanged, this, &PhotoPanel::scrollList);

    hintIcon_ = new HintIcon(this);
    hintIcon_->setObjectName(QStringLiteral("hintIcon"));
    connect(hintIcon_, &HintIcon::clicked, this, &PhotoPanel::photoRequested);

    previews_ = previews ? previews : new PreviewLoader(this);
    connect(previews_, &PreviewLoader::loaded, this, &PhotoPanel::previewLoaded);
    patience_.setSingleShot(true);
    connect(&patience_, &QTimer::timeout, this, &PhotoPanel::releasePixels);

    resize(kPanelWidth, kDefaultHeight);
    layOut();
}

PhotoPanel::~PhotoPanel() = default;

// Qt delivers the resize of a hidden widget only when it is shown; the
// panel is laid out at once, and a deferred event for a size already laid
// out must not wipe a photo opened meanwhile.
void PhotoPanel::resizeEvent(QResizeEvent*) {
    if (size() != laidOutSize_) layOut();
}

// A surface drawn for another screen (the window moved to a denser one) is
// made again too, so the new photo is drawn at this screen's pixels.
void PhotoPanel::ensureLaidOut() {
    if (size() != laidOutSize_ || surface_.devicePixelRatio() != devicePixelRatioF()) layOut();
}

QImage PhotoPanel::newSurface() const {
    const qreal ratio = devicePixelRatioF();
    QImage surface(static_cast<int>(std::ceil(width() * ratio)),
                   static_cast<int>(std::ceil(height() * ratio)), QImage::Format_RGB32);
    surface.setDevicePixelRatio(ratio);
    return surface;
}

// Whatever width the window asks for, the panel keeps its own; any resize
// returns it to the empty state.
void PhotoPanel::layOut() {
    if (width() != kPanelWidth) resize(kPanelWidth, height());
    laidOutSize_ = size();
    surface_ = newSurface();

    listViewport_->setGeometry(kPreviewWidth, 0, width() - kPreviewWidth - kScrollWidth, height());
    listClip_->setGeometry(listViewport_->contentsRect());
    listSurface_->setGeometry(0, 0, listClip_->width(), listSurface_->height());
    scrollBar_->setGeometry(width() - kScrollWidth, 0, kScrollWidth, listViewport_->height());
    hintIcon_->move(static_cast<int>(platform::roundHalfEven((width() - hintIcon_->width()) / 2.0)),
                    kIconTop);
    showEmptyHint();
}

void PhotoPanel::showEmptyHint() {
    givePendingUp();
    drawEmptyState(QString());
}

// The design's empty state, and under the hint the line saying why the file
// asked for could not be opened, when one could not.
void PhotoPanel::drawEmptyState(const QString& line) {
    showsPhoto_ = false;
    hintIcon_->show();
    listViewport_->hide();
    scrollBar_->hide();

    surface_.fill(Qt::white);
    if (!surface_.isNull()) {
        QPainter painter(&surface_);
        const QFont hintFont = PanelFontAt(font(), platform::pointsToPixels(kHintPoints));
        painter.setFont(hintFont);
        painter.setPen(Qt::black);
        const QString hint = QStringLiteral("点击图标或拖动图像到这里");
        const QFontMetricsF metrics(hintFont);
        const qreal left = (width() - metrics.horizontalAdvance(hint)) / 2;
        painter.drawText(QPointF(left, kHintTop + metrics.ascent()), hint);
        if (!line.isEmpty()) {
            const QRectF room(kReasonLineMargin, kHintTop + kReasonLineGap,
                              width() - 2 * kReasonLineMargin, 0);
            platform::drawTextLine(painter, OneLine(line), room, Qt::AlignHCenter,
                                   PanelFontAt(font(), kReasonPixels),
                                   QColor::fromRgba(kReasonColour));
        }
    }
    update();
}

void PhotoPanel::drawCellText(QPainter& painter, const QString& text, const QRectF& cell,
                              Qt::Alignment alignment) {
    if (text.isEmpty() || !CellFont()) return;
    platform::drawTextLine(painter, text, cell, alignment, *CellFont(),
                           QColor::fromRgba(kTextColour));
}

void PhotoPanel::openPhoto(const QString& path) {
    ensureLaidOut();
    // Without the image plugins every photo needs, no photo can be shown.
    if (!photo::decodersAvailable())
        platform::endWithMessage(QStringLiteral("GDI+ 初始化错误。程序即将关闭。"),
                                 QStringLiteral("初始化错误"));

    const photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    if (!photo.isOpen()) {
        givePendingUp();
        reason_ = photo::reasonText(photo.problem());
        drawEmptyState(QStringLiteral("无法打开 %1：%2").arg(name, reason_));
        return;
    }

    // Asked for before anything else here, so that the worker decodes
    // while the last photo is held and the list filled.
    const quint64 ticket = previews_->load(photo, previewBox());

    // The photo's own state now; its pixels when the picture comes, or when
    // the patience runs out. The photo last settled is kept aside until then.
    holdPixels();
    if (!pending_)
        previous_ = std::make_unique<Shown>(Shown{list_, gpsPosition_, photoSize_, summary_});
    list_.SetPhoto(path.toStdString());
    showsPhoto_ = true;
    reason_.clear();
    photoSize_ = QSize(0, 0);
    previewRect_ = QRect();
    captionRects_.clear();
    surface_.fill(Qt::white);
    hintIcon_->hide();
    update();
    {
        setCursor(Qt::WaitCursor);
        const auto pointer = qScopeGuard([this] { unsetCursor(); });
        list_.LoadMetadata(photo.metadata());
        gpsPosition_ = photo.metadata() ? exif::GpsPosition(*photo.metadata()) : std::nullopt;
        summary_ = photo.metadata()
                       ? QString::fromStdString(exif::ShootingSummary(*photo.metadata()))
                       : QString();
        renderList();
    }

    pending_ = std::make_unique<Pending>(Pending{ticket, name, photo.hasMetadata()});
}

// The whole column at the device pixels it is shown at: the worker fits the
// photo into it as the column does.
QSize PhotoPanel::previewBox() const {
    const qreal ratio = surface_.devicePixelRatio();
    return QSize(static_cast<int>(std::lround(kPreviewWidth * ratio)),
                 static_cast<int>(std::lround(height() * ratio)));
}

void PhotoPanel::previewLoaded(quint64 ticket, const sandbox::DecodedPicture& picture) {
    if (!pending_ || ticket != pending_->ticket) return;
    const std::unique_ptr<Pending> settled = std::move(pending_);
    if (picture.ok()) {
        reason_.clear();
        drawPreview(picture);
    } else if (!picture.photoSize.isEmpty() || settled->hasMetadata) {
        reason_ = picture.reason;
        drawPlaceholder(picture.photoSize, picture.reason);
    } else {
        // Neither a picture nor anything else could be read from it: a file
        // that could not be opened, and the photo before it stays.
        if (previous_) {
            list_ = std::move(previous_->list);
            gpsPosition_ = previous_->gpsPosition;
            photoSize_ = previous_->photoSize;
            summary_ = previous_->summary;
        }
        reason_ = picture.reason;
        drawEmptyState(QStringLiteral("无法打开 %1：%2").arg(settled->name, reason_));
    }
    previous_.reset();
    releasePixels();
    emit previewSettled();
}

void PhotoPanel::givePendingUp() {
    if (pending_) previews_->cancel();
    pending_.reset();
    previous_.reset();
    releasePixels();
}

void PhotoPanel::holdPixels() {
    if (patienceMs_ <= 0) return;
    // What is still to be painted of the last photo (its release asked for a
    // repaint) is painted now, before the hold: held, it would be painted
    // with this photo half drawn.
    if (updatesEnabled()) repaint();
    setUpdatesEnabled(false);
    // A photo opened while the last one is still held does not hold longer.
    if (!patience_.isActive()) patience_.start(patienceMs_);
}

void PhotoPanel::releasePixels() {
    patience_.stop();
    if (!updatesEnabled()) setUpdatesEnabled(true);
}

// The picture in the fitted box, as the column lays out a photo of its size.
void PhotoPanel::drawPreview(const sandbox::DecodedPicture& picture) {
    const qreal ratio = surface_.devicePixelRatio();
    const QSize size = picture.photoSize.isEmpty() ? picture.image.size() : picture.photoSize;
    std::int32_t w = size.width();
    std::int32_t h = size.height();
    const int panelHeight = height();
    platform::fitToBox(kPreviewWidth, panelHeight, w, h);
    const int left = static_cast<int>(platform::roundHalfEven((kPreviewWidth - w) / 2.0));
    const int top = static_cast<int>(platform::roundHalfEven((panelHeight - h) / 2.0));

    surface_.fill(Qt::white);
    hintIcon_->hide();
    QPainter painter(&surface_);
    const QSize devicePixels(static_cast<int>(std::lround(w * ratio)),
                             static_cast<int>(std::lround(h * ratio)));
    if (w > 0 && h > 0) {
        QImage image = picture.image;
        if (ratio == 1 && image.size() == devicePixels) {
            painter.drawImage(QPoint(left, top), image);
        } else {
            // The worker fits at device pixels; a pixel's rounding apart is
            // drawn into the box all the same.
            image.setDevicePixelRatio(ratio);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, image.size() != devicePixels);
            painter.drawImage(QRectF(left, top, w, h), image);
        }
    }
    photoSize_ = size;
    previewRect_ = QRect(left, top, w, h);
    drawCaption(painter, previewRect_, size);
    painter.end();
    update();
}

// "无法预览" and the reason in a neutral box where the preview would be.
void PhotoPanel::drawPlaceholder(const QSize& photoSize, const QString& reason) {
    QSize box = kPlaceholderDefault;
    if (!photoSize.isEmpty()) {
        std::int32_t w = photoSize.width();
        std::int32_t h = photoSize.height();
        platform::fitToBox(kPreviewWidth, height(), w, h);
        if (w >= kPlaceholderMinWidth && h >= kPlaceholderMinHeight) box = QSize(w, h);
    }
    const int left = static_cast<int>(platform::roundHalfEven((kPreviewWidth - box.width()) / 2.0));
    const int top = static_cast<int>(platform::roundHalfEven((height() - box.height()) / 2.0));
    const QRect rect(QPoint(left, top), box);

    surface_.fill(Qt::white);
    hintIcon_->hide();
    QPainter painter(&surface_);
    painter.fillRect(rect, QColor::fromRgba(kPlaceholderFill));
    painter.setPen(QColor::fromRgba(kPlaceholderBorder));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    const QFont title = PanelFontAt(font(), kPlaceholderTitlePixels);
    const QFont detail = PanelFontAt(font(), kReasonPixels);
    const qreal lines = QFontMetricsF(title).height() + 4 + QFontMetricsF(detail).height();
    const qreal first = rect.top() + (rect.height() - lines) / 2;
    const QRectF inside = QRectF(rect).adjusted(4, 0, -4, 0);
    platform::drawTextLine(painter, QStringLiteral("无法预览"),
                           QRectF(inside.left(), first, inside.width(), 0), Qt::AlignHCenter, title,
                           QColor::fromRgba(kPlaceholderText));
    platform::drawTextLine(
        painter, OneLine(reason),
        QRectF(inside.left(), first + QFontMetricsF(title).height() + 4, inside.width(), 0),
        Qt::AlignHCenter, detail, QColor::fromRgba(kPlaceholderText));
    photoSize_ = photoSize.isEmpty() ? QSize(0, 0) : photoSize;
    previewRect_ = rect;
    drawCaption(painter, rect, photoSize);
    painter.end();
    update();
}

void PhotoPanel::drawCaption(QPainter& painter, const QRect& box, const QSize& photoSize) {
    const int captionTop = box.top() + box.height() + kCaptionGap;
    captionRects_ = {QRectF(kCaptionLeft, captionTop, kCaptionWidth, 0),
                     QRectF(kCaptionLeft, captionTop + kCaptionLineStep, kCaptionWidth, 0)};
    drawCellText(painter, QString::fromStdString(list_.PhotoName()), captionRects_[0],
                 Qt::AlignLeft);
    if (!photoSize.isEmpty())
        drawCellText(painter,
                     QString::number(photoSize.width()) + QString::fromUtf16(u" \u00D7 ") +
                         QString::number(photoSize.height()),
                     captionRects_[1], Qt::AlignLeft);
    drawSummary(painter, captionTop + 2 * kCaptionLineStep);
}

QRectF PhotoPanel::captionRect(int line) const {
    return line >= 0 && line < captionLines() ? captionRects_[static_cast<std::size_t>(line)]
                                              : QRectF();
}

// The summary's parts stay whole: a line that the caption's width cannot
// hold goes on under it, broken at a separator, as a phone wraps it.
QStringList PhotoPanel::summaryLines(const QString& summary) {
    if (summary.isEmpty() || !CellFont()) return {};
    const QString separator = QStringLiteral(" \u00B7 ");
    const QFontMetricsF metrics(*CellFont());
    QStringList lines;
    for (const QString& part : summary.split(separator)) {
        if (!lines.isEmpty() &&
            metrics.horizontalAdvance(lines.back() + separator + part) <= kCaptionWidth)
            lines.back() += separator + part;
        else lines << part;
    }
    return lines;
}

// Each line 12 pixels below the one before, as the name and the size are.
void PhotoPanel::drawSummary(QPainter& painter, qreal top) {
    for (const QString& line : summaryLines(summary_)) {
        captionRects_.emplace_back(kCaptionLeft, top, kCaptionWidth, 0);
        drawCellText(painter, line, captionRects_.back(), Qt::AlignLeft);
        top += kCaptionLineStep;
    }
}

void PhotoPanel::exifData(std::vector<std::string>& labels,
                          std::vector<std::string>& values) const {
    list_.GetExifData(labels, values);
}

// A photo without entries gets one row, the line saying so, and no scroll bar.
void PhotoPanel::renderList() {
    if (list_.EntryCount() == 0) {
        scrollBar_->hide();
        listSurface_->setGeometry(0, 0, listClip_->width(), kRowHeight);
        listSurface_->drawRows(1);
        listViewport_->show();
        return;
    }
    const int innerHeight = listClip_->height();
    constexpr std::size_t kMaxRows = QWIDGETSIZE_MAX / kRowHeight;
    const int rows = static_cast<int>(std::min(list_.EntryCount(), kMaxRows));

    // Positions are worked out in 32 bits: the rows of a long list lie
    // beyond 32,767 pixels. A list longer than the scroll bar can count
    // (a maximum of 32,755) moves several rows per step, so that every row
    // can still be reached.
    const double wanted = platform::roundHalfEven(
        (static_cast<double>(rows) * kRowHeight - innerHeight) / kRowHeight + 1);
    double max = wanted;
    rowsPerStep_ = 1;
    if (wanted > FlatScrollBar::kMaximumLimit) {
        rowsPerStep_ = static_cast<int>(std::ceil(wanted / FlatScrollBar::kMaximumLimit));
        max = std::ceil(wanted / rowsPerStep_);
    }
    wheelRemainder_ = 0;
    scrollBar_->setMaximum(ClampToInt(max));
    scrollBar_->setValue(0);
    scrollBar_->show();

    listSurface_->setGeometry(0, 0, listClip_->width(), rows * kRowHeight);
    listSurface_->drawRows(rows);
    listSurface_->update();
    listViewport_->show();
}

void PhotoPanel::drawListRows(QImage& strip, int firstRow, int rowCount) {
    const std::vector<exif::MetadataEntry>& entries = list_.Entries();
    const auto available = static_cast<int>(std::min(entries.size(), list_.EntryCount()));
    QPainter painter(&strip);
    if (available == 0) {
        drawCellText(painter, noMetadataText(),
                     QRectF(0, kCellTop, listSurface_->width(), kCellHeight), Qt::AlignHCenter);
        return;
    }
    for (int k = 0; k < rowCount; ++k) {
        const int row = firstRow + k;
        if (row >= available) break;
        const int y = k * kRowHeight;
        if (row % 2 == 1)
            painter.fillRect(QRect(0, y, kBandWidth, kRowHeight), QColor::fromRgba(kBandColour));
        const exif::MetadataEntry& entry = entries[static_cast<std::size_t>(row)];
        drawCellText(painter, QString::number(row + 1), CellRect(kNumberCell, y),
                     kNumberCell.alignment);
        drawCellText(painter, QString::fromStdString(entry.label), CellRect(kLabelCell, y),
                     kLabelCell.alignment);
        drawCellText(painter, QString::fromStdString(entry.value), CellRect(kValueCell, y),
                     kValueCell.alignment);
    }
}

void PhotoPanel::scrollList(int value) {
    const double top = -static_cast<double>(kRowHeight) * rowsPerStep_ * value;
    listSurface_->move(listSurface_->x(), ClampToInt(top));
}

void PhotoPanel::wheelList(int angleDelta) {
    if (scrollBar_->isHidden()) return;  // the line of a photo without metadata does not scroll
    wheelRemainder_ += angleDelta;
    const int notches = wheelRemainder_ / kWheelNotch;
    wheelRemainder_ -= notches * kWheelNotch;
    if (notches == 0) return;
    const int stepsPerNotch = std::max(1, kRowsPerNotch / rowsPerStep_);
    const double value =
        static_cast<double>(scrollBar_->value()) - static_cast<double>(notches) * stepsPerNotch;
    scrollBar_->setValue(static_cast<int>(
        std::clamp(value, -1.0, static_cast<double>(FlatScrollBar::kMaximumLimit))));
}

bool PhotoPanel::scrollListKey(int key) {
    // Rows wholly in view make a page; a list longer than the scroll bar can
    // count moves several rows per step.
    const int page = std::max(1, listClip_->height() / kRowHeight / rowsPerStep_);
    const double value = scrollBar_->value();
    double target = value;
    switch (key) {
    case Qt::Key_Up: target = value - 1; break;
    case Qt::Key_Down: target = value + 1; break;
    case Qt::Key_PageUp: target = value - page; break;
    case Qt::Key_PageDown: target = value + page; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = scrollBar_->maximum(); break;
    default: return false;
    }
    if (scrollBar_->isHidden()) return true;  // no list, or one that has nothing to scroll
    scrollBar_->setValue(static_cast<int>(
        std::clamp(target, -1.0, static_cast<double>(FlatScrollBar::kMaximumLimit))));
    return true;
}

QString PhotoPanel::reportText() const { return QString::fromStdString(exif::BuildReport(list_)); }

bool PhotoPanel::copyReport() {
    if (!showsPhoto()) return false;
    QGuiApplication::clipboard()->setText(reportText());
    return true;
}

QString PhotoPanel::noMetadataText() { return QStringLiteral("此图像不含 EXIF 信息"); }

int PhotoPanel::rowAt(const QPoint& surfacePoint) const {
    if (!showsPhoto() || listViewport_->isHidden() || surfacePoint.y() < 0) return -1;
    const std::size_t row = static_cast<std::size_t>(surfacePoint.y() / kRowHeight);
    return row < list_.Entries().size() && row < list_.EntryCount() ? static_cast<int>(row) : -1;
}

QMenu* PhotoPanel::rowMenu(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= list_.Entries().size()) return nullptr;
    const exif::MetadataEntry& entry = list_.Entries()[static_cast<std::size_t>(row)];
    const QString label = QString::fromStdString(entry.label);
    const QString value = QString::fromStdString(entry.value);
    auto* menu = new QMenu(this);
    const auto copy = [](const QString& text) { QGuiApplication::clipboard()->setText(text); };
    menu->addAction(QStringLiteral("复制"), menu, [=] { copy(label + QLatin1Char('\t') + value); });
    menu->addAction(QStringLiteral("复制值"), menu, [=] { copy(value); });
    const QString report = reportText();
    menu->addAction(QStringLiteral("复制全部"), menu, [=] { copy(report); });
    if (gpsPosition_ && exif::IsGpsLabel(entry.label)) {
        const exif::GpsPoint point = *gpsPosition_;
        menu->addSeparator();
        menu->addAction(QStringLiteral("在地图中查看"), menu,
                        [point] { platform::openUrl(amapUrl(point)); });
        menu->addAction(QStringLiteral("在 OpenStreetMap 中查看"), menu,
                        [point] { platform::openUrl(openStreetMapUrl(point)); });
    }
    return menu;
}

// A label or value drawn cut short shows its whole text while the pointer
// rests on it. The text is the photo's: escaped, so that markup in it is
// shown as written and never interpreted.
bool PhotoPanel::showCutText(const QPoint& surfacePoint, const QPoint& globalPoint) {
    const int row = rowAt(surfacePoint);
    if (row < 0 || !CellFont()) return false;
    const exif::MetadataEntry& entry = list_.Entries()[static_cast<std::size_t>(row)];
    const Cell* cell = nullptr;
    QString text;
    if (surfacePoint.x() >= kValueCell.left &&
        surfacePoint.x() < kValueCell.left + kValueCell.width) {
        cell = &kValueCell;
        text = QString::fromStdString(entry.value);
    } else if (surfacePoint.x() >= kLabelCell.left &&
               surfacePoint.x() < kLabelCell.left + kLabelCell.width) {
        cell = &kLabelCell;
        text = QString::fromStdString(entry.label);
    }
    if (!cell || text.isEmpty()) return false;
    const int top = row * kRowHeight;
    const QRectF bounded = CellRect(*cell, top);
    const QRectF unbounded(bounded.x(), bounded.y(), 0, bounded.height());
    if (platform::layoutTextLine(text, *CellFont(), bounded, cell->alignment).text ==
        platform::layoutTextLine(text, *CellFont(), unbounded, cell->alignment).text)
        return false;
    if (text.size() > kToolTipCharacters) text = text.left(kToolTipCharacters) + QChar(0x2026);
    QToolTip::showText(globalPoint, Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal),
                       listSurface_, QRect(cell->left, top, cell->width, kRowHeight));
    return true;
}

bool PhotoPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && (watched == listViewport_ || watched == scrollBar_)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        wheelList(wheel->angleDelta().y());
        wheel->accept();
        return true;
    }
    if (watched == listSurface_ && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (!showCutText(help->pos(), help->globalPos())) QToolTip::hideText();
        return true;
    }
    if (watched == listSurface_ && event->type() == QEvent::ContextMenu) {
        auto* request = static_cast<QContextMenuEvent*>(event);
        const std::unique_ptr<QMenu> menu(rowMenu(rowAt(request->pos())));
        if (menu) menu->exec(request->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PhotoPanel::paintEvent(QPaintEvent* event) {
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

void PhotoPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (FirstLocalFile(event->mimeData()).isEmpty()) event->ignore();
    else event->acceptProposedAction();
}

void PhotoPanel::dragMoveEvent(QDragMoveEvent* event) {
    if (FirstLocalFile(event->mimeData()).isEmpty()) event->ignore();
    else event->acceptProposedAction();
}

void PhotoPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && showsPhoto_ &&
        previewRect_.contains(event->position().toPoint()))
        emit previewActivated();
}

void PhotoPanel::dropEvent(QDropEvent* event) {
    const QString path = FirstLocalFile(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    openPhoto(path);
}

}  // namespace viewer
