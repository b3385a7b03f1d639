// The extra rows (lens, serials, time zones, GPS position, titles, keywords,
// ratings, place, colour profile, file size) of photos whose tags exiftool
// and exiv2 wrote, held against exiftool's reading; and the maker-note rows
// against exiftool's reading of maker notes built like the cameras'.
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
#include "peer_photos.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using namespace oracle;

std::uint32_t U32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}

// Every source of the extra rows, by exiftool: Exif 2.3 tags and GPS, XMP,
// IPTC (where the container keeps it), the Windows XP tags, a colour
// profile; exiv2 then writes the Exif 3.0 tags exiftool 12.57 does not know,
// by number. The XMP and IPTC values differ from the Exif ones, so the
// source a row takes shows.
const std::vector<std::string> kExtraExiftool = {
    "-LensMake=Canon",
    "-LensModel=RF24-105mm F4 L IS USM",
    "-LensInfo=24 105 4 4",
    "-SerialNumber=012345678901",
    "-LensSerialNumber=9876543210",
    "-OwnerName=张三",
    "-OffsetTimeOriginal=+08:00",
    "-OffsetTime=+09:00",
    "-OffsetTimeDigitized=-03:30",
    "-GPSLatitude=31.2295",
    "-GPSLatitudeRef=S",
    "-GPSLongitude=121.482667",
    "-GPSLongitudeRef=E",
    "-GPSDateStamp=2024:05:01",
    "-GPSHPositioningError=3.5",
    "-GPSSpeed=12.5",
    "-GPSSpeedRef=N",
    "-GPSMapDatum=WGS-84",
    "-XMP-dc:Title=西湖日落",
    "-XMP-dc:Description=傍晚的西湖",
    "-XMP-dc:Creator=张三",
    "-XMP-dc:Creator=李四",
    "-XMP-dc:Subject=西湖",
    "-XMP-dc:Subject=日落",
    "-XMP-xmp:Rating=4",
    "-XMP-xmp:Label=红色",
    "-XMP-photoshop:City=杭州",
    "-XMP-photoshop:State=浙江",
    "-XMP-photoshop:Country=中国",
    "-XMP-aux:SerialNumber=xmp-serial",
    "-XPTitle=窗口标题",
    "-XPComment=备注文字",
    "-XPAuthor=王五",
    "-XPKeywords=湖;山",
    "-XPSubject=主题",
    "-EXIF:Rating=3",
};
const std::vector<std::string> kExtraIptc = {
    "-IPTC:CodedCharacterSet=UTF8",
    "-IPTC:ObjectName=IPTC 标题",
    "-IPTC:Keywords=k1",
    "-IPTC:Keywords=k2",
    "-IPTC:By-line=赵六",
    "-IPTC:City=宁波",
};
const std::vector<std::string> kExtraExiv2 = {
    "set Exif.Photo.0xa436 Ascii Exif 标题", "set Exif.Photo.0xa437 Ascii 摄影师",
    "set Exif.Photo.0xa439 Ascii 1.2.0",     "set Exif.Photo.0xa43a Ascii Lightroom",
    "set Exif.Photo.0xa43b Ascii GIMP 2.10", "set Exif.Photo.0xa460 Short 2",
};

// How a row is held against exiftool's reading of the first of its sources
// that exiftool finds.
enum class ExtraCheck {
    Text,
    Joined,
    LensSpec,
    Rating,
    Metres,
    Speed,
    Position,
    Composite,
    FileSize
};

struct ExtraExpectation {
    const char* label;
    std::vector<const char*> peerTags;  // exiftool's "[group] name", in the row's order of sources
    ExtraCheck check;
};

