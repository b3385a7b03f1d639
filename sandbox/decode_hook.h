// The one seam between the worker and the decoders it runs: what the worker
// hands a decode (the opened photo, the size wanted, what the viewer knows
// of the format) and the plain data it gets back. The worker does the rest
// (confinement, the socket, the memory file); the decoders know nothing of
// it.
#pragma once

#include "sandbox/protocol.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace sandbox {

struct DecodeRequest {
    std::uint64_t id = 0;  // the viewer's number for it
    // The opened photo. Its file offset is shared with the viewer: read it
    // at positions (pread), never from the offset.
    int photo = -1;
    // The box the picture is fitted within, keeping the photo's aspect, in
    // device pixels: as the panel fits a photo into its preview column.
    QSize target;
    FormatHint format = FormatHint::Unknown;
};

struct DecodeOutcome {
    QImage picture;       // upright, fitted within target; null when there is none
    QSize photoSize;      // the photo's own size, upright; empty when unknown
    int orientation = 1;  // the Exif orientation the stored pixels were turned by
    QString reason;       // why there is no picture, for the user
    // Released with the outcome, once it is sent: the photo's mapping.
    std::shared_ptr<const void> source;
};

struct Decoders {
    // Loads each decoder and whatever it reads from disk, while files can
    // still be opened (the worker runs it before it confines itself).
    std::function<void()> warmUp;
    std::function<DecodeOutcome(const DecodeRequest&)> decode;
};

// The photo road's decoders (photo/): our JPEG DC decoder and libjpeg, Qt's
// plugins for PNG, GIF, BMP, TIFF, WebP and ICO, libheif for HEIF and AVIF,
// LibRaw for the previews in camera raw files; each within the budgets a
// hostile file is held to, counted before it decodes.
Decoders photoDecoders();

}  // namespace sandbox
