#include "platform/text_line.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <cmath>

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
    line.left = rect.x();
    if (alignment & Qt::AlignHCenter)
        line.left = bound > 0 ? rect.x() + (bound - line.width) / 2 : rect.x() - line.width / 2;
    else if (alignment & Qt::AlignRight)
        line.left = bound > 0 ? rect.x() + bound - line.width : rect.x() - line.width;
    // Even the ellipsis alone too wide: it starts at the left edge and is clipped.
    if (bound > 0 && line.width > bound) line.left = rect.x();
    return line;
}

void drawTextLine(QPainter& painter, const QString& text, const QRectF& rect,
                  Qt::Alignment alignment, const QFont& font, const QColor& colour) {
    const TextLine line = layoutTextLine(text, font, rect, alignment);
    if (line.text.isEmpty()) return;
    painter.save();
    if (rect.width() > 0) {
        constexpr qreal kTall = 1e6;
        painter.setClipRect(QRectF(rect.x(), rect.y() - kTall, rect.width(),
                                   2 * kTall + std::max<qreal>(0, rect.height())),
                            Qt::IntersectClip);
    }
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPointF(line.left, rect.y() + QFontMetricsF(font).ascent()), line.text);
    painter.restore();
}

}  // namespace platform
