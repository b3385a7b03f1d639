// Photos whose metadata other programs wrote (exiftool, exiv2), read back by our
// reader and core and held against what two peer readers see: exiv2 for the
// items (tag, type, count, value, order), exiftool for the worded values.
// None of these photos come from our own test writer's TIFF blocks, so a
// fault shared by our writer and our reader cannot hide here. HEIC and AVIF
// photos are made by heif-enc; exiv2 0.27 cannot read them, so their items
// are held against exiv2's reading of the Exif block that exiftool finds in
// them. PNGs with a raw Exif profile are made by ImageMagick.
#include "exif/metadata_list.h"
#include "metadata_blocks.h"
#include "reader/property_items.h"
#include "reader/property_tiff_walk.h"
#include "reader_test_support.h"
#include "shell_quote.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>
#include "peer_photos.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using namespace oracle;

// What a camera writes, in exiftool's words; "#=" sets the stored number.
const std::vector<std::string> kCameraTags = {
    "-Make=Canon",
    "-Model=Canon EOS R5",
    "-Orientation#=6",
    "-XResolution=300",
    "-YResolution=300",
    "-ResolutionUnit#=2",
    "-Software=Digital Photo Professional 4.17",
    "-ModifyDate=2024:05:01 10:20:31",
    "-Artist=张三",
    "-Copyright=(c) 2024 张三",
    "-ImageDescription=西湖 at dusk",
    "-ExposureTime=1/125",
    "-FNumber=2.8",
    "-ExposureProgram#=3",
    "-ISO=400",
    "-ExifVersion=0232",
    "-DateTimeOriginal=2024:05:01 10:20:30",
    "-CreateDate=2024:05:01 10:20:30",
    "-ShutterSpeedValue=1/125",
    "-ApertureValue=2.8",
    "-BrightnessValue=-0.35",
    "-ExposureCompensation=-0.7",
    "-SubjectDistance=1.25",
    "-MeteringMode#=5",
    "-LightSource#=13",
    "-EXIF:Flash#=25",
    "-FocalLength=50",
    "-SubjectArea=1000 750 200 150",
    "-SubSecTimeOriginal=07",
    "-SubSecTime=11",
    "-SubSecTimeDigitized=07",
    "-FlashpixVersion=0100",
    "-ColorSpace#=1",
    "-ExifImageWidth=6000",
    "-ExifImageHeight=4000",
    "-FocalPlaneXResolution=1600.5",
    "-FocalPlaneYResolution=1600.5",
    "-FocalPlaneResolutionUnit#=3",
    "-SensingMethod#=2",
    "-FileSource#=3",
    "-SceneType#=1",
    "-CustomRendered#=0",
    "-ExposureMode#=0",
    "-WhiteBalance#=1",
    "-DigitalZoomRatio=1.5",
    "-FocalLengthIn35mmFormat=75",
    "-SceneCaptureType#=2",
    "-GainControl#=1",
    "-Contrast#=2",
    "-Saturation#=1",
    "-Sharpness#=2",
    "-SubjectDistanceRange#=3",
    "-MaxApertureValue=5.6",
    "-UserComment=晴天 sunny day",
    "-GPSLatitude=31.2304",
    "-GPSLatitudeRef=N",
    "-GPSLongitude=121.4737",
    "-GPSLongitudeRef=W",
    "-GPSAltitude=12.5",
    "-GPSAltitudeRef#=1",
    "-GPSTimeStamp=10:20:30.5",
    "-GPSImgDirection=180.25",
    "-GPSImgDirectionRef=T",
};

// A phone: fewer tags, other values, a south-east position, an ASCII comment.
const std::vector<std::string> kPhoneTags = {
    "-Make=HUAWEI",
    "-Model=ELS-AN00",
    "-Orientation#=1",
    "-ExposureTime=1/50",
    "-FNumber=1.8",
    "-ISO=1600",
    "-ExposureProgram#=2",
    "-EXIF:Flash#=16",
    "-FocalLength=5.58",
    "-WhiteBalance#=0",
    "-MeteringMode#=2",
    "-DateTimeOriginal=2026:01:31 23:59:59",
    "-ExposureCompensation=0",
    "-GPSLatitude=33.8568",
    "-GPSLatitudeRef=S",
    "-GPSLongitude=151.2153",
    "-GPSLongitudeRef=E",
    "-GPSAltitude=0",
    "-GPSAltitudeRef#=0",
    "-MaxApertureValue=1.8",
    "-UserComment=hello",
};

