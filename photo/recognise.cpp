#include "photo/recognise.h"

#include "photo/photo_file.h"
#include "preview/heif_preview.h"
#include "preview/raw_preview.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace photo {
namespace {

struct Signature {
    std::size_t offset;
    std::string_view bytes;
    Format format;
};

// The formats Qt's image plugins decode for us. Its other plugins (TGA,
// WBMP, SVG ...) recognise too much by content to be trusted with arbitrary
// files, so a file goes to a plugin only with one of these signatures.
constexpr Signature kSignatures[] = {
    {0, std::string_view("\xFF\xD8\xFF", 3), Format::Jpeg},
    {0, std::string_view("\x89PNG\r\n\x1A\n", 8), Format::Png},
    {0, std::string_view("GIF87a", 6), Format::Gif},
    {0, std::string_view("GIF89a", 6), Format::Gif},
    {0, std::string_view("BM", 2), Format::Bmp},
    {0, std::string_view("II*\0", 4), Format::Tiff},
    {0, std::string_view("MM\0*", 4), Format::Tiff},
    {0, std::string_view("II+\0", 4), Format::Tiff},  // BigTIFF
    {0, std::string_view("MM\0+", 4), Format::Tiff},
    {8, std::string_view("WEBP", 4), Format::WebP},  // after "RIFF" and a length, checked below
};

bool StartsWith(std::span<const std::uint8_t> head, std::size_t offset, std::string_view bytes) {
    return head.size() >= offset + bytes.size() &&
           std::memcmp(head.data() + offset, bytes.data(), bytes.size()) == 0;
}

std::uint32_t Little(std::span<const std::uint8_t> head, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | head[at + static_cast<std::size_t>(i)];
    return value;
}

// Icons have no magic number: the directory and its first entry must look
// like one, as Qt's icon plugin judges it (type 1 icons, 2 cursors).
bool IsIcon(std::span<const std::uint8_t> head) {
    if (head.size() < 6 + 16) return false;
    const std::uint32_t type = Little(head, 2, 2);
    const bool cursor = type == 2;
    return Little(head, 0, 2) == 0 && (type == 1 || cursor) && Little(head, 4, 2) > 0 &&
           head[9] == 0 && (Little(head, 10, 2) <= 1 || cursor) &&
           (Little(head, 12, 2) <= 32 || cursor) && Little(head, 14, 4) >= 40;
}

Recognition Recognised(Format format) {
    return {Recognition::Verdict::Ok, format, false, Problem::None};
}

}  // namespace

Recognition recognise(std::span<const std::uint8_t> head) {
    // HEIF and the raw containers first: Qt has no reader for the one, and
    // would open a raw file as the TIFF its first directory holds.
    if (preview::IsHeif(head)) return Recognised(Format::Heif);
    const preview::RawSignature raw = preview::RawSignatureOf(head);
    if (raw == preview::RawSignature::Raw) return Recognised(Format::Raw);
    for (const Signature& signature : kSignatures) {
        if (!StartsWith(head, signature.offset, signature.bytes)) continue;
        if (signature.format == Format::WebP && !StartsWith(head, 0, "RIFF")) continue;
        Recognition found = Recognised(signature.format);
        found.mayBeRaw = raw == preview::RawSignature::TiffBased;
        return found;
    }
    if (IsIcon(head)) return Recognised(Format::Ico);
    return {Recognition::Verdict::Unsupported, Format::Jpeg, false, Problem::NotAPhoto};
}

Recognition recognise(const PhotoFile& file) {
    const PhotoFile::Bytes head = file.readUpTo(0, kRecogniseBytes);
    if (head.size < std::min<std::uint64_t>(file.size(), kRecogniseBytes))
        return {Recognition::Verdict::Failed, Format::Jpeg, false, Problem::Damaged};
    return recognise(head.span());
}

}  // namespace photo
