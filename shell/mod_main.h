// Module-wide strings, set once by start-up before any window exists and only
// read afterwards.
#pragma once

#include <array>
#include <string>

namespace modMain {

// Separates folders in a path; a photo's file name is the text after the last one.
extern std::string PathSeparator;

// The About box's two contact lines: an e-mail line, then an instant-messaging line.
extern std::array<std::string, 2> ContactLines;

// Sets the module strings (start-up does this before it creates a window).
void SetModuleStrings();

}  // namespace modMain
