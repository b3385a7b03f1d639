#include "panel/preview_loader.h"

#include "photo/opened_photo.h"
#include "photo/photo_file.h"

namespace viewer {
namespace {

// The worker's hints follow the photo road's formats, with Unknown before them.
static_assert(static_cast<int>(sandbox::FormatHint::Jpeg) ==
              static_cast<int>(photo::Format::Jpeg) + 1);
static_assert(static_cast<int>(sandbox::FormatHint::Raw) ==
              static_cast<int>(photo::Format::Raw) + 1);

sandbox::FormatHint hintOf(photo::Format format) {
    return static_cast<sandbox::FormatHint>(static_cast<int>(format) + 1);
}

}  // namespace

PreviewLoader::PreviewLoader(QObject* parent)
    : PreviewLoader(sandbox::DecoderClient::Options(), parent) {}

PreviewLoader::PreviewLoader(sandbox::DecoderClient::Options options, QObject* parent)
    : QObject(parent), client_(std::move(options)) {
    connect(&client_, &sandbox::DecoderClient::decoded, this, &PreviewLoader::loaded);
}

void PreviewLoader::start() { client_.start(); }

quint64 PreviewLoader::load(const photo::OpenedPhoto& photo, const QSize& box) {
    // A photo that is not open still gets its answer, from the client.
    const int descriptor = photo.file() ? photo.file()->descriptor() : -1;
    return client_.request(descriptor, hintOf(photo.format()), box);
}

void PreviewLoader::cancel() { client_.cancel(); }

}  // namespace viewer
