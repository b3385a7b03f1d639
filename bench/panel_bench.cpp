// One measurement of the photo panel, per process, so that each has its own
// peak memory (bench/panel_open.sh runs them and sums up):
//   panel_bench generate DIR         writes photo_12mp.jpg, photo_24mp.jpg,
//                                    photo_50mp.jpg with a camera's metadata, and
//                                    a small warmup.jpg
//   panel_bench open FILE WARMUP     time and peak memory of viewer::PhotoPanel::openPhoto
//   panel_bench full FILE WARMUP     the same for a full-size decode followed
//                                    by a scaling to the preview's size
//   panel_bench cost FILE WARMUP     openPhoto of any file, a photo or not (the
//                                    crafted files of bench/hostile_cost.sh)
// The measured lines are "ms <time>" and "peak_kib <growth of the peak>"; the
// cost mode adds "opened <0 or 1>" and "entries <count of the list>".
#include "panel/photo_panel.h"
#include "platform/layout.h"
#include "bench_support.h"
#include "test_photos.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using benchsupport::ResetPeak;
using benchsupport::Scene;
using benchsupport::StatusKib;

struct Size {
    const char* name;
    int width;
    int height;
};

constexpr Size kSizes[] = {
    {"photo_12mp.jpg", 4000, 3000},
    {"photo_24mp.jpg", 6000, 4000},
    {"photo_50mp.jpg", 8688, 5792},
};

int Generate(const QString& folder) {
    QDir().mkpath(folder);
    const std::vector<std::uint8_t> block = testsupport::BuildTiff(testsupport::CameraSpec()).bytes;
    for (const Size& size : kSizes) {
        const QByteArray jpeg = paneltest::WithExifJpeg(
            paneltest::Encode(Scene(size.width, size.height), "jpeg", 92), block);
        const QString path = QDir(folder).filePath(QString::fromLatin1(size.name));
        if (jpeg.isEmpty() || !paneltest::WriteFile(path, jpeg)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s %dx%d %.1f MB\n", size.name, size.width, size.height, jpeg.size() / 1e6);
    }
    const QByteArray warmUp = paneltest::WithExifJpeg(paneltest::Encode(Scene(640, 480), "jpeg", 92), block);
    return paneltest::WriteFile(QDir(folder).filePath("warmup.jpg"), warmUp) ? 0 : 1;
}

// Both measurements start alike: the application, the panel (fonts and
// decoder plugins loaded by a first small photo), then the peak is reset.
int Measure(const QString& mode, const QString& path, const QString& warmUp) {
    viewer::PhotoPanel panel;
    panel.resize(viewer::PhotoPanel::kPanelWidth, 418);
    panel.openPhoto(warmUp);
    if (!ResetPeak()) {
        std::fprintf(stderr, "cannot reset the peak (/proc/self/clear_refs)\n");
        return 1;
    }
    const long before = StatusKib("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    if (mode == "open" || mode == "cost") {
        panel.openPhoto(path);
        if (mode == "open" && panel.photoFile() != path.toStdString()) {
            std::fprintf(stderr, "not opened: %s\n", qPrintable(path));
            return 1;
        }
    } else {
        QImageReader reader(path);
        reader.setAutoTransform(false);
        QImage full;
        if (!reader.read(&full)) {
            std::fprintf(stderr, "cannot decode %s\n", qPrintable(path));
            return 1;
        }
        std::int32_t width = full.width();
        std::int32_t height = full.height();
        platform::fitToBox(viewer::PhotoPanel::kPreviewWidth, 418, width, height);
        const QImage preview = full.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (preview.isNull()) return 1;
    }
    const qint64 nanoseconds = timer.nsecsElapsed();
    std::printf("ms %.2f\npeak_kib %ld\n", nanoseconds / 1e6, StatusKib("VmHWM:") - before);
    if (mode == "cost") {
        std::vector<std::string> labels, values;
        panel.exifData(labels, values);
        // A file that does not open leaves the warm-up photo's list.
        const bool opened = panel.photoFile() == path.toStdString();
        std::printf("opened %d\nentries %zu\n", opened ? 1 : 0, opened ? labels.size() : 0);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "generate") return Generate(args[2]);
    if (args.size() == 4 && (args[1] == "open" || args[1] == "full" || args[1] == "cost"))
        return Measure(args[1], args[2], args[3]);
    std::fprintf(stderr,
                 "usage: panel_bench generate DIR\n"
                 "       panel_bench open|full|cost PHOTO WARM_UP_PHOTO\n");
    return 2;
}
