// Reads small ranges of a byte source into a reusable buffer and hands them
// out as checked views, so the parsers above it never touch raw offsets.
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
        if (offset > source_.size() || length > source_.size() - offset) return ByteView({}, bigEndian);
        buffer_.resize(static_cast<std::size_t>(length));
        if (!source_.read(offset, buffer_)) return ByteView({}, bigEndian);
        return ByteView(buffer_, bigEndian);
    }

private:
    const ByteSource& source_;
    std::vector<std::uint8_t> buffer_;
};

}  // namespace reader
