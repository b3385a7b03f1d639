// The drawing objects of the graphics layer, named after the flat GDI+
// operations the photo panel is written against: font families, fonts,
// string formats, solid brushes, pens and matrices over QFont, QColor and
// QTransform.
//
// Convention: a Create operation returns the new object, or nullptr when it
// cannot be made; every other operation returns a status. Objects are owned
// by the caller and released with the matching Delete operation.
#pragma once

#include "reader/property_items.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace platform {

// One set of status codes for every flat operation.
enum GpStatus : int {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    WrongState = 8,
    FileNotFound = 10,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    UnsupportedGdiplusVersion = 17,
    PropertyNotFound = 19,
};

enum GpUnit : int {
    UnitWorld = 0,
    UnitDisplay = 1,
    UnitPixel = 2,
    UnitPoint = 3,
};

enum FontStyle : int {
    FontStyleRegular = 0,
    FontStyleBold = 1,
    FontStyleItalic = 2,
    FontStyleUnderline = 4,
    FontStyleStrikeout = 8,
};

enum StringFormatFlags : int {
    StringFormatFlagsNoWrap = 0x1000,
};

enum StringAlignment : int {
    StringAlignmentNear = 0,
    StringAlignmentCenter = 1,
    StringAlignmentFar = 2,
};

enum StringTrimming : int {
    StringTrimmingNone = 0,
    StringTrimmingCharacter = 1,
    StringTrimmingWord = 2,
    StringTrimmingEllipsisCharacter = 3,
    StringTrimmingEllipsisWord = 4,
    StringTrimmingEllipsisPath = 5,
};

// A layout rectangle; a width or height of 0 means no bound in that direction.
struct RectF {
    float X = 0;
    float Y = 0;
    float Width = 0;
    float Height = 0;
};

struct GpFontFamily;
struct GpFont;
struct GpStringFormat;
struct GpBrush;
struct GpPen;
struct GpMatrix;

// A family of the installed faces. Windows face names that this system asks
// for ("宋体") fall back to an installed face with Chinese glyphs; a name with
// neither gives nullptr, and text drawn without a font is not drawn.
GpFontFamily* GdipCreateFontFamilyFromName(const QString& name);
GpStatus GdipDeleteFontFamily(GpFontFamily* family);
// The face the family resolved to (empty for nullptr).
QString GdipFontFamilyFace(const GpFontFamily* family);

// `size` in `unit` (pixel or point); `style` a combination of FontStyle bits.
GpFont* GdipCreateFont(const GpFontFamily* family, float size, int style, GpUnit unit);
GpStatus GdipDeleteFont(GpFont* font);

GpStringFormat* GdipCreateStringFormat(int formatAttributes = 0, int language = 0);
GpStatus GdipSetStringFormatFlags(GpStringFormat* format, int flags);
GpStatus GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align);
GpStatus GdipSetStringFormatTrimming(GpStringFormat* format, StringTrimming trimming);
GpStatus GdipDeleteStringFormat(GpStringFormat* format);

// `argb` is 0xAARRGGBB.
GpBrush* GdipCreateSolidFill(std::uint32_t argb);
GpStatus GdipDeleteBrush(GpBrush* brush);

GpPen* GdipCreatePen1(std::uint32_t argb, float width, GpUnit unit);
GpStatus GdipDeletePen(GpPen* pen);

GpMatrix* GdipCreateMatrix();
GpStatus GdipDeleteMatrix(GpMatrix* matrix);

// An owning handle: the object goes with its Delete operation when the handle
// does, on every way out of the routine that made it.
template <typename Object, GpStatus (*Delete)(Object*)>
struct GdipDeleter {
    void operator()(Object* object) const { Delete(object); }
};
template <typename Object, GpStatus (*Delete)(Object*)>
using GdipHandle = std::unique_ptr<Object, GdipDeleter<Object, Delete>>;

using FontFamilyHandle = GdipHandle<GpFontFamily, GdipDeleteFontFamily>;
using FontHandle = GdipHandle<GpFont, GdipDeleteFont>;
using StringFormatHandle = GdipHandle<GpStringFormat, GdipDeleteStringFormat>;
using BrushHandle = GdipHandle<GpBrush, GdipDeleteBrush>;

// Objects created and not yet deleted, per kind: lets a caller's tests check
// that every routine deletes what it creates.
struct GdipObjectCounts {
    int images = 0;
    int graphics = 0;
    int fontFamilies = 0;
    int fonts = 0;
    int stringFormats = 0;
    int brushes = 0;
    int pens = 0;
    int matrices = 0;
    int total() const {
        return images + graphics + fontFamilies + fonts + stringFormats + brushes + pens + matrices;
    }
};
GdipObjectCounts GdipLiveObjects();

}  // namespace platform
