#include "reader_test_support.h"

namespace readertest {

std::ostream& operator<<(std::ostream& out, const Item& item) {
    out << "{id 0x" << std::hex << item.id << std::dec << ", type " << item.type << ", "
        << item.value.size() << " bytes}";
    return out;
}

reader::PropertyImage OpenBytes(std::vector<std::uint8_t> bytes) {
    return reader::PropertyImage::Open(reader::MemorySource(std::move(bytes)));
}

std::vector<Item> ReadAll(const reader::PropertyImage& image) {
    std::vector<Item> items;
    for (const reader::PropertyImage::ItemLocation& location : image.items()) {
        std::vector<std::uint8_t> value;
        if (!image.readValue(location, value)) {
            items.push_back(Item{location.id, 0xFFFF, {}});
            continue;
        }
        items.push_back(Item{location.id, location.type, std::move(value)});
    }
    return items;
}

std::vector<std::uint32_t> Ids(const reader::PropertyImage& image) {
    std::vector<std::uint32_t> ids;
    for (const auto& item : image.items()) ids.push_back(item.id);
    return ids;
}

std::vector<std::uint8_t> ValueOf(const reader::PropertyImage& image, std::uint32_t id,
                                  std::uint32_t occurrence) {
    const reader::PropertyImage::ItemLocation* location = image.find(id, occurrence);
    std::vector<std::uint8_t> value;
    if (location == nullptr || !image.readValue(*location, value)) return {};
    return value;
}

bool IsSubsequence(const std::vector<Item>& part, const std::vector<Item>& whole) {
    std::size_t at = 0;
    for (const Item& item : part) {
        while (at < whole.size() && !(whole[at] == item)) ++at;
        if (at == whole.size()) return false;
        ++at;
    }
    return true;
}

SyntheticSource::SyntheticSource(std::uint64_t size, std::vector<std::uint8_t> head,
                                 std::uint64_t tailOffset, std::vector<std::uint8_t> tail,
                                 Stats* stats)
    : size_(size),
      head_(std::move(head)),
      tailOffset_(tailOffset),
      tail_(std::move(tail)),
      stats_(stats) {}

bool SyntheticSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (stats_) {
        if (stats_->failReads) return false;
        stats_->bytesRead += out.size();
        ++stats_->reads;
    }
    if (offset > size_ || out.size() > size_ - offset) return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint64_t at = offset + i;
        std::uint8_t byte = 0;
        if (at < head_.size()) byte = head_[at];
        else if (at >= tailOffset_ && at - tailOffset_ < tail_.size())
            byte = tail_[at - tailOffset_];
        out[i] = byte;
    }
    return true;
}

PatternSource::PatternSource(std::uint64_t size, std::vector<std::uint8_t> head,
                             std::vector<std::uint8_t> unit, SyntheticSource::Stats* stats)
    : size_(size), head_(std::move(head)), unit_(std::move(unit)), stats_(stats) {
    if (unit_.empty()) unit_.push_back(0);
}

bool PatternSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (stats_) {
        if (stats_->failReads) return false;
        stats_->bytesRead += out.size();
        ++stats_->reads;
    }
    if (offset > size_ || out.size() > size_ - offset) return false;
    std::size_t i = 0;
    for (; i < out.size() && offset + i < head_.size(); ++i) out[i] = head_[offset + i];
    if (i == out.size()) return true;
    std::size_t phase = static_cast<std::size_t>((offset + i - head_.size()) % unit_.size());
    for (; i < out.size(); ++i) {
        out[i] = unit_[phase];
        if (++phase == unit_.size()) phase = 0;
    }
    return true;
}

std::vector<std::uint8_t> Le(std::uint64_t value, int bytes) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}

}  // namespace readertest
