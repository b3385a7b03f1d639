// The messages as bytes: what is encoded parses back the same, and what
// does not fit the limits or the format is refused with its own fault.
#include "sandbox/protocol.h"

#include <gtest/gtest.h>

namespace {

using namespace sandbox;

Reply pictureReply() {
    Reply reply;
    reply.id = 0x0123456789abcdefULL;
    reply.status = ReplyStatus::Picture;
    reply.photoWidth = 6000;
    reply.photoHeight = 4000;
    reply.orientation = 6;
    reply.pixelFormat = PixelFormat::Argb32Premultiplied;
    reply.width = 200;
    reply.height = 133;
    reply.stride = 800;
    return reply;
}

Reply failureReply(std::string reason) {
    Reply reply;
    reply.id = 9;
    reply.status = ReplyStatus::Failed;
    reply.photoWidth = 9459;
    reply.photoHeight = 9459;
    reply.reason = std::move(reason);
    return reply;
}

void expectSame(const Reply& parsed, const Reply& sent, const std::string& name) {
    EXPECT_EQ(parsed.id, sent.id) << name;
    EXPECT_EQ(parsed.status, sent.status) << name;
    EXPECT_EQ(parsed.photoWidth, sent.photoWidth) << name;
    EXPECT_EQ(parsed.photoHeight, sent.photoHeight) << name;
    EXPECT_EQ(parsed.orientation, sent.orientation) << name;
    EXPECT_EQ(parsed.pixelFormat, sent.pixelFormat) << name;
    EXPECT_EQ(parsed.width, sent.width) << name;
    EXPECT_EQ(parsed.height, sent.height) << name;
    EXPECT_EQ(parsed.stride, sent.stride) << name;
    EXPECT_EQ(parsed.reason, sent.reason) << name;
}

TEST(Protocol, RepliesParseBackAsSent) {
    Reply grey = pictureReply();
    grey.pixelFormat = PixelFormat::Grayscale8;
    grey.width = kMaxPictureSide;
    grey.height = 1;
    grey.stride = kMaxPictureSide;
    Reply limit = pictureReply();  // exactly the decode limit
    limit.width = 8192;
    limit.height = 8192;
    limit.stride = 8192 * 4;
    limit.pixelFormat = PixelFormat::Rgb32;
    std::string longest;
    while (longest.size() + 3 <= kMaxReasonBytes) longest += "图";
    const struct {
        const char* name;
        Reply reply;
    } cases[] = {
        {"picture", pictureReply()},
        {"widest grey row", grey},
        {"picture at the decode limit", limit},
        {"failure", failureReply("照片太大，无法预览")},
        {"longest reason", failureReply(longest)},
        {"reason with a tab", failureReply("a\tb")},
    };
    for (const auto& c : cases) {
        const Parsed<Reply> parsed = parseReply(encode(c.reply));
        ASSERT_TRUE(parsed.message) << c.name << ": " << describe(parsed.fault);
        expectSame(*parsed.message, c.reply, c.name);
        EXPECT_EQ(kindOf(encode(c.reply)), MessageKind::Reply) << c.name;
    }
}

TEST(Protocol, RequestsAndReadyParseBackAsSent) {
    Request request;
    request.id = ~0ULL;
    request.width = kMaxPictureSide;
    request.height = 1;
    request.format = FormatHint::Raw;
    const Parsed<Request> parsed = parseRequest(encode(request));
    ASSERT_TRUE(parsed.message) << describe(parsed.fault);
    EXPECT_EQ(parsed.message->id, request.id);
    EXPECT_EQ(parsed.message->width, request.width);
    EXPECT_EQ(parsed.message->height, request.height);
    EXPECT_EQ(parsed.message->format, request.format);

    const Parsed<Ready> ready = parseReady(encode(Ready{kSyscallFilter | kUserNamespace}));
    ASSERT_TRUE(ready.message);
    EXPECT_EQ(ready.message->confinement, kSyscallFilter | kUserNamespace);
}

TEST(Protocol, RequestsOutsideTheLimitsAreRefused) {
    const auto request = [](std::uint32_t width, std::uint32_t height, std::uint32_t flags,
                            std::uint16_t format) {
        Request r;
        r.id = 1;
        r.width = width;
        r.height = height;
        r.flags = flags;
        r.format = static_cast<FormatHint>(format);
        return encode(r);
    };
    std::vector<std::uint8_t> trailing = request(10, 10, 0, 0);
    trailing.push_back(0);
    std::vector<std::uint8_t> cut = request(10, 10, 0, 0);
    cut.pop_back();
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        Fault fault;
    } cases[] = {
        {"no width", request(0, 10, 0, 0), Fault::BadSize},
        {"no height", request(10, 0, 0, 0), Fault::BadSize},
        {"too wide", request(kMaxPictureSide + 1, 10, 0, 0), Fault::BadSize},
        {"too high", request(10, kMaxPictureSide + 1, 0, 0), Fault::BadSize},
        {"unknown flags", request(10, 10, 1, 0), Fault::BadFlags},
        {"unknown format", request(10, 10, 0, kLastFormatHint + 1), Fault::BadFormatHint},
        {"a byte more", trailing, Fault::TrailingBytes},
        {"a byte less", cut, Fault::Truncated},
        {"a reply", encode(failureReply("x")), Fault::UnexpectedKind},
        {"nothing", {}, Fault::Truncated},
    };
    for (const auto& c : cases) {
        const Parsed<Request> parsed = parseRequest(c.bytes);
        EXPECT_FALSE(parsed.message) << c.name;
        EXPECT_EQ(parsed.fault, c.fault) << c.name << ": " << describe(parsed.fault);
    }
}

