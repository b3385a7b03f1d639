// Module-wide strings, set once by start-up before any window exists.
#pragma once

#include <string>

namespace modMain {

// Separates folders in a path; a photo's file name is the text after the last one.
extern std::string PathSeparator;

// Sets the module strings (start-up does this before it creates a window).
void SetModuleStrings();

}  // namespace modMain
