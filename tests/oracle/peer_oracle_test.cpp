// Photos whose metadata other programs wrote (exiftool, exiv2), read back by our
// reader and core and held against what two peer readers see: exiv2 for the
// items (tag, type, count, value, order), exiftool for the worded values.
// None of these photos come from our own test writer's TIFF blocks, so a
// fault shared by our writer and our reader cannot hide here. HEIC and AVIF
// photos are made by heif-enc; exiv2 0.27 cannot read them, so their items
// are held against exiv2's reading of the Exif block that exiftool finds in
// them. PNGs with a raw Exif profile are made by ImageMagick.
#include "exif/extra_rows.h"
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

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// Standard output of a shell command; nullopt when it fails.
std::optional<std::string> Capture(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0) return std::nullopt;
    return out;
}

bool HavePeers() {
    return Capture("command -v exiftool >/dev/null && command -v exiv2 >/dev/null && command -v heif-enc >/dev/null && "
                   "command -v convert >/dev/null")
        .has_value();
}

// ---- The photos ----

enum class Base {
    Jpeg, JpegII, TiffII, TiffMM, Png, WebP,
    Heic, HeicThumbnail, Avif,  // heif-enc's, from a JPEG that ImageMagick draws
    PngProfile,                 // ImageMagick's, with the Exif a JPEG got in a "Raw profile type" chunk
};

// An 8x8 grey TIFF without metadata; exiftool keeps the file's byte order.
std::vector<std::uint8_t> PlainTiff(bool bigEndian) {
    TiffSpec spec;
    spec.bigEndian = bigEndian;
    spec.trailer.assign(64, 0x80);
    auto fields = [](std::uint32_t stripOffset) {
        return std::vector<Field>{Short(0x0100, {8}),  Short(0x0101, {8}),   Short(0x0102, {8}),
                                  Short(0x0103, {1}),  Short(0x0106, {1}),   Long(0x0111, {stripOffset}),
                                  Short(0x0115, {1}),  Short(0x0116, {8}),   Long(0x0117, {64})};
    };
    spec.ifd0.fields = fields(0);
    const std::uint32_t strip = BuildTiff(spec).trailer;
    spec.ifd0.fields = fields(strip);
    return BuildTiff(spec).bytes;
}

std::vector<std::uint8_t> BaseBytes(Base base) {
    switch (base) {
    case Base::Jpeg:
    case Base::JpegII: return DecodableJpeg({});
    case Base::TiffII: return PlainTiff(false);
    case Base::TiffMM: return PlainTiff(true);
    case Base::Png: return Png({});
    case Base::WebP: return WebP({});
    default: return {};  // made by the peer tools
    }
}

const char* Suffix(Base base) {
    switch (base) {
    case Base::Jpeg:
    case Base::JpegII: return ".jpg";
    case Base::TiffII:
    case Base::TiffMM: return ".tif";
    case Base::Png:
    case Base::PngProfile: return ".png";
    case Base::WebP: return ".webp";
    case Base::Heic:
    case Base::HeicThumbnail: return ".heic";
    case Base::Avif: return ".avif";
    }
    return "";
}

