#include "platform/colours.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform {
namespace {

struct SystemColourRole {
    int index;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The system colours by index, as the palette roles that play the same
// part in a Qt style.
constexpr SystemColourRole kSystemColours[] = {
    {0, QPalette::Active, QPalette::Mid},                 // scroll bar
    {1, QPalette::Active, QPalette::Dark},                // desktop
    {2, QPalette::Active, QPalette::Highlight},           // active caption
    {3, QPalette::Inactive, QPalette::Highlight},         // inactive caption
    {4, QPalette::Active, QPalette::Window},              // menu
    {5, QPalette::Active, QPalette::Base},                // window
    {6, QPalette::Active, QPalette::Shadow},              // window frame
    {7, QPalette::Active, QPalette::WindowText},          // menu text
    {8, QPalette::Active, QPalette::Text},                // window text
    {9, QPalette::Active, QPalette::HighlightedText},     // caption text
    {10, QPalette::Active, QPalette::Button},             // active border
    {11, QPalette::Inactive, QPalette::Button},           // inactive border
    {12, QPalette::Active, QPalette::Mid},                // application workspace
    {13, QPalette::Active, QPalette::Highlight},          // highlight
    {14, QPalette::Active, QPalette::HighlightedText},    // highlight text
    {15, QPalette::Active, QPalette::Button},             // button face
    {16, QPalette::Active, QPalette::Dark},               // button shadow
    {17, QPalette::Disabled, QPalette::Text},             // grey text
    {18, QPalette::Active, QPalette::ButtonText},         // button text
    {19, QPalette::Inactive, QPalette::HighlightedText},  // inactive caption text
    {20, QPalette::Active, QPalette::Light},              // button highlight
    {21, QPalette::Active, QPalette::Shadow},             // 3-D dark shadow
    {22, QPalette::Active, QPalette::Midlight},           // 3-D light
    {23, QPalette::Active, QPalette::ToolTipText},        // tooltip text
    {24, QPalette::Active, QPalette::ToolTipBase},        // tooltip background
    {26, QPalette::Active, QPalette::Link},               // hot-tracked item
    {27, QPalette::Active, QPalette::Highlight},          // active caption gradient
    {28, QPalette::Inactive, QPalette::Highlight},        // inactive caption gradient
    {29, QPalette::Active, QPalette::Highlight},          // menu highlight
    {30, QPalette::Active, QPalette::Window},             // menu bar
};

bool isSystemColour(std::uint32_t colour) { return (colour & kSystemColourFlag) != 0; }

}  // namespace

std::uint32_t resolveColour(std::uint32_t colour) {
    if (!isSystemColour(colour)) return colour & 0x00FFFFFFu;
    const int index = static_cast<int>(colour & 0xFFu);
    const QPalette palette = QGuiApplication::palette();
    for (const SystemColourRole& entry : kSystemColours) {
        if (entry.index == index) return fromQColor(palette.color(entry.group, entry.role));
    }
    return 0;
}

QColor toQColor(std::uint32_t colour) {
    const std::uint32_t rgb = resolveColour(colour);
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

std::uint32_t fromQColor(const QColor& colour) {
    return static_cast<std::uint32_t>(colour.red()) |
           (static_cast<std::uint32_t>(colour.green()) << 8) |
           (static_cast<std::uint32_t>(colour.blue()) << 16);
}

}  // namespace platform
