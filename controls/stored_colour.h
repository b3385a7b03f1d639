// Colours in a control's property store are the 32-bit colours the design
// values were written in: 0x00BBGGRR, or a system colour (top bit set plus an
// index) that follows the desktop's palette.
#pragma once

#include "platform/colours.h"
#include "platform/property_store.h"

#include <QColor>
#include <cstdint>

namespace viewer {

inline QColor readStoredColour(const platform::PropertyStore& store, const QString& key,
                               std::uint32_t defaultColour) {
    const std::int32_t stored = store.readLong(key, static_cast<std::int32_t>(defaultColour));
    return platform::toQColor(static_cast<std::uint32_t>(stored));
}

// Nothing is written for the default's colour, as it stands in the palette now.
inline void writeStoredColour(platform::PropertyStore& store, const QString& key,
                              const QColor& colour, std::uint32_t defaultColour) {
    const auto value = [](const QColor& c) {
        return static_cast<std::int32_t>(platform::fromQColor(c));
    };
    store.writeLong(key, value(colour), value(platform::toQColor(defaultColour)));
}

}  // namespace viewer