// The keyword of ImageMagick's text chunk "Raw profile type app1" renamed to
// "Raw profile type <name>": exiftool and exiv2 read only "exif" and "APP1".
std::vector<std::uint8_t> RenameRawProfile(std::vector<std::uint8_t> png, const std::string& name) {
    const std::string from = "Raw profile type app1";
    const auto at = std::search(png.begin(), png.end(), from.begin(), from.end());
    if (at == png.end()) return {};
    std::copy(name.begin(), name.end(), at + 17);
    // The chunk's CRC covers its type and data.
    const std::size_t type = static_cast<std::size_t>(at - png.begin()) - 4;
    const std::uint32_t length = png[type - 4] << 24 | png[type - 3] << 16 | png[type - 2] << 8 | png[type - 1];
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = type; i < type + 4 + length; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    PutU32(png, static_cast<std::uint32_t>(type + 4 + length), crc ^ 0xFFFFFFFFu, true);
    return png;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a camera writes, in exiftool's words; "#=" sets the stored number.
const std::vector<std::string> kCameraTags = {
    "-Make=Canon", "-Model=Canon EOS R5", "-Orientation#=6", "-XResolution=300", "-YResolution=300",
    "-ResolutionUnit#=2", "-Software=Digital Photo Professional 4.17", "-ModifyDate=2024:05:01 10:20:31",
    "-Artist=张三", "-Copyright=(c) 2024 张三", "-ImageDescription=西湖 at dusk",
    "-ExposureTime=1/125", "-FNumber=2.8", "-ExposureProgram#=3", "-ISO=400", "-ExifVersion=0232",
    "-DateTimeOriginal=2024:05:01 10:20:30", "-CreateDate=2024:05:01 10:20:30", "-ShutterSpeedValue=1/125",
    "-ApertureValue=2.8", "-BrightnessValue=-0.35", "-ExposureCompensation=-0.7", "-SubjectDistance=1.25",
    "-MeteringMode#=5", "-LightSource#=13", "-EXIF:Flash#=25", "-FocalLength=50", "-SubjectArea=1000 750 200 150",
    "-SubSecTimeOriginal=07", "-SubSecTime=11", "-SubSecTimeDigitized=07", "-FlashpixVersion=0100",
    "-ColorSpace#=1", "-ExifImageWidth=6000", "-ExifImageHeight=4000", "-FocalPlaneXResolution=1600.5",
    "-FocalPlaneYResolution=1600.5", "-FocalPlaneResolutionUnit#=3", "-SensingMethod#=2", "-FileSource#=3",
    "-SceneType#=1", "-CustomRendered#=0", "-ExposureMode#=0", "-WhiteBalance#=1", "-DigitalZoomRatio=1.5",
    "-FocalLengthIn35mmFormat=75", "-SceneCaptureType#=2", "-GainControl#=1", "-Contrast#=2",
    "-Saturation#=1", "-Sharpness#=2", "-SubjectDistanceRange#=3", "-MaxApertureValue=5.6",
    "-UserComment=晴天 sunny day",
    "-GPSLatitude=31.2304", "-GPSLatitudeRef=N", "-GPSLongitude=121.4737", "-GPSLongitudeRef=W",
    "-GPSAltitude=12.5", "-GPSAltitudeRef#=1", "-GPSTimeStamp=10:20:30.5", "-GPSImgDirection=180.25",
    "-GPSImgDirectionRef=T",
};

// A phone: fewer tags, other values, a south-east position, an ASCII comment.
const std::vector<std::string> kPhoneTags = {
    "-Make=HUAWEI", "-Model=ELS-AN00", "-Orientation#=1", "-ExposureTime=1/50", "-FNumber=1.8",
    "-ISO=1600", "-ExposureProgram#=2", "-EXIF:Flash#=16", "-FocalLength=5.58", "-WhiteBalance#=0",
    "-MeteringMode#=2", "-DateTimeOriginal=2026:01:31 23:59:59", "-ExposureCompensation=0",
    "-GPSLatitude=33.8568", "-GPSLatitudeRef=S", "-GPSLongitude=151.2153", "-GPSLongitudeRef=E",
    "-GPSAltitude=0", "-GPSAltitudeRef#=0", "-MaxApertureValue=1.8", "-UserComment=hello",
};

// The same kind of photo by the other writer, in exiv2's modify commands:
// its own layout, an interoperability directory (whose tags must not pass
// for GPS tags) and a Unicode user comment.
const std::vector<std::string> kExiv2Tags = {
    "set Exif.Image.Make Nikon", "set Exif.Image.Model NIKON Z 6_2", "set Exif.Image.Orientation 8",
    "set Exif.Image.XResolution 240/1", "set Exif.Image.ResolutionUnit 3",
    "set Exif.Photo.ExposureTime 10/2500", "set Exif.Photo.FNumber 56/10", "set Exif.Photo.ISOSpeedRatings 200",
    "set Exif.Photo.DateTimeOriginal 2025:10:01 08:00:00", "set Exif.Photo.Flash 16",
    "set Exif.Photo.FocalLength 2400/100", "set Exif.Photo.ExposureBiasValue -1/3",
    "set Exif.Photo.MaxApertureValue 297/100",
    "set Exif.Photo.UserComment charset=Unicode 你好", "set Exif.Photo.PixelXDimension 6048",
    "set Exif.Iop.InteroperabilityIndex R98", "set Exif.Iop.InteroperabilityVersion 48 49 48 48",
    "set Exif.GPSInfo.GPSLatitudeRef N", "set Exif.GPSInfo.GPSLatitude 40/1 2655/100 0/1",
    "set Exif.GPSInfo.GPSLongitudeRef W", "set Exif.GPSInfo.GPSLongitude 79/1 58/1 5616/100",
    "set Exif.GPSInfo.GPSTimeStamp 8/1 0/1 0/1",
};

enum class Writer { Exiftool, Exiv2 };

class PeerOracle : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePeers()) GTEST_SKIP() << "exiftool and exiv2 are needed (scripts/deps.sh installs them)";
        dir_ = testsupport::MakeTempFolder("peer-oracle-");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A photo of the given kind with the tags written by exiftool or exiv2.
    std::string Photo(Base base, const std::vector<std::string>& tags, bool thumbnail, Writer writer) {
        const std::string path = (dir_ / (std::string("photo") + std::to_string(++made_) + Suffix(base))).string();
        if (base == Base::PngProfile) return ProfilePng(tags, path, "exif");
        if (!MakeBase(base, path)) return path;
        std::string command;
        if (writer == Writer::Exiv2) {
            command = "exiv2 -q";
            for (const std::string& tag : tags) command += " -M" + ShellQuote(tag);
        } else {
            command = "exiftool -q -q -overwrite_original -charset exif=utf8";
            if (base == Base::JpegII) command += " -ExifByteOrder=II";
            for (const std::string& tag : tags) command += " " + ShellQuote(tag);
            if (thumbnail) {
                const std::string thumb = (dir_ / "thumb.jpg").string();
                EXPECT_TRUE(WriteFile(thumb, DecodableJpeg({})));
                command += " " + ShellQuote("-ThumbnailImage<=" + thumb);
            }
        }
        command += " " + ShellQuote(path);
        EXPECT_TRUE(Capture(command).has_value()) << command;
        return path;
    }

    // The photo without metadata: our bytes, or heif-enc's HEIC or AVIF of a
    // JPEG that ImageMagick draws.
    bool MakeBase(Base base, const std::string& path) {
        if (base != Base::Heic && base != Base::HeicThumbnail && base != Base::Avif) {
            EXPECT_TRUE(WriteFile(path, BaseBytes(base)));
            return true;
        }
        const std::string jpeg = (dir_ / "drawn.jpg").string();
        std::string command = "convert -size 64x48 gradient:olive-skyblue " + ShellQuote(jpeg) + " && heif-enc -q 50";
        if (base == Base::HeicThumbnail) command += " -t 32";
        if (base == Base::Avif) command += " -A -p chroma=420";
        command += " -o " + ShellQuote(path) + " " + ShellQuote(jpeg) + " >/dev/null";
        const bool made = Capture(command).has_value();
        EXPECT_TRUE(made) << command;
        return made;
    }

    // A PNG whose Exif ImageMagick keeps as a "Raw profile type" text chunk:
    // exiftool writes the tags into a JPEG, whose Exif segment becomes the
    // PNG's APP1 profile, and the profile is renamed `name` ("app1" keeps
    // ImageMagick's own name).
    std::string ProfilePng(const std::vector<std::string>& tags, const std::string& path, const std::string& name) {
        const std::string jpeg = (dir_ / "profile.jpg").string();
        const std::string app1 = (dir_ / "profile.app1").string();
        EXPECT_TRUE(WriteFile(jpeg, DecodableJpeg({})));
        std::string command = "exiftool -q -q -overwrite_original -charset exif=utf8";
        for (const std::string& tag : tags) command += " " + ShellQuote(tag);
        command += " " + ShellQuote(jpeg) + " && { printf 'Exif\\0\\0'; exiftool -b -Exif " + ShellQuote(jpeg) +
                   "; } >" + ShellQuote(app1) + " && convert -size 64x48 gradient:olive-skyblue -profile " +
                   ShellQuote("APP1:" + app1) + " " + ShellQuote(path);
        EXPECT_TRUE(Capture(command).has_value()) << command;
        const std::vector<std::uint8_t> bytes = ReadFile(path);
        const std::string eXIf = "eXIf";
        EXPECT_EQ(std::search(bytes.begin(), bytes.end(), eXIf.begin(), eXIf.end()), bytes.end())
            << "ImageMagick wrote an eXIf chunk too: the profile would not be read";
        if (name != "app1") {
            EXPECT_TRUE(WriteFile(path, RenameRawProfile(ReadFile(path), name))) << path;
        }
        return path;
    }

    fs::path dir_;
    int made_ = 0;
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
        std::snprintf(head, sizeof head, "0x%04x %-10s %5u ", item.id, item.type.c_str(), item.count);
        text += head + item.value + "\n";
    }
    return text;
}

