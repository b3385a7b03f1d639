// Builds the metadata blocks a photo carries beside its Exif, in code: XMP
// packets, IPTC records in Photoshop's resources, ICC profiles, Windows XP
// texts and maker-note directories.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(std::string_view text);
void Append(Bytes& out, std::string_view text);
void AppendU16Be(Bytes& out, std::uint32_t value);
void AppendU32Be(Bytes& out, std::uint32_t value);

// An XMP packet whose rdf:Description declares the usual prefixes (dc, xmp,
// aux, exifEX, photoshop, xmpNote); `properties` goes right after them, so
// it starts with attributes or ">" and the elements.
std::string Xmp(std::string_view properties);
// The payload of a JPEG APP1 XMP segment.
Bytes XmpSegment(const std::string& packet);
// IPTC-IIM datasets (record, dataset, text).
Bytes Iptc(const std::vector<std::tuple<int, int, std::string>>& datasets);
// The payload of an APP13 segment: Photoshop's resources, one before 0x0404.
Bytes PhotoshopSegment(const Bytes& iptc);
// A colour profile with one 'desc' tag: v2 text or v4 multi-localised.
Bytes IccProfile(const std::string& description, bool v4);
// APP2 segments of a profile in `pieces` chunks, written in reverse order.
std::vector<std::pair<std::uint8_t, Bytes>> IccSegments(const Bytes& profile, int pieces);
// A Windows XP tag's bytes: UTF-16LE with its closing NUL.
Bytes Utf16Le(const std::u16string& text);

// One entry of a maker note's directory; `value` as stored, in the note's
// byte order.
struct NoteEntry {
    std::uint16_t tag, type;
    std::uint32_t count;
    Bytes value;
};
// `note` with a directory of `entries` appended, then their values beyond
// four bytes; an offset is written as (its place in the note) - `base`.
Bytes NoteDirectory(Bytes note, const std::vector<NoteEntry>& entries, bool bigEndian,
                    std::int64_t base);

}  // namespace testsupport
