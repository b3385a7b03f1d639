#include "jpeg_test_codec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace jpegtest {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

// A compression into memory. Its errors jump back to the setjmp of the
// function that compresses, which then gives up (abandon); nothing here has a
// destructor the jump would skip.
struct MemoryCompression {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;

    MemoryCompression() {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = OnError;
    }
    void start() {
        jpeg_create_compress(&info);
        jpeg_mem_dest(&info, &buffer, &size);
    }
    Bytes abandon() {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    Bytes finish() {
        jpeg_finish_compress(&info);
        jpeg_destroy_compress(&info);
        Bytes bytes(buffer, buffer + size);
        std::free(buffer);
        return bytes;
    }
};

}  // namespace

Picture Scene(int width, int height, std::uint32_t seed) {
    Picture picture{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    const double cx = width * 0.6, cy = height * 0.4, radius = std::min(width, height) * 0.25;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 31) - 15;
            int r = 30 + 190 * x / std::max(1, width) + noise;
            int g = 50 + 160 * y / std::max(1, height) + noise;
            int b = static_cast<int>(128 + 90 * std::sin(x / 29.0) * std::cos(y / 19.0)) + noise;
            if (x > width / 8 && x < width / 3 && y > height / 2 && y < height * 7 / 8)
                r = g = b = 250;
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) {
                r = 220;
                g = 40;
                b = 60 + noise;
            }
            std::uint8_t* pixel = &picture.rgb[(std::size_t(y) * width + x) * 3];
            pixel[0] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
            pixel[1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
            pixel[2] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
        }
    }
    return picture;
}