// Our numbers for the thumbnail tags that exiftool writes into IFD1.
std::optional<std::uint32_t> ThumbnailNumber(std::uint32_t tag) {
    static const std::map<std::uint32_t, std::uint32_t> numbers = {
        {0x0103, 0x5023}, {0x011A, 0x502D}, {0x011B, 0x502E}, {0x0128, 0x5030},
        {0x0201, 0x0201}, {0x0202, 0x0202},
    };
    const auto it = numbers.find(tag);
    if (it == numbers.end()) return std::nullopt;
    return it->second;
}

// exiv2's list in our order: IFD0, then the Exif and the GPS
// directories (both writers put the Exif pointer first), then IFD1.
// Interoperability entries are not items.
std::vector<PeerItem> Exiv2Items(const std::string& path) {
    const std::optional<std::string> out = Capture("exiv2 -q -pv " + ShellQuote(path) + " 2>/dev/null");
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
        {1, "Byte"},   {2, "Ascii"},  {3, "Short"}, {4, "Long"},  {5, "Rational"}, {6, "SByte"},
        {7, "Undefined"}, {8, "SShort"}, {9, "SLong"}, {10, "SRational"}, {11, "Float"}, {12, "Double"},
        {13, "Ifd"},
    };
    const auto it = names.find(type);
    return it == names.end() ? "type" + std::to_string(type) : it->second;
}

