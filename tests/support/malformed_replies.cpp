#include "malformed_replies.h"

#include "sandbox/shared_picture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace sandboxtest {
namespace {

using sandbox::Fault;
using sandbox::PixelFormat;
using sandbox::Reply;
using sandbox::ReplyStatus;
using sandbox::UniqueFd;

Reply picture(const Asked& asked) {
    Reply reply;
    reply.id = asked.id;
    reply.status = ReplyStatus::Picture;
    reply.photoWidth = 4000;
    reply.photoHeight = 3000;
    reply.orientation = 1;
    reply.pixelFormat = PixelFormat::Rgb32;
    reply.width = asked.width;
    reply.height = asked.height;
    reply.stride = asked.width * 4;
    return reply;
}

Reply failure(const Asked& asked, std::string reason) {
    Reply reply;
    reply.id = asked.id;
    reply.status = ReplyStatus::Failed;
    reply.reason = std::move(reason);
    return reply;
}

// A memory file of `size` grey bytes carrying `seals`.
UniqueFd memoryFile(std::size_t size, int seals) {
    UniqueFd file(::memfd_create("crafted", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!file || ::ftruncate(file.get(), static_cast<off_t>(size)) != 0) return {};
    const std::vector<std::uint8_t> grey(size, 0x80);
    if (::pwrite(file.get(), grey.data(), grey.size(), 0) != static_cast<ssize_t>(grey.size()))
        return {};
    if (seals != 0 && ::fcntl(file.get(), F_ADD_SEALS, seals) != 0) return {};
    return file;
}

Crafted bare(const Reply& reply) { return {sandbox::encode(reply), {}, {}}; }

Crafted bytes(std::vector<std::uint8_t> bytes) { return {std::move(bytes), {}, {}}; }

// The reply with `count` memory files of `size` bytes and `seals` beside it.
Crafted withFiles(const Reply& reply, std::size_t size, int seals, int count = 1) {
    Crafted crafted = bare(reply);
    for (int i = 0; i < count; ++i) {
        crafted.owned.push_back(memoryFile(size, seals));
        crafted.sent.push_back(crafted.owned.back().get());
    }
    return crafted;
}

std::size_t pictureBytes(const Reply& reply) { return std::size_t{reply.stride} * reply.height; }

Crafted sound(const Reply& reply) {
    return withFiles(reply, pictureBytes(reply), sandbox::kRequiredSeals);
}

constexpr int kAllSeals = sandbox::kRequiredSeals;

const std::vector<ReplyCase> kCases = {
    {"sound picture", Fault::None, [](const Asked& a) { return sound(picture(a)); }},
    {"sound failure", Fault::None,
     [](const Asked& a) { return bare(failure(a, "照片已损坏，无法预览")); }},

    {"wrong id", Fault::WrongId,
     [](const Asked& a) {
         Reply r = picture(a);
         r.id = a.id + 1;
         return sound(r);
     }},
    {"side over the limit", Fault::BadSize,
     [](const Asked& a) {
         Reply r = picture(a);
         r.width = sandbox::kMaxPictureSide + 1;
         r.stride = r.width * 4;
         r.height = 1;
         return sound(r);
     }},
    {"empty picture", Fault::BadSize,
     [](const Asked& a) {
         Reply r = picture(a);
         r.height = 0;
         return withFiles(r, 4096, kAllSeals);
     }},
    {"larger than asked", Fault::LargerThanAsked,
     [](const Asked& a) {
         Reply r = picture(a);
         r.width = a.width + 1;
         r.stride = r.width * 4;
         return sound(r);
     }},
    {"stride shorter than a row", Fault::BadStride,
     [](const Asked& a) {
         Reply r = picture(a);
         r.stride = r.width * 4 - 4;
         return sound(r);
     }},
    {"stride not 4-byte aligned", Fault::BadStride,
     [](const Asked& a) {
         Reply r = picture(a);
         r.pixelFormat = PixelFormat::Grayscale8;
         r.stride = r.width + 2;
         return sound(r);
     }},
    {"stride x height beyond the decode limit", Fault::PictureTooLarge,
     [](const Asked& a) {
         Reply r = picture(a);
         r.stride = 1u << 28;
         return withFiles(r, 4096, kAllSeals);
     }},
    {"stride x height beyond the memory file", Fault::PictureBeyondFile,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r) - 1, kAllSeals);
     }},
    {"memory file without seals", Fault::NotSealed,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r), 0);
     }},
    {"memory file still writable", Fault::NotSealed,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r), F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
     }},
    {"memory file that may shrink", Fault::NotSealed,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r), F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SEAL);
     }},
    {"seals that may still change", Fault::NotSealed,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r), F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);
     }},
    {"a file that is not a memory file", Fault::NotMemoryFile,
     [](const Asked& a) {
         Crafted crafted = bare(picture(a));
         crafted.sent.push_back(a.notMemoryFile);
         return crafted;
     }},
    {"picture without a descriptor", Fault::DescriptorCount,
     [](const Asked& a) { return bare(picture(a)); }},
    {"picture with two descriptors", Fault::DescriptorCount,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r), kAllSeals, 2);
     }},
    {"picture with five descriptors", Fault::DescriptorCount,
     [](const Asked& a) {
         const Reply r = picture(a);
         return withFiles(r, pictureBytes(r), kAllSeals, 5);
     }},
    {"failure with a descriptor", Fault::DescriptorCount,
     [](const Asked& a) { return withFiles(failure(a, "损坏"), 4096, kAllSeals); }},
    {"reason too long", Fault::ReasonTooLong,
     [](const Asked& a) {
         return bare(failure(a, std::string(sandbox::kMaxReasonBytes + 1, 'x')));
     }},
    {"reason not UTF-8", Fault::ReasonNotText,
     [](const Asked& a) { return bare(failure(a, "\xff\xfe")); }},
    {"reason steering a terminal", Fault::ReasonNotText,
     [](const Asked& a) { return bare(failure(a, "\x1b[2J损坏")); }},
    {"failure without a reason", Fault::MissingReason,
     [](const Asked& a) { return bare(failure(a, "")); }},
    {"picture with a reason", Fault::UnexpectedReason,
     [](const Asked& a) {
         Reply r = picture(a);
         r.reason = "好";
         return sound(r);
     }},
    {"failure with a picture's fields", Fault::BadSize,
     [](const Asked& a) {
         Reply r = failure(a, "损坏");
         r.width = a.width;
         return bare(r);
     }},
    {"unknown status", Fault::BadStatus,
     [](const Asked& a) {
         Reply r = picture(a);
         r.status = static_cast<ReplyStatus>(7);
         return sound(r);
     }},
    {"unknown pixel format", Fault::BadPixelFormat,
     [](const Asked& a) {
         Reply r = picture(a);
         r.pixelFormat = static_cast<PixelFormat>(9);
         return sound(r);
     }},
    {"orientation 0", Fault::BadOrientation,
     [](const Asked& a) {
         Reply r = picture(a);
         r.orientation = 0;
         return sound(r);
     }},
    {"orientation 9", Fault::BadOrientation,
     [](const Asked& a) {
         Reply r = failure(a, "损坏");
         r.orientation = 9;
         return bare(r);
     }},
    {"photo side beyond Qt's sizes", Fault::BadSize,
     [](const Asked& a) {
         Reply r = picture(a);
         r.photoWidth = 0x80000000u;
         return sound(r);
     }},
    {"cut short", Fault::Truncated,
     [](const Asked& a) {
         Crafted crafted = bare(failure(a, "损坏"));
         crafted.bytes.pop_back();
         return crafted;
     }},
    {"header only", Fault::Truncated,
     [](const Asked& a) {
         Crafted crafted = bare(picture(a));
         crafted.bytes.resize(6);
         return crafted;
     }},
    {"a byte after the reason", Fault::TrailingBytes,
     [](const Asked& a) {
         Crafted crafted = bare(failure(a, "损坏"));
         crafted.bytes.push_back('!');
         return crafted;
     }},
    {"longer than any message", Fault::TrailingBytes,
     [](const Asked& a) {
         Crafted crafted = bare(failure(a, "损坏"));
         crafted.bytes.resize(sandbox::kMaxMessageBytes + 100, ' ');
         return crafted;
     }},
    {"another build's magic", Fault::BadMagic,
     [](const Asked& a) {
         Crafted crafted = bare(failure(a, "损坏"));
         crafted.bytes[3] ^= 0x01;
         return crafted;
     }},
    {"ready in place of a reply", Fault::UnexpectedKind,
     [](const Asked&) { return bytes(sandbox::encode(sandbox::Ready{~0u})); }},
    {"a request in place of a reply", Fault::UnexpectedKind,
     [](const Asked& a) {
         sandbox::Request request;
         request.id = a.id;
         request.width = a.width;
         request.height = a.height;
         return bytes(sandbox::encode(request));
     }},
};

}  // namespace

const std::vector<ReplyCase>& replyCases() { return kCases; }

const ReplyCase* findReplyCase(const std::string& name) {
    for (const ReplyCase& replyCase : kCases)
        if (name == replyCase.name) return &replyCase;
    return nullptr;
}

}  // namespace sandboxtest