// The same kind of photo by the other writer, in exiv2's modify commands:
// its own layout, an interoperability directory (whose tags must not pass
// for GPS tags) and a Unicode user comment.
const std::vector<std::string> kExiv2Tags = {
    "set Exif.Image.Make Nikon",
    "set Exif.Image.Model NIKON Z 6_2",
    "set Exif.Image.Orientation 8",
    "set Exif.Image.XResolution 240/1",
    "set Exif.Image.ResolutionUnit 3",
    "set Exif.Photo.ExposureTime 10/2500",
    "set Exif.Photo.FNumber 56/10",
    "set Exif.Photo.ISOSpeedRatings 200",
    "set Exif.Photo.DateTimeOriginal 2025:10:01 08:00:00",
    "set Exif.Photo.Flash 16",
    "set Exif.Photo.FocalLength 2400/100",
    "set Exif.Photo.ExposureBiasValue -1/3",
    "set Exif.Photo.MaxApertureValue 297/100",
    "set Exif.Photo.UserComment charset=Unicode 你好",
    "set Exif.Photo.PixelXDimension 6048",
    "set Exif.Iop.InteroperabilityIndex R98",
    "set Exif.Iop.InteroperabilityVersion 48 49 48 48",
    "set Exif.GPSInfo.GPSLatitudeRef N",
    "set Exif.GPSInfo.GPSLatitude 40/1 2655/100 0/1",
    "set Exif.GPSInfo.GPSLongitudeRef W",
    "set Exif.GPSInfo.GPSLongitude 79/1 58/1 5616/100",
    "set Exif.GPSInfo.GPSTimeStamp 8/1 0/1 0/1",
};

// ---- Items against exiv2 ----

struct PeerItem {
    std::uint32_t id = 0;
    std::string type;
    std::uint32_t count = 0;
    std::string value;
};

std::string Describe(const std::vector<PeerItem>& items) {
    std::string text;
    char head[64];
    for (const PeerItem& item : items) {
        std::snprintf(head, sizeof head, "0x%04x %-10s %5u ", item.id, item.type.c_str(),
                      item.count);
        text += head + item.value + "\n";
    }
    return text;
}

// Our numbers for the thumbnail tags that exiftool writes into IFD1.
std::optional<std::uint32_t> ThumbnailNumber(std::uint32_t tag) {
    static const std::map<std::uint32_t, std::uint32_t> numbers = {
        {0x0103, 0x5023}, {0x011A, 0x502D}, {0x011B, 0x502E},
        {0x0128, 0x5030}, {0x0201, 0x0201}, {0x0202, 0x0202},
    };
    const auto it = numbers.find(tag);
    if (it == numbers.end()) return std::nullopt;
    return it->second;
}

// exiv2's list in our order: IFD0, then the Exif and the GPS
// directories (both writers put the Exif pointer first), then IFD1.
// Interoperability entries are not items.
std::vector<PeerItem> Exiv2Items(const std::string& path) {
    const std::optional<std::string> out =
        Capture("exiv2 -q -pv " + ShellQuote(path) + " 2>/dev/null");
    EXPECT_TRUE(out.has_value()) << "exiv2 could not read " << path;
    std::map<std::string, std::vector<PeerItem>> groups;
    std::istringstream lines(out.value_or(""));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string tag, group, name;
        PeerItem item;
        if (!(fields >> tag >> group >> name >> item.type >> item.count)) continue;
        item.id = static_cast<std::uint32_t>(std::stoul(tag, nullptr, 16));
        std::getline(fields >> std::ws, item.value);
        if (group == "Thumbnail") {
            const std::optional<std::uint32_t> number = ThumbnailNumber(item.id);
            EXPECT_TRUE(number.has_value()) << "exiftool wrote thumbnail tag " << tag;
            item.id = number.value_or(0);
        }
        groups[group].push_back(item);
    }
    std::vector<PeerItem> items;
    for (const char* group : {"Image", "Photo", "GPSInfo", "Thumbnail"})
        for (const PeerItem& item : groups[group]) items.push_back(item);
    return items;
}

