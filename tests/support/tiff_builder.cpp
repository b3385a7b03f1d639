#include "tiff_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace testsupport {
namespace {

void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AppendBe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Size of one element for the byte-order swap (a rational swaps as two words).
int SwapUnit(std::uint16_t type) {
    switch (type) {
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11:
    case 13:
    case 5:
    case 10: return 4;
    case 12: return 8;
    default: return 1;
    }
}

std::vector<std::uint8_t> InFileOrder(const Field& field, bool bigEndian) {
    std::vector<std::uint8_t> bytes = field.le;
    const int unit = SwapUnit(field.type);
    if (bigEndian && unit > 1) {
        for (std::size_t i = 0; i + unit <= bytes.size(); i += unit)
            for (int a = 0, b = unit - 1; a < b; ++a, --b) std::swap(bytes[i + a], bytes[i + b]);
    }
    return bytes;
}

class Writer {
public:
    explicit Writer(bool bigEndian) : big_(bigEndian) {}
    std::vector<std::uint8_t> bytes;

    void u16(std::uint16_t v) { big_ ? AppendBe(bytes, v, 2) : AppendLe(bytes, v, 2); }
    void u32(std::uint32_t v) { big_ ? AppendBe(bytes, v, 4) : AppendLe(bytes, v, 4); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes.size()); }
    void align() {
        if (bytes.size() % 2) bytes.push_back(0);
    }

    // Writes the directory at the current end, then its long values; returns
    // its offset. `extra` fields (pointers) are appended to its own fields and
    // their values patched later through `pointerSlots`.
    std::uint32_t directory(const Ifd& ifd, const std::vector<std::uint16_t>& pointerTags,
                            std::vector<std::uint32_t>& pointerSlots, std::uint32_t& nextSlot) {
        align();
        const std::uint32_t start = size();
        const std::uint32_t n = static_cast<std::uint32_t>(ifd.fields.size() + pointerTags.size());
        u16(static_cast<std::uint16_t>(n));
        std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> pending;
        for (const Field& field : ifd.fields) {
            u16(field.tag);
            u16(field.type);
            u32(field.count);
            std::vector<std::uint8_t> value = InFileOrder(field, big_);
            if (field.offsetOverride) {
                u32(*field.offsetOverride);
            } else if (value.size() <= 4) {
                value.resize(4, 0);
                bytes.insert(bytes.end(), value.begin(), value.end());
            } else {
                pending.emplace_back(size(), std::move(value));
                u32(0);
            }
        }
        for (std::uint16_t tag : pointerTags) {
            u16(tag);
            u16(4);
            u32(1);
            pointerSlots.push_back(size());
            u32(0);
        }
        nextSlot = size();
        u32(ifd.nextOverride.value_or(0));
        for (auto& [slot, value] : pending) {
            align();
            patch(slot, size());
            bytes.insert(bytes.end(), value.begin(), value.end());
        }
        return start;
    }

    void patch(std::uint32_t at, std::uint32_t value) { PutU32(bytes, at, value, big_); }

private:
    bool big_;
};

template <typename T, typename F>
std::vector<std::uint8_t> Encode(const std::vector<T>& values, int bytes, F toBits) {
    std::vector<std::uint8_t> out;
    for (const T& v : values) AppendLe(out, toBits(v), bytes);
    return out;
}

std::vector<std::uint8_t> Segment(std::uint8_t marker, const std::vector<std::uint8_t>& payload) {
    const std::size_t length = payload.size() + 2;
    std::vector<std::uint8_t> out(4 + payload.size());
    out[0] = 0xFF;
    out[1] = marker;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
    std::copy(payload.begin(), payload.end(), out.begin() + 4);
    return out;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void PngChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
    AppendBe(out, data.size(), 4);
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    AppendBe(out, Crc32(out.data() + typeAt, data.size() + 4), 4);
}

void RiffChunk(std::vector<std::uint8_t>& out, const char* fourcc,
               const std::vector<std::uint8_t>& data) {
    out.insert(out.end(), fourcc, fourcc + 4);
    AppendLe(out, data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2) out.push_back(0);
}

}  // namespace

Field Byte(std::uint16_t tag, std::vector<std::uint8_t> values) {
    const auto n = static_cast<std::uint32_t>(values.size());
    return Field{tag, 1, n, std::move(values), {}};
}

