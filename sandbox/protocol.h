// The messages between the viewer and its decoder worker, as bytes. The
// viewer asks for one photo at a time (the photo itself travels beside the
// message as a descriptor); the worker answers with the picture's shape, its
// pixels in a sealed memory file beside the answer, or a reason. The worker
// decodes hostile files, so everything it sends is parsed here as hostile
// too: every field is checked against the limits below before any of it is
// used. Plain C++, so it can be fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sandbox {

// Both ends come from the same build; a worker of another build is refused
// by its first message.
inline constexpr std::uint32_t kMagic = 0x31445645;  // "EVD1"

// A picture's side and bytes. What the viewer asks for is a preview at
// device pixels; nothing it asks for, and nothing it accepts, is larger.
inline constexpr std::uint32_t kMaxPictureSide = 16384;
inline constexpr std::uint64_t kMaxPictureBytes = 256ULL << 20;
// A photo's own size, which the caption shows: it must fit Qt's int sizes.
inline constexpr std::uint32_t kMaxPhotoSide = 0x7fffffff;
// A reason is a line of text, shown as it is.
inline constexpr std::size_t kMaxReasonBytes = 512;
// The longest message either side sends; anything longer is refused unread.
inline constexpr std::size_t kMaxMessageBytes = 64 + kMaxReasonBytes;

// The worker's end of the socket pair: this descriptor in the worker.
inline constexpr int kWorkerSocket = 3;

// How a worker ends, besides 0 (the viewer closed its end) and signals.
enum WorkerExit : int {
    kExitRetired = 10,      // after kRetireAfterProcessorSeconds, between requests
    kExitNotConfined = 11,  // the system-call filter could not be installed
    kExitOutOfMemory = 12,  // a decode ran out of address space (after its reply)
    kExitProtocol = 13,     // the viewer's message made no sense
    kExitNoSocket = 14,     // not started by the viewer
    kExitFileShrank = 15,   // the photo mapped was cut short while it was read
};

enum class MessageKind : std::uint16_t {
    Ready = 1,    // worker: confined and listening
    Request = 2,  // viewer: decode this photo, with the photo's descriptor
    Reply = 3,    // worker: the picture (with its memory file) or a reason
};

// What the viewer knows of the file; the worker still reads the bytes.
enum class FormatHint : std::uint16_t {
    Unknown = 0,
    Jpeg,
    Png,
    Gif,
    Bmp,
    Tiff,
    WebP,
    Ico,
    Heif,  // HEIF and AVIF
    Raw,   // camera raw files
};
inline constexpr std::uint16_t kLastFormatHint = static_cast<std::uint16_t>(FormatHint::Raw);

// Pixel layouts a reply may carry; QImage reads each as it is.
enum class PixelFormat : std::uint16_t {
    None = 0,                 // a failure's
    Rgb32 = 1,                // 0xffRRGGBB words
    Argb32Premultiplied = 2,  // 0xAARRGGBB words, colour premultiplied
    Grayscale8 = 3,
};
std::uint32_t bytesPerPixel(PixelFormat format);  // 0 for a value outside the enum

enum class ReplyStatus : std::uint16_t {
    Picture = 1,
    Failed = 2,
};

// What confinement the worker reached, as bits of Ready::confinement.
enum Confinement : std::uint32_t {
    kNoNewPrivileges = 1u << 0,
    kSyscallFilter = 1u << 1,
    kUserNamespace = 1u << 2,
    kNetworkNamespace = 1u << 3,
    kMountNamespace = 1u << 4,  // and an empty, read-only root
    kIpcNamespace = 1u << 5,
    kAddressSpaceLimit = 1u << 6,
    kCpuTimeLimit = 1u << 7,
};

struct Ready {
    std::uint32_t confinement = 0;
};

struct Request {
    std::uint64_t id = 0;
    // The box the picture is fitted within, keeping the photo's aspect,
    // upright, in device pixels.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t flags = 0;  // none defined yet; must be 0
    FormatHint format = FormatHint::Unknown;
};

struct Reply {
    std::uint64_t id = 0;
    ReplyStatus status = ReplyStatus::Failed;
    // The photo's own size, upright, and the Exif orientation (1-8) its
    // stored pixels were turned by; 0 x 0 when the decoder could not tell.
    std::uint32_t photoWidth = 0;
    std::uint32_t photoHeight = 0;
    std::uint16_t orientation = 1;
    // The picture in the memory file (status Picture only; else zero).
    PixelFormat pixelFormat = PixelFormat::None;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t stride = 0;
    std::string reason;  // UTF-8, status Failed only
};

// Why a message was refused. Each check has its own, so a test can tell
// which one caught a message.
enum class Fault {
    None,
    Truncated,       // shorter than its fields, or than the reason it announces
    TrailingBytes,   // longer than its fields and reason
    BadMagic,        // not a message of this build
    UnexpectedKind,  // a message of another kind than the one awaited
    WrongId,         // an answer to another request than the one asked
    BadStatus,
    BadOrientation,  // outside 1-8
    BadPixelFormat,
    BadSize,          // a side of 0 for a picture, or beyond the limits
    LargerThanAsked,  // a picture larger than the request's size
    BadStride,        // shorter than a row, or rows not 4-byte aligned
    PictureTooLarge,  // stride x height beyond kMaxPictureBytes
    ReasonTooLong,
    ReasonNotText,     // not UTF-8, or holding control characters
    MissingReason,     // a failure without a reason
    UnexpectedReason,  // a picture with a reason
    BadFlags,          // request flags this build does not know
    BadFormatHint,
    DescriptorCount,    // a picture without exactly one descriptor, a failure with any
    UnexpectedControl,  // ancillary data other than descriptors
    NotMemoryFile,      // a descriptor that is not a sealable memory file
    NotSealed,          // writable, or resizable, or its seals not sealed
    PictureBeyondFile,  // stride x height beyond the memory file's size
    MapFailed,
};
const char* describe(Fault fault);

template <typename Message>
struct Parsed {
    std::optional<Message> message;
    Fault fault = Fault::None;
};

std::vector<std::uint8_t> encode(const Ready& ready);
std::vector<std::uint8_t> encode(const Request& request);
std::vector<std::uint8_t> encode(const Reply& reply);

// The kind a message says it is, or nothing when it has no valid header.
std::optional<MessageKind> kindOf(std::span<const std::uint8_t> bytes);

Parsed<Ready> parseReady(std::span<const std::uint8_t> bytes);
// A request: its size within the picture limits, its flags and hint known.
Parsed<Request> parseRequest(std::span<const std::uint8_t> bytes);
// A reply on its own: every field within the limits and consistent with its
// status, the reason bounded text. The id, the size asked for and the
// descriptors are checked by acceptReply (reply_check.h).
Parsed<Reply> parseReply(std::span<const std::uint8_t> bytes);

// Whether `text` is UTF-8 without control characters (tab allowed).
bool isReasonText(std::string_view text);

}  // namespace sandbox
