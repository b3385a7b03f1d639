#include "exif/number_format.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace exif {

std::string IntText(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string GenText(double value) {
    if (!std::isfinite(value)) return {};
    if (value == 0) value = 0;  // drops the sign of -0
    // to_chars prints as printf does in the C locale, whatever locale the
    // program runs in (a GUI toolkit may set one with a decimal comma).
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

namespace {

// Fixed notation of the exact binary value, correctly rounded (ties to even).
// The largest double takes 309 digits before the point.
std::string PrintFixed(double value, int decimals) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return {};
    return std::string(buffer, result.ptr);
}

// Adds one unit in the last place to the magnitude of a "-?d+.d+" text.
void IncrementMagnitude(std::string& text) {
    std::size_t i = text.size();
    while (i > 0) {
        --i;
        char& c = text[i];
        if (c == '.') continue;
        if (c == '-') break;
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
    }
    // Every digit was 9: a new leading 1 goes after an optional sign.
    text.insert(text[0] == '-' ? 1 : 0, 1, '1');
}

bool IsNegativeZero(const std::string& text) {
    if (text.empty() || text[0] != '-') return false;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (text[i] != '0' && text[i] != '.') return false;
    return true;
}

}  // namespace

std::string FixText(double value, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 20) return {};
    std::string text;
    // A value can lie exactly halfway between two outputs only when it is a
    // multiple of 2^-(decimals+1); such a value prints exactly with one more
    // decimal, which shows the tie. Every other value prints correctly rounded.
    const double scaled = std::ldexp(value, decimals + 1);
    if (std::isfinite(scaled) && scaled == std::trunc(scaled)) {
        text = PrintFixed(value, decimals + 1);
        if (text.empty()) return text;
        const char last = text.back();
        text.pop_back();
        if (text.back() == '.') text.pop_back();
        if (last >= '5') IncrementMagnitude(text);
    } else {
        text = PrintFixed(value, decimals);
    }
    if (IsNegativeZero(text)) text.erase(0, 1);
    return text;
}

std::string RoundedText(double value, int decimals) {
    std::string text = FixText(value, decimals);
    if (text.find('.') == std::string::npos) return text;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

double LeadingNumber(std::string_view text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0) return 0;
    double value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + digits, value, std::chars_format::fixed);
    if (result.ec == std::errc::result_out_of_range) return DBL_MAX;
    return value;
}

}  // namespace exif
