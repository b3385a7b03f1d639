// Quoting for the tests that run programs through the shell.
#pragma once

#include <string>

namespace testsupport {

// One shell word holding `arg` exactly, whatever characters it has.
inline std::string ShellQuote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace testsupport