std::string TypeName(std::uint16_t type) {
    static const std::map<std::uint16_t, std::string> names = {
        {1, "Byte"},   {2, "Ascii"},     {3, "Short"},  {4, "Long"},  {5, "Rational"},
        {6, "SByte"},  {7, "Undefined"}, {8, "SShort"}, {9, "SLong"}, {10, "SRational"},
        {11, "Float"}, {12, "Double"},   {13, "Ifd"},
    };
    const auto it = names.find(type);
    return it == names.end() ? "type" + std::to_string(type) : it->second;
}

std::uint32_t U32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}
std::uint32_t U32Be(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// Our item's value in exiv2's plain words. The user comment's value is left
// out: exiv2 words it its own way ("charset=Ascii hello").
std::string ValueText(const readertest::Item& item) {
    const std::uint8_t* v = item.value.data();
    const std::size_t length = item.value.size();
    std::string text;
    auto add = [&](const std::string& word) { text += (text.empty() ? "" : " ") + word; };
    switch (item.type) {
    case reader::PropertyTypeAscii:
        for (std::size_t i = 0; i < length && v[i] != 0; ++i) text += static_cast<char>(v[i]);
        return text;
    case reader::PropertyTypeByte:
    case reader::PropertyTypeUndefined:
        if (item.id == 0x9286) return "(comment)";
        for (std::size_t i = 0; i < length; ++i) add(std::to_string(v[i]));
        return text;
    case reader::PropertyTypeShort:
        for (std::size_t i = 0; i + 2 <= length; i += 2) add(std::to_string(v[i] | v[i + 1] << 8));
        return text;
    case reader::PropertyTypeLong:
    case reader::PropertyTypeIfd:
        for (std::size_t i = 0; i + 4 <= length; i += 4) add(std::to_string(U32(v + i)));
        return text;
    case reader::PropertyTypeSLong:
        for (std::size_t i = 0; i + 4 <= length; i += 4)
            add(std::to_string(std::int32_t(U32(v + i))));
        return text;
    case reader::PropertyTypeRational:
        for (std::size_t i = 0; i + 8 <= length; i += 8)
            add(std::to_string(U32(v + i)) + "/" + std::to_string(U32(v + i + 4)));
        return text;
    case reader::PropertyTypeSRational:
        for (std::size_t i = 0; i + 8 <= length; i += 8)
            add(std::to_string(std::int32_t(U32(v + i))) + "/" +
                std::to_string(std::int32_t(U32(v + i + 4))));
        return text;
    }
    return "?";
}

std::vector<PeerItem> OurItems(const std::string& path) {
    std::vector<PeerItem> items;
    for (const readertest::Item& item :
         readertest::ReadAll(reader::PropertyImage::Open(reader::FileSource(path)))) {
        const std::uint32_t elementSize =
            std::max<std::uint32_t>(reader::PropertyElementSize(item.type), 1);
        const auto count = static_cast<std::uint32_t>(item.value.size() / elementSize);
        items.push_back({item.id, TypeName(item.type), count, ValueText(item)});
    }
    return items;
}

// Our items of `path` against exiv2's of `peerPath` (by default the same).
void ExpectItemsAsExiv2(const std::string& path, const std::string& peerPath = {}) {
    std::vector<PeerItem> expected = Exiv2Items(peerPath.empty() ? path : peerPath);
    for (PeerItem& item : expected)
        if (item.id == 0x9286) item.value = "(comment)";
    ASSERT_FALSE(expected.empty()) << "exiv2 found no items in " << path;
    EXPECT_EQ(Describe(OurItems(path)), Describe(expected)) << path;
}

// ---- Worded values against exiftool ----

// How a worded value is held against exiftool's number (-n) for its tag.
enum class Check {
    Text,      // prefix + the same text + suffix
    Number,    // prefix + number + suffix, within the tolerance
    Code,      // "n-..." (or a bare "n"), n the stored code
    Fraction,  // "n/d\"" equals the number
    DegMin,    // "D°M'", the seconds in the minutes to four decimals
    Apex,      // "x TV" / "x AV": the APEX form of exiftool's seconds or f-number
    Numbers,   // the same numbers in the same order, whatever stands between them
};

struct Expectation {
    const char* peerTag;
    const char* label;
    Check check;
    std::string_view prefix = {};
    std::string_view suffix = {};
    double tolerance = 1e-9;
};

const Expectation kExpectations[] = {
    {"Make", "厂商", Check::Text},
    {"Model", "型号", Check::Text},
    {"Software", "软件", Check::Text},
    {"ModifyDate", "修改时间", Check::Text},
    {"Artist", "作者", Check::Text},
    {"Copyright", "版权", Check::Text},
    {"ImageDescription", "图像标题", Check::Text},
    {"DateTimeOriginal", "拍摄时间", Check::Text},
    {"CreateDate", "数字化时间", Check::Text},
    {"SubSecTime", "次秒修改时间", Check::Text},
    {"SubSecTimeOriginal", "次秒拍摄时间", Check::Text},
    {"SubSecTimeDigitized", "次秒数字化时间", Check::Text},
    {"GPSTimeStamp", "GPS 时间戳", Check::Numbers},  // exiftool pads to two digits, we do not
    {"SubjectArea", "对焦范围", Check::Numbers},
    {"Orientation", "方向", Check::Code},
    {"ResolutionUnit", "分辨率单位", Check::Code},
    {"ExposureProgram", "曝光程序", Check::Code},
    {"MeteringMode", "测光模式", Check::Code},
    {"LightSource", "光源", Check::Code},
    {"Flash", "闪光", Check::Code},
    {"ColorSpace", "色彩空间", Check::Code},
    {"FocalPlaneResolutionUnit", "焦平面分辨率单位", Check::Code},
    {"SensingMethod", "传感类型", Check::Code},
    {"FileSource", "文件来源", Check::Code},
    {"SceneType", "场景类型", Check::Code},
    {"CustomRendered", "自定义补偿", Check::Code},
    {"ExposureMode", "曝光模式", Check::Code},
    {"WhiteBalance", "白平衡", Check::Code},
    {"SceneCaptureType", "场景拍摄类型", Check::Code},
    {"GainControl", "增益控制", Check::Code},
    {"Contrast", "对比度", Check::Code},
    {"Saturation", "饱和度", Check::Code},
    {"Sharpness", "锐度", Check::Code},
    {"SubjectDistanceRange", "主体距离范围", Check::Code},
    {"XResolution", "水平分辨率", Check::Number},
    {"YResolution", "垂直分辨率", Check::Number},
    {"ISO", "ISO 感光度", Check::Number},
    {"ExifImageWidth", "图像宽度", Check::Number},
    {"ExifImageHeight", "图像高度", Check::Number},
    {"FNumber", "光圈", Check::Number, "F"},
    {"MaxApertureValue", "最大光圈", Check::Number, "F", "", 0.05},
    {"UserComment", "用户注释", Check::Text},
    {"FocalLength", "焦距", Check::Number, "", "mm"},
    {"FocalLengthIn35mmFormat", "等价35mm焦距", Check::Number, "", "mm"},
    {"DigitalZoomRatio", "数字变焦", Check::Number, "", "x"},
    {"SubjectDistance", "到焦距的距离", Check::Number, "", " m"},
    {"ExposureCompensation", "曝光补偿", Check::Number, "", "EV", 0.005},
    {"BrightnessValue", "BV亮度值", Check::Number, "", " BV", 0.005},
    {"FocalPlaneXResolution", "焦平面水平分辨率", Check::Number, "", "", 0.0005},
    {"FocalPlaneYResolution", "焦平面垂直分辨率", Check::Number, "", "", 0.0005},
    {"GPSAltitude", "GPS 高度", Check::Number, "", " m", 0.00005},
    {"GPSImgDirection", "GPS 图像方向", Check::Number, "", "", 0.00005},
    {"ExifVersion", "EXIF版本", Check::Number,
     "v"},  // exiftool's "0232" against our 2.32, both x100
    {"FlashpixVersion", "Flashpix 版本", Check::Number, "v"},
    {"ExposureTime", "曝光时间", Check::Fraction},
    {"ShutterSpeedValue", "TV快门速度", Check::Apex, "", " TV", 0.005},
    {"ApertureValue", "AV光圈值", Check::Apex, "", " AV", 0.005},
    {"GPSLatitude", "GPS 纬度", Check::DegMin},
    {"GPSLongitude", "GPS 经度", Check::DegMin},
};

bool Strip(std::string_view& text, std::string_view prefix, std::string_view suffix) {
    if (!text.starts_with(prefix) || !text.ends_with(suffix) ||
        text.size() < prefix.size() + suffix.size())
        return false;
    text = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    return true;
}

// Empty when our worded value agrees with exiftool's reading, else why not.
std::string Disagreement(const Expectation& e, std::string_view ours, const std::string& peer) {
    const std::string why = "ours \"" + std::string(ours) + "\", exiftool \"" + peer + "\"";
    const std::optional<double> number = ParseNumber(peer);
    std::string_view text = ours;
    switch (e.check) {
    case Check::Text: return Strip(text, e.prefix, e.suffix) && text == peer ? "" : why;
    case Check::Code: {
        const std::string code = std::string(ours.substr(0, ours.find('-')));
        return code == peer ? "" : why;
    }
    case Check::Number: {
        if (!Strip(text, e.prefix, e.suffix)) return why;
        std::optional<double> value = ParseNumber(text);
        // Versions: exiftool gives the four digits, we give them divided by 100.
        if (value && e.prefix == "v") *value *= 100;
        return value && number && std::fabs(*value - *number) <= e.tolerance ? "" : why;
    }
    case Check::Fraction: {
        if (!Strip(text, "", "\"")) return why;
        const std::size_t slash = text.find('/');
        const auto n = ParseNumber(text.substr(0, slash));
        const auto d =
            slash == std::string_view::npos ? std::nullopt : ParseNumber(text.substr(slash + 1));
        return n && d && number && std::fabs(*n / *d - *number) <= 1e-12 ? "" : why;
    }
    case Check::DegMin: {
        if (!Strip(text, "", "'")) return why;
        const std::size_t degree = text.find("°");
        const auto d = ParseNumber(text.substr(0, degree));
        const auto m = degree == std::string_view::npos
                           ? std::nullopt
                           : ParseNumber(text.substr(degree + std::string_view("°").size()));
        if (!d || !m || !number) return why;
        // Half a ten-thousandth of a minute, in degrees.
        return std::fabs(*number - (*d + *m / 60)) <= 0.00005 / 60 + 1e-12 ? "" : why;
    }
    case Check::Apex: {
        if (!Strip(text, e.prefix, e.suffix)) return why;
        const auto value = ParseNumber(text);
        if (!value || !number || *number <= 0) return why;
        // Tv = -log2(seconds), Av = 2 log2(f-number).
        const double apex = e.suffix == " TV" ? -std::log2(*number) : 2 * std::log2(*number);
        return std::fabs(*value - apex) <= e.tolerance ? "" : why;
    }
    case Check::Numbers: {
        const std::vector<double> numbers = NumbersIn(ours);
        return !numbers.empty() && numbers == NumbersIn(peer) ? "" : why;
    }
    }
    return why;
}

std::map<std::string, std::string> ExiftoolNumbers(const std::string& path) {
    std::string command = "exiftool -q -q -n -S -charset exif=utf8";
    for (const Expectation& e : kExpectations) command += std::string(" -EXIF:") + e.peerTag;
    const std::optional<std::string> out = Capture(command + " " + ShellQuote(path));
    EXPECT_TRUE(out.has_value()) << command;
    std::map<std::string, std::string> values;
    std::istringstream lines(out.value_or(""));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos)
            values.emplace(line.substr(0, colon), line.substr(colon + 2));
    }
    return values;
}

