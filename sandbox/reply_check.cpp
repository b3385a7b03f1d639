#include "sandbox/reply_check.h"

namespace sandbox {

AcceptedReply acceptReply(Received&& received, std::uint64_t expectedId, std::uint32_t askedWidth,
                          std::uint32_t askedHeight) {
    // The descriptors close with `received` on every refusal below.
    AcceptedReply accepted;
    const auto refuse = [&](Fault fault) {
        accepted.fault = fault;
        return std::move(accepted);
    };
    if (received.status != Received::Status::Message) return refuse(Fault::Truncated);
    if (received.truncated) return refuse(Fault::TrailingBytes);
    if (received.foreignControl) return refuse(Fault::UnexpectedControl);
    if (received.descriptorsTruncated) return refuse(Fault::DescriptorCount);

    Parsed<Reply> parsed = parseReply(received.bytes);
    if (!parsed.message) return refuse(parsed.fault);
    accepted.reply = std::move(*parsed.message);
    const Reply& reply = accepted.reply;
    if (reply.id != expectedId) return refuse(Fault::WrongId);

    if (reply.status == ReplyStatus::Failed) {
        if (!received.descriptors.empty()) return refuse(Fault::DescriptorCount);
        return accepted;
    }
    if (reply.width > askedWidth || reply.height > askedHeight)
        return refuse(Fault::LargerThanAsked);
    if (received.descriptors.size() != 1) return refuse(Fault::DescriptorCount);
    MappedFile mapped =
        mapSealedFile(received.descriptors.front().get(),
                      static_cast<std::size_t>(std::uint64_t{reply.stride} * reply.height));
    if (mapped.fault != Fault::None) return refuse(mapped.fault);
    accepted.picture = std::move(mapped.picture);
    return accepted;
}

}  // namespace sandbox
