#include "platform/gdip_objects_p.h"

#include <QFontDatabase>
#include <QHash>
#include <QStringList>
#include <array>
#include <cmath>

namespace platform {
namespace {

std::array<int, 8>& LiveCounts() {
    static std::array<int, 8> counts{};
    return counts;
}

struct FaceFallback {
    const char16_t* asked;
    const char16_t* installed[2];
};

// Windows faces the forms ask for, and the installed faces (fonts-noto-cjk)
// that take their place: the serif family for the Song faces, the sans family
// for the Hei ones.
constexpr FaceFallback kFaceFallbacks[] = {
    {u"宋体", {u"Noto Serif CJK SC", u"Noto Sans CJK SC"}},
    {u"SimSun", {u"Noto Serif CJK SC", u"Noto Sans CJK SC"}},
    {u"新宋体", {u"Noto Serif CJK SC", u"Noto Sans CJK SC"}},
    {u"NSimSun", {u"Noto Serif CJK SC", u"Noto Sans CJK SC"}},
    {u"黑体", {u"Noto Sans CJK SC", u"Noto Serif CJK SC"}},
    {u"SimHei", {u"Noto Sans CJK SC", u"Noto Serif CJK SC"}},
    {u"微软雅黑", {u"Noto Sans CJK SC", u"Noto Serif CJK SC"}},
    {u"Microsoft YaHei", {u"Noto Sans CJK SC", u"Noto Serif CJK SC"}},
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

// Every cell of the list asks for its family: the font database is searched
// once per name, the first time it is asked for, and never again.
QString CachedFace(const QString& name) {
    static QHash<QString, QString> faces;
    const QString key = name.toCaseFolded();
    const auto found = faces.constFind(key);
    if (found != faces.constEnd()) return *found;
    return *faces.insert(key, ResolveFace(name));
}

template <typename Object>
GpStatus DeleteObject(Object* object, GdipKind kind) {
    if (!object) return InvalidParameter;
    delete object;
    GdipCountDeleted(kind);
    return Ok;
}

}  // namespace

void GdipCountCreated(GdipKind kind) { ++LiveCounts()[static_cast<std::size_t>(kind)]; }
void GdipCountDeleted(GdipKind kind) { --LiveCounts()[static_cast<std::size_t>(kind)]; }

GdipObjectCounts GdipLiveObjects() {
    const auto& c = LiveCounts();
    GdipObjectCounts counts;
    counts.images = c[static_cast<int>(GdipKind::Image)];
    counts.graphics = c[static_cast<int>(GdipKind::Graphics)];
    counts.fontFamilies = c[static_cast<int>(GdipKind::FontFamily)];
    counts.fonts = c[static_cast<int>(GdipKind::Font)];
    counts.stringFormats = c[static_cast<int>(GdipKind::StringFormat)];
    counts.brushes = c[static_cast<int>(GdipKind::Brush)];
    counts.pens = c[static_cast<int>(GdipKind::Pen)];
    counts.matrices = c[static_cast<int>(GdipKind::Matrix)];
    return counts;
}

QColor ColourFromArgb(std::uint32_t argb) {
    return QColor(static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF),
                  static_cast<int>(argb & 0xFF), static_cast<int>(argb >> 24));
}

GpFontFamily* GdipCreateFontFamilyFromName(const QString& name) {
    const QString face = CachedFace(name);
    if (face.isEmpty()) return nullptr;
    GdipCountCreated(GdipKind::FontFamily);
    return new GpFontFamily{face};
}

GpStatus GdipDeleteFontFamily(GpFontFamily* family) { return DeleteObject(family, GdipKind::FontFamily); }

QString GdipFontFamilyFace(const GpFontFamily* family) { return family ? family->face : QString(); }

GpFont* GdipCreateFont(const GpFontFamily* family, float size, int style, GpUnit unit) {
    if (!family || !std::isfinite(size) || size <= 0 || size > 10000) return nullptr;
    QFont font(family->face);
    if (unit == UnitPoint) {
        font.setPointSizeF(size);
    } else {
        // World and display units are pixels on this layer's surfaces.
        font.setPixelSize(std::max(1, static_cast<int>(std::nearbyint(size))));
    }
    font.setBold((style & FontStyleBold) != 0);
    font.setItalic((style & FontStyleItalic) != 0);
    font.setUnderline((style & FontStyleUnderline) != 0);
    font.setStrikeOut((style & FontStyleStrikeout) != 0);
    GdipCountCreated(GdipKind::Font);
    return new GpFont{font};
}

GpStatus GdipDeleteFont(GpFont* font) { return DeleteObject(font, GdipKind::Font); }

GpStringFormat* GdipCreateStringFormat(int formatAttributes, int /*language*/) {
    GdipCountCreated(GdipKind::StringFormat);
    auto* format = new GpStringFormat;
    format->flags = formatAttributes;
    return format;
}

GpStatus GdipSetStringFormatFlags(GpStringFormat* format, int flags) {
    if (!format) return InvalidParameter;
    format->flags = flags;
    return Ok;
}

GpStatus GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align) {
    if (!format || align < StringAlignmentNear || align > StringAlignmentFar) return InvalidParameter;
    format->align = align;
    return Ok;
}

GpStatus GdipSetStringFormatTrimming(GpStringFormat* format, StringTrimming trimming) {
    if (!format || trimming < StringTrimmingNone || trimming > StringTrimmingEllipsisPath)
        return InvalidParameter;
    format->trimming = trimming;
    return Ok;
}

GpStatus GdipDeleteStringFormat(GpStringFormat* format) { return DeleteObject(format, GdipKind::StringFormat); }

GpBrush* GdipCreateSolidFill(std::uint32_t argb) {
    GdipCountCreated(GdipKind::Brush);
    return new GpBrush{ColourFromArgb(argb)};
}

GpStatus GdipDeleteBrush(GpBrush* brush) { return DeleteObject(brush, GdipKind::Brush); }

GpPen* GdipCreatePen1(std::uint32_t argb, float width, GpUnit /*unit*/) {
    if (!std::isfinite(width) || width < 0) return nullptr;
    GdipCountCreated(GdipKind::Pen);
    return new GpPen{ColourFromArgb(argb), width};
}

GpStatus GdipDeletePen(GpPen* pen) { return DeleteObject(pen, GdipKind::Pen); }

GpMatrix* GdipCreateMatrix() {
    GdipCountCreated(GdipKind::Matrix);
    return new GpMatrix;
}

GpStatus GdipDeleteMatrix(GpMatrix* matrix) { return DeleteObject(matrix, GdipKind::Matrix); }

}  // namespace platform
