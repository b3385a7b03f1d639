// Metadata in PNG chunks of text and profile: Exif kept in a text chunk, as
// ImageMagick and older writers keep it (a "Raw profile type exif" or
// "APP1" chunk whose text is the profile in hex), the XMP packet of an iTXt
// chunk, and the colour profile of the iCCP chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace reader {

enum class PngText { Plain, Compressed, International };  // tEXt, zTXt, iTXt

// The most of a text chunk that is read, and the most text it may inflate
// to. A profile holds an Exif block, 64 KiB in a JPEG and rarely more
// anywhere, in hex: twice its size.
inline constexpr std::uint32_t kMaxPngTextChunk = 8u << 20;
inline constexpr std::size_t kMaxPngProfileText = 16u << 20;
// Enough of a chunk to hold the keyword and its NUL.
inline constexpr std::uint32_t kMaxKeyword = 80;

// The kind of text chunk of this type, or nothing for other chunks.
std::optional<PngText> PngTextKind(std::span<const std::uint8_t> type);

// Whether the chunk data begins with the keyword of a raw Exif profile,
// "Raw profile type exif" or "Raw profile type APP1" (the profile name in any
// case: ImageMagick writes "app1"), and its NUL.
bool IsRawProfileKeyword(std::span<const std::uint8_t> data);

// The profile's bytes from the data of a text chunk: the text (inflated when
// the chunk is compressed) read as "\n<name>\n<length>\n<hex digits>", the
// digits broken by white space. Nothing when the chunk holds no such text.
// A text that ends early gives the bytes it has.
std::optional<std::vector<std::uint8_t>> RawProfileBytes(std::span<const std::uint8_t> data,
                                                         PngText kind);

// The zlib stream inflated, at most `cap` bytes; nothing when it would be
// longer. A stream that breaks off gives what came before.
std::optional<std::vector<std::uint8_t>> Inflate(std::span<const std::uint8_t> compressed,
                                                 std::size_t cap);

// Whether an iTXt chunk's data begins with the XMP keyword
// "XML:com.adobe.xmp" and its NUL.
bool IsXmpKeyword(std::span<const std::uint8_t> data);

// The XMP packet of such an iTXt chunk, inflated when it is compressed;
// nothing when the chunk is broken or the packet longer than `cap`.
std::optional<std::vector<std::uint8_t>> XmpText(std::span<const std::uint8_t> data,
                                                 std::size_t cap);

// The colour profile of an iCCP chunk's data (name, NUL, method 0, zlib).
std::optional<std::vector<std::uint8_t>> IccProfile(std::span<const std::uint8_t> data,
                                                    std::size_t cap);

}  // namespace reader
