#include "reader/property_block_cache.h"

#include <algorithm>
#include <vector>

namespace reader {
namespace {

class CachedRangeSource final : public ByteSource {
public:
    CachedRangeSource(std::unique_ptr<ByteSource> source, std::uint64_t offset,
                      std::vector<std::uint8_t> bytes)
        : source_(std::move(source)), offset_(offset), bytes_(std::move(bytes)) {}

    std::uint64_t size() const override { return source_->size(); }

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset >= offset_ && offset - offset_ <= bytes_.size() &&
            out.size() <= bytes_.size() - (offset - offset_)) {
            const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset - offset_);
            std::copy(first, first + static_cast<std::ptrdiff_t>(out.size()), out.begin());
            return true;
        }
        return source_->read(offset, out);
    }

private:
    std::unique_ptr<ByteSource> source_;
    std::uint64_t offset_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<ByteSource> CacheRange(std::unique_ptr<ByteSource> source, std::uint64_t offset,
                                       std::uint64_t length) {
    if (!source || offset > source->size() || length > source->size() - offset) return source;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (!source->read(offset, bytes)) return source;
    return KeepRange(std::move(source), offset, std::move(bytes));
}

std::unique_ptr<ByteSource> KeepRange(std::unique_ptr<ByteSource> source, std::uint64_t offset,
                                      std::vector<std::uint8_t> bytes) {
    if (!source) return source;
    return std::make_unique<CachedRangeSource>(std::move(source), offset, std::move(bytes));
}

}  // namespace reader