// Every tag that exiftool reads back from the photo gives exactly one entry,
// worded in agreement with exiftool's number.
void ExpectWordingAsExiftool(const std::string& path, std::size_t atLeast) {
    const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
    exif::MetadataList list;
    list.LoadMetadata(&image);
    std::multimap<std::string, std::string> ours;
    for (std::size_t i = 0; i < list.EntryCount(); ++i)
        ours.emplace(list.Entries()[i].label, list.Entries()[i].value);

    const std::map<std::string, std::string> peer = ExiftoolNumbers(path);
    std::size_t compared = 0;
    for (const Expectation& e : kExpectations) {
        const auto it = peer.find(e.peerTag);
        if (it == peer.end()) {
            EXPECT_EQ(ours.count(e.label), 0u)
                << e.label << " shown, but exiftool has no " << e.peerTag;
            continue;
        }
        ASSERT_EQ(ours.count(e.label), 1u) << e.label << " for " << e.peerTag << " in " << path;
        EXPECT_EQ(Disagreement(e, ours.find(e.label)->second, it->second), "")
            << e.label << " in " << path;
        ++compared;
    }
    EXPECT_GE(compared, atLeast) << path;
}

// ---- The cases ----

struct PhotoCase {
    const char* name;
    Base base;
    const std::vector<std::string>* tags;
    bool thumbnail;
    Writer writer;
    std::size_t compared;  // tags exiftool must find again (all of those written that we word)
};

