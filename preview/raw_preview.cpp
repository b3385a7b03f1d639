#include "preview/raw_preview.h"

#include <libraw.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

namespace preview {
namespace {

struct Signature {
    std::size_t offset;
    std::string_view bytes;
    RawSignature kind;
};

// The first bytes of the raw containers LibRaw reads. A TIFF header may begin
// a plain TIFF just as well, so only LibRaw can tell.
constexpr Signature kSignatures[] = {
    {0, std::string_view("II*\0", 4), RawSignature::TiffBased},         // DNG, CR2, NEF, ARW, PEF, SRW ...
    {0, std::string_view("MM\0*", 4), RawSignature::TiffBased},
    {0, std::string_view("IIRO", 4), RawSignature::Raw},                 // Olympus ORF
    {0, std::string_view("IIRS", 4), RawSignature::Raw},
    {0, std::string_view("MMOR", 4), RawSignature::Raw},
    {0, std::string_view("IIU\0", 4), RawSignature::Raw},                // Panasonic RW2
    {0, std::string_view("FUJIFILM", 8), RawSignature::Raw},             // Fujifilm RAF
    {4, std::string_view("ftypcrx ", 8), RawSignature::Raw},             // Canon CR3
    {0, std::string_view("II\x1a\0\0\0HEAPCCDR", 14), RawSignature::Raw},  // Canon CRW
    {0, std::string_view("\0MRM", 4), RawSignature::Raw},                // Minolta MRW
    {0, std::string_view("FOVb", 4), RawSignature::Raw},                 // Sigma X3F
};

// Exif orientation by LibRaw flip code.
constexpr std::array<int, 8> kOrientationByFlip = {1, 2, 4, 3, 5, 8, 6, 7};

void IgnoreDataError(void*, const char*, const int) {}

// One LibRaw kept between photos: a new one clears close to a megabyte of
// state, which costs more than opening the file.
std::mutex spareMutex;
std::unique_ptr<LibRaw> spare;

std::unique_ptr<LibRaw> TakeLibRaw() {
    {
        const std::lock_guard lock(spareMutex);
        if (spare) return std::move(spare);
    }
    return std::make_unique<LibRaw>();
}

// What a photo keeps while it is shown: LibRaw holding the preview it read,
// and the stream it read it from. LibRaw goes back to be reused after.
struct Session {
    std::unique_ptr<LibRaw> raw;
    std::unique_ptr<LibRaw_abstract_datastream> stream;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        if (!raw) return;
        raw->recycle();  // before the stream it reads from goes
        const std::lock_guard lock(spareMutex);
        if (!spare) spare = std::move(raw);
    }
};

}  // namespace

RawSignature RawSignatureOf(std::span<const std::uint8_t> head) {
    for (const Signature& signature : kSignatures) {
        if (head.size() < signature.offset + signature.bytes.size()) continue;
        if (std::memcmp(head.data() + signature.offset, signature.bytes.data(), signature.bytes.size()) == 0)
            return signature.kind;
    }
    return RawSignature::None;
}

int OrientationFromFlip(int flip) {
    return flip >= 0 && flip < 8 ? kOrientationByFlip[static_cast<std::size_t>(flip)] : 1;
}

std::unique_ptr<RawPhoto> OpenRawPhoto(const std::string& path, std::uint64_t maxBytes) {
    std::error_code error;
    const std::uint64_t fileSize = std::filesystem::file_size(path, error);
    if (error) return nullptr;
    auto session = std::make_shared<Session>();
    session->raw = TakeLibRaw();
    LibRaw* raw = session->raw.get();
    raw->set_dataerror_handler(IgnoreDataError, nullptr);
    raw->imgdata.params.max_raw_memory_mb =
        static_cast<unsigned>(std::max<std::uint64_t>(1, maxBytes >> 20));
    // Buffered standard I/O: identifying a file seeks hundreds of times, and
    // LibRaw's default stream turns every seek into a system call.
    session->stream = std::make_unique<LibRaw_bigfile_datastream>(path.c_str());
    if (!session->stream->valid() || raw->open_datastream(session->stream.get()) != LIBRAW_SUCCESS) return nullptr;

    const libraw_thumbnail_t& thumbnail = raw->imgdata.thumbnail;
    const std::uint64_t samples = std::uint64_t{thumbnail.twidth} * thumbnail.theight * 3;
    if (thumbnail.tlength == 0 || thumbnail.twidth == 0 || thumbnail.theight == 0 ||
        thumbnail.tlength > std::min(fileSize, maxBytes) || samples > maxBytes)
        return nullptr;
    if (raw->unpack_thumb() != LIBRAW_SUCCESS || !thumbnail.thumb) return nullptr;

    auto photo = std::make_unique<RawPhoto>();
    RawPreview& preview = photo->preview;
    preview.width = thumbnail.twidth;
    preview.height = thumbnail.theight;
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG) {
        preview.kind = RawPreview::Kind::Jpeg;
    } else if (thumbnail.tformat == LIBRAW_THUMBNAIL_BITMAP && (thumbnail.tcolors == 1 || thumbnail.tcolors == 3) &&
               thumbnail.tlength == std::uint64_t{thumbnail.twidth} * thumbnail.theight * thumbnail.tcolors) {
        preview.kind = RawPreview::Kind::Bitmap;
        preview.channels = thumbnail.tcolors;
    } else {
        return nullptr;
    }
    preview.bytes = std::span(reinterpret_cast<const std::uint8_t*>(thumbnail.thumb), thumbnail.tlength);

    raw->adjust_sizes_info_only();
    photo->width = raw->imgdata.sizes.iwidth;
    photo->height = raw->imgdata.sizes.iheight;
    photo->orientation = OrientationFromFlip(raw->imgdata.sizes.flip);
    if (!photo->width || !photo->height) return nullptr;
    photo->storage = std::move(session);
    return photo;
}

}  // namespace preview
