#include "platform/gdip_graphics.h"

#include "platform/gdip_objects_p.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <cmath>

namespace platform {

struct GpGraphics {
    QPainter painter;
};

namespace {

struct TrimmingRule {
    StringTrimming trimming;
    bool ellipsis;
    Qt::TextElideMode mode;
};

// How a line too wide for its rectangle is cut. Without an ellipsis the line
// keeps its characters and the clip at the rectangle's edge cuts it.
constexpr TrimmingRule kTrimmingRules[] = {
    {StringTrimmingNone, false, Qt::ElideNone},
    {StringTrimmingCharacter, false, Qt::ElideNone},
    {StringTrimmingWord, false, Qt::ElideNone},
    {StringTrimmingEllipsisCharacter, true, Qt::ElideRight},
    {StringTrimmingEllipsisWord, true, Qt::ElideRight},
    {StringTrimmingEllipsisPath, true, Qt::ElideMiddle},
};

const TrimmingRule& RuleFor(StringTrimming trimming) {
    for (const TrimmingRule& rule : kTrimmingRules) {
        if (rule.trimming == trimming) return rule;
    }
    return kTrimmingRules[0];
}

// One line: every kind of line break becomes a space.
QString OneLine(const QString& text, int length) {
    QString line = length < 0 ? text : text.left(length);
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& ch : line) {
        if (ch == u'\n' || ch == u'\r' || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            ch = u' ';
    }
    return line;
}

bool FiniteRect(const RectF& r) {
    return std::isfinite(r.X) && std::isfinite(r.Y) && std::isfinite(r.Width) &&
           std::isfinite(r.Height);
}

}  // namespace

GpGraphics* GdipCreateFromHDC(QPaintDevice* device) {
    if (!device || device->devType() == QInternal::Widget || device->paintingActive())
        return nullptr;
    auto* graphics = new GpGraphics;
    if (!graphics->painter.begin(device)) {
        delete graphics;
        return nullptr;
    }
    GdipCountCreated(GdipKind::Graphics);
    return graphics;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
    if (!graphics) return InvalidParameter;
    graphics->painter.end();
    delete graphics;
    GdipCountDeleted(GdipKind::Graphics);
    return Ok;
}

GpStatus GdipDrawImageRectRectI(GpGraphics* graphics, const GpImage* image, int dstx, int dsty,
                                int dstwidth, int dstheight, int srcx, int srcy, int srcwidth,
                                int srcheight, GpUnit srcUnit) {
    if (!graphics || !image || srcUnit != UnitPixel) return InvalidParameter;
    if (dstwidth < 0 || dstheight < 0 || srcwidth <= 0 || srcheight <= 0) return InvalidParameter;
    if (dstwidth == 0 || dstheight == 0) return Ok;
    // On a surface kept at device pixels (a dense screen), the photo is
    // decoded at those pixels, not at the layout's and then enlarged.
    const qreal ratio = graphics->painter.device()->devicePixelRatio();
    const QSize target = ratio == 1 ? QSize(dstwidth, dstheight)
                                    : QSize(static_cast<int>(std::lround(dstwidth * ratio)),
                                            static_cast<int>(std::lround(dstheight * ratio)));
    GpStatus status = Ok;
    QImage pixels = DecodeImageRect(image, QRect(srcx, srcy, srcwidth, srcheight), target, &status);
    if (pixels.isNull()) return status;
    if (ratio == 1) {
        graphics->painter.drawImage(QPoint(dstx, dsty), pixels);
    } else {
        pixels.setDevicePixelRatio(ratio);
        graphics->painter.drawImage(QRectF(dstx, dsty, dstwidth, dstheight), pixels);
    }
    return Ok;
}

GpStatus GdipFillRectangleI(GpGraphics* graphics, const GpBrush* brush, int x, int y, int width,
                            int height) {
    if (!graphics || !brush || width < 0 || height < 0) return InvalidParameter;
    graphics->painter.fillRect(QRect(x, y, width, height), brush->colour);
    return Ok;
}

StringLine GdipLayoutString(const QString& text, int length, const GpFont* font,
                            const RectF& layoutRect, const GpStringFormat* format) {
    StringLine line;
    if (!font || !format || !FiniteRect(layoutRect)) return line;
    line.text = OneLine(text, length);
    const QFontMetricsF metrics(font->font);
    const qreal bound = layoutRect.Width > 0 ? layoutRect.Width : 0;
    qreal width = metrics.horizontalAdvance(line.text);
    if (bound > 0 && width > bound) {
        const TrimmingRule& rule = RuleFor(format->trimming);
        if (rule.ellipsis) {
            line.text = metrics.elidedText(line.text, rule.mode, bound);
            width = metrics.horizontalAdvance(line.text);
        }
    }
    qreal x = layoutRect.X;
    switch (format->align) {
    case StringAlignmentCenter:
        x = bound > 0 ? layoutRect.X + (bound - width) / 2 : layoutRect.X - width / 2;
        break;
    case StringAlignmentFar:
        x = bound > 0 ? layoutRect.X + bound - width : layoutRect.X - width;
        break;
    case StringAlignmentNear:
        break;
    }
    // A line cut without an ellipsis starts at the near edge and is clipped.
    if (bound > 0 && width > bound) x = layoutRect.X;
    line.bounds = RectF{static_cast<float>(x), layoutRect.Y, static_cast<float>(width),
                        static_cast<float>(metrics.height())};
    return line;
}

GpStatus GdipDrawString(GpGraphics* graphics, const QString& text, int length, const GpFont* font,
                        const RectF* layoutRect, const GpStringFormat* format,
                        const GpBrush* brush) {
    if (!graphics || !font || !layoutRect || !format || !brush || !FiniteRect(*layoutRect))
        return InvalidParameter;
    const StringLine line = GdipLayoutString(text, length, font, *layoutRect, format);
    if (line.text.isEmpty()) return Ok;

    QPainter& painter = graphics->painter;
    painter.save();
    if (layoutRect->Width > 0) {
        // Clip horizontally only; the height is not a bound (see the header).
        constexpr qreal kTall = 1e6;
        painter.setClipRect(QRectF(layoutRect->X, layoutRect->Y - kTall, layoutRect->Width,
                                   2 * kTall + std::max(0.0f, layoutRect->Height)),
                            Qt::IntersectClip);
    }
    painter.setFont(font->font);
    painter.setPen(brush->colour);
    const QFontMetricsF metrics(font->font);
    painter.drawText(QPointF(line.bounds.X, layoutRect->Y + metrics.ascent()), line.text);
    painter.restore();
    return Ok;
}

}  // namespace platform
