// Shared helpers of the reader tests: open built bytes, read every item back,
// and sources that count or fake their bytes.
#pragma once

#include "reader/property_items.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace readertest {

// One item as a caller of the reader sees it.
struct Item {
    std::uint32_t id = 0;
    std::uint16_t type = 0;
    std::vector<std::uint8_t> value;  // little-endian
    bool operator==(const Item&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Item& item);

reader::PropertyImage OpenBytes(std::vector<std::uint8_t> bytes);

// Every item in list order with its own value, as the metadata walk reads
// them; an item whose value cannot be read has type 0xFFFF.
std::vector<Item> ReadAll(const reader::PropertyImage& image);

std::vector<std::uint32_t> Ids(const reader::PropertyImage& image);

// The value of the `occurrence`-th item with this id; empty when missing.
std::vector<std::uint8_t> ValueOf(const reader::PropertyImage& image, std::uint32_t id,
                                  std::uint32_t occurrence = 0);

// Whether `part` is `whole` with some items left out (order kept).
bool IsSubsequence(const std::vector<Item>& part, const std::vector<Item>& whole);

// A source of `size` bytes: `head` at the start and `tail` at `tailOffset`,
// zeros elsewhere, never stored. Counts the bytes asked for, so a test can
// check that a huge photo is read only where its metadata lies.
class SyntheticSource : public reader::ByteSource {
public:
    struct Stats {
        std::uint64_t bytesRead = 0;
        std::uint64_t reads = 0;
        bool failReads = false;  // makes every later read fail
    };

    SyntheticSource(std::uint64_t size, std::vector<std::uint8_t> head,
                    std::uint64_t tailOffset = 0, std::vector<std::uint8_t> tail = {},
                    Stats* stats = nullptr);

    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::uint64_t size_;
    std::vector<std::uint8_t> head_;
    std::uint64_t tailOffset_;
    std::vector<std::uint8_t> tail_;
    Stats* stats_;
};

// A source of `size` bytes: `head`, then `unit` over and over to the end,
// never stored; counts like SyntheticSource. Makes files of millions of
// segments or chunks, or values of gigabytes, at no cost.
class PatternSource : public reader::ByteSource {
public:
    PatternSource(std::uint64_t size, std::vector<std::uint8_t> head,
                  std::vector<std::uint8_t> unit, SyntheticSource::Stats* stats = nullptr);

    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::uint64_t size_;
    std::vector<std::uint8_t> head_;
    std::vector<std::uint8_t> unit_;
    SyntheticSource::Stats* stats_;
};

// Little-endian bytes of a number, for building expected values.
std::vector<std::uint8_t> Le(std::uint64_t value, int bytes);

}  // namespace readertest
