// Builds TIFF/EXIF blocks and photo containers in code, so each test shows
// exactly what it feeds the reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// One directory entry. `le` holds the value bytes little-endian, element by
// element; the builder swaps them for a big-endian file.
struct Field {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> le;
    // Written as the entry's value offset instead of placing `le` in the file
    // (for broken files: offsets past the end, into a directory, ...).
    std::optional<std::uint32_t> offsetOverride;
};

Field Byte(std::uint16_t tag, std::vector<std::uint8_t> values);
Field Ascii(std::uint16_t tag, const std::string& text);  // adds the closing NUL
Field Undefined(std::uint16_t tag, std::vector<std::uint8_t> bytes);
Field UndefinedText(std::uint16_t tag, const std::string& bytes);  // no NUL added
Field Short(std::uint16_t tag, std::vector<std::uint16_t> values);
Field Long(std::uint16_t tag, std::vector<std::uint32_t> values);
Field Rational(std::uint16_t tag, std::vector<std::pair<std::uint32_t, std::uint32_t>> values);
Field SRational(std::uint16_t tag, std::vector<std::pair<std::int32_t, std::int32_t>> values);
Field SShort(std::uint16_t tag, std::vector<std::int16_t> values);
Field SLong(std::uint16_t tag, std::vector<std::int32_t> values);
Field Double(std::uint16_t tag, std::vector<double> values);
// Any type code and count with the given little-endian bytes.
Field Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::vector<std::uint8_t> le);

struct Ifd {
    std::vector<Field> fields;
    // Written as the next-directory offset instead of the builder's choice.
    std::optional<std::uint32_t> nextOverride;
};

struct TiffSpec {
    bool bigEndian = false;
    Ifd ifd0;
    std::optional<Ifd> exif;     // pointer 0x8769 appended to IFD0
    std::optional<Ifd> gps;      // pointer 0x8825 appended to IFD0 after the Exif one
    std::optional<Ifd> interop;  // pointer 0xA005 appended to the Exif directory
    std::optional<Ifd> ifd1;     // chained as IFD0's next directory
    // Appended to the end of the block, e.g. thumbnail bytes.
    std::vector<std::uint8_t> trailer;
};

struct TiffLayout {
    std::vector<std::uint8_t> bytes;
    std::uint32_t ifd0 = 0, exif = 0, gps = 0, interop = 0, ifd1 = 0, ifd2 = 0, trailer = 0;
    bool bigEndian = false;
    // Offset of entry `index` of the directory that starts at `ifdOffset`.
    std::uint32_t entry(std::uint32_t ifdOffset, std::uint32_t index) const {
        return ifdOffset + 2 + 12 * index;
    }
};

// What raw files add to a TIFF.
struct RawParts {
    // Written between the 8-byte header and IFD0 (a CR2 keeps "CR", its
    // version and the raw directory's offset there).
    std::vector<std::uint8_t> afterHeader;
    std::optional<Ifd> ifd2;  // chained after IFD1, as raw files chain their further images
};

// Directories are written in the order IFD0, Exif, GPS, interop, IFD1, IFD2,
// each followed by its out-of-line values; IFD0 starts at offset 8 (after
// `raw.afterHeader`).
TiffLayout BuildTiff(const TiffSpec& spec, const RawParts& raw = {});

// Byte pokes for crafting broken files (in the block's byte order).
void PutU16(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint16_t value,
            bool bigEndian);
void PutU32(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint32_t value,
            bool bigEndian);

// Containers around a TIFF block.
struct JpegOptions {
    // Segments written between SOI and the Exif APP1 (marker, payload), e.g.
    // an APP0 JFIF segment or a COM segment.
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> before;
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> after;
    bool withImageData = true;  // a tiny SOS + EOI after the segments
};
std::vector<std::uint8_t> Jpeg(const std::vector<std::uint8_t>& tiff,
                               const JpegOptions& options = {});