std::uint32_t U32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint32_t U32Be(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

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
        for (std::size_t i = 0; i + 4 <= length; i += 4) add(std::to_string(std::int32_t(U32(v + i))));
        return text;
    case reader::PropertyTypeRational:
        for (std::size_t i = 0; i + 8 <= length; i += 8)
            add(std::to_string(U32(v + i)) + "/" + std::to_string(U32(v + i + 4)));
        return text;
    case reader::PropertyTypeSRational:
        for (std::size_t i = 0; i + 8 <= length; i += 8)
            add(std::to_string(std::int32_t(U32(v + i))) + "/" + std::to_string(std::int32_t(U32(v + i + 4))));
        return text;
    }
    return "?";
}

std::vector<PeerItem> OurItems(const std::string& path) {
    std::vector<PeerItem> items;
    for (const readertest::Item& item :
         readertest::ReadAll(reader::PropertyImage::Open(reader::FileSource(path)))) {
        const std::uint32_t elementSize = std::max<std::uint32_t>(reader::PropertyElementSize(item.type), 1);
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
    Text,        // prefix + the same text + suffix
    Number,      // prefix + number + suffix, within the tolerance
    Code,        // "n-..." (or a bare "n"), n the stored code
    Fraction,    // "n/d\"" equals the number
    DegMin,      // "D°M'", the seconds in the minutes to four decimals
    Apex,        // "x TV" / "x AV": the APEX form of exiftool's seconds or f-number
    Numbers,     // the same numbers in the same order, whatever stands between them
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
    {"ExifVersion", "EXIF版本", Check::Number, "v"},  // exiftool's "0232" against our 2.32, both x100
    {"FlashpixVersion", "Flashpix 版本", Check::Number, "v"},
    {"ExposureTime", "曝光时间", Check::Fraction},
    {"ShutterSpeedValue", "TV快门速度", Check::Apex, "", " TV", 0.005},
    {"ApertureValue", "AV光圈值", Check::Apex, "", " AV", 0.005},
    {"GPSLatitude", "GPS 纬度", Check::DegMin},
    {"GPSLongitude", "GPS 经度", Check::DegMin},
};

std::optional<double> ParseNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const std::string s(text);
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size()) return std::nullopt;
    return value;
}

std::vector<double> NumbersIn(std::string_view text) {
    std::vector<double> numbers;
    const std::string s(text);
    for (const char* p = s.c_str(); *p != '\0';) {
        char* end = nullptr;
        const double value = std::isdigit(static_cast<unsigned char>(*p)) ? std::strtod(p, &end) : 0;
        if (end != nullptr && end != p) {
            numbers.push_back(value);
            p = end;
        } else {
            ++p;
        }
    }
    return numbers;
}

bool Strip(std::string_view& text, std::string_view prefix, std::string_view suffix) {
    if (!text.starts_with(prefix) || !text.ends_with(suffix) || text.size() < prefix.size() + suffix.size())
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
    case Check::Text:
        return Strip(text, e.prefix, e.suffix) && text == peer ? "" : why;
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
        const auto d = slash == std::string_view::npos ? std::nullopt : ParseNumber(text.substr(slash + 1));
        return n && d && number && std::fabs(*n / *d - *number) <= 1e-12 ? "" : why;
    }
    case Check::DegMin: {
        if (!Strip(text, "", "'")) return why;
        const std::size_t degree = text.find("°");
        const auto d = ParseNumber(text.substr(0, degree));
        const auto m = degree == std::string_view::npos ? std::nullopt
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
        if (colon != std::string::npos) values.emplace(line.substr(0, colon), line.substr(colon + 2));
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
    for (std::size_t i = 0; i < list.EntryCount(); ++i) ours.emplace(list.Entries()[i].label, list.Entries()[i].value);

    const std::map<std::string, std::string> peer = ExiftoolNumbers(path);
    std::size_t compared = 0;
    for (const Expectation& e : kExpectations) {
        const auto it = peer.find(e.peerTag);
        if (it == peer.end()) {
            EXPECT_EQ(ours.count(e.label), 0u) << e.label << " shown, but exiftool has no " << e.peerTag;
            continue;
        }
        ASSERT_EQ(ours.count(e.label), 1u) << e.label << " for " << e.peerTag << " in " << path;
        EXPECT_EQ(Disagreement(e, ours.find(e.label)->second, it->second), "") << e.label << " in " << path;
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
    {"camera JPEG, big-endian Exif, thumbnail", Base::Jpeg, &kCameraTags, true, Writer::Exiftool, 59},
    {"camera JPEG, little-endian Exif", Base::JpegII, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera TIFF, little-endian", Base::TiffII, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera TIFF, big-endian", Base::TiffMM, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera PNG", Base::Png, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera PNG, raw profile", Base::PngProfile, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera WebP", Base::WebP, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera HEIC", Base::Heic, &kCameraTags, false, Writer::Exiftool, 59},
    {"camera HEIC with thumbnail images", Base::HeicThumbnail, &kCameraTags, true, Writer::Exiftool, 59},
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
    const auto u16 = [&](std::size_t at) { return big ? bytes[at] << 8 | bytes[at + 1] : bytes[at + 1] << 8 | bytes[at]; };
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

bool IsHeif(Base base) { return base == Base::Heic || base == Base::HeicThumbnail || base == Base::Avif; }

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
        {"GPS pointer as IFD, little-endian TIFF", Base::TiffII, 0x8825, 13, "GPS Info IFD Pointer"},
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
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.label == c.label; });
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
        const std::string path = ProfilePng(kCameraTags, (dir_ / (std::string(name) + ".png")).string(), name);
        if (expected.empty()) expected = OurItems(path);
        EXPECT_EQ(Describe(OurItems(path)), Describe(expected)) << name;
    }
    EXPECT_GT(expected.size(), 50u);
    EXPECT_EQ(Describe(OurItems(app1)), Describe(expected));
}