Field Ascii(std::uint16_t tag, const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    const auto n = static_cast<std::uint32_t>(bytes.size());
    return Field{tag, 2, n, std::move(bytes), {}};
}

Field Undefined(std::uint16_t tag, std::vector<std::uint8_t> bytes) {
    const auto n = static_cast<std::uint32_t>(bytes.size());
    return Field{tag, 7, n, std::move(bytes), {}};
}

Field UndefinedText(std::uint16_t tag, const std::string& bytes) {
    return Undefined(tag, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

Field Short(std::uint16_t tag, std::vector<std::uint16_t> values) {
    return Field{tag,
                 3,
                 static_cast<std::uint32_t>(values.size()),
                 Encode(values, 2, [](std::uint16_t v) { return std::uint64_t{v}; }),
                 {}};
}

Field Long(std::uint16_t tag, std::vector<std::uint32_t> values) {
    return Field{tag,
                 4,
                 static_cast<std::uint32_t>(values.size()),
                 Encode(values, 4, [](std::uint32_t v) { return std::uint64_t{v}; }),
                 {}};
}

Field Rational(std::uint16_t tag, std::vector<std::pair<std::uint32_t, std::uint32_t>> values) {
    std::vector<std::uint8_t> bytes;
    for (auto [n, d] : values) {
        AppendLe(bytes, n, 4);
        AppendLe(bytes, d, 4);
    }
    return Field{tag, 5, static_cast<std::uint32_t>(values.size()), std::move(bytes), {}};
}

Field SRational(std::uint16_t tag, std::vector<std::pair<std::int32_t, std::int32_t>> values) {
    std::vector<std::uint8_t> bytes;
    for (auto [n, d] : values) {
        AppendLe(bytes, static_cast<std::uint32_t>(n), 4);
        AppendLe(bytes, static_cast<std::uint32_t>(d), 4);
    }
    return Field{tag, 10, static_cast<std::uint32_t>(values.size()), std::move(bytes), {}};
}

Field SShort(std::uint16_t tag, std::vector<std::int16_t> values) {
    return Field{
        tag,
        8,
        static_cast<std::uint32_t>(values.size()),
        Encode(values, 2,
               [](std::int16_t v) { return std::uint64_t{static_cast<std::uint16_t>(v)}; }),
        {}};
}

Field SLong(std::uint16_t tag, std::vector<std::int32_t> values) {
    return Field{
        tag,
        9,
        static_cast<std::uint32_t>(values.size()),
        Encode(values, 4,
               [](std::int32_t v) { return std::uint64_t{static_cast<std::uint32_t>(v)}; }),
        {}};
}

Field Double(std::uint16_t tag, std::vector<double> values) {
    return Field{tag,
                 12,
                 static_cast<std::uint32_t>(values.size()),
                 Encode(values, 8,
                        [](double v) {
                            std::uint64_t bits;
                            std::memcpy(&bits, &v, 8);
                            return bits;
                        }),
                 {}};
}

Field Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
          std::vector<std::uint8_t> le) {
    return Field{tag, type, count, std::move(le), {}};
}

void PutU16(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint16_t value,
            bool bigEndian) {
    if (offset + 2 > bytes.size()) bytes.resize(offset + 2, 0);
    bytes[offset] = static_cast<std::uint8_t>(bigEndian ? value >> 8 : value);
    bytes[offset + 1] = static_cast<std::uint8_t>(bigEndian ? value : value >> 8);
}

void PutU32(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint32_t value,
            bool bigEndian) {
    if (offset + 4 > bytes.size()) bytes.resize(offset + 4, 0);
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 8 * (3 - i) : 8 * i;
        bytes[offset + i] = static_cast<std::uint8_t>(value >> shift);
    }
}

