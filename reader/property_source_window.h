// Reads ranges of a byte source into a reusable buffer and hands them out as
// checked views, so the parsers above it never touch raw offsets.
#pragma once

#include "reader/byte_view.h"
#include "reader/property_items.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace reader {

class SourceWindow {
public:
    explicit SourceWindow(const ByteSource& source) : source_(source) {}

    std::uint64_t sourceSize() const { return source_.size(); }

    // Up to `length` bytes at `offset`, fewer at the end of the source, none
    // past it. The view lives until the next call.
    ByteView peek(std::uint64_t offset, std::uint64_t length, bool bigEndian) {
        const std::uint64_t size = source_.size();
        if (offset >= size) return ByteView({}, bigEndian);
        return exact(offset, std::min(length, size - offset), bigEndian);
    }

    // Exactly `length` bytes at `offset`, or an empty view when they cannot
    // be read. The view lives until the next call.
    ByteView exact(std::uint64_t offset, std::uint64_t length, bool bigEndian) {
        if (offset > source_.size() || length > source_.size() - offset)
            return ByteView({}, bigEndian);
        buffer_.resize(static_cast<std::size_t>(length));
        if (!source_.read(offset, buffer_)) return ByteView({}, bigEndian);
        return ByteView(buffer_, bigEndian);
    }

private:
    const ByteSource& source_;
    std::vector<std::uint8_t> buffer_;
};

// A window for walks over a container's headers (JPEG segments, PNG and RIFF
// chunks, boxes), which lie densely packed or far apart. Reads start on a
// 4 KiB boundary and read ahead: 4 KiB at first, twice as much each time the
// walk goes on less than 64 KiB past what was read, up to 64 KiB, so that
// densely packed headers cost one read per 64 KiB; a jump over a larger
// chunk starts again at 4 KiB, so that skipped data is not read. The first read is
// the file's first 4 KiB, which a file source already holds.
class BufferedWindow {
public:
    static constexpr std::uint64_t kFirstRead = 4 * 1024;
    static constexpr std::uint64_t kLargestRead = 64 * 1024;

    explicit BufferedWindow(const ByteSource& source) : source_(source), size_(source.size()) {}

    std::uint64_t sourceSize() const { return size_; }

    // Up to `length` bytes at `offset`, fewer at the end of the source, none
    // past it. The view lives until the next call.
    ByteView peek(std::uint64_t offset, std::uint64_t length, bool bigEndian) {
        if (offset >= size_) return ByteView({}, bigEndian);
        return exact(offset, std::min(length, size_ - offset), bigEndian);
    }

    // Exactly `length` bytes at `offset`, or an empty view when they cannot
    // be read. The view lives until the next call.
    ByteView exact(std::uint64_t offset, std::uint64_t length, bool bigEndian) {
        if (offset > size_ || length > size_ - offset) return ByteView({}, bigEndian);
        if (!holds(offset, length) && !load(offset, length)) return ByteView({}, bigEndian);
        const auto at = static_cast<std::size_t>(offset - start_);
        return ByteView(
            std::span<const std::uint8_t>(buffer_).subspan(at, static_cast<std::size_t>(length)),
            bigEndian);
    }

    // Whether the bytes are in memory already.
    bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset >= start_ && offset - start_ <= buffer_.size() &&
               length <= buffer_.size() - (offset - start_);
    }

private:
    bool load(std::uint64_t offset, std::uint64_t length) {
        const std::uint64_t end = start_ + buffer_.size();
        const bool onward = !buffer_.empty() && offset >= start_ && offset < end + kLargestRead;
        ahead_ = onward ? std::min(ahead_ * 2, kLargestRead) : kFirstRead;
        // A jump starts on a page boundary; going on starts where asked, as
        // the bytes before it were read already.
        const std::uint64_t begin = onward ? offset : offset - offset % kFirstRead;
        const std::uint64_t stop = std::min(size_, std::max(offset + length, begin + ahead_));
        buffer_.resize(static_cast<std::size_t>(stop - begin));
        start_ = begin;
        if (source_.read(begin, buffer_)) return true;
        buffer_.clear();
        return false;
    }

    const ByteSource& source_;
    std::uint64_t size_;
    std::uint64_t start_ = 0;
    std::uint64_t ahead_ = kFirstRead;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace reader