// ---- The extra rows against the peers ----

// Every source of the extra rows, by exiftool: Exif 2.3 tags and GPS, XMP,
// IPTC (where the container keeps it), the Windows XP tags, a colour
// profile; exiv2 then writes the Exif 3.0 tags exiftool 12.57 does not know,
// by number. The XMP and IPTC values differ from the Exif ones, so the
// source a row takes shows.
const std::vector<std::string> kExtraExiftool = {
    "-LensMake=Canon", "-LensModel=RF24-105mm F4 L IS USM", "-LensInfo=24 105 4 4",
    "-SerialNumber=012345678901", "-LensSerialNumber=9876543210", "-OwnerName=张三",
    "-OffsetTimeOriginal=+08:00", "-OffsetTime=+09:00", "-OffsetTimeDigitized=-03:30",
    "-GPSLatitude=31.2295", "-GPSLatitudeRef=S", "-GPSLongitude=121.482667", "-GPSLongitudeRef=E",
    "-GPSDateStamp=2024:05:01", "-GPSHPositioningError=3.5", "-GPSSpeed=12.5", "-GPSSpeedRef=N",
    "-GPSMapDatum=WGS-84",
    "-XMP-dc:Title=西湖日落", "-XMP-dc:Description=傍晚的西湖", "-XMP-dc:Creator=张三", "-XMP-dc:Creator=李四",
    "-XMP-dc:Subject=西湖", "-XMP-dc:Subject=日落", "-XMP-xmp:Rating=4", "-XMP-xmp:Label=红色",
    "-XMP-photoshop:City=杭州", "-XMP-photoshop:State=浙江", "-XMP-photoshop:Country=中国",
    "-XMP-aux:SerialNumber=xmp-serial",
    "-XPTitle=窗口标题", "-XPComment=备注文字", "-XPAuthor=王五", "-XPKeywords=湖;山", "-XPSubject=主题",
    "-EXIF:Rating=3",
};
const std::vector<std::string> kExtraIptc = {
    "-IPTC:CodedCharacterSet=UTF8", "-IPTC:ObjectName=IPTC 标题", "-IPTC:Keywords=k1", "-IPTC:Keywords=k2",
    "-IPTC:By-line=赵六", "-IPTC:City=宁波",
};
const std::vector<std::string> kExtraExiv2 = {
    "set Exif.Photo.0xa436 Ascii Exif 标题", "set Exif.Photo.0xa437 Ascii 摄影师",
    "set Exif.Photo.0xa439 Ascii 1.2.0", "set Exif.Photo.0xa43a Ascii Lightroom",
    "set Exif.Photo.0xa43b Ascii GIMP 2.10", "set Exif.Photo.0xa460 Short 2",
};

// How a row is held against exiftool's reading of the first of its sources
// that exiftool finds.
enum class ExtraCheck { Text, Joined, LensSpec, Rating, Metres, Speed, Position, Composite, FileSize };

struct ExtraExpectation {
    const char* label;
    std::vector<const char*> peerTags;  // exiftool's "[group] name", in the row's order of sources
    ExtraCheck check;
};

