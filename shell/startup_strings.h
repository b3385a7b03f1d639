// The strings start-up sets before any window exists, only read afterwards.
#pragma once

#include <array>
#include <string>

namespace viewer {

struct StartupStrings {
    // Separates folders in a path; a photo's file name is the text after the last one.
    std::string pathSeparator;
    // The About box's two contact lines: an e-mail line, then an instant-messaging line.
    std::array<std::string, 2> contactLines;
};

// Spells the strings out; start-up does this before it creates a window.
void setStartupStrings();
const StartupStrings& startupStrings();

}  // namespace viewer
