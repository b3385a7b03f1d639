// One measurement of the photo panel, per process, so that each has its own
// peak memory (bench/panel_open.sh runs them and sums up):
//   panel_bench generate DIR         writes photo_12mp.jpg, photo_24mp.jpg,
//                                    photo_50mp.jpg with a camera's metadata, and
//                                    a small warmup.jpg
//   panel_bench open FILE WARMUP     time and peak memory of viewer::PhotoPanel::openPhoto
//                                    until its preview is drawn (the decoder
//                                    worker beside this build draws it)
//   panel_bench full FILE WARMUP     the same for a full-size decode followed
//                                    by a scaling to the preview's size
//   panel_bench cost FILE WARMUP     openPhoto of any file, a photo or not (the
//                                    crafted files of bench/hostile_cost.sh)
// The measured lines are "ms <time>", "peak_kib <growth of the peak>" and
// "worker_peak_kib <growth of the worker's peak>" (-1 when the worker ended
// meanwhile), "hwm_kib" and "worker_hwm_kib" (both processes' whole peak
// resident size); the cost mode adds "opened <0 or 1>", "entries <count of the
// list>" and "reason <why no picture>".
#include "panel/photo_panel.h"
#include "panel/preview_loader.h"
#include "platform/layout.h"
#include "bench_support.h"
#include "test_photos.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QTimer>
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
    const QByteArray warmUp =
        paneltest::WithExifJpeg(paneltest::Encode(Scene(640, 480), "jpeg", 92), block);
    return paneltest::WriteFile(QDir(folder).filePath("warmup.jpg"), warmUp) ? 0 : 1;
}

// Asleep in the event loop until the panel's photo is drawn.
bool WaitForPreview(const viewer::PhotoPanel& panel) {
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(20);
    while (panel.previewPending()) {
        if (timer.elapsed() > 120000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Both measurements start alike: the application, the panel and its decoder
// worker (fonts and decoders loaded by a first small photo), then the peaks
// are reset.
int Measure(const QString& mode, const QString& path, const QString& warmUp) {
    viewer::PreviewLoader previews;
    viewer::PhotoPanel panel(nullptr, &previews);
    panel.resize(viewer::PhotoPanel::kPanelWidth, 418);
    panel.openPhoto(warmUp);
    if (!WaitForPreview(panel) || !panel.reason().isEmpty()) {
        std::fprintf(stderr, "no preview of %s: %s\n", qPrintable(warmUp),
                     qPrintable(panel.reason()));
        return 1;
    }
    const long worker = previews.workerPid();
    if (!ResetPeak() || !ResetPeak(worker)) {
        std::fprintf(stderr, "cannot reset the peak (/proc/PID/clear_refs)\n");
        return 1;
    }
    const long before = StatusKib("VmRSS:");
    const long workerBefore = StatusKib("VmRSS:", worker);
    QElapsedTimer timer;
    timer.start();
    if (mode == "open" || mode == "cost") {
        panel.openPhoto(path);
        if (!WaitForPreview(panel)) {
            std::fprintf(stderr, "no answer for %s\n", qPrintable(path));
            return 1;
        }
        if (mode == "open" &&
            (panel.photoFile() != path.toStdString() || !panel.reason().isEmpty())) {
            std::fprintf(stderr, "not drawn: %s: %s\n", qPrintable(path),
                         qPrintable(panel.reason()));
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
        const QImage preview =
            full.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (preview.isNull()) return 1;
    }
    const qint64 nanoseconds = timer.nsecsElapsed();
    const bool sameWorker = previews.workerPid() == worker;
    std::printf("ms %.2f\npeak_kib %ld\nworker_peak_kib %ld\n", nanoseconds / 1e6,
                StatusKib("VmHWM:") - before,
                sameWorker ? StatusKib("VmHWM:", worker) - workerBefore : -1L);
    // The whole of both processes at their peaks since the reset.
    std::printf("hwm_kib %ld\nworker_hwm_kib %ld\n", StatusKib("VmHWM:"),
                sameWorker ? StatusKib("VmHWM:", worker) : -1L);
    if (mode == "cost") {
        std::vector<std::string> labels, values;
        panel.exifData(labels, values);
        // A file that does not open leaves the warm-up photo's list.
        const bool opened = panel.photoFile() == path.toStdString();
        std::printf("opened %d\nentries %zu\nreason %s\n", opened ? 1 : 0,
                    opened ? labels.size() : 0,
                    panel.reason().isEmpty() ? "-" : panel.reason().toUtf8().constData());
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