const ExtraExpectation kExtraExpectations[] = {
    {"镜头厂商", {"[ExifIFD] LensMake"}, ExtraCheck::Text},
    {"镜头型号", {"[ExifIFD] LensModel", "[XMP-exifEX] LensModel", "[XMP-aux] Lens"}, ExtraCheck::Text},
    {"镜头规格", {"[ExifIFD] LensInfo", "[XMP-aux] LensInfo"}, ExtraCheck::LensSpec},
    {"机身序列号", {"[ExifIFD] SerialNumber", "[XMP-aux] SerialNumber"}, ExtraCheck::Text},
    {"镜头序列号", {"[ExifIFD] LensSerialNumber", "[XMP-aux] LensSerialNumber"}, ExtraCheck::Text},
    {"相机所有者", {"[ExifIFD] OwnerName"}, ExtraCheck::Text},
    {"相机固件", {"[ExifIFD] Exif_0xa439"}, ExtraCheck::Text},
    {"拍摄时区", {"[ExifIFD] OffsetTimeOriginal"}, ExtraCheck::Text},
    {"修改时区", {"[ExifIFD] OffsetTime"}, ExtraCheck::Text},
    {"数字化时区", {"[ExifIFD] OffsetTimeDigitized"}, ExtraCheck::Text},
    {"GPS 坐标", {"[Composite] GPSPosition"}, ExtraCheck::Position},
    {"GPS 日期", {"[GPS] GPSDateStamp"}, ExtraCheck::Text},
    {"GPS 水平误差", {"[GPS] GPSHPositioningError"}, ExtraCheck::Metres},
    {"GPS 速度", {"[GPS] GPSSpeed"}, ExtraCheck::Speed},
    {"GPS 测量基准", {"[GPS] GPSMapDatum"}, ExtraCheck::Text},
    {"标题", {"[XMP-dc] Title", "[IPTC] ObjectName", "[ExifIFD] Exif_0xa436", "[IFD0] XPTitle"}, ExtraCheck::Text},
    {"描述", {"[XMP-dc] Description", "[IPTC] Caption-Abstract"}, ExtraCheck::Text},
    {"创作者", {"[XMP-dc] Creator", "[IPTC] By-line", "[ExifIFD] Exif_0xa437", "[IFD0] XPAuthor"}, ExtraCheck::Joined},
    {"关键词", {"[XMP-dc] Subject", "[IPTC] Keywords", "[IFD0] XPKeywords"}, ExtraCheck::Joined},
    {"主题", {"[IFD0] XPSubject"}, ExtraCheck::Text},
    {"备注", {"[IFD0] XPComment"}, ExtraCheck::Text},
    {"评级", {"[XMP-xmp] Rating", "[IFD0] Rating"}, ExtraCheck::Rating},
    {"颜色标签", {"[XMP-xmp] Label"}, ExtraCheck::Text},
    {"城市", {"[XMP-photoshop] City", "[IPTC] City"}, ExtraCheck::Text},
    {"省/州", {"[XMP-photoshop] State", "[IPTC] Province-State"}, ExtraCheck::Text},
    {"国家/地区", {"[XMP-photoshop] Country", "[IPTC] Country-PrimaryLocationName"}, ExtraCheck::Text},
    {"合成图像", {"[ExifIFD] CompositeImage"}, ExtraCheck::Composite},
    {"RAW 显影软件", {"[ExifIFD] Exif_0xa43a"}, ExtraCheck::Text},
    {"图像编辑软件", {"[ExifIFD] Exif_0xa43b"}, ExtraCheck::Text},
    {"颜色配置文件", {"[ICC_Profile] ProfileDescription"}, ExtraCheck::Text},
    {"文件大小", {"[System] FileSize"}, ExtraCheck::FileSize},
};

// exiftool shows control characters as "."; this stands in no value written.
constexpr std::string_view kListSeparator = "|~|";

// exiftool's reading: "[group] name" to the value, lists split.
std::map<std::string, std::vector<std::string>> ExiftoolGroups(const std::string& path) {
    const std::optional<std::string> out =
        Capture("exiftool -q -q -a -u -n -S -G1 -charset exif=utf8 -charset iptc=utf8 -sep " + ShellQuote(std::string(kListSeparator)) + " " +
                ShellQuote(path));
    EXPECT_TRUE(out.has_value()) << path;
    std::map<std::string, std::vector<std::string>> values;
    std::istringstream lines(out.value_or(""));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        key.erase(std::remove(key.begin(), key.end(), '\t'), key.end());
        std::vector<std::string> items;
        std::string_view rest = std::string_view(line).substr(colon + 2);
        for (std::size_t at; (at = rest.find(kListSeparator)) != std::string_view::npos; rest.remove_prefix(at + kListSeparator.size()))
            items.emplace_back(rest.substr(0, at));
        items.emplace_back(rest);
        values.emplace(key, items);
    }
    return values;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" ");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" ") - first + 1);
}

