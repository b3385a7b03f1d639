// Colour conversion and resampling: each component's samples spread over
// the preview grid as the reference decoder does at an eighth, and YCbCr
// turned into RGB in its fixed point.
#include "preview/jpeg_decoder.h"

#include <algorithm>
#include <cstring>

namespace preview::jpegdecoder {
namespace {

// The reference decoder's YCbCr to RGB conversion, in 16-bit fixed point.
struct ColourTables {
    std::array<int, 256> crRed{}, cbBlue{};
    std::array<std::int32_t, 256> crGreen{}, cbGreen{};
    constexpr ColourTables() {
        constexpr std::int32_t half = 1 << 15;
        const auto fix = [](double x) { return static_cast<std::int32_t>(x * 65536 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const std::int32_t x = i - 128;
            crRed[i] = (fix(1.40200) * x + half) >> 16;
            cbBlue[i] = (fix(1.77200) * x + half) >> 16;
            crGreen[i] = -fix(0.71414) * x;
            cbGreen[i] = -fix(0.34414) * x + half;
        }
    }
};
constexpr ColourTables kColour;

std::uint32_t Clamp255(int value) { return static_cast<std::uint32_t>(std::clamp(value, 0, 255)); }

// Spreads a component's samples over the preview grid by repeating them, as
// the reference decoder does at an eighth.
class Resampler {
public:
    Resampler(const Component& c, int hMax, int vMax, std::uint32_t width)
        : c_(c), ratioY_(static_cast<std::uint32_t>(vMax / (c.v * c.scale))) {
        const auto ratioX = static_cast<std::uint32_t>(hMax / (c.h * c.scale));
        columns_.resize(width);
        for (std::uint32_t x = 0; x < width; ++x)
            columns_[x] = std::min(x / ratioX, c.samplesWide - 1);
        whole_ = ratioX == 1 && width <= c.samplesWide;
    }

    void row(std::uint32_t y, std::uint8_t* out) const {
        const std::uint8_t* in =
            c_.plane.data() +
            std::size_t{std::min(y / ratioY_, c_.samplesHigh - 1)} * c_.planeWidth;
        // In locals: a byte stored may alias the vector's size, which the
        // loop would load again at each byte.
        const std::size_t width = columns_.size();
        const std::uint32_t* columns = columns_.data();
        if (whole_) {
            for (std::size_t x = 0; x < width; ++x) out[x] = in[x] ^ kKept;
            return;
        }
        for (std::size_t x = 0; x < width; ++x) out[x] = in[columns[x]] ^ kKept;
    }

private:
    const Component& c_;
    std::uint32_t ratioY_;
    bool whole_ = false;
    std::vector<std::uint32_t> columns_;
};

}  // namespace

void Decoder::compose(JpegPreview& out) {
    out.imageWidth = width_;
    out.imageHeight = height_;
    out.width = DivideUp(width_, 8);
    out.height = DivideUp(height_, 8);
    out.grey = components_.size() == 1;
    out.pixels.resize(std::size_t{out.width} * out.height);

    std::vector<Resampler> resamplers;
    for (const Component& c : components_) resamplers.emplace_back(c, hMax_, vMax_, out.width);
    bool rgb = false;
    if (components_.size() == 3) {
        if (jfif_) rgb = false;
        else if (adobe_) rgb = adobeTransform_ == 0;
        else rgb = components_[0].id == 'R' && components_[1].id == 'G' && components_[2].id == 'B';
    }

    // Rows [from, to), each thread with a row buffer of its own.
    const auto composeRows = [&](std::uint32_t from, std::uint32_t to) {
        std::vector<std::uint8_t> rows(std::size_t{out.width} * components_.size());
        for (std::uint32_t y = from; y < to; ++y) {
            for (std::size_t i = 0; i < components_.size(); ++i)
                resamplers[i].row(y, rows.data() + i * out.width);
            std::uint32_t* line = out.pixels.data() + std::size_t{y} * out.width;
            const std::uint8_t* first = rows.data();
            if (components_.size() == 1) {
                for (std::uint32_t x = 0; x < out.width; ++x)
                    line[x] = 0xFF000000u | first[x] * 0x010101u;
                continue;
            }
            const std::uint8_t* second = first + out.width;
            const std::uint8_t* third = second + out.width;
            for (std::uint32_t x = 0; x < out.width; ++x) {
                std::uint32_t r, g, b;
                if (rgb) {
                    r = first[x];
                    g = second[x];
                    b = third[x];
                } else {
                    const int luma = first[x], cb = second[x], cr = third[x];
                    r = Clamp255(luma + kColour.crRed[cr]);
                    g = Clamp255(luma + ((kColour.cbGreen[cb] + kColour.crGreen[cr]) >> 16));
                    b = Clamp255(luma + kColour.cbBlue[cb]);
                }
                line[x] = 0xFF000000u | r << 16 | g << 8 | b;
            }
        }
    };
    // A large preview in two halves at once (a 50 MP photo's takes 4 ms):
    // from 16 times the MCUs whose scan two threads decode, 16 MP in 4:2:0.
    const std::uint64_t mcus = std::uint64_t{mcusX_} * mcusY_;
    const std::uint32_t half = parallelFromMcus_ <= mcus / 16 && SecondCore() ? out.height / 2 : 0;
    if (half > 0)
        RunSideBySide(
            companion_, [&] { composeRows(0, half); }, [&] { composeRows(half, out.height); });
    else composeRows(0, out.height);
}

}  // namespace preview::jpegdecoder
