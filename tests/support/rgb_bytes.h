// A picture's pixels as the test writers take them: rows of 8-bit R, G, B.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace testsupport {

inline std::vector<std::uint8_t> Rgb(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> rows;
    for (int y = 0; y < rgb.height(); ++y)
        rows.insert(rows.end(), rgb.constScanLine(y), rgb.constScanLine(y) + rgb.width() * 3);
    return rows;
}

}  // namespace testsupport