const ExtraExpectation kExtraExpectations[] = {
    {"镜头厂商", {"[ExifIFD] LensMake"}, ExtraCheck::Text},
    {"镜头型号",
     {"[ExifIFD] LensModel", "[XMP-exifEX] LensModel", "[XMP-aux] Lens"},
     ExtraCheck::Text},
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
    {"标题",
     {"[XMP-dc] Title", "[IPTC] ObjectName", "[ExifIFD] Exif_0xa436", "[IFD0] XPTitle"},
     ExtraCheck::Text},
    {"描述", {"[XMP-dc] Description", "[IPTC] Caption-Abstract"}, ExtraCheck::Text},
    {"创作者",
     {"[XMP-dc] Creator", "[IPTC] By-line", "[ExifIFD] Exif_0xa437", "[IFD0] XPAuthor"},
     ExtraCheck::Joined},
    {"关键词", {"[XMP-dc] Subject", "[IPTC] Keywords", "[IFD0] XPKeywords"}, ExtraCheck::Joined},
    {"主题", {"[IFD0] XPSubject"}, ExtraCheck::Text},
    {"备注", {"[IFD0] XPComment"}, ExtraCheck::Text},
    {"评级", {"[XMP-xmp] Rating", "[IFD0] Rating"}, ExtraCheck::Rating},
    {"颜色标签", {"[XMP-xmp] Label"}, ExtraCheck::Text},
    {"城市", {"[XMP-photoshop] City", "[IPTC] City"}, ExtraCheck::Text},
    {"省/州", {"[XMP-photoshop] State", "[IPTC] Province-State"}, ExtraCheck::Text},
    {"国家/地区",
     {"[XMP-photoshop] Country", "[IPTC] Country-PrimaryLocationName"},
     ExtraCheck::Text},
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
        Capture("exiftool -q -q -a -u -n -S -G1 -charset exif=utf8 -charset iptc=utf8 -sep " +
                ShellQuote(std::string(kListSeparator)) + " " + ShellQuote(path));
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
        for (std::size_t at; (at = rest.find(kListSeparator)) != std::string_view::npos;
             rest.remove_prefix(at + kListSeparator.size()))
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
std::string ExtraDisagreement(ExtraCheck check, const std::string& ours,
                              const std::vector<std::string>& peer) {
    const std::string why =
        "ours \"" + ours + "\", exiftool \"" + (peer.empty() ? "" : peer.front()) + "\"";
    const std::vector<double> numbers =
        peer.empty() ? std::vector<double>() : NumbersIn(peer.front());
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
            EXPECT_EQ(ours.count(e.label), 0u)
                << e.label << " shown as \"" << ours[e.label] << "\", but exiftool has none";
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
        const std::string path =
            (dir_ / (std::string("extra") + std::to_string(++made_) + Suffix(c.base))).string();
        ASSERT_TRUE(MakeBase(c.base, path));
        // exiv2 first: writing after exiftool, it would drop XMP properties it does not know.
        if (c.base != Base::Png && c.base != Base::Heic) {
            std::string command = "exiv2 -q";
            for (const std::string& tag : kExtraExiv2) command += " -M" + ShellQuote(tag);
            ASSERT_TRUE(Capture(command + " " + ShellQuote(path)).has_value()) << command;
        }
        std::string command =
            "exiftool -q -q -overwrite_original -charset exif=utf8 -charset iptc=utf8";
        if (c.base == Base::JpegII) command += " -ExifByteOrder=II";
        for (const std::string& tag : kExtraExiftool) command += " " + ShellQuote(tag);
        if (c.iptc)
            for (const std::string& tag : kExtraIptc) command += " " + ShellQuote(tag);
        if (c.profile) command += " " + ShellQuote("-ICC_Profile<=" + icc);
        ASSERT_TRUE(Capture(command + " " + ShellQuote(path)).has_value()) << command;
        ExpectExtraRowsAsExiftool(
            path, c.compared - (c.base == Base::Png || c.base == Base::Heic ? 5 : 0));
    }
}

// Maker notes of the makers whose lens the rows read, built by the test
// writer, against exiftool's reading of the same notes.
TEST_F(PeerOracle, MakerNoteRowsAgreeWithExiftool) {
    const auto text = [](std::string_view value) {
        Bytes b = Of(value);
        b.push_back(0);
        return b;
    };
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
             for (std::uint32_t v : {18u, 1u, 55u, 1u, 35u, 10u, 56u, 10u})
                 lens.insert(lens.end(), {std::uint8_t(v), 0, 0, 0});
             tiff = NoteDirectory(tiff, {{0x0084, 5, 4, lens}, {0x00A7, 4, 1, {0x39, 0x30, 0, 0}}},
                                  false, 0);
             Bytes note = Of(std::string_view("Nikon\0\x02\x10\0\0", 10));
             note.insert(note.end(), tiff.begin(), tiff.end());
             return note;
         },
         "[Nikon] Lens", true},
        {"Canon", "Canon", false,
         [&](std::int64_t at) {
             return NoteDirectory({}, {{0x0095, 2, 19, text("RF24-105mm F4 L IS")}}, false, -at);
         },
         "[Canon] LensModel", false},
        {"Panasonic", "Panasonic", false,
         [&](std::int64_t at) {
             return NoteDirectory(Of(std::string_view("Panasonic\0\0\0", 12)),
                                  {{0x0051, 2, 22, text("LUMIX G VARIO 12-60mm")}}, false, -at);
         },
         "[Panasonic] LensType", false},
        {"Olympus", "OLYMPUS CORPORATION", false,
         [&](std::int64_t) {
             Bytes note = NoteDirectory(Of(std::string_view("OLYMPUS\0II\x03\0", 12)),
                                        {{0x2010, 13, 1, {30, 0, 0, 0}}}, false, 0);
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
        for (const exif::MetadataEntry& entry : list.Entries())
            ours.emplace(entry.label, entry.value);
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
