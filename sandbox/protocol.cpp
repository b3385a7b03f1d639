#include "sandbox/protocol.h"

#include "reader/byte_view.h"

namespace sandbox {
namespace {

// Every message: the magic and its kind.
constexpr std::size_t kHeaderBytes = 6;
constexpr std::size_t kReadyBytes = kHeaderBytes + 4;
constexpr std::size_t kRequestBytes = kHeaderBytes + 8 + 4 + 4 + 4 + 2;
// Without its reason, whose length is the last field.
constexpr std::size_t kReplyFixedBytes = kHeaderBytes + 8 + 2 + 4 + 4 + 2 + 2 + 4 + 4 + 4 + 2;
static_assert(kReplyFixedBytes + kMaxReasonBytes <= kMaxMessageBytes);

class Writer {
public:
    explicit Writer(MessageKind kind) {
        u32(kMagic);
        u16(static_cast<std::uint16_t>(kind));
    }
    void u16(std::uint16_t value) { bytes(value, 2); }
    void u32(std::uint32_t value) { bytes(value, 4); }
    void u64(std::uint64_t value) { bytes(value, 8); }
    void text(const std::string& value) { out_.insert(out_.end(), value.begin(), value.end()); }
    std::vector<std::uint8_t> take() { return std::move(out_); }

private:
    void bytes(std::uint64_t value, int count) {
        for (int i = 0; i < count; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    std::vector<std::uint8_t> out_;
};

std::uint64_t u64(const reader::ByteView& view, std::uint64_t offset) {
    return std::uint64_t{view.u32(offset)} | std::uint64_t{view.u32(offset + 4)} << 32;
}

// The header of a message of `kind` and exactly `size` bytes (a reply: at
// least its fixed fields; its reason decides the rest).
Fault checkHeader(const reader::ByteView& view, MessageKind kind, std::size_t size) {
    if (view.size() < kHeaderBytes) return Fault::Truncated;
    if (view.u32(0) != kMagic) return Fault::BadMagic;
    if (view.u16(4) != static_cast<std::uint16_t>(kind)) return Fault::UnexpectedKind;
    if (view.size() < size) return Fault::Truncated;
    if (kind != MessageKind::Reply && view.size() > size) return Fault::TrailingBytes;
    return Fault::None;
}

template <typename Message>
Parsed<Message> refused(Fault fault) {
    return {std::nullopt, fault};
}

}  // namespace

std::uint32_t bytesPerPixel(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgb32:
    case PixelFormat::Argb32Premultiplied: return 4;
    case PixelFormat::Grayscale8: return 1;
    case PixelFormat::None: break;
    }
    return 0;
}

const char* describe(Fault fault) {
    switch (fault) {
    case Fault::None: return "accepted";
    case Fault::Truncated: return "message cut short";
    case Fault::TrailingBytes: return "bytes after the message's fields";
    case Fault::BadMagic: return "not a message of this build";
    case Fault::UnexpectedKind: return "a message of an unexpected kind";
    case Fault::WrongId: return "an answer to another request";
    case Fault::BadStatus: return "unknown status";
    case Fault::BadOrientation: return "orientation outside 1-8";
    case Fault::BadPixelFormat: return "unknown pixel format";
    case Fault::BadSize: return "picture or photo size out of range";
    case Fault::LargerThanAsked: return "picture larger than asked for";
    case Fault::BadStride: return "row stride shorter than a row or not 4-byte aligned";
    case Fault::PictureTooLarge: return "picture beyond the decode limit";
    case Fault::ReasonTooLong: return "reason too long";
    case Fault::ReasonNotText: return "reason is not UTF-8 text";
    case Fault::MissingReason: return "failure without a reason";
    case Fault::UnexpectedReason: return "picture with a reason";
    case Fault::BadFlags: return "unknown request flags";
    case Fault::BadFormatHint: return "unknown format hint";
    case Fault::DescriptorCount: return "wrong number of descriptors";
    case Fault::UnexpectedControl: return "ancillary data other than descriptors";
    case Fault::NotMemoryFile: return "descriptor is not a sealable memory file";
    case Fault::NotSealed: return "memory file not sealed against writes and resizing";
    case Fault::PictureBeyondFile: return "picture larger than its memory file";
    case Fault::MapFailed: return "memory file cannot be mapped";
    }
    return "unknown fault";
}

bool isReasonText(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            if ((lead < 0x20 && lead != '\t') || lead == 0x7f) return false;
            ++at;
            continue;
        }
        // Shortest forms only, no surrogates, nothing past U+10FFFF.
        std::size_t length = 0;
        std::uint32_t code = 0;
        std::uint32_t least = 0;
        if ((lead & 0xe0) == 0xc0) length = 2, code = lead & 0x1f, least = 0x80;
        else if ((lead & 0xf0) == 0xe0) length = 3, code = lead & 0x0f, least = 0x800;
        else if ((lead & 0xf8) == 0xf0) length = 4, code = lead & 0x07, least = 0x10000;
        else return false;
        if (length > text.size() - at) return false;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xc0) != 0x80) return false;
            code = (code << 6) | (next & 0x3f);
        }
        if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        // C1 controls (U+0080-U+009F) steer terminals as the C0 ones do.
        if (code < 0xa0) return false;
        at += length;
    }
    return true;
}