Bytes Encode(const Picture& picture, const Layout& layout) {
    MemoryCompression compression;
    // Everything with a destructor lives outside the jump's reach.
    std::vector<std::uint8_t> row(std::size_t(picture.width) * std::max(3, layout.components));
    std::vector<jpeg_scan_info> scans;
    if (setjmp(compression.errors.jump)) return compression.abandon();
    compression.start();
    jpeg_compress_struct& info = compression.info;
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = layout.components == 4 ? 4 : layout.components == 1 ? 1 : 3;
    info.in_color_space = layout.components == 4   ? JCS_CMYK
                          : layout.components == 1 ? JCS_GRAYSCALE
                                                   : JCS_RGB;
    jpeg_set_defaults(&info);
    if (layout.rgb) jpeg_set_colorspace(&info, JCS_RGB);
    if (layout.components == 4) jpeg_set_colorspace(&info, JCS_CMYK);
    jpeg_set_quality(&info, layout.quality, TRUE);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = layout.h[c];
        info.comp_info[c].v_samp_factor = layout.v[c];
    }
    info.restart_interval = static_cast<unsigned>(layout.restartInterval);
    info.optimize_coding = layout.optimize ? TRUE : FALSE;
    info.arith_code = layout.arithmetic ? TRUE : FALSE;
    if (layout.progressive && !layout.script.empty()) {
        for (const Scan& wanted : layout.script) {
            jpeg_scan_info scan{};
            scan.comps_in_scan = static_cast<int>(wanted.components.size());
            std::copy(wanted.components.begin(), wanted.components.end(), scan.component_index);
            scan.Ss = wanted.first;
            scan.Se = wanted.last;
            scan.Ah = wanted.high;
            scan.Al = wanted.low;
            scans.push_back(scan);
        }
        info.scan_info = scans.data();
        info.num_scans = static_cast<int>(scans.size());
    } else if (layout.progressive) {
        jpeg_simple_progression(&info);
    } else if (layout.separateScans) {
        for (int c = 0; c < info.num_components; ++c) {
            jpeg_scan_info scan{};
            scan.comps_in_scan = 1;
            scan.component_index[0] = c;
            scan.Ss = 0;
            scan.Se = 63;
            scans.push_back(scan);
        }
        info.scan_info = scans.data();
        info.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const std::uint8_t* source =
            &picture.rgb[std::size_t(info.next_scanline) * picture.width * 3];
        for (int x = 0; x < picture.width; ++x) {
            if (layout.components == 1) {
                row[x] = static_cast<std::uint8_t>(
                    (source[3 * x] * 77 + source[3 * x + 1] * 150 + source[3 * x + 2] * 29) >> 8);
            } else if (layout.components == 4) {
                for (int c = 0; c < 3; ++c)
                    row[4 * x + c] = static_cast<std::uint8_t>(255 - source[3 * x + c]);
                row[4 * x + 3] = 0;
            } else {
                std::copy_n(source + 3 * x, 3, &row[3 * x]);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    return compression.finish();
}

Bytes EncodeCoefficients(const CoefficientPhoto& photo) {
    MemoryCompression compression;
    if (setjmp(compression.errors.jump)) return compression.abandon();
    compression.start();
    jpeg_compress_struct& info = compression.info;
    const int side = photo.lumaSide;
    info.image_width = static_cast<JDIMENSION>(photo.mcusWide * side * 8);
    info.image_height = static_cast<JDIMENSION>(photo.mcusHigh * side * 8);
    info.input_components = 3;
    info.in_color_space = JCS_YCbCr;
    jpeg_set_defaults(&info);
    const std::array<std::uint16_t, 64>* quant[2] = {&photo.lumaQuant, &photo.chromaQuant};
    for (int t = 0; t < 2; ++t) {
        unsigned int table[64];
        std::copy(quant[t]->begin(), quant[t]->end(), table);
        jpeg_add_quant_table(&info, t, table, 100, FALSE);
    }
    // An MCU holds at most 10 blocks: a larger one, a scan per component.
    jpeg_scan_info scans[3] = {};
    if (side * side + 2 > 10) {
        for (int c = 0; c < 3; ++c) {
            scans[c].comps_in_scan = 1;
            scans[c].component_index[0] = c;
            scans[c].Se = 63;
        }
        info.scan_info = scans;
        info.num_scans = 3;
    }
    jvirt_barray_ptr arrays[3];
    for (int c = 0; c < 3; ++c) {
        jpeg_component_info& component = info.comp_info[c];
        component.h_samp_factor = component.v_samp_factor = c == 0 ? side : 1;
        const int per = c == 0 ? side : 1;
        arrays[c] = (*info.mem->request_virt_barray)(
            reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, TRUE,
            static_cast<JDIMENSION>(photo.mcusWide * per),
            static_cast<JDIMENSION>(photo.mcusHigh * per), static_cast<JDIMENSION>(per));
    }
    jpeg_write_coefficients(&info, arrays);
    for (int c = 0; c < 3; ++c) {
        const int wide = photo.mcusWide * (c == 0 ? side : 1);
        const int high = photo.mcusHigh * (c == 0 ? side : 1);
        for (int y = 0; y < high; ++y) {
            JBLOCKARRAY row =
                (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[c],
                                                static_cast<JDIMENSION>(y), 1, TRUE);
            for (int x = 0; x < wide; ++x) {
                const std::size_t at = std::size_t(y) * wide + x;
                for (int k = 0; k < 64; ++k)
                    row[0][x][k] = at < photo.blocks[c].size() ? photo.blocks[c][at][k] : 0;
            }
        }
    }
    return compression.finish();
}

namespace {

void Segment(Bytes& out, std::uint8_t marker, const Bytes& body) {
    const std::size_t length = body.size() + 2;
    out.push_back(0xFF);
    out.push_back(marker);
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), body.begin(), body.end());
}

// A Huffman table with one symbol, coded as the single bit 0.
Bytes OneSymbolTable(std::uint8_t tableClass, std::uint8_t symbol) {
    Bytes body(1 + 16 + 1, 0);
    body[0] = static_cast<std::uint8_t>(tableClass << 4);
    body[1] = 1;  // codes of one bit
    body[17] = symbol;
    return body;
}

// Entropy-coded bits, with 0xFF stuffed and the last byte padded with ones.
class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    ~BitWriter() {
        if (used_) put(0xFF, 8 - used_);
    }
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = static_cast<std::uint8_t>(byte_ << 1 | ((value >> i) & 1));
            if (++used_ == 8) flush();
        }
    }
    void zeros(std::uint64_t count) {
        for (; count > 0 && used_ != 0; --count) put(0, 1);
        out_.insert(out_.end(), count / 8, 0);
        put(0, static_cast<int>(count % 8));
    }

