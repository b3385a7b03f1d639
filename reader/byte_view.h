// A read-only window on bytes that came from a file. Every access is checked:
// reading outside the window yields 0 and marks the view bad (the mark
// sticks), and a sub-view that does not fit is empty. Code that parses
// hostile data reads through this type and never does its own bounds
// arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace reader {

class ByteView {
public:
    ByteView() = default;
    ByteView(std::span<const std::uint8_t> bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    bool bigEndian() const { return bigEndian_; }
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // False once any access has fallen outside the view.
    bool ok() const { return !bad_; }

    // Whether [offset, offset + length) lies inside the view; marks nothing.
    bool fits(std::uint64_t offset, std::uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    std::uint8_t u8(std::uint64_t offset) const {
        if (!check(offset, 1)) return 0;
        return bytes_[static_cast<std::size_t>(offset)];
    }

    std::uint16_t u16(std::uint64_t offset) const {
        if (!check(offset, 2)) return 0;
        const auto at = static_cast<std::size_t>(offset);
        const unsigned a = bytes_[at], b = bytes_[at + 1];
        return static_cast<std::uint16_t>(bigEndian_ ? (a << 8) | b : (b << 8) | a);
    }

    std::uint32_t u32(std::uint64_t offset) const {
        if (!check(offset, 4)) return 0;
        const auto at = static_cast<std::size_t>(offset);
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t index = bigEndian_ ? at + i : at + 3 - i;
            value = (value << 8) | bytes_[index];
        }
        return value;
    }

    // The bytes [offset, offset + length) in the same byte order; empty (and
    // this view marked bad) when the range does not fit.
    ByteView sub(std::uint64_t offset, std::uint64_t length) const {
        if (!check(offset, length)) return ByteView({}, bigEndian_);
        return ByteView(
            bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)),
            bigEndian_);
    }

    // Whether the view starts with exactly these bytes; marks nothing.
    bool startsWith(std::string_view prefix) const {
        if (prefix.size() > bytes_.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            if (bytes_[i] != static_cast<std::uint8_t>(prefix[i])) return false;
        }
        return true;
    }

private:
    bool check(std::uint64_t offset, std::uint64_t length) const {
        if (fits(offset, length)) return true;
        bad_ = true;
        return false;
    }

    std::span<const std::uint8_t> bytes_;
    bool bigEndian_ = false;
    mutable bool bad_ = false;
};

// The byte length of `count` elements of `elementSize` bytes, or nothing when
// it does not fit in 32 bits: a hostile count times 8 wraps a 32-bit product
// into a small, plausible length.
inline std::optional<std::uint32_t> CheckedByteCount(std::uint32_t count,
                                                     std::uint32_t elementSize) {
    const std::uint64_t bytes = std::uint64_t{count} * elementSize;
    if (bytes > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(bytes);
}

}  // namespace reader