const PhotoCase kPhotos[] = {
    {"camera JPEG, big-endian Exif, thumbnail", Base::Jpeg, &kCameraTags, true, Writer::Exiftool,
     59},
    {"camera JPEG, little-endian Exif", Base::JpegII, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera TIFF, little-endian", Base::TiffII, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera TIFF, big-endian", Base::TiffMM, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera PNG", Base::Png, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera PNG, raw profile", Base::PngProfile, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera WebP", Base::WebP, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera HEIC", Base::Heic, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera HEIC with thumbnail images", Base::HeicThumbnail, &kCameraTags, true, Writer::Exiftool,
     59},
    {"camera AVIF", Base::Avif, &kCameraTags, false, Writer::Exiftool, 59},
    {"phone JPEG", Base::Jpeg, &kPhoneTags, false, Writer::Exiftool, 19},
    {"phone WebP", Base::WebP, &kPhoneTags, false, Writer::Exiftool, 19},
    {"phone HEIC", Base::Heic, &kPhoneTags, false, Writer::Exiftool, 19},
    {"exiv2 JPEG", Base::Jpeg, &kExiv2Tags, false, Writer::Exiv2, 18},
    // exiv2 leaves a TIFF's own resolution tags alone.
    {"exiv2 TIFF, big-endian", Base::TiffMM, &kExiv2Tags, false, Writer::Exiv2, 16},
    {"exiv2 WebP", Base::WebP, &kExiv2Tags, false, Writer::Exiv2, 18},
};

