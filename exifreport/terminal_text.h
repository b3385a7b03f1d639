// File names in messages: a name may hold any byte but / and NUL, so one
// written raw could break the message line or send a terminal escape codes.
#pragma once

#include <string>
#include <string_view>

namespace exifreport {

// The text with control characters (C0, DEL, C1) and bytes that are not
// UTF-8 written as escapes: \n, \r, \t, else \xNN for each byte. A backslash
// is written \\, so that every escape reads back to one byte.
std::string TerminalText(std::string_view text);

}  // namespace exifreport