private:
    void flush() {
        out_.push_back(byte_);
        if (byte_ == 0xFF) out_.push_back(0);
        byte_ = 0;
        used_ = 0;
    }
    Bytes& out_;
    std::uint8_t byte_ = 0;
    int used_ = 0;
};

}  // namespace

Bytes FlatProgressiveGrey(int width, int height, bool withAc) {
    const std::uint64_t blocks = std::uint64_t((width + 7) / 8) * ((height + 7) / 8);
    Bytes out = {0xFF, 0xD8};
    Bytes quant(65, 1);
    quant[0] = 0;  // table 0, 8-bit steps
    Segment(out, 0xDB, quant);
    const auto high = [](int value) { return static_cast<std::uint8_t>(value >> 8); };
    const auto low = [](int value) { return static_cast<std::uint8_t>(value); };
    Segment(out, 0xC2, {8, high(height), low(height), high(width), low(width), 1, 1, 0x11, 0});
    Segment(out, 0xC4, OneSymbolTable(0, 0));  // DC difference 0
    Segment(out, 0xDA, {1, 1, 0x00, 0, 0, 0x00});
    BitWriter(out).zeros(blocks);
    if (withAc) {
        // Runs of 2^r empty blocks plus r more bits, r = 0 to 14, coded as r
        // in four bits.
        Bytes runs(1 + 16, 0);
        runs[0] = 0x10;
        runs[4] = 15;
        for (std::uint8_t r = 0; r < 15; ++r) runs.push_back(static_cast<std::uint8_t>(r << 4));
        Segment(out, 0xC4, runs);
        Segment(out, 0xDA, {1, 1, 0x00, 1, 63, 0x00});
        BitWriter bits(out);
        for (std::uint64_t left = blocks; left > 0;) {
            const auto run = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, 32767));
            const int r = std::bit_width(run) - 1;
            bits.put(static_cast<std::uint32_t>(r), 4);
            bits.put(run - (1u << r), r);
            left -= run;
        }
    }
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

Decoded DecodeEighth(std::span<const std::uint8_t> jpeg) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = Quiet;  // warnings about corrupt data are expected
    Decoded decoded;
    std::vector<std::uint8_t>* pixels = &decoded.picture.rgb;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return Decoded{};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    decoded.picture.width = static_cast<int>(info.output_width);
    decoded.picture.height = static_cast<int>(info.output_height);
    pixels->resize(std::size_t(info.output_width) * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {pixels->data() +
                            std::size_t(info.output_scanline) * info.output_width * 3};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    decoded.ok = true;
    return decoded;
}

std::optional<std::uint64_t> KeptCoefficientBytes(std::span<const std::uint8_t> jpeg) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = Quiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    std::uint64_t bytes = 0;
    if (jpeg_has_multiple_scans(&info)) {
        for (int c = 0; c < info.num_components; ++c) {
            const jpeg_component_info& component = info.comp_info[c];
            const auto roundUp = [](std::uint64_t value, std::uint64_t step) {
                return (value + step - 1) / step * step;
            };
            bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                     roundUp(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
        }
    }
    jpeg_destroy_decompress(&info);
    return bytes;
}

std::optional<std::vector<SavedSegment>> SegmentsBeforeScan(std::span<const std::uint8_t> jpeg) {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = Quiet;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
    for (int app = 0; app < 16; ++app) jpeg_save_markers(&info, JPEG_APP0 + app, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    std::vector<SavedSegment> saved;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
        saved.push_back({marker->marker, Bytes(marker->data, marker->data + marker->data_length)});
    jpeg_destroy_decompress(&info);
    return saved;
}

std::vector<std::size_t> FindMarkers(std::span<const std::uint8_t> jpeg, std::uint8_t code) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code) found.push_back(i);
    }
    return found;
}

bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace jpegtest