TiffLayout BuildTiff(const TiffSpec& spec, const RawParts& raw) {
    Writer w(spec.bigEndian);
    if (spec.bigEndian) {
        w.bytes = {'M', 'M', 0, 42};
    } else {
        w.bytes = {'I', 'I', 42, 0};
    }
    w.u32(static_cast<std::uint32_t>(8 + raw.afterHeader.size()));
    w.bytes.insert(w.bytes.end(), raw.afterHeader.begin(), raw.afterHeader.end());

    TiffLayout layout;
    layout.bigEndian = spec.bigEndian;

    std::vector<std::uint16_t> ifd0Pointers;
    if (spec.exif) ifd0Pointers.push_back(0x8769);
    if (spec.gps) ifd0Pointers.push_back(0x8825);
    std::vector<std::uint32_t> ifd0Slots;
    std::uint32_t ifd0Next = 0;
    layout.ifd0 = w.directory(spec.ifd0, ifd0Pointers, ifd0Slots, ifd0Next);

    std::size_t slot = 0;
    std::uint32_t unusedNext = 0;
    if (spec.exif) {
        std::vector<std::uint16_t> exifPointers;
        if (spec.interop) exifPointers.push_back(0xA005);
        std::vector<std::uint32_t> exifSlots;
        layout.exif = w.directory(*spec.exif, exifPointers, exifSlots, unusedNext);
        w.patch(ifd0Slots[slot++], layout.exif);
        if (spec.gps) {
            std::vector<std::uint32_t> none;
            layout.gps = w.directory(*spec.gps, {}, none, unusedNext);
            w.patch(ifd0Slots[slot++], layout.gps);
        }
        if (spec.interop) {
            std::vector<std::uint32_t> none;
            layout.interop = w.directory(*spec.interop, {}, none, unusedNext);
            w.patch(exifSlots[0], layout.interop);
        }
    } else if (spec.gps) {
        std::vector<std::uint32_t> none;
        layout.gps = w.directory(*spec.gps, {}, none, unusedNext);
        w.patch(ifd0Slots[slot++], layout.gps);
    }
    if (spec.ifd1) {
        std::vector<std::uint32_t> none;
        std::uint32_t ifd1Next = 0;
        layout.ifd1 = w.directory(*spec.ifd1, {}, none, ifd1Next);
        if (!spec.ifd0.nextOverride) w.patch(ifd0Next, layout.ifd1);
        if (raw.ifd2) {
            layout.ifd2 = w.directory(*raw.ifd2, {}, none, unusedNext);
            if (!spec.ifd1->nextOverride) w.patch(ifd1Next, layout.ifd2);
        }
    }
    w.align();
    layout.trailer = w.size();
    w.bytes.insert(w.bytes.end(), spec.trailer.begin(), spec.trailer.end());
    layout.bytes = std::move(w.bytes);
    return layout;
}

std::vector<std::uint8_t> Jpeg(const std::vector<std::uint8_t>& tiff, const JpegOptions& options) {
    std::vector<std::uint8_t> out{0xFF, 0xD8};
    for (const auto& [marker, payload] : options.before) {
        auto s = Segment(marker, payload);
        out.insert(out.end(), s.begin(), s.end());
    }
    if (!tiff.empty()) {
        std::vector<std::uint8_t> payload{'E', 'x', 'i', 'f', 0, 0};
        payload.insert(payload.end(), tiff.begin(), tiff.end());
        auto s = Segment(0xE1, payload);
        out.insert(out.end(), s.begin(), s.end());
    }
    for (const auto& [marker, payload] : options.after) {
        auto s = Segment(marker, payload);
        out.insert(out.end(), s.begin(), s.end());
    }
    if (options.withImageData) {
        auto sos = Segment(0xDA, {1, 1, 0, 0, 63, 0});
        out.insert(out.end(), sos.begin(), sos.end());
        out.insert(out.end(), {0x3F, 0xFF, 0xD9});
    }
    return out;
}

std::vector<std::uint8_t> DecodableJpeg(const std::vector<std::uint8_t>& tiff) {
    // An 8x8 mid-grey baseline JPEG: one block, DC difference 0, all AC zero.
    // Each Huffman table holds one 1-bit code, so the scan is the bits "00".
    JpegOptions options;
    options.withImageData = false;
    std::vector<std::uint8_t> dqt{0x00};
    dqt.resize(65, 1);
    options.after.emplace_back(0xDB, dqt);
    options.after.emplace_back(0xC0, std::vector<std::uint8_t>{8, 0, 8, 0, 8, 1, 1, 0x11, 0});
    std::vector<std::uint8_t> dcTable{0x00, 1};
    dcTable.resize(17, 0);
    dcTable.push_back(0x00);
    options.after.emplace_back(0xC4, dcTable);
    std::vector<std::uint8_t> acTable{0x10, 1};
    acTable.resize(17, 0);
    acTable.push_back(0x00);
    options.after.emplace_back(0xC4, acTable);
    std::vector<std::uint8_t> out = Jpeg(tiff, options);
    auto sos = Segment(0xDA, {1, 1, 0x00, 0, 63, 0});
    out.insert(out.end(), sos.begin(), sos.end());
    out.insert(out.end(), {0x3F, 0xFF, 0xD9});
    return out;
}

