#include "exif/iptc_datasets.h"

#include "exif/text_decode.h"
#include "reader/byte_view.h"

namespace exif {

std::vector<IptcText> ParseIptc(std::span<const std::uint8_t> records) {
    // Record 1:90 holds the escape sequence of the coded character set;
    // ESC % G is UTF-8.
    constexpr std::uint8_t kUtf8[] = {0x1B, 0x25, 0x47};
    const reader::ByteView bytes(records, true);
    std::vector<IptcText> texts;
    bool utf8 = false;
    std::uint64_t pos = 0;
    for (std::size_t count = 0;
         count < kMaxIptcDatasets && bytes.fits(pos, 5) && bytes.u8(pos) == 0x1C; ++count) {
        const std::uint8_t record = bytes.u8(pos + 1);
        const std::uint8_t dataset = bytes.u8(pos + 2);
        std::uint64_t length = bytes.u16(pos + 3);
        pos += 5;
        if (length & 0x8000u) {
            // An extended dataset: the low bits count the bytes of its length.
            const std::uint64_t width = length & 0x7FFFu;
            if (width == 0 || width > 4 || !bytes.fits(pos, width)) break;
            length = 0;
            for (std::uint64_t k = 0; k < width; ++k) length = length << 8 | bytes.u8(pos + k);
            pos += width;
        }
        if (!bytes.fits(pos, length)) break;
        const reader::ByteView data = bytes.sub(pos, length);
        pos += length;
        if (record == 1 && dataset == 90) {
            utf8 = data.startsWith(
                std::string_view(reinterpret_cast<const char*>(kUtf8), sizeof kUtf8));
        } else if (record == 2) {
            const std::uint8_t* begin = data.bytes().data();
            const std::size_t size = data.bytes().size();
            texts.push_back(
                {record, dataset, utf8 ? DecodeUtf8(begin, size) : DecodeText(begin, size)});
        }
    }
    return texts;
}

std::vector<std::string> IptcValues(const std::vector<IptcText>& texts, std::uint8_t record,
                                    std::uint8_t dataset) {
    std::vector<std::string> values;
    for (const IptcText& text : texts)
        if (text.record == record && text.dataset == dataset) values.push_back(text.text);
    return values;
}

}  // namespace exif
