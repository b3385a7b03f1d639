// Text bound for a terminal. A file name may hold any byte but / and NUL, and
// a photo's texts any byte but NUL: written raw, they could break a message
// line or send the terminal escape codes (set its title, write the clipboard,
// fake output).
#pragma once

#include <string>
#include <string_view>

namespace exifreport {

// For messages: control characters (C0, DEL, C1) and bytes that are not
// UTF-8 written as escapes: \n, \r, \t, else \xNN for each byte. A backslash
// is written \\, so that every escape reads back to one byte.
std::string TerminalText(std::string_view text);

// For reports shown on a terminal: the same, except that tabs, line ends and
// backslashes stay as they are, so the layout reads as in a file.
std::string TerminalReportText(std::string_view text);

}  // namespace exifreport
