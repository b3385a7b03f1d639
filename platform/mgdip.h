// The graphics module: the session around the image layer, the release lists
// of drawing objects, and (from mgdip_helpers.h) the box fit and the colour
// helpers.
#pragma once

#include "platform/gdip_objects.h"
#include "platform/mgdip_helpers.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace mGdip {

using platform::GpStatus;

// The session token: 0 while no session is open.
std::uintptr_t GdipToken();

// Opens the session unless one is open (then returns Ok at once). A start-up
// that fails shows, when asked, the modal box (prompt, buttons, title), then,
// when asked, ends the program; otherwise returns the failing status.
GpStatus InitGDIPlus(bool showMessage, bool endOnFailure, const QString& prompt, int buttons,
                     const QString& title);
// Closes the session, releasing the object lists first; nothing without one.
void TerminateGDIPlus();

// One release list: handles at indexes 1..count. The arrays are never shrunk.
template <typename T>
struct ReleaseList {
    std::int32_t count = 0;
    std::vector<T*> items;  // items[i - 1] holds index i
    void add(T* object) {
        if (count < 0) count = 0;
        if (static_cast<std::size_t>(count) < items.size()) items[static_cast<std::size_t>(count)] = object;
        else items.push_back(object);
        ++count;
    }
};

struct GdipObjectLists {
    ReleaseList<platform::GpPen> pens;
    ReleaseList<platform::GpBrush> brushes;
    ReleaseList<platform::GpStringFormat> stringFormats;
    ReleaseList<platform::GpMatrix> matrices;
};
GdipObjectLists& ReleaseLists();

// Deletes every listed object: pens, brushes, string formats, matrices, each
// list in ascending order; then all counts are 0.
void ReleaseGdipObjects();

// The start-up test: Ok when the image decoder can read JPEG and PNG files.
// Tests replace it to force a failing start-up and to count start-ups; an
// empty function restores the real test.
void SetStartupProbe(std::function<GpStatus()> probe);

}  // namespace mGdip
