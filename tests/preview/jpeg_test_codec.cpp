#include "jpeg_test_codec.h"

#include <algorithm>
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
            if (x > width / 8 && x < width / 3 && y > height / 2 && y < height * 7 / 8) r = g = b = 250;
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
    jpeg_compress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    // Everything with a destructor lives outside the jump's reach.
    std::vector<std::uint8_t> row(std::size_t(picture.width) * std::max(3, layout.components));
    std::vector<jpeg_scan_info> scans;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = layout.components == 4 ? 4 : layout.components == 1 ? 1 : 3;
    info.in_color_space = layout.components == 4 ? JCS_CMYK : layout.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
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
    if (layout.progressive) {
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
        const std::uint8_t* source = &picture.rgb[std::size_t(info.next_scanline) * picture.width * 3];
        for (int x = 0; x < picture.width; ++x) {
            if (layout.components == 1) {
                row[x] = static_cast<std::uint8_t>((source[3 * x] * 77 + source[3 * x + 1] * 150 + source[3 * x + 2] * 29) >> 8);
            } else if (layout.components == 4) {
                for (int c = 0; c < 3; ++c) row[4 * x + c] = static_cast<std::uint8_t>(255 - source[3 * x + c]);
                row[4 * x + 3] = 0;
            } else {
                std::copy_n(source + 3 * x, 3, &row[3 * x]);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
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
        JSAMPROW rows[1] = {pixels->data() + std::size_t(info.output_scanline) * info.output_width * 3};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    decoded.ok = true;
    return decoded;
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
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace jpegtest