std::vector<std::uint8_t> Png(const std::vector<std::uint8_t>& tiff, bool exifBeforeIdat) {
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    AppendBe(ihdr, 1, 4);
    AppendBe(ihdr, 1, 4);
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
    PngChunk(out, "IHDR", ihdr);
    // A 1x1 grey pixel: zlib stream of the filter byte and the sample.
    const std::vector<std::uint8_t> idat{0x78, 0x01, 0x01, 0x02, 0x00, 0xFD, 0xFF,
                                         0x00, 0x80, 0x00, 0x82, 0x00, 0x81};
    if (exifBeforeIdat && !tiff.empty()) PngChunk(out, "eXIf", tiff);
    PngChunk(out, "IDAT", idat);
    if (!exifBeforeIdat && !tiff.empty()) PngChunk(out, "eXIf", tiff);
    PngChunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> WebP(const std::vector<std::uint8_t>& tiff, bool exifHeader) {
    std::vector<std::uint8_t> chunks{'W', 'E', 'B', 'P'};
    std::vector<std::uint8_t> vp8x{0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // EXIF flag, 1x1 canvas
    RiffChunk(chunks, "VP8X", vp8x);
    RiffChunk(chunks, "VP8L",
              {0x2F, 0, 0, 0, 0x00, 0x07, 0x10, 0x11, 0x11, 0x88, 0x88, 0xFE, 0x07, 0x00});
    if (!tiff.empty()) {
        std::vector<std::uint8_t> payload;
        if (exifHeader) payload = {'E', 'x', 'i', 'f', 0, 0};
        payload.insert(payload.end(), tiff.begin(), tiff.end());
        RiffChunk(chunks, "EXIF", payload);
    }
    std::vector<std::uint8_t> out{'R', 'I', 'F', 'F'};
    AppendLe(out, chunks.size(), 4);
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

std::vector<std::uint8_t> PngClaiming(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> ihdr;
    AppendBe(ihdr, width, 4);
    AppendBe(ihdr, height, 4);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PngChunk(out, "IHDR", ihdr);
    PngChunk(out, "IDAT", {0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});
    PngChunk(out, "IEND", {});
    return out;
}

std::vector<std::uint8_t> Bmp() {
    // A 1x1 24-bit BMP.
    std::vector<std::uint8_t> out{'B', 'M'};
    AppendLe(out, 58, 4);
    AppendLe(out, 0, 4);
    AppendLe(out, 54, 4);
    AppendLe(out, 40, 4);
    AppendLe(out, 1, 4);
    AppendLe(out, 1, 4);
    AppendLe(out, 1, 2);
    AppendLe(out, 24, 2);
    AppendLe(out, 0, 4);
    AppendLe(out, 4, 4);
    AppendLe(out, 2835, 4);
    AppendLe(out, 2835, 4);
    AppendLe(out, 0, 4);
    AppendLe(out, 0, 4);
    out.insert(out.end(), {0x80, 0x80, 0x80, 0});
    return out;
}

std::vector<std::uint8_t> Gif() {
    return {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0,    0,    0x80, 0x80, 0x80, 0,   0,
            0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void Append(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// An ISO box: 32-bit size, or 1 and a 64-bit size after the type.
Bytes Box(const std::string& type, const Bytes& payload, bool large = false) {
    Bytes out;
    if (large) {
        AppendBe(out, 1, 4);
        Append(out, type);
        AppendBe(out, 16 + payload.size(), 8);
    } else {
        AppendBe(out, 8 + payload.size(), 4);
        Append(out, type);
    }
    Append(out, payload);
    return out;
}

Bytes FullBox(const std::string& type, int version, const Bytes& payload, bool large = false) {
    Bytes body{static_cast<std::uint8_t>(version), 0, 0, 0};
    Append(body, payload);
    return Box(type, body, large);
}

std::uint32_t Adler32(const Bytes& data) {
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

}  // namespace

Bytes ZlibStored(const Bytes& data) {
    Bytes out{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(data.size() - at, 65535);
        out.push_back(at + n == data.size() ? 1 : 0);
        AppendLe(out, n, 2);
        AppendLe(out, ~n & 0xFFFF, 2);
        out.insert(out.end(), data.begin() + static_cast<long>(at),
                   data.begin() + static_cast<long>(at + n));
        at += n;
    } while (at < data.size());
    AppendBe(out, Adler32(data), 4);
    return out;
}

Bytes PngRawProfile(const Bytes& tiff, const RawProfileOptions& options) {
    Bytes profile;
    if (options.exifHeader) profile = {'E', 'x', 'i', 'f', 0, 0};
    Append(profile, tiff);
    char length[16];
    std::snprintf(length, sizeof length, "%8u", static_cast<unsigned>(profile.size()));
    std::string text = "\n" + options.name + "\n" + length + "\n";
    static const char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < profile.size(); ++i) {
        text += kHex[profile[i] >> 4];
        text += kHex[profile[i] & 15];
        if (i % 36 == 35 || i + 1 == profile.size()) text += '\n';
    }
    const Bytes textBytes(text.begin(), text.end());

    Bytes data;
    Append(data, "Raw profile type " + options.name);
    data.push_back(0);
    if (options.chunk == "zTXt") {
        data.push_back(0);
        Append(data, ZlibStored(textBytes));
    } else if (options.chunk == "iTXt") {
        data.insert(data.end(), {static_cast<std::uint8_t>(options.compressed ? 1 : 0), 0, 0, 0});
        Append(data, options.compressed ? ZlibStored(textBytes) : textBytes);
    } else {
        Append(data, textBytes);
    }
    Bytes out = Png({}, true);
    out.resize(out.size() - 12);  // IEND comes last
    PngChunk(out, options.chunk.c_str(), data);
    if (!options.eXIf.empty()) PngChunk(out, "eXIf", options.eXIf);
    PngChunk(out, "IEND", {});
    return out;
}

Bytes WithHeader(Bytes tiff, const std::string& header) {
    std::copy(header.begin(), header.end(), tiff.begin());
    return tiff;
}

Bytes Raf(const Bytes& jpeg) {
    constexpr std::uint32_t kJpegAt = 148;
    Bytes out;
    Append(out, std::string("FUJIFILMCCD-RAW 0201FF383501"));
    std::string camera = "X-T4";
    camera.resize(32, '\0');
    Append(out, camera);
    Append(out, std::string("0100"));
    out.resize(84, 0);
    const Bytes cfaHeader(64, 0x11);
    const Bytes cfa(256, 0x22);
    const std::uint32_t cfaHeaderAt = kJpegAt + static_cast<std::uint32_t>(jpeg.size());
    for (std::uint64_t word :
         {std::uint64_t{kJpegAt}, std::uint64_t{jpeg.size()}, std::uint64_t{cfaHeaderAt},
          std::uint64_t{cfaHeader.size()}, std::uint64_t{cfaHeaderAt + cfaHeader.size()},
          std::uint64_t{cfa.size()}})
        AppendBe(out, word, 4);
    out.resize(kJpegAt, 0);
    Append(out, jpeg);
    Append(out, cfaHeader);
    Append(out, cfa);
    return out;
}

Bytes Heif(const Bytes& tiff, const HeifOptions& o) {
    const bool large = o.largeSizes;
    Bytes item;
    AppendBe(item, o.tiffOffset.value_or(o.exifHeader ? 6 : 0), 4);
    if (o.exifHeader) item.insert(item.end(), {'E', 'x', 'i', 'f', 0, 0});
    Append(item, tiff);
    const Bytes image(32, 0x5A);  // stands in for the coded picture

    // The Exif item's pieces, stored last first with a little junk before
    // each, so that only the extents' order puts them together right.
    const std::size_t pieces = static_cast<std::size_t>(std::max(o.pieces, 1));
    std::vector<std::pair<std::size_t, std::size_t>> cuts;  // offset in item, length
    for (std::size_t k = 0; k < pieces; ++k) {
        const std::size_t begin = item.size() * k / pieces, end = item.size() * (k + 1) / pieces;
        cuts.emplace_back(begin, end - begin);
    }
    Bytes exifArea;
    std::vector<std::size_t> pieceAt(pieces);
    for (std::size_t k = pieces; k-- > 0;) {
        exifArea.insert(exifArea.end(), {0xEE, 0xEE, 0xEE});
        pieceAt[k] = exifArea.size();
        exifArea.insert(exifArea.end(), item.begin() + static_cast<long>(cuts[k].first),
                        item.begin() + static_cast<long>(cuts[k].first + cuts[k].second));
    }
    Bytes mdatData = image;
    const std::size_t exifInMdat = mdatData.size();
    if (!o.inIdat) Append(mdatData, exifArea);

    Bytes ftypData;
    Append(ftypData, o.majorBrand);
    AppendBe(ftypData, 0, 4);
    for (const std::string& brand : o.compatibleBrands) Append(ftypData, brand);
    const Bytes ftyp = Box("ftyp", ftypData, large);

    // The meta box for data starting at `mdatAt` (the mdat payload's offset
    // in the file); extents in idat count from its payload.
    const auto meta = [&](std::uint64_t mdatAt) {
        Bytes hdlr(4, 0);
        Append(hdlr, std::string("pict"));
        hdlr.resize(hdlr.size() + 13, 0);
        Bytes pitm;
        AppendBe(pitm, 1, 2);
        Bytes iinf;
        AppendBe(iinf, 2, 2);
        for (auto [id, type] : {std::pair<int, const char*>{1, "hvc1"}, {2, "Exif"}}) {
            Bytes infe;
            AppendBe(infe, id, o.infeVersion == 2 ? 2 : 4);
            AppendBe(infe, 0, 2);
            Append(infe, std::string(type));
            infe.push_back(0);
            Append(iinf, FullBox("infe", o.infeVersion, infe, large));
        }
        Bytes iloc{static_cast<std::uint8_t>(o.offsetSize << 4 | o.lengthSize),
                   static_cast<std::uint8_t>(o.baseOffsetSize << 4 |
                                             (o.ilocVersion > 0 ? o.indexSize : 0))};
        const int idWidth = o.ilocVersion < 2 ? 2 : 4;
        AppendBe(iloc, 2, idWidth);
        const auto entry =
            [&](int id, int method, std::uint64_t dataAt,
                const std::vector<std::pair<std::uint64_t, std::uint64_t>>& extents) {
                AppendBe(iloc, id, idWidth);
                if (o.ilocVersion > 0) AppendBe(iloc, method, 2);
                AppendBe(iloc, 0, 2);
                const std::uint64_t base = o.baseOffsetSize > 0 ? dataAt : 0;
                AppendBe(iloc, base, o.baseOffsetSize);
                AppendBe(iloc, extents.size(), 2);
                for (auto [offset, length] : extents) {
                    if (o.ilocVersion > 0) AppendBe(iloc, 0, o.indexSize);
                    AppendBe(iloc, dataAt + offset - base, o.offsetSize);
                    AppendBe(iloc, length, o.lengthSize);
                }
            };
        entry(1, 0, mdatAt, {{0, image.size()}});
        std::vector<std::pair<std::uint64_t, std::uint64_t>> exifExtents;
        for (std::size_t k = 0; k < pieces; ++k)
            exifExtents.emplace_back((o.inIdat ? 0 : exifInMdat) + pieceAt[k], cuts[k].second);
        entry(2, o.inIdat ? 1 : 0, o.inIdat ? 0 : mdatAt, exifExtents);

        Bytes children;
        Append(children, FullBox("hdlr", 0, hdlr, large));
        Append(children, FullBox("pitm", 0, pitm, large));
        Append(children, FullBox("iinf", 0, iinf, large));
        Append(children, FullBox("iloc", o.ilocVersion, iloc, large));
        if (o.inIdat) Append(children, Box("idat", exifArea, large));
        return FullBox("meta", 0, children, large);
    };
    const Bytes mdatHeader = Box("mdat", {}, large);
    // The meta box's size does not depend on the offsets it holds.
    const std::uint64_t mdatAt =
        ftyp.size() + (o.metaAfterMdat ? 0 : meta(0).size()) + mdatHeader.size();
    const Bytes metaBox = meta(mdatAt);

    Bytes out = ftyp;
    const Bytes mdat = Box("mdat", mdatData, large);
    if (o.metaAfterMdat) {
        Append(out, mdat);
        Append(out, metaBox);
    } else {
        Append(out, metaBox);
        Append(out, mdat);
    }
    return out;
}

Bytes Cr3(const TiffSpec& spec) {
    const auto single = [&](const Ifd& ifd) {
        TiffSpec one;
        one.bigEndian = spec.bigEndian;
        one.ifd0 = ifd;
        return BuildTiff(one).bytes;
    };
    Bytes canon{0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
    Append(canon, Box("CNCV", Bytes{'C', 'a', 'n', 'o', 'n', 'C', 'R', '3', '_', '0', '0', '1'}));
    Append(canon, Box("CCTP", Bytes(24, 0)));
    Append(canon, Box("CTBO", Bytes(40, 0)));
    Append(canon, Box("CMT1", single(spec.ifd0)));
    if (spec.exif) Append(canon, Box("CMT2", single(*spec.exif)));
    Ifd makerNote;
    makerNote.fields = {Short(0x0001, {1, 2, 3}), Long(0x0010, {0x80000428})};
    Append(canon, Box("CMT3", single(makerNote)));
    if (spec.gps) Append(canon, Box("CMT4", single(*spec.gps)));
    Append(canon, Box("THMB", Bytes(64, 0x33)));
    Bytes moov = Box("uuid", canon);
    Append(moov, FullBox("mvhd", 0, Bytes(96, 0)));

    Bytes ftypData{'c', 'r', 'x', ' ', 0, 0, 0, 1, 'c', 'r', 'x', ' ', 'i', 's', 'o', 'm'};
    Bytes out = Box("ftyp", ftypData);
    Append(out, Box("moov", moov));
    Append(out, Box("mdat", Bytes(128, 0x44)));
    return out;
}

TiffSpec CameraSpec(bool bigEndian) {
    TiffSpec spec;
    spec.bigEndian = bigEndian;
    spec.ifd0.fields = {
        Ascii(0x010F, "Canon"),
        Ascii(0x0110, "Canon EOS 5D Mark IV"),
        Short(0x0112, {1}),
        Rational(0x011A, {{72, 1}}),
        Rational(0x011B, {{72, 1}}),
        Short(0x0128, {2}),
        Ascii(0x0132, "2026:11:30 14:05:09"),
        Short(0x0213, {2}),
    };
    std::vector<std::uint8_t> makerNote(600);
    for (std::size_t i = 0; i < makerNote.size(); ++i)
        makerNote[i] = static_cast<std::uint8_t>(i * 7);
    Ifd exif;
    exif.fields = {
        Rational(0x829A, {{1, 125}}),
        Rational(0x829D, {{28, 10}}),
        Short(0x8822, {3}),
        Short(0x8827, {400}),
        UndefinedText(0x9000, "0231"),
        Ascii(0x9003, "2026:11:30 14:05:09"),
        Ascii(0x9004, "2026:11:30 14:05:09"),
        SRational(0x9201, {{7, 1}}),
        Rational(0x9202, {{297, 100}}),
        SRational(0x9204, {{-1, 3}}),
        Rational(0x9205, {{3, 1}}),
        Short(0x9207, {5}),
        Short(0x9208, {0}),
        Short(0x9209, {16}),
        Rational(0x920A, {{50, 1}}),
        Undefined(0x927C, makerNote),
        UndefinedText(0x9286, std::string("ASCII\0\0\0Holiday", 15)),
        UndefinedText(0xA000, "0100"),
        Short(0xA001, {1}),
        Long(0xA002, {6720}),
        Long(0xA003, {4480}),
        Undefined(0xA300, {3}),
        Undefined(0xA301, {1}),
        Short(0xA402, {0}),
        Short(0xA403, {0}),
        Short(0xA406, {0}),
    };
    spec.exif = exif;
    Ifd interop;
    interop.fields = {Ascii(0x0001, "R98"), UndefinedText(0x0002, "0100")};
    spec.interop = interop;
    Ifd gps;
    gps.fields = {
        Byte(0x0000, {2, 3, 0, 0}),
        Ascii(0x0001, "N"),
        Rational(0x0002, {{35, 1}, {40, 1}, {30, 1}}),
        Ascii(0x0003, "E"),
        Rational(0x0004, {{139, 1}, {4545, 100}, {0, 1}}),
        Byte(0x0005, {0}),
        Rational(0x0006, {{1234, 10}}),
        Rational(0x0007, {{8, 1}, {5, 1}, {7, 1}}),
    };
    spec.gps = gps;
    Ifd ifd1;
    ifd1.fields = {
        Short(0x0103, {6}), Rational(0x011A, {{72, 1}}), Rational(0x011B, {{72, 1}}),
        Short(0x0128, {2}), Long(0x0201, {0}),  // patched by callers that append a thumbnail
        Long(0x0202, {0}),
    };
    spec.ifd1 = ifd1;
    return spec;
}

}  // namespace testsupport
