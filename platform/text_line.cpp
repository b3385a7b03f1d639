#include "platform/text_line.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QTextLayout>
#include <cmath>
#include <limits>
#include <utility>

namespace platform {
namespace {

struct FaceFallback {
    const char16_t* asked;
    const char16_t* installed[2];
};

// Windows faces the design asks for, and the installed faces that take
// their place.
constexpr FaceFallback kFaceFallbacks[] = {
    {u"宋体", {u"Noto Serif CJK SC", u"Noto Sans CJK SC"}},
    {u"SimSun", {u"Noto Serif CJK SC", u"Noto Sans CJK SC"}},
};

// The installed family spelled as the font database spells it, or empty.
QString InstalledFamily(const QStringList& families, const QString& name) {
    for (const QString& family : families) {
        if (family.compare(name, Qt::CaseInsensitive) == 0) return family;
    }
    return QString();
}

QString ResolveFace(const QString& name) {
    const QStringList families = QFontDatabase::families();
    QString face = InstalledFamily(families, name);
    if (!face.isEmpty()) return face;
    for (const FaceFallback& entry : kFaceFallbacks) {
        if (name.compare(QString::fromUtf16(entry.asked), Qt::CaseInsensitive) != 0) continue;
        for (const char16_t* candidate : entry.installed) {
            face = InstalledFamily(families, QString::fromUtf16(candidate));
            if (!face.isEmpty()) return face;
        }
        break;
    }
    return QString();
}

// Each cell of the list asks for its face: the font database is searched
// once per name, the first time it is asked for.
QString CachedFace(const QString& name) {
    static QHash<QString, QString> faces;
    const QString key = name.toCaseFolded();
    const auto found = faces.constFind(key);
    if (found != faces.constEnd()) return *found;
    return *faces.insert(key, ResolveFace(name));
}

// One line: every kind of line break becomes a space.
QString OneLine(QString line) {
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar& ch : line) {
        if (ch == u'\n' || ch == u'\r' || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            ch = u' ';
    }
    return line;
}

bool Finite(const QRectF& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) &&
           std::isfinite(r.height());
}

// Where a line of this width starts in `rect`.
qreal LineLeft(const QRectF& rect, Qt::Alignment alignment, qreal width) {
    const qreal bound = rect.width() > 0 ? rect.width() : 0;
    // Even the ellipsis alone too wide: it starts at the left edge and is clipped.
    if (bound > 0 && width > bound) return rect.x();
    if (alignment & Qt::AlignHCenter)
        return bound > 0 ? rect.x() + (bound - width) / 2 : rect.x() - width / 2;
    if (alignment & Qt::AlignRight) return bound > 0 ? rect.x() + bound - width : rect.x() - width;
    return rect.x();
}

struct ShapedLine {
    QStaticText glyphs;
    qreal width = 0;  // its advance, the same as layoutTextLine measures
    // From the top of the glyphs' line to its baseline: the tallest ascent
    // of the faces its glyphs come from, the font's own or a fallback's.
    qreal ascent = 0;
};

// A line whose glyphs are shaped and placed in its own order: right-to-left
// text may be ordered otherwise when drawn on its own.
bool LeftToRight(const QString& line) {
    for (const QChar ch : line) {
        switch (ch.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirAN:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
        case QChar::DirFSI: return false;
        default: break;
        }
    }
    return true;
}

// Lines up to this long are kept shaped: longer ones than a cell shows whole.
constexpr qsizetype kMaxKeptChars = 128;

// Shaping a line costs more than drawing it, and the list's labels and row
// numbers come back with every photo: the lines drawn lately are kept
// shaped, a few megabytes at most, then all are let go. Drawing happens on
// the GUI thread alone.
const ShapedLine& Shaped(const QString& line, const QFont& font) {
    constexpr qsizetype kMaxLines = 1024;
    static QHash<std::pair<QFont, QString>, ShapedLine> lines;
    std::pair<QFont, QString> key(font, line);
    const auto found = lines.constFind(key);
    if (found != lines.constEnd()) return *found;
    if (lines.size() >= kMaxLines) lines.clear();
    QTextLayout layout(line, font);
    layout.beginLayout();
    QTextLine measured = layout.createLine();
    measured.setLeadingIncluded(true);
    measured.setLineWidth(std::numeric_limits<int>::max());
    layout.endLayout();
    ShapedLine shaped{QStaticText(line), measured.horizontalAdvance(), measured.ascent()};
    shaped.glyphs.setTextFormat(Qt::PlainText);
    shaped.glyphs.prepare(QTransform(), font);
    return *lines.insert(std::move(key), std::move(shaped));
}

}  // namespace

std::optional<QFont> faceFont(const QString& face, int pixelSize) {
    const QString family = CachedFace(face);
    if (family.isEmpty() || pixelSize <= 0) return std::nullopt;
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

TextLine layoutTextLine(const QString& text, const QFont& font, const QRectF& rect,
                        Qt::Alignment alignment) {
    TextLine line;
    if (!Finite(rect)) return line;
    line.text = OneLine(text);
    const QFontMetricsF metrics(font);
    const qreal bound = rect.width() > 0 ? rect.width() : 0;
    line.width = metrics.horizontalAdvance(line.text);
    if (bound > 0 && line.width > bound) {
        line.text = metrics.elidedText(line.text, Qt::ElideRight, bound);
        line.width = metrics.horizontalAdvance(line.text);
    }
    line.left = LineLeft(rect, alignment, line.width);
    return line;
}

void drawTextLine(QPainter& painter, const QString& text, const QRectF& rect,
                  Qt::Alignment alignment, const QFont& font, const QColor& colour) {
    if (!Finite(rect) || text.isEmpty()) return;
    painter.save();
    if (rect.width() > 0) {
        constexpr qreal kTall = 1e6;
        painter.setClipRect(QRectF(rect.x(), rect.y() - kTall, rect.width(),
                                   2 * kTall + std::max<qreal>(0, rect.height())),
                            Qt::IntersectClip);
    }
    painter.setFont(font);
    painter.setPen(colour);
    // Shaped glyphs are drawn as the text would be only where a logical pixel
    // is a device pixel; under a scale they may land a fraction apart.
    const QString whole = OneLine(text);
    const qreal baseline = rect.y() + QFontMetricsF(font).ascent();
    const bool keepable = whole.size() <= kMaxKeptChars &&
                          painter.deviceTransform().type() <= QTransform::TxTranslate &&
                          LeftToRight(whole);
    const ShapedLine* shaped = keepable ? &Shaped(whole, font) : nullptr;
    if (shaped && (rect.width() <= 0 || shaped->width <= rect.width())) {
        painter.drawStaticText(
            QPointF(LineLeft(rect, alignment, shaped->width), baseline - shaped->ascent),
            shaped->glyphs);
    } else {
        const TextLine line = layoutTextLine(whole, font, rect, alignment);
        painter.drawText(QPointF(line.left, baseline), line.text);
    }
    painter.restore();
}

}  // namespace platform
