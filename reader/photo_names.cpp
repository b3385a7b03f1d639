#include "reader/photo_names.h"

#include <algorithm>
#include <array>

namespace reader {
namespace {

constexpr std::array<std::string_view, 23> kExtensions = {
    "jpg", "jpeg", "jpe", "tif", "tiff", "png", "webp", "heic", "heif", "avif", "dng", "cr2",
    "cr3", "nef",  "nrw", "arw", "orf",  "rw2", "raf",  "pef",  "srw",  "bmp",  "gif",
};

bool EqualIgnoringCase(std::string_view a, std::string_view lower) {
    return a.size() == lower.size() &&
           std::equal(a.begin(), a.end(), lower.begin(), [](char c, char l) {
               return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == l;
           });
}

}  // namespace

std::span<const std::string_view> PhotoExtensions() { return kExtensions; }

bool HasPhotoExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    return std::any_of(kExtensions.begin(), kExtensions.end(),
                       [&](std::string_view known) { return EqualIgnoringCase(extension, known); });
}

}  // namespace reader