// Changes the type of IFD0's entry for `tag` in a JPEG or TIFF file, as a
// camera that stores its pointers as SLONG or IFD would have written it.
void PatchPointerType(const std::string& path, std::uint16_t tag, std::uint16_t type) {
    std::vector<std::uint8_t> bytes = ReadFile(path);
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t tiff = 0;
    if (!view.starts_with("II") && !view.starts_with("MM")) {
        tiff = view.find(std::string_view("Exif\0\0", 6));
        ASSERT_NE(tiff, std::string_view::npos) << path;
        tiff += 6;
    }
    ASSERT_LE(tiff + 8, bytes.size());
    const bool big = bytes[tiff] == 'M';
    const auto u16 = [&](std::size_t at) {
        return big ? bytes[at] << 8 | bytes[at + 1] : bytes[at + 1] << 8 | bytes[at];
    };
    const std::size_t ifd0 = tiff + (big ? U32Be(&bytes[tiff + 4]) : U32(&bytes[tiff + 4]));
    ASSERT_LE(ifd0 + 2, bytes.size());
    for (int i = 0, count = u16(ifd0); i < count; ++i) {
        const std::size_t at = ifd0 + 2 + 12 * static_cast<std::size_t>(i);
        ASSERT_LE(at + 12, bytes.size());
        if (u16(at) != tag) continue;
        bytes[at + 2] = static_cast<std::uint8_t>(big ? type >> 8 : type);
        bytes[at + 3] = static_cast<std::uint8_t>(big ? type : type >> 8);
        ASSERT_TRUE(WriteFile(path, bytes));
        return;
    }
    FAIL() << "no entry for tag " << tag << " in " << path;
}

