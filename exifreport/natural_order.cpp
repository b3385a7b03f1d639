#include "exifreport/natural_order.h"

namespace exifreport {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// <0, 0 or >0 as the digit runs starting at `i` and `j` compare by value;
// both indexes are moved past their runs. Compared as text, so any length of
// digits works without overflow.
int CompareNumbers(std::string_view a, std::size_t& i, std::string_view b, std::size_t& j) {
    while (i < a.size() && a[i] == '0') ++i;
    while (j < b.size() && b[j] == '0') ++j;
    const std::size_t startA = i, startB = j;
    while (i < a.size() && IsDigit(a[i])) ++i;
    while (j < b.size() && IsDigit(b[j])) ++j;
    const std::size_t lengthA = i - startA, lengthB = j - startB;
    if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
    return a.substr(startA, lengthA).compare(b.substr(startB, lengthB));
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            if (const int order = CompareNumbers(a, i, b, j); order != 0) return order < 0;
            continue;
        }
        const auto x = static_cast<unsigned char>(Folded(a[i]));
        const auto y = static_cast<unsigned char>(Folded(b[j]));
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return j < b.size();
    return a < b;
}

}  // namespace exifreport
