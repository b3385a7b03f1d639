// The text report: two header lines (photo name, photo path), a rule of 50
// hyphens, then one line per entry with the label and value back to back.
// UTF-8 without a byte-order mark; every line ends in CR LF. A CR or LF inside
// a name, path, label or value is written as a space, so that each entry
// stays on one line. A name or path that is not valid UTF-8 (a Linux file name
// is any bytes) is written through ValidUtf8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace exif {

class MetadataList;

// Goes by the labels: a label without a value gets an empty one.
std::string BuildReport(const std::string& photoName, const std::string& photoPath,
                        const std::vector<std::string>& labels,
                        const std::vector<std::string>& values);

std::string BuildReport(const MetadataList& list);

// The text with every byte that is not part of a well-formed UTF-8 sequence
// replaced by U+FFFD, one for each byte, as Qt shows such a file name.
std::string ValidUtf8(std::string_view text);

// Bytes of the well-formed UTF-8 sequence that `text` starts with: 1 to 4, or
// 0 when its first byte is not the start of one (or the text is empty).
std::size_t WellFormedLength(std::string_view text);

}  // namespace exif
