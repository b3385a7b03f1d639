#include "preview/raw_preview.h"

#include <libraw.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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
    {0, std::string_view("II*\0", 4), RawSignature::TiffBased},  // DNG, CR2, NEF, ARW, PEF, SRW ...
    {0, std::string_view("MM\0*", 4), RawSignature::TiffBased},
    {0, std::string_view("IIRO", 4), RawSignature::Raw},  // Olympus ORF
    {0, std::string_view("IIRS", 4), RawSignature::Raw},
    {0, std::string_view("MMOR", 4), RawSignature::Raw},
    {0, std::string_view("IIU\0", 4), RawSignature::Raw},                  // Panasonic RW2
    {0, std::string_view("FUJIFILM", 8), RawSignature::Raw},               // Fujifilm RAF
    {4, std::string_view("ftypcrx ", 8), RawSignature::Raw},               // Canon CR3
    {0, std::string_view("II\x1a\0\0\0HEAPCCDR", 14), RawSignature::Raw},  // Canon CRW
    {0, std::string_view("\0MRM", 4), RawSignature::Raw},                  // Minolta MRW
    {0, std::string_view("FOVb", 4), RawSignature::Raw},                   // Sigma X3F
};

// Exif orientation by LibRaw flip code.
constexpr std::array<int, 8> kOrientationByFlip = {1, 2, 4, 3, 5, 8, 6, 7};

void IgnoreDataError(void*, const char*, const int) {}

