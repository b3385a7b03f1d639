#include "peer_photos.h"

#include "metadata_blocks.h"
#include "shell_quote.h"
#include "temp_folder.h"
#include "tiff_builder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace oracle {

using namespace testsupport;

namespace {

// An 8x8 grey TIFF without metadata; exiftool keeps the file's byte order.
std::vector<std::uint8_t> PlainTiff(bool bigEndian) {
    TiffSpec spec;
    spec.bigEndian = bigEndian;
    spec.trailer.assign(64, 0x80);
    auto fields = [](std::uint32_t stripOffset) {
        return std::vector<Field>{
            Short(0x0100, {8}), Short(0x0101, {8}), Short(0x0102, {8}),
            Short(0x0103, {1}), Short(0x0106, {1}), Long(0x0111, {stripOffset}),
            Short(0x0115, {1}), Short(0x0116, {8}), Long(0x0117, {64})};
    };
    spec.ifd0.fields = fields(0);
    const std::uint32_t strip = BuildTiff(spec).trailer;
    spec.ifd0.fields = fields(strip);
    return BuildTiff(spec).bytes;
}

}  // namespace

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
    return Capture(
               "command -v exiftool >/dev/null && command -v exiv2 >/dev/null && command -v "
               "heif-enc >/dev/null && "
               "command -v convert >/dev/null")
        .has_value();
}

// ---- The photos ----
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

std::vector<std::uint8_t> RenameRawProfile(std::vector<std::uint8_t> png, const std::string& name) {
    const std::string from = "Raw profile type app1";
    const auto at = std::search(png.begin(), png.end(), from.begin(), from.end());
    if (at == png.end()) return {};
    std::copy(name.begin(), name.end(), at + 17);
    // The chunk's CRC covers its type and data.
    const std::size_t type = static_cast<std::size_t>(at - png.begin()) - 4;
    const std::uint32_t length =
        png[type - 4] << 24 | png[type - 3] << 16 | png[type - 2] << 8 | png[type - 1];
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
        const double value =
            std::isdigit(static_cast<unsigned char>(*p)) ? std::strtod(p, &end) : 0;
        if (end != nullptr && end != p) {
            numbers.push_back(value);
            p = end;
        } else {
            ++p;
        }
    }
    return numbers;
}

void PeerOracle::SetUp() {
    if (!HavePeers())
        GTEST_SKIP() << "exiftool and exiv2 are needed (scripts/deps.sh installs them)";
    dir_ = testsupport::MakeTempFolder("peer-oracle-");
}

void PeerOracle::TearDown() { std::filesystem::remove_all(dir_); }

std::string PeerOracle::Photo(Base base, const std::vector<std::string>& tags, bool thumbnail,
                              Writer writer) {
    const std::string path =
        (dir_ / (std::string("photo") + std::to_string(++made_) + Suffix(base))).string();
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

bool PeerOracle::MakeBase(Base base, const std::string& path) {
    if (base != Base::Heic && base != Base::HeicThumbnail && base != Base::Avif) {
        EXPECT_TRUE(WriteFile(path, BaseBytes(base)));
        return true;
    }
    const std::string jpeg = (dir_ / "drawn.jpg").string();
    std::string command =
        "convert -size 64x48 gradient:olive-skyblue " + ShellQuote(jpeg) + " && heif-enc -q 50";
    if (base == Base::HeicThumbnail) command += " -t 32";
    if (base == Base::Avif) command += " -A -p chroma=420";
    command += " -o " + ShellQuote(path) + " " + ShellQuote(jpeg) + " >/dev/null";
    const bool made = Capture(command).has_value();
    EXPECT_TRUE(made) << command;
    return made;
}

std::string PeerOracle::ProfilePng(const std::vector<std::string>& tags, const std::string& path,
                                   const std::string& name) {
    const std::string jpeg = (dir_ / "profile.jpg").string();
    const std::string app1 = (dir_ / "profile.app1").string();
    EXPECT_TRUE(WriteFile(jpeg, DecodableJpeg({})));
    std::string command = "exiftool -q -q -overwrite_original -charset exif=utf8";
    for (const std::string& tag : tags) command += " " + ShellQuote(tag);
    command += " " + ShellQuote(jpeg) + " && { printf 'Exif\\0\\0'; exiftool -b -Exif " +
               ShellQuote(jpeg) + "; } >" + ShellQuote(app1) +
               " && convert -size 64x48 gradient:olive-skyblue -profile " +
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

}  // namespace oracle
