// --json: one JSON object per photo and line (JSON Lines), for other programs:
//   {"file":"IMG_1.JPG","path":"a/IMG_1.JPG","entries":[{"tag":271,"label":"厂商","value":"Canon"},...]}
// The entries in list order; "tag" is the item's tag number, null for the rows
// of the extra catalogue, which gather several sources. Every string is
// valid UTF-8 (stray bytes of a file name become U+FFFD) with quotes,
// backslashes and control characters escaped.
#pragma once

#include <string>

namespace exif {
class MetadataList;
}

namespace exifreport {

// Appends the photo's line, ending in LF.
void AppendJsonLine(std::string& out, const exif::MetadataList& list);

}  // namespace exifreport
