#include "sandbox/decode_hook.h"

#include "photo/opened_photo.h"
#include "photo/photo_file.h"
#include "photo/warm_up.h"

#include <fcntl.h>
#include <optional>

namespace sandbox {
namespace {

// The hints follow the photo road's formats, with Unknown before them.
static_assert(static_cast<int>(FormatHint::Jpeg) == static_cast<int>(photo::Format::Jpeg) + 1);
static_assert(static_cast<int>(FormatHint::Raw) == static_cast<int>(photo::Format::Raw) + 1);

std::optional<photo::Format> formatOf(FormatHint hint) {
    if (hint == FormatHint::Unknown) return std::nullopt;
    return static_cast<photo::Format>(static_cast<int>(hint) - 1);
}

DecodeOutcome decodeWithPhotoRoad(const DecodeRequest& request) {
    DecodeOutcome outcome;
    // The road closes the descriptor it adopts; the worker closes its own.
    const photo::PhotoFile::Opened opened =
        photo::PhotoFile::adopt(::fcntl(request.photo, F_DUPFD_CLOEXEC, 0));
    if (!opened.file) {
        outcome.reason = photo::reasonText(opened.problem);
        return outcome;
    }
    const photo::Picture picture =
        photo::decodePhoto(opened.file, formatOf(request.format), request.target);
    outcome.photoSize = picture.size;
    outcome.orientation = picture.orientation;
    outcome.source = picture.source;
    if (picture.ok()) outcome.picture = picture.image;
    else
        outcome.reason =
            photo::reasonText(picture.problem == photo::Problem::None ? photo::Problem::DecodeFailed
                                                                      : picture.problem);
    return outcome;
}

}  // namespace

Decoders photoDecoders() { return Decoders{photo::warmUpDecoders, decodeWithPhotoRoad}; }

}  // namespace sandbox
