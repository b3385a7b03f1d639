#include "dng_writer.h"

namespace testsupport {
namespace {

constexpr std::uint16_t kNewSubfileType = 254, kImageWidth = 256, kImageLength = 257,
                        kBitsPerSample = 258, kCompression = 259, kPhotometric = 262, kMake = 271,
                        kModel = 272, kStripOffsets = 273, kOrientation = 274,
                        kSamplesPerPixel = 277, kRowsPerStrip = 278, kStripByteCounts = 279,
                        kPlanarConfiguration = 284, kCfaRepeatPatternDim = 33421,
                        kCfaPattern = 33422, kDngVersion = 50706, kUniqueCameraModel = 50708;

TiffSpec Layout(const DngSpec& spec, std::uint32_t rawOffset, std::uint32_t rawLength,
                std::uint32_t previewOffset) {
    TiffSpec tiff;
    tiff.bigEndian = spec.bigEndian;
    std::vector<Field>& raw = tiff.ifd0.fields;
    raw = {
        Long(kNewSubfileType, {0}),
        Long(kImageWidth, {spec.width}),
        Long(kImageLength, {spec.height}),
        Short(kBitsPerSample, {16}),
        Short(kCompression, {1}),
        Short(kPhotometric, {32803}),  // colour filter array
        Ascii(kMake, "Canon"),
        Ascii(kModel, "Canon EOS 5D"),
        Long(kStripOffsets, {rawOffset}),
    };
    if (spec.orientation)
        raw.push_back(Short(kOrientation, {static_cast<std::uint16_t>(spec.orientation)}));
    for (Field field : {Short(kSamplesPerPixel, {1}), Long(kRowsPerStrip, {spec.height}),
                        Long(kStripByteCounts, {rawLength}), Short(kPlanarConfiguration, {1}),
                        Short(kCfaRepeatPatternDim, {2, 2}), Byte(kCfaPattern, {0, 1, 1, 2}),
                        Byte(kDngVersion, {1, 4, 0, 0}), Ascii(kUniqueCameraModel, "Canon EOS 5D")})
        raw.push_back(std::move(field));
    tiff.exif = spec.exif;

    if (spec.preview != DngSpec::Preview::None) {
        const bool jpeg = spec.preview == DngSpec::Preview::Jpeg;
        const auto length = spec.previewLengthOverride.value_or(
            static_cast<std::uint32_t>(spec.previewBytes.size()));
        tiff.ifd1 = Ifd{
            .fields =
                {
                    Long(kNewSubfileType, {1}),  // a reduced-resolution picture of the raw image
                    Long(kImageWidth, {spec.previewWidth}),
                    Long(kImageLength, {spec.previewHeight}),
                    Short(kBitsPerSample, {8, 8, 8}),
                    Short(kCompression, {static_cast<std::uint16_t>(jpeg ? 7 : 1)}),
                    Short(kPhotometric, {static_cast<std::uint16_t>(jpeg ? 6 : 2)}),  // YCbCr / RGB
                    Long(kStripOffsets, {previewOffset}),
                    Short(kSamplesPerPixel, {3}),
                    Long(kRowsPerStrip, {spec.previewHeight}),
                    Long(kStripByteCounts, {length}),
                },
            .nextOverride = std::nullopt};
    }
    return tiff;
}

}  // namespace

std::vector<std::uint8_t> Dng(const DngSpec& spec, std::uint32_t* dataOffset) {
    std::vector<std::uint8_t> trailer;
    for (std::uint32_t y = 0; y < spec.height; ++y) {
        for (std::uint32_t x = 0; x < spec.width; ++x) {
            const auto sample = static_cast<std::uint16_t>((x * 37 + y * 11) % 4096);
            if (spec.bigEndian)
                trailer.insert(trailer.end(), {std::uint8_t(sample >> 8), std::uint8_t(sample)});
            else trailer.insert(trailer.end(), {std::uint8_t(sample), std::uint8_t(sample >> 8)});
        }
    }
    const auto rawLength = static_cast<std::uint32_t>(trailer.size());
    trailer.insert(trailer.end(), spec.previewBytes.begin(), spec.previewBytes.end());

    // The directories come first and their size does not depend on the
    // offsets, so a first layout tells where the data will lie.
    TiffSpec tiff = Layout(spec, 0, rawLength, 0);
    tiff.trailer = trailer;
    const std::uint32_t start = BuildTiff(tiff).trailer;
    if (dataOffset) *dataOffset = start;
    tiff = Layout(spec, start, rawLength, start + rawLength);
    tiff.trailer = std::move(trailer);
    return BuildTiff(tiff).bytes;
}

}  // namespace testsupport
