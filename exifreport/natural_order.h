// The order in which a folder's files are reported: the order people number
// photos in, the same on every run and every machine.
#pragma once

#include <string_view>

namespace exifreport {

// True when `a` goes before `b`. Runs of digits compare by their value
// (IMG_2 before IMG_10), letters without regard to ASCII case, other bytes by
// their value; names that still tie (IMG_01, IMG_1) fall back to their bytes,
// so two different names never compare equal.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace exifreport