// Empty when our row agrees with the peer's values, else why not.
std::string ExtraDisagreement(ExtraCheck check, const std::string& ours, const std::vector<std::string>& peer) {
    const std::string why = "ours \"" + ours + "\", exiftool \"" + (peer.empty() ? "" : peer.front()) + "\"";
    const std::vector<double> numbers = peer.empty() ? std::vector<double>() : NumbersIn(peer.front());
    switch (check) {
    case ExtraCheck::Text: return ours == Trim(peer.front()) ? "" : why;
    case ExtraCheck::Joined: {
        std::string joined;
        for (const std::string& item : peer) joined += (joined.empty() ? "" : "; ") + Trim(item);
        return ours == joined ? "" : why;
    }
    case ExtraCheck::LensSpec: {
        // Both ends of a range that agree are written once; parts of 0 are left out.
        std::vector<double> expected;
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            if (numbers[k] == 0 || (k % 2 == 1 && numbers[k] == numbers[k - 1])) continue;
            expected.push_back(numbers[k]);
        }
        return NumbersIn(ours) == expected ? "" : why;
    }
    case ExtraCheck::Rating: return ours == exif::RatingText(peer.front()) ? "" : why;
    case ExtraCheck::Metres: return ours == peer.front() + " m" ? "" : why;
    case ExtraCheck::Speed: return ours == peer.front() + " 节" ? "" : why;
    case ExtraCheck::Position: {
        // Signed decimal degrees: ours "lat, lon", exiftool's "lat lon".
        std::string text = ours;
        std::replace(text.begin(), text.end(), ',', ' ');
        double ourLat = 0, ourLon = 0, lat = 0, lon = 0;
        std::istringstream(text) >> ourLat >> ourLon;
        std::istringstream(peer.front()) >> lat >> lon;
        return std::fabs(ourLat - lat) <= 5e-7 && std::fabs(ourLon - lon) <= 5e-7 ? "" : why;
    }
    case ExtraCheck::Composite: return ours.substr(0, ours.find('-')) == peer.front() ? "" : why;
    case ExtraCheck::FileSize: return ours.ends_with("(" + peer.front() + " 字节)") ? "" : why;
    }
    return why;
}

void ExpectExtraRowsAsExiftool(const std::string& path, std::size_t atLeast) {
    const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
    exif::MetadataList list;
    list.LoadMetadata(&image);
    std::map<std::string, std::string> ours;
    for (const exif::MetadataEntry& entry : list.Entries())
        if (entry.tag >= exif::kExtraRowTag) ours.emplace(entry.label, entry.value);
    const auto peer = ExiftoolGroups(path);
    std::size_t compared = 0;
    std::string absent;
    for (const ExtraExpectation& e : kExtraExpectations) {
        const std::vector<std::string>* first = nullptr;
        for (const char* tag : e.peerTags) {
            const auto it = peer.find(tag);
            if (it != peer.end() && !it->second.empty() && !Trim(it->second.front()).empty()) {
                first = &it->second;
                break;
            }
        }
        if (first == nullptr) {
            absent += std::string(" ") + e.label;
            EXPECT_EQ(ours.count(e.label), 0u) << e.label << " shown as \"" << ours[e.label] << "\", but exiftool has none";
            continue;
        }
        ASSERT_EQ(ours.count(e.label), 1u) << e.label << " missing in " << path;
        EXPECT_EQ(ExtraDisagreement(e.check, ours[e.label], *first), "") << e.label;
        ++compared;
    }
    EXPECT_GE(compared, atLeast) << path << "; exiftool has none of" << absent;
}

TEST_F(PeerOracle, ExtraRowsAgreeWithExiftool) {
    const std::string icc = (dir_ / "display.icc").string();
    ASSERT_TRUE(WriteFile(icc, IccProfile("Display P3", true)));
    struct Case {
        const char* name;
        Base base;
        bool iptc;
        bool profile;
        std::size_t compared;
    } cases[] = {
        {"JPEG", Base::Jpeg, true, true, 31},
        {"JPEG, little-endian Exif", Base::JpegII, true, true, 31},
        {"TIFF, big-endian", Base::TiffMM, true, true, 31},
        {"PNG", Base::Png, false, true, 31},
        {"WebP", Base::WebP, false, true, 31},
        // exiftool writes no profile into a HEIC, and heif-enc gives it no colour box.
        {"HEIC", Base::Heic, false, false, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir_ / (std::string("extra") + std::to_string(++made_) + Suffix(c.base))).string();
        ASSERT_TRUE(MakeBase(c.base, path));
        // exiv2 first: writing after exiftool, it would drop XMP properties it does not know.
        if (c.base != Base::Png && c.base != Base::Heic) {
            std::string command = "exiv2 -q";
            for (const std::string& tag : kExtraExiv2) command += " -M" + ShellQuote(tag);
            ASSERT_TRUE(Capture(command + " " + ShellQuote(path)).has_value()) << command;
        }
        std::string command = "exiftool -q -q -overwrite_original -charset exif=utf8 -charset iptc=utf8";
        if (c.base == Base::JpegII) command += " -ExifByteOrder=II";
        for (const std::string& tag : kExtraExiftool) command += " " + ShellQuote(tag);
        if (c.iptc)
            for (const std::string& tag : kExtraIptc) command += " " + ShellQuote(tag);
        if (c.profile) command += " " + ShellQuote("-ICC_Profile<=" + icc);
        ASSERT_TRUE(Capture(command + " " + ShellQuote(path)).has_value()) << command;
        ExpectExtraRowsAsExiftool(path, c.compared - (c.base == Base::Png || c.base == Base::Heic ? 5 : 0));
    }
}

