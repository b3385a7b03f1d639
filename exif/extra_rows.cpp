#include "exif/extra_rows.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "exif/decode_slots.h"
#include "exif/gps_position.h"
#include "exif/icc_description.h"
#include "exif/iptc_datasets.h"
#include "exif/maker_notes.h"
#include "exif/number_format.h"
#include "exif/text_decode.h"
#include "exif/xmp_packet.h"
#include "reader/property_items.h"

namespace exif {
namespace {

enum class From : std::uint8_t {
    None,
    ExifText,       // the text of the first item with `tag`
    ExifRationals,  // its rationals as "n/d" words
    ExifNumber,     // its first number
    WindowsText,    // a Windows XP tag: UTF-16LE in BYTEs
    Xmp,            // the XMP property `name`
    Iptc,           // dataset 2:`tag`
    MakerLens,
    ShutterCount,
    GpsPosition,
    GpsSpeed,
    ColourProfile,
    FileSize,
};

struct Source {
    From from = From::None;
    std::uint32_t tag = 0;
    std::string_view name;
};

constexpr Source Exif(std::uint32_t tag) { return {From::ExifText, tag, {}}; }
constexpr Source ExifRationals(std::uint32_t tag) { return {From::ExifRationals, tag, {}}; }
constexpr Source ExifNumber(std::uint32_t tag) { return {From::ExifNumber, tag, {}}; }
constexpr Source Windows(std::uint32_t tag) { return {From::WindowsText, tag, {}}; }
constexpr Source Xmp(std::string_view name) { return {From::Xmp, 0, name}; }
constexpr Source Iptc(std::uint32_t dataset) { return {From::Iptc, dataset, {}}; }
constexpr Source Only(From from) { return {from, 0, {}}; }

enum class Wording : std::uint8_t {
    Text,       // the first value
    Joined,     // every value, joined with "; "
    LensSpec,   // see LensSpecText
    Metres,     // the rational in the general form + " m"
    Rating,     // see RatingText
    Composite,  // the code spelled out
};

struct ExtraRow {
    std::string_view label;
    Wording wording;
    std::array<Source, 4> sources;
    bool gps = false;
};

const ExtraRow kRows[] = {
    {"镜头厂商", Wording::Text, {Exif(0xA433)}},
    {"镜头型号",
     Wording::Text,
     {Exif(0xA434), Xmp("exifEX:LensModel"), Xmp("aux:Lens"), Only(From::MakerLens)}},
    {"镜头规格", Wording::LensSpec, {ExifRationals(0xA432), Xmp("aux:LensInfo")}},
    {"机身序列号", Wording::Text, {Exif(0xA431), Xmp("aux:SerialNumber")}},
    {"镜头序列号", Wording::Text, {Exif(0xA435), Xmp("aux:LensSerialNumber")}},
    {"相机所有者", Wording::Text, {Exif(0xA430)}},
    {"快门次数", Wording::Text, {Only(From::ShutterCount)}},
    {"相机固件", Wording::Text, {Exif(0xA439)}},
    {"拍摄时区", Wording::Text, {Exif(0x9011)}},
    {"修改时区", Wording::Text, {Exif(0x9010)}},
    {"数字化时区", Wording::Text, {Exif(0x9012)}},
    {"GPS 坐标", Wording::Text, {Only(From::GpsPosition)}, true},
    {"GPS 日期", Wording::Text, {Exif(0x001D)}, true},
    {"GPS 水平误差", Wording::Metres, {ExifRationals(0x001F)}, true},
    {"GPS 速度", Wording::Text, {Only(From::GpsSpeed)}, true},
    {"GPS 测量基准", Wording::Text, {Exif(0x0012)}, true},
    {"标题", Wording::Text, {Xmp("dc:title"), Iptc(5), Exif(0xA436), Windows(0x9C9B)}},
    {"描述", Wording::Text, {Xmp("dc:description"), Iptc(120)}},
    {"创作者", Wording::Joined, {Xmp("dc:creator"), Iptc(80), Exif(0xA437), Windows(0x9C9D)}},
    {"关键词", Wording::Joined, {Xmp("dc:subject"), Iptc(25), Windows(0x9C9E)}},
    {"主题", Wording::Text, {Windows(0x9C9F)}},
    {"备注", Wording::Text, {Windows(0x9C9C)}},
    {"评级", Wording::Rating, {Xmp("xmp:Rating"), ExifNumber(0x4746)}},
    {"颜色标签", Wording::Text, {Xmp("xmp:Label")}},
    {"城市", Wording::Text, {Xmp("photoshop:City"), Iptc(90)}},
    {"省/州", Wording::Text, {Xmp("photoshop:State"), Iptc(95)}},
    {"国家/地区", Wording::Text, {Xmp("photoshop:Country"), Iptc(101)}},
    {"合成图像", Wording::Composite, {ExifNumber(0xA460)}},
    {"RAW 显影软件", Wording::Text, {Exif(0xA43A)}},
    {"图像编辑软件", Wording::Text, {Exif(0xA43B)}},
    {"颜色配置文件", Wording::Text, {Only(From::ColourProfile)}},
    {"文件大小", Wording::Text, {Only(From::FileSize)}},
};

constexpr std::array<std::string_view, std::size(kRows)> Labels() {
    std::array<std::string_view, std::size(kRows)> labels{};
    for (std::size_t i = 0; i < std::size(kRows); ++i) labels[i] = kRows[i].label;
    return labels;
}
const std::array<std::string_view, std::size(kRows)> kLabels = Labels();

// The longest text value read; the rows show names and short texts.
constexpr std::uint32_t kMaxText = 64u << 10;

std::string Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// A rational "n/d" or a decimal number; nothing for 0/0, junk or a zero
// denominator.
std::optional<double> Number(std::string_view word) {
    const auto parse = [](std::string_view text) -> std::optional<double> {
        double value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
        return value;
    };
    const std::size_t slash = word.find('/');
    if (slash == std::string_view::npos) return parse(word);
    const auto numerator = parse(word.substr(0, slash)),
               denominator = parse(word.substr(slash + 1));
    if (!numerator || !denominator || *denominator == 0) return std::nullopt;
    return *numerator / *denominator;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = text.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(text.find(' ', start), text.size());
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

// "24-70" or "50": the low and high ends in the general form.
std::string Span(std::optional<double> low, std::optional<double> high) {
    if (!low || *low <= 0) return {};
    std::string text = GenText(*low);
    if (high && *high > *low) {
        text += '-';
        text += GenText(*high);
    }
    return text;
}

std::string_view CompositeText(std::uint32_t code) {
    switch (code) {
    case 0: return "0-未知";
    case 1: return "1-非合成图像";
    case 2: return "2-一般合成图像";
    case 3: return "3-拍摄时合成图像";
    }
    return {};
}

// What one photo offers the rows; the blocks are parsed when a row first
// asks for them.
class PhotoSources {
public:
    explicit PhotoSources(const reader::PropertyImage& image) : image_(image) {}

    std::vector<std::string> values(const Source& source) {
        switch (source.from) {
        case From::None: return {};
        case From::ExifText: return one(exifText(source.tag));
        case From::ExifRationals: return one(exifRationals(source.tag));
        case From::ExifNumber: return one(exifNumber(source.tag));
        case From::WindowsText: return one(windowsText(source.tag));
        case From::Xmp: return xmp().Values(source.name);
        case From::Iptc: return IptcValues(iptc(), 2, static_cast<std::uint8_t>(source.tag));
        case From::MakerLens: return one(makerNote().lens);
        case From::ShutterCount:
            return makerNote().shutterCount ? one(IntText(*makerNote().shutterCount))
                                            : std::vector<std::string>();
        case From::GpsPosition: {
            const std::optional<GpsPoint> point = exif::GpsPosition(image_);
            if (!point) return {};
            return one(FixText(point->latitude, 6) + ", " + FixText(point->longitude, 6));
        }
        case From::GpsSpeed: return one(gpsSpeed());
        case From::ColourProfile: return one(colourProfile());
        case From::FileSize:
            return image_.fileSize() > 0 ? one(FileSizeText(image_.fileSize()))
                                         : std::vector<std::string>();
        }
        return {};
    }

private:
    static std::vector<std::string> one(std::string text) {
        if (text.empty()) return {};
        return {std::move(text)};
    }

    // The first item with the tag, decoded; nothing when it cannot be read.
    std::optional<DecodeSlots> item(std::uint32_t tag) {
        const reader::PropertyImage::ItemLocation* location = image_.find(tag);
        if (!location || !image_.readValue(*location, buffer_, kMaxText)) return std::nullopt;
        return DecodeSlots(location->type, buffer_, image_.bigEndian());
    }

    std::string exifText(std::uint32_t tag) {
        const std::optional<DecodeSlots> value = item(tag);
        return value ? value->Text().value_or("") : "";
    }

    std::string exifRationals(std::uint32_t tag) {
        const std::optional<DecodeSlots> value = item(tag);
        if (!value || !value->Serves(Slot::Rational)) return {};
        std::string words;
        for (std::size_t k = 0;; k += 2) {
            const auto numerator = value->Element(Slot::Rational, k),
                       denominator = value->Element(Slot::Rational, k + 1);
            if (!numerator || !denominator) break;
            if (!words.empty()) words += ' ';
            words += IntText(*numerator) + "/" + IntText(*denominator);
        }
        return words;
    }

    std::string exifNumber(std::uint32_t tag) {
        const std::optional<DecodeSlots> value = item(tag);
        if (!value) return {};
        const std::optional<std::int64_t> number = value->Element(Slot::Short, 0);
        return number ? IntText(*number) : "";
    }

    std::string windowsText(std::uint32_t tag) {
        const reader::PropertyImage::ItemLocation* location = image_.find(tag);
        if (!location || location->type != reader::PropertyTypeByte ||
            !image_.readValue(*location, buffer_, kMaxText))
            return {};
        return DecodeUtf16(buffer_.data(), buffer_.size(), false);
    }

    std::string gpsSpeed() {
        const std::string rationals = exifRationals(0x000D);
        const std::vector<std::string_view> words = Words(rationals);
        const std::optional<double> speed = words.empty() ? std::nullopt : Number(words.front());
        if (!speed) return {};
        const std::string unit = Trimmed(exifText(0x000C));
        // Kilometres per hour unless the reference says otherwise.
        if (unit.empty() || unit == "K") return GenText(*speed) + " km/h";
        if (unit == "M") return GenText(*speed) + " mph";
        if (unit == "N") return GenText(*speed) + " 节";
        return GenText(*speed);
    }

    std::string colourProfile() {
        const reader::EmbeddedBlocks& blocks = image_.embedded();
        if (!blocks.icc.empty()) return IccDescription(blocks.icc);
        if (!blocks.colourPrimaries) return {};
        switch (*blocks.colourPrimaries) {
        case 1: return "sRGB";
        case 9: return "BT.2020";
        case 12: return "Display P3";
        }
        return {};
    }

    const XmpProperties& xmp() {
        if (!xmp_) {
            const reader::EmbeddedBlocks& blocks = image_.embedded();
            xmp_ = ParseXmp(blocks.xmp);
            const std::vector<std::string>& guid = xmp_->Values("xmpNote:HasExtendedXMP");
            if (!guid.empty() && guid.front().size() == 32 && !blocks.extendedXmp.empty()) {
                std::array<std::uint8_t, 32> id{};
                std::copy(guid.front().begin(), guid.front().end(), id.begin());
                xmp_->Complete(ParseXmp(reader::JoinExtendedXmp(blocks.extendedXmp, id)));
            }
        }
        return *xmp_;
    }

    const std::vector<IptcText>& iptc() {
        if (!iptc_) iptc_ = ParseIptc(image_.embedded().iptc);
        return *iptc_;
    }

    const MakerNoteValues& makerNote() {
        if (!makerNote_) makerNote_ = ReadMakerNote(image_);
        return *makerNote_;
    }

    const reader::PropertyImage& image_;
    std::vector<std::uint8_t> buffer_;
    std::optional<XmpProperties> xmp_;
    std::optional<std::vector<IptcText>> iptc_;
    std::optional<MakerNoteValues> makerNote_;
};

std::string Worded(Wording wording, const std::vector<std::string>& values) {
    switch (wording) {
    case Wording::Text:
        for (const std::string& value : values)
            if (std::string text = Trimmed(value); !text.empty()) return text;
        return {};
    case Wording::Joined: {
        std::string text;
        for (const std::string& value : values) {
            const std::string item = Trimmed(value);
            if (item.empty()) continue;
            if (!text.empty()) text += "; ";
            text += item;
        }
        return text;
    }
    case Wording::LensSpec: return values.empty() ? "" : LensSpecText(values.front());
    case Wording::Metres: {
        const std::vector<std::string_view> words =
            values.empty() ? std::vector<std::string_view>() : Words(values.front());
        const std::optional<double> metres = words.empty() ? std::nullopt : Number(words.front());
        return metres ? GenText(*metres) + " m" : "";
    }
    case Wording::Rating: return values.empty() ? "" : RatingText(values.front());
    case Wording::Composite: {
        if (values.empty()) return {};
        const std::optional<double> code = Number(values.front());
        const std::string_view text = code && *code >= 0 && *code <= 3
                                          ? CompositeText(static_cast<std::uint32_t>(*code))
                                          : "";
        return text.empty() ? values.front() : std::string(text);
    }
    }
    return {};
}

}  // namespace

std::span<const std::string_view> ExtraRows() { return kLabels; }

void AppendExtraRows(const reader::PropertyImage& image, std::vector<MetadataEntry>& entries) {
    // What is not a photo has no rows, not even its size.
    if (image.format() == reader::PhotoFormat::Unknown) return;
    PhotoSources sources(image);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        for (const Source& source : kRows[i].sources) {
            if (source.from == From::None) break;
            std::string value = Worded(kRows[i].wording, sources.values(source));
            if (value.empty()) continue;
            entries.push_back(MetadataEntry{std::string(kRows[i].label), std::move(value),
                                            kExtraRowTag + static_cast<std::uint32_t>(i)});
            break;
        }
    }
}

bool IsExtraGpsLabel(std::string_view label) {
    return std::any_of(std::begin(kRows), std::end(kRows),
                       [&](const ExtraRow& row) { return row.gps && row.label == label; });
}

std::string LensSpecText(std::string_view rationals) {
    const std::vector<std::string_view> words = Words(rationals);
    const auto at = [&](std::size_t k) {
        return k < words.size() ? Number(words[k]) : std::nullopt;
    };
    std::string focal = Span(at(0), at(1));
    if (focal.empty() && at(1) && *at(1) > 0) focal = GenText(*at(1));
    std::string aperture = Span(at(2), at(3));
    if (aperture.empty() && at(3) && *at(3) > 0) aperture = GenText(*at(3));
    std::string text;
    if (!focal.empty()) text = focal + "mm";
    if (!aperture.empty()) {
        text += text.empty() ? "F" : " F";
        text += aperture;
    }
    return text;
}

std::string RatingText(std::string_view rating) {
    const std::string text = Trimmed(rating);
    int stars = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), stars);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return text;
    if (stars == 0) return "未评级";
    if (stars == -1) return "已拒绝";
    if (stars < 1 || stars > 5) return text;
    std::string out;
    for (int k = 0; k < 5; ++k) out += k < stars ? "★" : "☆";
    return out;
}

std::string FileSizeText(std::uint64_t bytes) {
    constexpr double kKilobyte = 1024, kMegabyte = 1024 * 1024;
    const double size = static_cast<double>(bytes);
    const std::string amount = size >= kMegabyte ? FixText(size / kMegabyte, 2) + " MB"
                                                 : FixText(size / kKilobyte, 2) + " KB";
    return amount + " (" + IntText(static_cast<std::int64_t>(bytes)) + " 字节)";
}

}  // namespace exif