std::vector<std::uint8_t> encode(const Ready& ready) {
    Writer out(MessageKind::Ready);
    out.u32(ready.confinement);
    return out.take();
}

std::vector<std::uint8_t> encode(const Request& request) {
    Writer out(MessageKind::Request);
    out.u64(request.id);
    out.u32(request.width);
    out.u32(request.height);
    out.u32(request.flags);
    out.u16(static_cast<std::uint16_t>(request.format));
    return out.take();
}

std::vector<std::uint8_t> encode(const Reply& reply) {
    Writer out(MessageKind::Reply);
    out.u64(reply.id);
    out.u16(static_cast<std::uint16_t>(reply.status));
    out.u32(reply.photoWidth);
    out.u32(reply.photoHeight);
    out.u16(reply.orientation);
    out.u16(static_cast<std::uint16_t>(reply.pixelFormat));
    out.u32(reply.width);
    out.u32(reply.height);
    out.u32(reply.stride);
    out.u16(static_cast<std::uint16_t>(reply.reason.size()));
    out.text(reply.reason);
    return out.take();
}

std::optional<MessageKind> kindOf(std::span<const std::uint8_t> bytes) {
    const reader::ByteView view(bytes, false);
    if (view.size() < kHeaderBytes || view.u32(0) != kMagic) return std::nullopt;
    const std::uint16_t kind = view.u16(4);
    if (kind < static_cast<std::uint16_t>(MessageKind::Ready) ||
        kind > static_cast<std::uint16_t>(MessageKind::Reply))
        return std::nullopt;
    return static_cast<MessageKind>(kind);
}

Parsed<Ready> parseReady(std::span<const std::uint8_t> bytes) {
    const reader::ByteView view(bytes, false);
    if (const Fault fault = checkHeader(view, MessageKind::Ready, kReadyBytes);
        fault != Fault::None)
        return refused<Ready>(fault);
    return {Ready{view.u32(kHeaderBytes)}, Fault::None};
}

Parsed<Request> parseRequest(std::span<const std::uint8_t> bytes) {
    const reader::ByteView view(bytes, false);
    if (const Fault fault = checkHeader(view, MessageKind::Request, kRequestBytes);
        fault != Fault::None)
        return refused<Request>(fault);
    Request request;
    std::size_t at = kHeaderBytes;
    request.id = u64(view, at), at += 8;
    request.width = view.u32(at), at += 4;
    request.height = view.u32(at), at += 4;
    request.flags = view.u32(at), at += 4;
    const std::uint16_t format = view.u16(at);
    if (request.width == 0 || request.height == 0 || request.width > kMaxPictureSide ||
        request.height > kMaxPictureSide)
        return refused<Request>(Fault::BadSize);
    if (request.flags != 0) return refused<Request>(Fault::BadFlags);
    if (format > kLastFormatHint) return refused<Request>(Fault::BadFormatHint);
    request.format = static_cast<FormatHint>(format);
    return {request, Fault::None};
}

