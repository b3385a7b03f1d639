// The photos the peer oracle tests hold our reading against: made without
// metadata by our writers or by heif-enc and ImageMagick, then given their
// tags by exiftool or exiv2; and the shell and number helpers those tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oracle {

// Standard output of a shell command; nullopt when it fails.
std::optional<std::string> Capture(const std::string& command);

// Whether exiftool, exiv2, heif-enc and ImageMagick are at hand.
bool HavePeers();

enum class Base {
    Jpeg,
    JpegII,
    TiffII,
    TiffMM,
    Png,
    WebP,
    Heic,
    HeicThumbnail,
    Avif,        // heif-enc's, from a JPEG that ImageMagick draws
    PngProfile,  // ImageMagick's, with the Exif a JPEG got in a "Raw profile type" chunk
};

// The photo's bytes without metadata, where they are our own; empty for the
// ones the peer tools make.
std::vector<std::uint8_t> BaseBytes(Base base);
const char* Suffix(Base base);

// The keyword of ImageMagick's text chunk "Raw profile type app1" renamed to
// "Raw profile type <name>": exiftool and exiv2 read only "exif" and "APP1".
std::vector<std::uint8_t> RenameRawProfile(std::vector<std::uint8_t> png, const std::string& name);

std::vector<std::uint8_t> ReadFile(const std::string& path);

// A whole text as a number; nullopt when it is not one.
std::optional<double> ParseNumber(std::string_view text);
// The numbers in a text, in order.
std::vector<double> NumbersIn(std::string_view text);

enum class Writer { Exiftool, Exiv2 };

class PeerOracle : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A photo of the given kind with the tags written by exiftool or exiv2.
    std::string Photo(Base base, const std::vector<std::string>& tags, bool thumbnail,
                      Writer writer);
    // The photo without metadata: our bytes, or heif-enc's HEIC or AVIF of a
    // JPEG that ImageMagick draws.
    bool MakeBase(Base base, const std::string& path);
    // A PNG whose Exif ImageMagick keeps as a "Raw profile type" text chunk:
    // exiftool writes the tags into a JPEG, whose Exif segment becomes the
    // PNG's APP1 profile, and the profile is renamed `name` ("app1" keeps
    // ImageMagick's own name).
    std::string ProfilePng(const std::vector<std::string>& tags, const std::string& path,
                           const std::string& name);

    std::filesystem::path dir_;
    int made_ = 0;
};

}  // namespace oracle
