// One measurement of opening a HEIF or raw photo, per process, so that each
// has its own peak memory (bench/photo_open.sh runs them and sums up):
//   photo_open_bench generate DIR        writes scene_12mp.jpg and scene_48mp.jpg
//                                         (for heif-enc), raw_24mp.dng with a
//                                         1620 x 1080 JPEG preview, preview.jpg
//                                         (that preview as a JPEG file of its own,
//                                         listing the same metadata), and small
//                                         warmup.jpg and warmup.dng
//   photo_open_bench open FILE WARMUP    time and peak memory of viewer::PhotoPanel::openPhoto
//   photo_open_bench decode FILE WARMUP  the same for libheif decoding the whole
//                                         primary image to RGB, as a viewer
//                                         without thumbnails or scaled decoding
//                                         would
// The measured lines are "ms <time>" and "peak_kib <growth of the peak>".
#include "panel/photo_panel.h"
#include "dng_writer.h"
#include "bench_support.h"
#include "test_photos.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using benchsupport::ResetPeak;
using benchsupport::Scene;
using benchsupport::StatusKib;

bool Save(const QString& folder, const char* name, const QByteArray& bytes) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    if (bytes.isEmpty() || !paneltest::WriteFile(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s %.1f MB\n", name, bytes.size() / 1e6);
    return true;
}

int Generate(const QString& folder) {
    QDir().mkpath(folder);
    const std::vector<std::uint8_t> block = testsupport::BuildTiff(testsupport::CameraSpec()).bytes;
    if (!Save(folder, "scene_12mp.jpg", paneltest::Encode(Scene(4032, 3024), "jpeg", 92)) ||
        !Save(folder, "scene_48mp.jpg", paneltest::Encode(Scene(8064, 6048), "jpeg", 92)) ||
        !Save(folder, "warmup.jpg",
              paneltest::WithExifJpeg(paneltest::Encode(Scene(640, 480), "jpeg", 92), block)))
        return 1;

    // A 24-megapixel raw file whose camera embedded a 1620 x 1080 preview,
    // and that preview as a JPEG file with the same metadata: the raw file's
    // directories as its Exif block, so that both list the same rows.
    const QByteArray preview = paneltest::Encode(Scene(1620, 1080), "jpeg", 92);
    testsupport::DngSpec dng;
    dng.width = 6000;
    dng.height = 4000;
    dng.previewBytes.assign(preview.begin(), preview.end());
    dng.previewWidth = 1620;
    dng.previewHeight = 1080;
    dng.exif = testsupport::CameraSpec().exif;
    std::uint32_t directories = 0;
    const std::vector<std::uint8_t> raw = testsupport::Dng(dng, &directories);
    if (!Save(folder, "raw_24mp.dng", paneltest::Bytes(raw)) ||
        !Save(folder, "preview.jpg",
              paneltest::WithExifJpeg(
                  preview, std::vector<std::uint8_t>(raw.begin(), raw.begin() + directories))))
        return 1;
    const QByteArray small = paneltest::Encode(Scene(320, 240), "jpeg", 92);
    dng.width = 640;
    dng.height = 480;
    dng.previewBytes.assign(small.begin(), small.end());
    dng.previewWidth = 320;
    dng.previewHeight = 240;
    return Save(folder, "warmup.dng", paneltest::Bytes(testsupport::Dng(dng))) ? 0 : 1;
}

// What a viewer without thumbnails or scaled decoding does: the whole
// primary image, decoded by libheif to RGB.
bool DecodeWhole(const QString& path) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool decoded =
        heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code ==
            heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
                .code == heif_error_Ok;
    if (image) heif_image_release(image);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return decoded;
}

int Measure(const QString& mode, const QString& path, const QString& warmUp) {
    viewer::PhotoPanel panel;
    panel.resize(viewer::PhotoPanel::kPanelWidth, 418);
    // Fonts, plugins and decoders loaded by a first small photo, the same way
    // in both modes: what the allocator keeps from it changes the next peak.
    panel.openPhoto(warmUp);
    if (panel.photoFile() != warmUp.toStdString()) {
        std::fprintf(stderr, "not opened: %s\n", qPrintable(warmUp));
        return 1;
    }
    if (!ResetPeak()) {
        std::fprintf(stderr, "cannot reset the peak (/proc/self/clear_refs)\n");
        return 1;
    }
    const long before = StatusKib("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    if (mode == "open") {
        panel.openPhoto(path);
        if (panel.photoFile() != path.toStdString()) {
            std::fprintf(stderr, "not opened: %s\n", qPrintable(path));
            return 1;
        }
    } else if (!DecodeWhole(path)) {
        std::fprintf(stderr, "cannot decode %s\n", qPrintable(path));
        return 1;
    }
    const qint64 nanoseconds = timer.nsecsElapsed();
    std::printf("ms %.2f\npeak_kib %ld\n", nanoseconds / 1e6, StatusKib("VmHWM:") - before);
    if (mode == "open") std::printf("rows %zu\n", panel.metadata().EntryCount());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "generate") return Generate(args[2]);
    if (args.size() == 4 && (args[1] == "open" || args[1] == "decode"))
        return Measure(args[1], args[2], args[3]);
    std::fprintf(stderr,
                 "usage: photo_open_bench generate DIR\n"
                 "       photo_open_bench open|decode PHOTO WARM_UP_PHOTO\n");
    return 2;
}
