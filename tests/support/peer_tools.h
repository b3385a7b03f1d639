// Running the peer programs (heif-enc, exiftool) that write test photos.
#pragma once

#include "shell_quote.h"

#include <cstdlib>
#include <string>

namespace testsupport {

// Whether every named program is on the path.
inline bool HavePrograms(const std::string& names) {
    return std::system(
               ("for p in " + names + "; do command -v $p >/dev/null || exit 1; done").c_str()) ==
           0;
}

// Runs a shell command with its output discarded; true when it succeeds.
inline bool RunQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace testsupport