std::vector<std::uint8_t> Png(const std::vector<std::uint8_t>& tiff, bool exifBeforeIdat = true);
std::vector<std::uint8_t> WebP(const std::vector<std::uint8_t>& tiff, bool exifHeader = false);
// A PNG whose header claims width x height RGB pixels over a few bytes of
// image data that cannot fill them.
std::vector<std::uint8_t> PngClaiming(std::uint32_t width, std::uint32_t height);
std::vector<std::uint8_t> Bmp();
std::vector<std::uint8_t> Gif();

// A PNG whose Exif is a "Raw profile type <name>" text chunk, as ImageMagick
// writes it: "\n<name>\n<length>\n" and the bytes in lines of 72 hex digits.
struct RawProfileOptions {
    std::string chunk = "zTXt";  // tEXt, zTXt or iTXt
    std::string name = "exif";   // in the keyword
    bool compressed = true;      // iTXt only; zTXt always is, tEXt never
    bool exifHeader = true;      // the profile begins with "Exif\0\0"
    // Also an eXIf chunk with this block, after the text chunk.
    std::vector<std::uint8_t> eXIf;
};
std::vector<std::uint8_t> PngRawProfile(const std::vector<std::uint8_t>& tiff,
                                        const RawProfileOptions& options = {});

// The block with its first four bytes replaced: raw files that are TIFF with
// a header of their own ("IIRO", "IIRS", "MMOR" for Olympus ORF, "IIU\0" for
// Panasonic RW2).
std::vector<std::uint8_t> WithHeader(std::vector<std::uint8_t> tiff, const std::string& header);

// A Fujifilm RAF: its header, which gives the embedded JPEG's offset and
// length, the JPEG, then raw data.
std::vector<std::uint8_t> Raf(const std::vector<std::uint8_t>& jpeg);

// A HEIF/HEIC or AVIF file: ftyp, a meta box whose item information names
// an image item and an Exif item and whose item location places them, and
// mdat with the data. The Exif item is the 4-byte offset of the TIFF header,
// "Exif\0\0" and the block.
struct HeifOptions {
    std::string majorBrand = "heic";
    std::vector<std::string> compatibleBrands = {"mif1", "heic", "miaf"};
    int ilocVersion = 0;  // 0, 1 or 2
    int offsetSize = 4;   // bytes of an extent's offset: 0, 4 or 8
    int lengthSize = 4;
    int baseOffsetSize = 0;  // with a base offset, extents are relative to the data
    int indexSize = 0;       // versions 1 and 2
    int infeVersion = 2;     // 2 (16-bit item ids) or 3 (32-bit)
    bool inIdat = false;     // the Exif item in the meta box's idat (construction method 1)
    int pieces = 1;          // extents the Exif item is split into, stored in reverse order
    bool metaAfterMdat = false;
    bool largeSizes = false;  // every box with a 64-bit size
    bool exifHeader = true;
    std::optional<std::uint32_t> tiffOffset;  // the item's offset field; by default right
};
std::vector<std::uint8_t> Heif(const std::vector<std::uint8_t>& tiff,
                               const HeifOptions& options = {});

// A Canon CR3: ftyp "crx ", moov holding Canon's box with IFD0, the Exif and
// the GPS directory of `spec` as TIFF blocks of their own in CMT1, CMT2 and
// CMT4 (CMT3 is a stand-in maker note), then mdat.
std::vector<std::uint8_t> Cr3(const TiffSpec& spec);

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> ZlibStored(const std::vector<std::uint8_t>& data);

// A small real JPEG (decodable 8x8 grey image) with the given TIFF block as
// its Exif segment; an empty block gives a JPEG without Exif.
std::vector<std::uint8_t> DecodableJpeg(const std::vector<std::uint8_t>& tiff);

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A camera-like block: IFD0 with make, model, orientation, resolution; an Exif
// directory with exposure, aperture, ISO, dates, flash, focal length and a
// maker note; GPS; a thumbnail IFD1.
TiffSpec CameraSpec(bool bigEndian = false);

}  // namespace testsupport
