#include "platform/mgdip.h"

#include "platform/runtime.h"

#include <QImageReader>
#include <algorithm>

namespace mGdip {
namespace {

using platform::GenericError;
using platform::Ok;

// The start-up record of the classic session interface; only version 1 exists.
struct GdiplusStartupInput {
    std::uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    bool SuppressBackgroundThread = false;
    bool SuppressExternalCodecs = false;
};

std::uintptr_t token = 0;
std::uintptr_t lastToken = 0;

std::function<GpStatus()>& StartupProbe() {
    static std::function<GpStatus()> probe;
    return probe;
}

GpStatus DecoderReady() {
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    return formats.contains("jpeg") && formats.contains("png") ? Ok : GenericError;
}

GpStatus GdiplusStartup(std::uintptr_t* sessionToken, const GdiplusStartupInput& input) {
    if (input.GdiplusVersion != 1) return platform::UnsupportedGdiplusVersion;
    const GpStatus status = StartupProbe() ? StartupProbe()() : DecoderReady();
    if (status != Ok) return status;
    *sessionToken = ++lastToken;
    if (*sessionToken == 0) *sessionToken = ++lastToken;  // 0 means "no session"
    return Ok;
}

void GdiplusShutdown(std::uintptr_t) {}

template <typename T>
void ReleaseAll(ReleaseList<T>& list, platform::GpStatus (*release)(T*)) {
    const std::size_t count =
        std::min(static_cast<std::size_t>(std::max(0, list.count)), list.items.size());
    for (std::size_t i = 0; i < count; ++i) {
        release(list.items[i]);
        list.items[i] = nullptr;  // no dangling handle survives in the array
    }
    list.count = 0;
}

}  // namespace

std::uintptr_t GdipToken() { return token; }

GpStatus InitGDIPlus(bool showMessage, bool endOnFailure, const QString& prompt, int buttons,
                     const QString& title) {
    if (token != 0) return Ok;
    const GdiplusStartupInput input;
    const GpStatus status = GdiplusStartup(&token, input);
    if (status == Ok) return Ok;
    token = 0;
    if (showMessage) platform::MsgBox(prompt, buttons, title);
    if (endOnFailure) platform::EndProgram(1);
    return status;
}

void TerminateGDIPlus() {
    if (token == 0) return;
    ReleaseGdipObjects();
    GdiplusShutdown(token);
    token = 0;
}

GdipObjectLists& ReleaseLists() {
    static GdipObjectLists lists;
    return lists;
}

void ReleaseGdipObjects() {
    GdipObjectLists& lists = ReleaseLists();
    ReleaseAll(lists.pens, &platform::GdipDeletePen);
    ReleaseAll(lists.brushes, &platform::GdipDeleteBrush);
    ReleaseAll(lists.stringFormats, &platform::GdipDeleteStringFormat);
    ReleaseAll(lists.matrices, &platform::GdipDeleteMatrix);
}

void SetStartupProbe(std::function<GpStatus()> probe) { StartupProbe() = std::move(probe); }

}  // namespace mGdip