Parsed<Reply> parseReply(std::span<const std::uint8_t> bytes) {
    const reader::ByteView view(bytes, false);
    if (const Fault fault = checkHeader(view, MessageKind::Reply, kReplyFixedBytes);
        fault != Fault::None)
        return refused<Reply>(fault);
    Reply reply;
    std::size_t at = kHeaderBytes;
    reply.id = u64(view, at), at += 8;
    const std::uint16_t status = view.u16(at);
    at += 2;
    reply.photoWidth = view.u32(at), at += 4;
    reply.photoHeight = view.u32(at), at += 4;
    reply.orientation = view.u16(at), at += 2;
    const std::uint16_t pixelFormat = view.u16(at);
    at += 2;
    reply.width = view.u32(at), at += 4;
    reply.height = view.u32(at), at += 4;
    reply.stride = view.u32(at), at += 4;
    const std::size_t reasonLength = view.u16(at);
    at += 2;

    if (reasonLength > kMaxReasonBytes) return refused<Reply>(Fault::ReasonTooLong);
    if (view.size() < at + reasonLength) return refused<Reply>(Fault::Truncated);
    if (view.size() > at + reasonLength) return refused<Reply>(Fault::TrailingBytes);
    const reader::ByteView reason = view.sub(at, reasonLength);
    reply.reason.assign(reason.bytes().begin(), reason.bytes().end());
    if (!isReasonText(reply.reason)) return refused<Reply>(Fault::ReasonNotText);

    if (reply.photoWidth > kMaxPhotoSide || reply.photoHeight > kMaxPhotoSide)
        return refused<Reply>(Fault::BadSize);
    if (reply.orientation < 1 || reply.orientation > 8)
        return refused<Reply>(Fault::BadOrientation);
    if (status == static_cast<std::uint16_t>(ReplyStatus::Failed)) {
        reply.status = ReplyStatus::Failed;
        if (reply.reason.empty()) return refused<Reply>(Fault::MissingReason);
        // A failure carries no picture: every field of one is zero.
        if (pixelFormat != 0 || reply.width != 0 || reply.height != 0 || reply.stride != 0)
            return refused<Reply>(Fault::BadSize);
        return {std::move(reply), Fault::None};
    }
    if (status != static_cast<std::uint16_t>(ReplyStatus::Picture))
        return refused<Reply>(Fault::BadStatus);
    reply.status = ReplyStatus::Picture;
    if (!reply.reason.empty()) return refused<Reply>(Fault::UnexpectedReason);
    reply.pixelFormat = static_cast<PixelFormat>(pixelFormat);
    const std::uint32_t pixelBytes = bytesPerPixel(reply.pixelFormat);
    if (pixelBytes == 0) return refused<Reply>(Fault::BadPixelFormat);
    if (reply.width == 0 || reply.height == 0 || reply.width > kMaxPictureSide ||
        reply.height > kMaxPictureSide)
        return refused<Reply>(Fault::BadSize);
    // Sides within kMaxPictureSide: none of these products overflows 64 bits.
    if (reply.stride < std::uint64_t{reply.width} * pixelBytes || reply.stride % 4 != 0)
        return refused<Reply>(Fault::BadStride);
    if (std::uint64_t{reply.stride} * reply.height > kMaxPictureBytes)
        return refused<Reply>(Fault::PictureTooLarge);
    return {std::move(reply), Fault::None};
}

}  // namespace sandbox
