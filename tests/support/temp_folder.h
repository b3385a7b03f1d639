// A new folder of the test's own in the temporary folder.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <stdlib.h>
#include <string>

namespace testsupport {

// mkdtemp makes it with a random name and rights for its owner only, so no
// one else can have prepared it (a link, planted files) for a test run as root.
inline std::filesystem::path MakeTempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    return pattern;
}

}  // namespace testsupport
