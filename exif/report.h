// The text report: two header lines (photo name, photo path), a rule of 50
// hyphens, then one line per entry with the label and value back to back.
// UTF-8 without a byte-order mark; every line ends in CR LF. A CR or LF inside
// a name, path, label or value is written as a space, so that each entry
// stays on one line.
#pragma once

#include <string>
#include <vector>

namespace exif {

class MetadataList;

// Goes by the labels: a label without a value gets an empty one.
std::string BuildReport(const std::string& photoName, const std::string& photoPath,
                        const std::vector<std::string>& labels, const std::vector<std::string>& values);

std::string BuildReport(const MetadataList& list);

}  // namespace exif