// Whatever the cut, a reply that lost its end is refused, never read past.
TEST(Protocol, EveryShortenedReplyIsRefused) {
    for (const Reply& reply : {pictureReply(), failureReply("照片已损坏")}) {
        const std::vector<std::uint8_t> bytes = encode(reply);
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            const Parsed<Reply> parsed = parseReply({bytes.data(), length});
            EXPECT_FALSE(parsed.message) << "cut to " << length << " bytes";
        }
    }
}

// Every single changed byte gives either the same reply or a refusal, and a
// parsed reply always lies within the limits.
TEST(Protocol, ChangedBytesNeverPassOutsideTheLimits) {
    for (const Reply& reply : {pictureReply(), failureReply("照片")}) {
        const std::vector<std::uint8_t> original = encode(reply);
        for (std::size_t at = 0; at < original.size(); ++at) {
            for (const std::uint8_t value : {0x00, 0x01, 0x7f, 0x80, 0xff}) {
                std::vector<std::uint8_t> bytes = original;
                bytes[at] = value;
                const Parsed<Reply> parsed = parseReply(bytes);
                if (!parsed.message) continue;
                const Reply& r = *parsed.message;
                EXPECT_LE(std::uint64_t{r.stride} * r.height, kMaxPictureBytes) << at;
                EXPECT_LE(r.width, kMaxPictureSide) << at;
                EXPECT_LE(r.reason.size(), kMaxReasonBytes) << at;
                EXPECT_TRUE(r.orientation >= 1 && r.orientation <= 8) << at;
                EXPECT_TRUE(isReasonText(r.reason)) << at;
            }
        }
    }
}

TEST(Protocol, ReasonTextIsUtf8WithoutControls) {
    const struct {
        const char* name;
        std::string text;
        bool accepted;
    } cases[] = {
        {"empty", "", true},
        {"ASCII", "too large", true},
        {"Chinese", "照片太大，无法预览", true},
        {"four-byte character", "\xf0\x9f\x93\xb7", true},
        {"tab", "a\tb", true},
        {"new line", "a\nb", false},
        {"escape", "\x1b[31m", false},
        {"delete", "a\x7f", false},
        {"C1 control (NEL)", "\xc2\x85", false},
        {"lone continuation byte", "\x80", false},
        {"overlong slash", "\xc0\xaf", false},
        {"overlong three bytes", "\xe0\x80\xaf", false},
        {"surrogate", "\xed\xa0\x80", false},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", false},
        {"cut character", "\xe7\x85", false},
        {"five-byte lead", "\xf8\x88\x80\x80\x80", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isReasonText(c.text), c.accepted) << c.name;
}

}  // namespace