bool IsHeif(Base base) {
    return base == Base::Heic || base == Base::HeicThumbnail || base == Base::Avif;
}

TEST_F(PeerOracle, ItemsAreTheOnesExiv2Reads) {
    for (const PhotoCase& c : kPhotos) {
        // exiv2 0.27 does not read PNG's eXIf chunk; the PNG case is worded below.
        if (c.base == Base::Png) continue;
        SCOPED_TRACE(c.name);
        const std::string path = Photo(c.base, *c.tags, c.thumbnail, c.writer);
        if (!IsHeif(c.base)) {
            ExpectItemsAsExiv2(path);
            continue;
        }
        // exiv2 0.27 does not read HEIF files: it reads the Exif block that
        // exiftool finds in the photo, put into a JPEG.
        const std::optional<std::string> block = Capture("exiftool -b -Exif " + ShellQuote(path));
        ASSERT_TRUE(block.has_value() && block->size() > 8) << "exiftool found no Exif in " << path;
        const std::string jpeg = (dir_ / "block.jpg").string();
        ASSERT_TRUE(WriteFile(jpeg, Jpeg(std::vector<std::uint8_t>(block->begin(), block->end()))));
        ExpectItemsAsExiv2(path, jpeg);
    }
}

TEST_F(PeerOracle, WordedValuesAgreeWithExiftool) {
    for (const PhotoCase& c : kPhotos) {
        SCOPED_TRACE(c.name);
        ExpectWordingAsExiftool(Photo(c.base, *c.tags, c.thumbnail, c.writer), c.compared);
    }
}

// Pointers stored as SLONG (as a real Canon PowerShot does) or IFD: both peers
// follow them, and so must we; the pointer's entry shows its offset.
TEST_F(PeerOracle, PointersStoredAsSLongOrIfd) {
    struct Case {
        const char* name;
        Base base;
        std::uint16_t tag;
        std::uint16_t type;
        const char* label;
    } cases[] = {
        {"GPS pointer as SLONG, big-endian JPEG", Base::Jpeg, 0x8825, 9, "GPS Info IFD Pointer"},
        {"Exif pointer as SLONG, little-endian JPEG", Base::JpegII, 0x8769, 9, "Exif IFD Pointer"},
        {"GPS pointer as IFD, little-endian TIFF", Base::TiffII, 0x8825, 13,
         "GPS Info IFD Pointer"},
        {"Exif pointer as IFD, big-endian TIFF", Base::TiffMM, 0x8769, 13, "Exif IFD Pointer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Photo(c.base, kCameraTags, false, Writer::Exiftool);
        PatchPointerType(path, c.tag, c.type);
        ExpectItemsAsExiv2(path);
        ExpectWordingAsExiftool(path, 59);

        std::string offset;
        for (const PeerItem& item : Exiv2Items(path))
            if (item.id == c.tag) offset = item.value;
        const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
        exif::MetadataList list;
        list.LoadMetadata(&image);
        const auto& entries = list.Entries();
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const auto& e) { return e.label == c.label; });
        ASSERT_NE(entry, entries.end());
        EXPECT_EQ(entry->value, "偏移:" + offset);
    }
}

// ImageMagick names the profile "app1", which the peers do not read; it is
// the same profile as under the names they read.
TEST_F(PeerOracle, ImageMagicksApp1ProfileReadsAsTheExifProfile) {
    const std::string app1 = ProfilePng(kCameraTags, (dir_ / "app1.png").string(), "app1");
    std::vector<PeerItem> expected;
    for (const char* name : {"exif", "APP1"}) {
        const std::string path =
            ProfilePng(kCameraTags, (dir_ / (std::string(name) + ".png")).string(), name);
        if (expected.empty()) expected = OurItems(path);
        EXPECT_EQ(Describe(OurItems(path)), Describe(expected)) << name;
    }
    EXPECT_GT(expected.size(), 50u);
    EXPECT_EQ(Describe(OurItems(app1)), Describe(expected));
}

}  // namespace
