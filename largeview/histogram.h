// The histogram of the picture the large view shows: how many pixels sit at
// each of the 256 levels of red, green, blue and luminance, and whether the
// shadows or highlights of a channel are clipped (enough pixels at 0 or at
// 255 to be more than a speck).
#pragma once

#include <QImage>
#include <array>
#include <cstdint>

namespace viewer {

struct Histogram {
    enum Channel { Red, Green, Blue, Luminance, ChannelCount };
    std::array<std::array<std::uint32_t, 256>, ChannelCount> counts{};
    std::uint64_t pixels = 0;  // counted: fully transparent ones are not

    // Whether channel `channel` (Red, Green or Blue) has its shadows (level
    // 0) or highlights (level 255) clipped.
    bool shadowsClipped(Channel channel) const;
    bool highlightsClipped(Channel channel) const;

    // The highest count of a channel's levels 1 to 254 over all four
    // channels: the clipped ends would flatten the rest of the curves. The
    // highest count of all when every pixel sits at an end.
    std::uint32_t peak() const;
};

// Luminance weighs the channels as Rec. 601 does (as photo editors' luminosity
// histograms do). A premultiplied pixel counts at its own colour; a fully
// transparent one is not counted.
Histogram histogramOf(const QImage& picture);

}  // namespace viewer
