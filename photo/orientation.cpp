#include "photo/orientation.h"

#include "reader/property_items.h"

#include <array>
#include <cstdint>

namespace photo {
namespace {

constexpr std::uint32_t kOrientationTag = 0x0112;

// Each orientation as the three steps that stand the stored pixels upright:
// trade x and y, then mirror across (right to left), then mirror down
// (bottom to top).
struct Turn {
    bool swap;
    bool mirrorAcross;
    bool mirrorDown;
};
constexpr std::array<Turn, 9> kTurns = {{
    {false, false, false},  // (no code)
    {false, false, false},  // 1 as stored
    {false, true, false},   // 2 mirrored
    {false, true, true},    // 3 turned half round
    {false, false, true},   // 4 flipped
    {true, false, false},   // 5 transposed
    {true, true, false},    // 6 turned a quarter clockwise
    {true, true, true},     // 7 transversed
    {true, false, true},    // 8 turned a quarter anticlockwise
}};

const Turn& TurnOf(int orientation) {
    return kTurns[orientation >= 1 && orientation <= 8 ? static_cast<std::size_t>(orientation) : 1];
}

}  // namespace

int orientationOf(const reader::PropertyImage* metadata) {
    if (!metadata) return 1;
    const reader::PropertyImage::ItemLocation* item = metadata->find(kOrientationTag, 0);
    if (!item || item->count != 1) return 1;
    std::uint8_t value[4] = {};
    const bool shortValue = item->type == reader::PropertyTypeShort && item->length == 2;
    const bool longValue = item->type == reader::PropertyTypeLong && item->length == 4;
    if (!(shortValue || longValue) || !metadata->readValue(*item, value, item->length)) return 1;
    // Little-endian now; a short leaves the upper two bytes zero.
    return value[1] == 0 && value[2] == 0 && value[3] == 0 && value[0] >= 1 && value[0] <= 8
               ? value[0]
               : 1;
}

bool swapsSides(int orientation) { return TurnOf(orientation).swap; }

QSize uprightSize(const QSize& stored, int orientation) {
    return swapsSides(orientation) ? stored.transposed() : stored;
}

QImage upright(const QImage& stored, int orientation) {
    const Turn& turn = TurnOf(orientation);
    if (stored.isNull() || (!turn.swap && !turn.mirrorAcross && !turn.mirrorDown)) return stored;
    // Every pixel moves as a whole 32-bit value.
    const QImage source =
        stored.depth() == 32
            ? stored
            : stored.convertToFormat(stored.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
    const QSize size = uprightSize(source.size(), orientation);
    QImage turned(size, source.format());
    if (turned.isNull()) return turned;
    const int lastX = size.width() - 1, lastY = size.height() - 1;
    uchar* bits = turned.bits();
    const qsizetype stride = turned.bytesPerLine();
    for (int y = 0; y < source.height(); ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            int u = turn.swap ? y : x;
            int v = turn.swap ? x : y;
            if (turn.mirrorAcross) u = lastX - u;
            if (turn.mirrorDown) v = lastY - v;
            reinterpret_cast<std::uint32_t*>(bits + v * stride)[u] = line[x];
        }
    }
    return turned;
}

}  // namespace photo
