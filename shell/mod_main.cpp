#include "shell/mod_main.h"

namespace modMain {

std::string PathSeparator;

void SetModuleStrings() { PathSeparator = "/"; }

}  // namespace modMain