// Maker notes of the makers whose lens the rows read, built by the test
// writer, against exiftool's reading of the same notes.
TEST_F(PeerOracle, MakerNoteRowsAgreeWithExiftool) {
    const auto text = [](std::string_view value) { Bytes b = Of(value); b.push_back(0); return b; };
    struct Case {
        const char* name;
        std::string make;
        bool big;
        std::function<Bytes(std::int64_t)> note;  // given the note's offset from the TIFF header
        const char* peerLens;                     // exiftool's tag of the lens
        bool shutterCount;
    };
    const Case cases[] = {
        {"Nikon", "NIKON CORPORATION", false,
         [&](std::int64_t) {
             Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
             Bytes lens;
             for (std::uint32_t v : {18u, 1u, 55u, 1u, 35u, 10u, 56u, 10u}) lens.insert(lens.end(), {std::uint8_t(v), 0, 0, 0});
             tiff = NoteDirectory(tiff, {{0x0084, 5, 4, lens}, {0x00A7, 4, 1, {0x39, 0x30, 0, 0}}}, false, 0);
             Bytes note = Of(std::string_view("Nikon\0\x02\x10\0\0", 10));
             note.insert(note.end(), tiff.begin(), tiff.end());
             return note;
         },
         "[Nikon] Lens", true},
        {"Canon", "Canon", false,
         [&](std::int64_t at) { return NoteDirectory({}, {{0x0095, 2, 19, text("RF24-105mm F4 L IS")}}, false, -at); },
         "[Canon] LensModel", false},
        {"Panasonic", "Panasonic", false,
         [&](std::int64_t at) {
             return NoteDirectory(Of(std::string_view("Panasonic\0\0\0", 12)),
                                  {{0x0051, 2, 22, text("LUMIX G VARIO 12-60mm")}}, false, -at);
         },
         "[Panasonic] LensType", false},
        {"Olympus", "OLYMPUS CORPORATION", false,
         [&](std::int64_t) {
             Bytes note = NoteDirectory(Of(std::string_view("OLYMPUS\0II\x03\0", 12)), {{0x2010, 13, 1, {30, 0, 0, 0}}}, false, 0);
             return NoteDirectory(note, {{0x0203, 2, 19, text("M.12-40mm F2.8 PRO")}}, false, 0);
         },
         "[Olympus] LensModel", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::int64_t at = 0;
        Bytes tiff;
        for (int pass = 0; pass < 2; ++pass) {
            TiffSpec spec;
            spec.bigEndian = c.big;
            spec.ifd0.fields = {Ascii(0x010F, c.make), Ascii(0x0110, "camera")};
            spec.exif = Ifd{{Undefined(0x927C, c.note(at))}, {}};
            const TiffLayout layout = BuildTiff(spec);
            tiff = layout.bytes;
            at = U32(&tiff[layout.entry(layout.exif, 0) + 8]);
        }
        const std::string path = (dir_ / (std::string(c.name) + ".jpg")).string();
        ASSERT_TRUE(WriteFile(path, DecodableJpeg(tiff)));
        const auto peer = ExiftoolGroups(path);
        const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
        exif::MetadataList list;
        list.LoadMetadata(&image);
        std::map<std::string, std::string> ours;
        for (const exif::MetadataEntry& entry : list.Entries()) ours.emplace(entry.label, entry.value);
        const auto lens = peer.find(c.peerLens);
        ASSERT_NE(lens, peer.end()) << "exiftool did not read " << c.peerLens;
        if (std::string(c.name) == "Nikon") {
            // exiftool -n gives the four numbers; we word them.
            EXPECT_EQ(NumbersIn(ours["镜头型号"]), NumbersIn(lens->second.front()));
        } else {
            EXPECT_EQ(ours["镜头型号"], Trim(lens->second.front()));
        }
        if (c.shutterCount) {
            const auto count = peer.find("[Nikon] ShutterCount");
            ASSERT_NE(count, peer.end());
            EXPECT_EQ(ours["快门次数"], count->second.front());
        }
    }
}

}  // namespace
