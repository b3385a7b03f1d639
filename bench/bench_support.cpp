#include "bench_support.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace benchsupport {

namespace {

std::string ProcFile(long pid, const char* name) {
    return (pid > 0 ? "/proc/" + std::to_string(pid) : std::string("/proc/self")) + "/" + name;
}

}  // namespace

long StatusKib(const char* field, long pid) {
    std::ifstream status(ProcFile(pid, "status"));
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::stol(line.substr(length + 1));
    }
    return -1;
}

bool ResetPeak(long pid) {
    std::ofstream clear(ProcFile(pid, "clear_refs"));
    clear << "5";
    return static_cast<bool>(clear);
}

QImage Scene(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    std::uint32_t seed = 2024;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 25) - 12;
            const int r = 40 + 180 * x / width + noise;
            const int g = 60 + 150 * y / height + noise;
            const int b =
                static_cast<int>(128 + 60 * std::sin(x / 37.0) * std::cos(y / 23.0)) + noise;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

}  // namespace benchsupport