// LibRaw's stream over a descriptor, read at a position of its own through
// a buffer: identifying a file seeks hundreds of times and reads a few
// bytes at each place, which unbuffered would be a system call each.
class DescriptorStream final : public LibRaw_abstract_datastream {
public:
    explicit DescriptorStream(int descriptor)
        : descriptor_(::fcntl(descriptor, F_DUPFD_CLOEXEC, 0)) {
        struct stat info {};
        if (descriptor_ >= 0 && ::fstat(descriptor_, &info) == 0 && S_ISREG(info.st_mode))
            size_ = info.st_size;
        else size_ = -1;
    }
    ~DescriptorStream() override {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    DescriptorStream(const DescriptorStream&) = delete;
    DescriptorStream& operator=(const DescriptorStream&) = delete;

    int valid() override { return descriptor_ >= 0 && size_ >= 0; }
    INT64 size() override { return size_; }
    INT64 tell() override { return position_; }
    int eof() override { return position_ >= size_; }
    void* make_jas_stream() override { return nullptr; }

    // As fread: the whole elements read.
    int read(void* data, size_t size, size_t count) override {
        if (size == 0 || count == 0 || count > SIZE_MAX / size) return 0;
        const std::size_t read = Take(static_cast<std::uint8_t*>(data), size * count);
        return static_cast<int>(std::min<std::size_t>(read / size, INT_MAX));
    }

    // As fseeko, but a position outside the file is taken to its nearer end.
    int seek(INT64 offset, int whence) override {
        INT64 base = 0;
        if (whence == SEEK_CUR) base = position_;
        else if (whence == SEEK_END) base = size_;
        else if (whence != SEEK_SET) return -1;
        if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset))
            return -1;
        position_ = std::clamp<INT64>(base + offset, 0, size_);
        return 0;
    }

    int get_char() override {
        std::uint8_t byte = 0;
        return Take(&byte, 1) == 1 ? byte : -1;
    }

    // As fgets: up to size - 1 bytes, through the first newline.
    char* gets(char* out, int size) override {
        if (size <= 0) return nullptr;
        int length = 0;
        while (length < size - 1) {
            const int c = get_char();
            if (c < 0) break;
            out[length++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        if (length == 0) return nullptr;
        out[length] = '\0';
        return out;
    }

    // One value, as LibRaw's own memory stream reads it: the text at the
    // position, then past it (at most 24 bytes) to the next blank.
    int scanf_one(const char* format, void* value) override {
        char text[26] = {};
        const INT64 at = position_;
        const std::size_t length = Take(reinterpret_cast<std::uint8_t*>(text), sizeof text - 1);
        position_ = at;
        if (length == 0) return -1;
        const int result = std::sscanf(text, format, value);
        if (result > 0) {
            std::size_t skipped = 1;
            while (skipped < length && skipped <= 24 && !std::strchr(" \t\n", text[skipped]) &&
                   text[skipped] != 0)
                ++skipped;
            position_ = at + static_cast<INT64>(skipped);
        }
        return result;
    }

private:
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    // Copies up to `length` bytes from the position on and moves past them.
    std::size_t Take(std::uint8_t* out, std::size_t length) {
        std::size_t done = 0;
        while (done < length && position_ < size_) {
            const INT64 inBuffer = position_ - bufferStart_;
            if (inBuffer >= 0 && inBuffer < static_cast<INT64>(buffered_)) {
                const std::size_t n =
                    std::min(length - done, buffered_ - static_cast<std::size_t>(inBuffer));
                std::memcpy(out + done, buffer_.data() + inBuffer, n);
                done += n;
                position_ += static_cast<INT64>(n);
            } else if (length - done >= kBufferBytes) {
                // A preview of megabytes goes straight where it is wanted.
                const std::size_t n = ReadAt(position_, out + done, length - done);
                if (n == 0) break;
                done += n;
                position_ += static_cast<INT64>(n);
            } else {
                bufferStart_ = position_;
                buffered_ = ReadAt(position_, buffer_.data(), kBufferBytes);
                if (buffered_ == 0) break;
            }
        }
        return done;
    }

    std::size_t ReadAt(INT64 at, std::uint8_t* out, std::size_t length) const {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(descriptor_, out + done, length - done,
                                      static_cast<off_t>(at) + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    int descriptor_;
    INT64 size_ = -1;
    INT64 position_ = 0;
    std::array<std::uint8_t, kBufferBytes> buffer_{};
    INT64 bufferStart_ = 0;
    std::size_t buffered_ = 0;
};

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
        if (std::memcmp(head.data() + signature.offset, signature.bytes.data(),
                        signature.bytes.size()) == 0)
            return signature.kind;
    }
    return RawSignature::None;
}

int OrientationFromFlip(int flip) {
    return flip >= 0 && flip < 8 ? kOrientationByFlip[static_cast<std::size_t>(flip)] : 1;
}

std::unique_ptr<RawPhoto> OpenRawPhoto(int descriptor, std::uint64_t maxBytes,
                                       RawFailure* failure) {
    const auto fail = [failure](RawFailure why) {
        if (failure) *failure = why;
        return nullptr;
    };
    if (failure) *failure = RawFailure::None;
    auto session = std::make_shared<Session>();
    session->raw = TakeLibRaw();
    LibRaw* raw = session->raw.get();
    raw->set_dataerror_handler(IgnoreDataError, nullptr);
    raw->imgdata.params.max_raw_memory_mb =
        static_cast<unsigned>(std::max<std::uint64_t>(1, maxBytes >> 20));
    session->stream = std::make_unique<DescriptorStream>(descriptor);
    if (!session->stream->valid() || raw->open_datastream(session->stream.get()) != LIBRAW_SUCCESS)
        return fail(RawFailure::NotRaw);
    const auto fileSize = static_cast<std::uint64_t>(session->stream->size());

    const libraw_thumbnail_t& thumbnail = raw->imgdata.thumbnail;
    const std::uint64_t samples = std::uint64_t{thumbnail.twidth} * thumbnail.theight * 3;
    if (thumbnail.tlength == 0 || thumbnail.twidth == 0 || thumbnail.theight == 0)
        return fail(RawFailure::NoPreview);
    if (thumbnail.tlength > fileSize) return fail(RawFailure::Broken);
    if (thumbnail.tlength > maxBytes || samples > maxBytes) return fail(RawFailure::TooLarge);
    if (raw->unpack_thumb() != LIBRAW_SUCCESS || !thumbnail.thumb) return fail(RawFailure::Broken);

    auto photo = std::make_unique<RawPhoto>();
    RawPreview& preview = photo->preview;
    preview.width = thumbnail.twidth;
    preview.height = thumbnail.theight;
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG) {
        preview.kind = RawPreview::Kind::Jpeg;
    } else if (thumbnail.tformat == LIBRAW_THUMBNAIL_BITMAP &&
               (thumbnail.tcolors == 1 || thumbnail.tcolors == 3) &&
               thumbnail.tlength ==
                   std::uint64_t{thumbnail.twidth} * thumbnail.theight * thumbnail.tcolors) {
        preview.kind = RawPreview::Kind::Bitmap;
        preview.channels = thumbnail.tcolors;
    } else {
        return fail(RawFailure::NoPreview);
    }
    preview.bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(thumbnail.thumb), thumbnail.tlength);

    raw->adjust_sizes_info_only();
    photo->width = raw->imgdata.sizes.iwidth;
    photo->height = raw->imgdata.sizes.iheight;
    photo->orientation = OrientationFromFlip(raw->imgdata.sizes.flip);
    if (!photo->width || !photo->height) return fail(RawFailure::NotRaw);
    photo->storage = std::move(session);
    return photo;
}

}  // namespace preview
