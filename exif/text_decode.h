// Text values of property items: bytes as a camera or a Chinese Windows
// program wrote them, turned into UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace exif {

// Bytes that form valid UTF-8 are kept as they are; any other bytes are read
// as GB18030 (the superset of the Chinese Windows code page), an undecodable
// sequence becoming U+FFFD. Every U+0000 is removed afterwards, wherever it
// stands. The result is always valid UTF-8.
std::string DecodeText(const std::uint8_t* bytes, std::size_t length);

// Text that is UTF-8 by its type (Exif 3.0's UTF-8, XMP): every byte that is
// not part of well-formed UTF-8 becomes U+FFFD, every U+0000 is removed.
std::string DecodeUtf8(const std::uint8_t* bytes, std::size_t length);

// UTF-16 in the given byte order unless a byte-order mark says otherwise; a
// lone surrogate or an odd last byte becomes U+FFFD, NULs are removed.
std::string DecodeUtf16(const std::uint8_t* bytes, std::size_t length, bool bigEndian);

// A user comment: an 8-byte character code, then the comment. After
// "UNICODE" comes UTF-16 in the byte order of the file the comment came
// from, unless a byte-order mark says otherwise; after any other code
// ("ASCII", eight NULs for undefined, JIS, junk) comes text decoded as
// DecodeText does. The code is not part of the result, nor are NULs or
// trailing spaces. A value shorter than a code is all comment.
std::string DecodeUserComment(const std::uint8_t* bytes, std::size_t length, bool bigEndianFile);

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(const std::uint8_t* bytes, std::size_t length);

}  // namespace exif
