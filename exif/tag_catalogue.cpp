#include "exif/tag_catalogue.h"

#include <algorithm>
#include <cmath>

#include "exif/number_format.h"
#include "exif/value_texts.h"

namespace exif {
namespace {

constexpr Piece MakePiece(PieceKind kind) {
    Piece piece;
    piece.kind = kind;
    return piece;
}
constexpr Piece Lit(std::string_view text) {
    Piece piece = MakePiece(PieceKind::Literal);
    piece.literal = text;
    return piece;
}
constexpr Piece Int(std::uint8_t k) {
    Piece piece = MakePiece(PieceKind::Int);
    piece.first = k;
    return piece;
}
constexpr Piece Quotient(std::uint8_t n, std::uint8_t d, NumberForm form) {
    Piece piece = MakePiece(PieceKind::Quotient);
    piece.first = n;
    piece.second = d;
    piece.form = form;
    return piece;
}
constexpr Piece Gen(std::uint8_t n, std::uint8_t d) { return Quotient(n, d, NumberForm::General); }
constexpr Piece Fix2(std::uint8_t n, std::uint8_t d) { return Quotient(n, d, NumberForm::Fixed2); }
constexpr Piece Fix3(std::uint8_t n, std::uint8_t d) { return Quotient(n, d, NumberForm::Fixed3); }
constexpr Piece Fix4(std::uint8_t n, std::uint8_t d) { return Quotient(n, d, NumberForm::Fixed4); }
constexpr Piece FNumber(std::uint8_t n, std::uint8_t d) {
    Piece piece = MakePiece(PieceKind::FNumber);
    piece.first = n;
    piece.second = d;
    return piece;
}
constexpr Piece Minutes(std::uint8_t n) {
    Piece piece = MakePiece(PieceKind::Minutes);
    piece.first = n;
    return piece;
}
constexpr Piece Code(CodeLookup lookup) {
    Piece piece = MakePiece(PieceKind::Code);
    piece.code = lookup;
    return piece;
}
constexpr Piece TextCode(TextLookup lookup) {
    Piece piece = MakePiece(PieceKind::TextCode);
    piece.textCode = lookup;
    return piece;
}
constexpr Piece Text() { return MakePiece(PieceKind::Text); }
constexpr Piece Comment() { return MakePiece(PieceKind::Comment); }
constexpr Piece Version() { return MakePiece(PieceKind::Version); }

constexpr Slot T = Slot::Text;
constexpr Slot B = Slot::Byte;
constexpr Slot S = Slot::Short;
constexpr Slot L = Slot::Long;
constexpr Slot R = Slot::Rational;  // also the signed pair (numerator 0, denominator 1)
constexpr Slot O = Slot::Offset;

// Degrees, hours and minutes are rationals too: some writers store decimal
// degrees (3123040/100000), so they are shown as quotients; x/1 reads x.
// Phones store seconds (31/1 13/1 4620/100): dropped, they would put the
// place up to a kilometre and more away, so they join the minutes.
constexpr CatalogueEntry kCatalogue[] = {
    {0x0001, "GPS 纬度参考", T, {TextCode(LatitudeRefText)}},
    {0x0002, "GPS 纬度", R, {Gen(0, 1), Lit("°"), Minutes(2), Lit("'")}},
    {0x0003, "GPS 经度参考", T, {TextCode(LongitudeRefText)}},
    {0x0004, "GPS 经度", R, {Gen(0, 1), Lit("°"), Minutes(2), Lit("'")}},
    {0x0005, "GPS 高度参考", B, {Code(AltitudeRefText)}},
    {0x0006, "GPS 高度", R, {Fix4(0, 1), Lit(" m")}},
    {0x0007, "GPS 时间戳", R, {Gen(0, 1), Lit(":"), Gen(2, 3), Lit(":"), Gen(4, 5), Lit(" UTC")}},
    {0x0010, "GPS 图像方向参考", T, {TextCode(ImgDirectionRefText)}},
    {0x0011, "GPS 图像方向", R, {Fix4(0, 1)}},
    {0x0100, "缩略图宽度", L, {Int(0)}},
    {0x0101, "缩略图高度", L, {Int(0)}},
    {0x0103, "缩略图压缩方式", S, {Code(CompressionText)}},
    {0x0106, "缩略图色彩空间", S, {Code(PhotometricText)}},
    {0x010E, "图像标题", T, {Text()}},
    {0x010F, "厂商", T, {Text()}},
    {0x0110, "型号", T, {Text()}},
    {0x0112, "方向", S, {Code(OrientationText)}},
    {0x011A, "水平分辨率", R, {Gen(0, 1)}},
    {0x011B, "垂直分辨率", R, {Gen(0, 1)}},
    {0x0128, "分辨率单位", S, {Code(ResolutionUnitText)}},
    {0x0131, "软件", T, {Text()}},
    {0x0132, "修改时间", T, {Text()}},
    {0x013B, "作者", T, {Text()}},
    {0x0201, "缩略图起始位置", L, {Lit("偏移:"), Int(0)}},
    {0x0202, "缩略图数据长度", L, {Int(0)}},
    {0x0212, "YCbCr采样率", S, {Int(0), Lit("|"), Int(1)}},
    {0x0213, "YCbCr定位", S, {Code(YCbCrPositioningText)}},
    {0x5023, "压缩模式", S, {Code(CompressionText)}},
    {0x8298, "版权", T, {Text()}},
    {0x829A, "曝光时间", R, {Int(0), Lit("/"), Int(1), Lit("\"")}},
    {0x829D, "光圈", R, {Lit("F"), Gen(0, 1)}},
    {0x8769, "Exif IFD Pointer", O, {Lit("偏移:"), Int(0)}},
    {0x8822, "曝光程序", S, {Code(ExposureProgramText)}},
    {0x8825, "GPS Info IFD Pointer", O, {Lit("偏移:"), Int(0)}},
    {0x8827, "ISO 感光度", S, {Int(0)}},
    {0x9000, "EXIF版本", T, {Lit("v"), Version()}},
    {0x9003, "拍摄时间", T, {Text()}},
    {0x9004, "数字化时间", T, {Text()}},
    {0x9201, "TV快门速度", R, {Fix2(0, 1), Lit(" TV")}},
    {0x9202, "AV光圈值", R, {Fix2(0, 1), Lit(" AV")}},
    {0x9203, "BV亮度值", R, {Fix2(0, 1), Lit(" BV")}},
    {0x9204, "曝光补偿", R, {Fix2(0, 1), Lit("EV")}},
    {0x9205, "最大光圈", R, {Lit("F"), FNumber(0, 1)}},
    {0x9206, "到焦距的距离", R, {Gen(0, 1), Lit(" m")}},
    {0x9207, "测光模式", S, {Code(MeteringModeText)}},
    {0x9208, "光源", S, {Code(LightSourceText)}},
    {0x9209, "闪光", S, {Code(FlashText)}},
    {0x920A, "焦距", R, {Gen(0, 1), Lit("mm")}},
    {0x9214,
     "对焦范围",
     S,
     {Lit("矩形:中心点(X="), Int(0), Lit(",Y="), Int(1), Lit("）,宽="), Int(2), Lit(",高="),
      Int(3)}},
    {0x9286, "用户注释", T, {Comment()}},
    {0x9290, "次秒修改时间", T, {Text()}},
    {0x9291, "次秒拍摄时间", T, {Text()}},
    {0x9292, "次秒数字化时间", T, {Text()}},
    {0xA000, "Flashpix 版本", T, {Lit("v"), Version()}},
    {0xA001, "色彩空间", S, {Code(ColorSpaceText)}},
    {0xA002, "图像宽度", L, {Int(0)}},
    {0xA003, "图像高度", L, {Int(0)}},
    {0xA20E, "焦平面水平分辨率", R, {Fix3(0, 1)}},
    {0xA20F, "焦平面垂直分辨率", R, {Fix3(0, 1)}},
    {0xA210, "焦平面分辨率单位", S, {Code(ResolutionUnitText)}},
    {0xA217, "传感类型", S, {Code(SensingMethodText)}},
    {0xA300, "文件来源", B, {Code(FileSourceText)}},
    {0xA301, "场景类型", B, {Code(SceneTypeText)}},
    {0xA302, "CFA pattern", B, {Int(0)}},
    {0xA401, "自定义补偿", S, {Code(CustomRenderedText)}},
    {0xA402, "曝光模式", S, {Code(ExposureModeText)}},
    {0xA403, "白平衡", S, {Code(WhiteBalanceText)}},
    {0xA404, "数字变焦", R, {Gen(0, 1), Lit("x")}},
    {0xA405, "等价35mm焦距", S, {Int(0), Lit("mm")}},
    {0xA406, "场景拍摄类型", S, {Code(SceneCaptureTypeText)}},
    {0xA407, "增益控制", S, {Code(GainControlText)}},
    {0xA408, "对比度", S, {Code(ContrastText)}},
    {0xA409, "饱和度", S, {Code(SaturationText)}},
    {0xA40A, "锐度", S, {Code(SharpnessText)}},
    {0xA40C, "主体距离范围", S, {Code(SubjectDistanceRangeText)}},
};

constexpr bool SortedByTag() {
    for (std::size_t i = 1; i < std::size(kCatalogue); ++i)
        if (kCatalogue[i - 1].tag >= kCatalogue[i].tag) return false;
    return true;
}
static_assert(SortedByTag(), "FindTag searches the catalogue by halves");

std::string QuotientText(std::int64_t numerator, std::int64_t denominator, NumberForm form) {
    // A zero denominator shows the fraction as stored instead of inf or nan.
    if (denominator == 0) return IntText(numerator) + "/0";
    const double quotient = static_cast<double>(numerator) / static_cast<double>(denominator);
    switch (form) {
    case NumberForm::General: return GenText(quotient);
    case NumberForm::Fixed2: return FixText(quotient, 2);
    case NumberForm::Fixed3: return FixText(quotient, 3);
    case NumberForm::Fixed4: return FixText(quotient, 4);
    }
    return {};
}

// The label promises an f-number, the tag stores its APEX value v: f = 2^(v/2).
std::string FNumberText(std::int64_t numerator, std::int64_t denominator) {
    if (denominator == 0) return QuotientText(numerator, denominator, NumberForm::General);
    const double apex = static_cast<double>(numerator) / static_cast<double>(denominator);
    const double fNumber = std::exp2(apex / 2);
    // No lens is slower than f/10000: such a value is junk, shown as stored.
    if (!std::isfinite(fNumber) || fNumber > 10000)
        return IntText(numerator) + "/" + IntText(denominator);
    return RoundedText(fNumber, 1);
}

// Four decimals of a minute are a fifth of a metre. Seconds that are zero,
// missing or over a zero denominator leave the minutes as stored.
std::string MinutesText(const DecodeSlots& item, Slot reads, std::uint8_t first) {
    const auto minutes = item.Element(reads, first);
    const auto minutesDenominator = item.Element(reads, first + 1);
    if (!minutes || !minutesDenominator) return {};
    const auto seconds = item.Element(reads, first + 2);
    const auto secondsDenominator = item.Element(reads, first + 3);
    if (!seconds || !secondsDenominator || *seconds == 0 || *secondsDenominator == 0 ||
        *minutesDenominator == 0)
        return QuotientText(*minutes, *minutesDenominator, NumberForm::General);
    const double total =
        static_cast<double>(*minutes) / static_cast<double>(*minutesDenominator) +
        static_cast<double>(*seconds) / static_cast<double>(*secondsDenominator) / 60;
    return RoundedText(total, 4);
}

void AppendPiece(std::string& out, const Piece& piece, Slot reads, const DecodeSlots& item) {
    switch (piece.kind) {
    case PieceKind::End: return;
    case PieceKind::Literal: out += piece.literal; return;
    case PieceKind::Int:
        if (auto value = item.Element(reads, piece.first)) out += IntText(*value);
        return;
    case PieceKind::Quotient: {
        const auto numerator = item.Element(reads, piece.first);
        const auto denominator = item.Element(reads, piece.second);
        if (numerator && denominator) out += QuotientText(*numerator, *denominator, piece.form);
        return;
    }
    case PieceKind::FNumber: {
        const auto numerator = item.Element(reads, piece.first);
        const auto denominator = item.Element(reads, piece.second);
        if (numerator && denominator) out += FNumberText(*numerator, *denominator);
        return;
    }
    case PieceKind::Minutes: out += MinutesText(item, reads, piece.first); return;
    case PieceKind::Code:
        // Codes come from unsigned readings of at most 32 bits.
        if (auto value = item.Element(reads, piece.first))
            out += piece.code(static_cast<std::uint32_t>(*value));
        return;
    case PieceKind::Text:
        if (auto text = item.Text()) out += *text;
        return;
    case PieceKind::Comment:
        if (auto text = item.Comment()) out += *text;
        return;
    case PieceKind::TextCode:
        if (auto text = item.Text()) out += piece.textCode(*text);
        return;
    case PieceKind::Version:
        if (auto text = item.Text()) out += GenText(LeadingNumber(*text) / 100);
        return;
    }
}

}  // namespace

std::span<const CatalogueEntry> Catalogue() { return kCatalogue; }

const CatalogueEntry* FindTag(std::uint32_t tag) {
    const auto* end = std::end(kCatalogue);
    const auto* row =
        std::lower_bound(std::begin(kCatalogue), end, tag,
                         [](const CatalogueEntry& e, std::uint32_t t) { return e.tag < t; });
    return row != end && row->tag == tag ? row : nullptr;
}

std::string FormatValue(const CatalogueEntry& entry, const DecodeSlots& item) {
    std::string value;
    if (!item.Serves(entry.reads)) return value;
    for (const Piece& piece : entry.pieces) {
        if (piece.kind == PieceKind::End) break;
        AppendPiece(value, piece, entry.reads, item);
    }
    return value;
}

bool FormatItem(std::uint32_t tag, const DecodeSlots& item, MetadataEntry& target) {
    const CatalogueEntry* entry = FindTag(tag);
    if (entry == nullptr) return false;
    target.label = entry->label;
    target.value = FormatValue(*entry, item);
    return true;
}

}  // namespace exif
