// The IPTC-IIM datasets that the extra rows read: title, caption, by-line,
// keywords and the place. Texts are UTF-8 when record 1:90 says so or when
// the bytes are valid UTF-8, and GB18030 otherwise (what Chinese Windows
// software writes).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace exif {

// The most datasets read from one block.
inline constexpr std::size_t kMaxIptcDatasets = 4096;

struct IptcText {
    std::uint8_t record = 0;
    std::uint8_t dataset = 0;
    std::string text;
};

// The texts of record 2 (the application record), in stored order.
std::vector<IptcText> ParseIptc(std::span<const std::uint8_t> records);

// The texts of one dataset, in stored order (repeatable ones have several).
std::vector<std::string> IptcValues(const std::vector<IptcText>& texts, std::uint8_t record,
                                    std::uint8_t dataset);

}  // namespace exif
