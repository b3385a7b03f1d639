#include "metadata_blocks.h"

#include <algorithm>

namespace testsupport {

Bytes Of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Grown and copied rather than inserted: GCC 12's -O3 inlining of a range
// insert warns of bounds it cannot see (-Warray-bounds) in release builds.
void Append(Bytes& out, std::string_view text) {
    const std::size_t at = out.size();
    out.resize(at + text.size());
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

void AppendU16Be(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void AppendU32Be(Bytes& out, std::uint32_t value) {
    AppendU16Be(out, value >> 16);
    AppendU16Be(out, value & 0xFFFF);
}

std::string Xmp(std::string_view properties) {
    return std::string("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>") +
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
           "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
           "xmlns:aux=\"http://ns.adobe.com/exif/1.0/aux/\" "
           "xmlns:exifEX=\"http://cipa.jp/exif/1.0/\" "
           "xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\" "
           "xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\"" +
           std::string(properties) +
           "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
}

// An APP1 XMP segment's payload.
Bytes XmpSegment(const std::string& packet) {
    Bytes out = Of(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29));
    Append(out, packet);
    return out;
}

// IPTC-IIM datasets (record, dataset, text).
Bytes Iptc(const std::vector<std::tuple<int, int, std::string>>& datasets) {
    Bytes out;
    for (const auto& [record, dataset, text] : datasets) {
        out.insert(out.end(),
                   {0x1C, static_cast<std::uint8_t>(record), static_cast<std::uint8_t>(dataset)});
        AppendU16Be(out, static_cast<std::uint32_t>(text.size()));
        Append(out, text);
    }
    return out;
}

// An APP13 payload: Photoshop's resources, a thumbnail resource, then 0x0404.
Bytes PhotoshopSegment(const Bytes& iptc) {
    Bytes out = Of(std::string_view("Photoshop 3.0\0", 14));
    Append(out, "8BIM");
    AppendU16Be(out, 0x040C);
    out.insert(out.end(),
               {3, 'a', 'b', 'c'});  // a name: length byte and three letters, even already
    AppendU32Be(out, 3);
    out.insert(out.end(), {1, 2, 3, 0});  // padded to even
    Append(out, "8BIM");
    AppendU16Be(out, 0x0404);
    out.insert(out.end(), {0, 0});
    AppendU32Be(out, static_cast<std::uint32_t>(iptc.size()));
    out.insert(out.end(), iptc.begin(), iptc.end());
    if (iptc.size() % 2) out.push_back(0);
    return out;
}

// A colour profile with one 'desc' tag: v2 text or v4 multi-localised.
Bytes IccProfile(const std::string& description, bool v4) {
    Bytes tag;
    if (v4) {
        Append(tag, "mluc");
        AppendU32Be(tag, 0);
        AppendU32Be(tag, 1);
        AppendU32Be(tag, 12);
        Append(tag, "enUS");
        AppendU32Be(tag, static_cast<std::uint32_t>(2 * description.size()));
        AppendU32Be(tag, 28);
        for (char c : description) AppendU16Be(tag, static_cast<std::uint8_t>(c));
    } else {
        Append(tag, "desc");
        AppendU32Be(tag, 0);
        AppendU32Be(tag, static_cast<std::uint32_t>(description.size() + 1));
        Append(tag, description);
        tag.push_back(0);
    }
    Bytes profile(128, 0);
    // Version, device class, colour space and connection space, as a display profile has them.
    const Bytes version = v4 ? Bytes{4, 0x20, 0, 0} : Bytes{2, 0x10, 0, 0};
    std::copy(version.begin(), version.end(), profile.begin() + 8);
    std::copy_n("mntrRGB XYZ ", 12, profile.begin() + 12);
    std::copy_n("acsp", 4, profile.begin() + 36);
    AppendU32Be(profile, 1);
    Append(profile, "desc");
    AppendU32Be(profile, 144);
    AppendU32Be(profile, static_cast<std::uint32_t>(tag.size()));
    profile.insert(profile.end(), tag.begin(), tag.end());
    const std::uint32_t size = static_cast<std::uint32_t>(profile.size());
    for (int k = 0; k < 4; ++k) profile[k] = static_cast<std::uint8_t>(size >> (24 - 8 * k));
    return profile;
}

// APP2 chunks of a profile, `pieces` of them, written in reverse order.
std::vector<std::pair<std::uint8_t, Bytes>> IccSegments(const Bytes& profile, int pieces) {
    std::vector<std::pair<std::uint8_t, Bytes>> segments;
    const std::size_t step = (profile.size() + pieces - 1) / pieces;
    for (int k = pieces - 1; k >= 0; --k) {
        Bytes out = Of(std::string_view("ICC_PROFILE\0", 12));
        out.push_back(static_cast<std::uint8_t>(k + 1));
        out.push_back(static_cast<std::uint8_t>(pieces));
        const std::size_t from = k * step, to = std::min(profile.size(), from + step);
        out.insert(out.end(), profile.begin() + from, profile.begin() + to);
        segments.emplace_back(0xE2, out);
    }
    return segments;
}

Bytes Utf16Le(const std::u16string& text) {
    Bytes out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.insert(out.end(), {0, 0});
    return out;
}

Bytes NoteDirectory(Bytes note, const std::vector<NoteEntry>& entries, bool big,
                    std::int64_t base) {
    const std::size_t start = note.size();
    const auto u16 = [&](std::uint32_t v) {
        if (big) AppendU16Be(note, v);
        else note.insert(note.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    const auto u32 = [&](std::uint32_t v) {
        if (big) AppendU32Be(note, v);
        else
            note.insert(note.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16),
                                     std::uint8_t(v >> 24)});
    };
    u16(static_cast<std::uint32_t>(entries.size()));
    const std::size_t data = start + 2 + 12 * entries.size() + 4;
    Bytes values;
    for (const NoteEntry& e : entries) {
        u16(e.tag);
        u16(e.type);
        u32(e.count);
        if (e.value.size() <= 4) {
            Bytes inline4 = e.value;
            inline4.resize(4, 0);
            note.insert(note.end(), inline4.begin(), inline4.end());
        } else {
            u32(static_cast<std::uint32_t>(static_cast<std::int64_t>(data + values.size()) - base));
            values.insert(values.end(), e.value.begin(), e.value.end());
        }
    }
    u32(0);
    note.insert(note.end(), values.begin(), values.end());
    return note;
}

}  // namespace testsupport
