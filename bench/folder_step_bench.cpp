// Stepping through a large folder with the arrow key, each time until the
// new photo's picture is drawn.
//   folder_step_bench generate DIR COUNT   a folder of COUNT camera JPEGs
//                                          (IMG_0001.JPG ...: hard links to 16
//                                          copies of one 12-megapixel file, in
//                                          turn, so that neighbours are
//                                          different files) and an .xmp
//                                          sidecar for each
//   folder_step_bench measure DIR STEPS [--no-preloading]
//                                          STEPS keys at a person's pace, and
//                                          bursts of keys faster than decodes
// The measured lines (medians, ms, key to picture drawn): "first_key_at_once_ms"
// and "first_key_ms" (the first step in a folder, pressed at once and a
// quarter of a second after the photo was drawn), "key_ms" (later steps, a
// third of a second apart), "cold_ms" (a photo no key led to: opened by the
// command, decoded after it was asked for), "burst_ms" (from the last of ten
// keys 5-25 ms apart to its photo drawn) and "listings" (how often the folder
// was read); "kept_bytes" (the pictures the window keeps) and
// "preload_worker_kb" (the preloading worker's resident size at the end).
#include "panel/photo_panel.h"
#include "panel/preview_loader.h"
#include "shell/main_window.h"
#include "shell/file_dialogs.h"
#include "shell/startup_strings.h"
#include "shell/user_settings.h"
#include "bench_support.h"
#include "test_photos.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

using benchsupport::Scene;

QString Name(int index) { return QStringLiteral("IMG_%1.JPG").arg(index, 4, 10, QLatin1Char('0')); }

int Generate(const QString& folder, int count) {
    QDir().mkpath(folder);
    const QByteArray jpeg =
        paneltest::WithExifJpeg(paneltest::Encode(Scene(4000, 3000), "jpeg", 92),
                                testsupport::BuildTiff(testsupport::CameraSpec()).bytes);
    constexpr int kBodies = 16;
    for (int body = 0; body < kBodies; ++body) {
        if (jpeg.isEmpty() ||
            !paneltest::WriteFile(QDir(folder).filePath(QStringLiteral(".body%1.jpg").arg(body)),
                                  jpeg))
            return 1;
    }
    for (int i = 1; i <= count; ++i) {
        const QString body = QDir(folder).filePath(QStringLiteral(".body%1.jpg").arg(i % kBodies));
        const QString photo = QDir(folder).filePath(Name(i));
        if (::link(QFile::encodeName(body).constData(), QFile::encodeName(photo).constData()) != 0)
            return 1;
        if (!paneltest::WriteFile(QDir(folder).filePath(Name(i).replace(".JPG", ".xmp")),
                                  "<x:xmpmeta/>"))
            return 1;
    }
    std::printf("%d photos of %.1f MB in %s\n", count, jpeg.size() / 1e6, qPrintable(folder));
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int Measure(const QString& folder, int steps, bool preloading) {
    QTemporaryDir settings;
    viewer::setSettingsFile(settings.filePath("settings.ini"));
    viewer::setStartupStrings();
    QString answer;
    viewer::setDialogHandlers(
        {[&](QWidget*) { return answer; }, [](QWidget*) { return QString(); }});
    QElapsedTimer timer;

    // Until the photo at `path` is drawn; -1 when another one is.
    const auto drawn = [&](viewer::MainWindow& window, const QString& path) {
        viewer::PhotoPanel* panel = window.panel();
        while (panel->previewPending()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        panel->repaint();
        const double ms = timer.nsecsElapsed() / 1e6;
        return panel->photoFile() == path.toStdString() ? ms : -1.0;
    };
    const auto look = [](int ms) {
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    const auto press = [](viewer::MainWindow& window) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QApplication::sendEvent(&window, &key);
    };
    const auto path = [&](int index) { return QDir(folder).filePath(Name(index)); };

    // The first step in a folder, in a window of its own that has just drawn
    // photo 1: pressed at once, or after a quarter of a second.
    const auto firstStep = [&](int waitMs) {
        viewer::MainWindow fresh;
        fresh.previews()->setPreloading(preloading);
        fresh.show();
        answer = path(1);
        timer.restart();
        fresh.openCommand();
        if (drawn(fresh, path(1)) < 0) return -1.0;
        look(waitMs);
        timer.restart();
        press(fresh);
        return drawn(fresh, path(2));
    };
    std::vector<double> atOnce, afterALook;
    for (int repeat = 0; repeat < 5; ++repeat) {
        atOnce.push_back(firstStep(0));
        afterALook.push_back(firstStep(250));
    }

    viewer::MainWindow window;
    window.previews()->setPreloading(preloading);
    window.show();
    answer = path(1);
    window.openCommand();
    drawn(window, path(1));
    std::vector<double> key, cold, burst;
    int index = 1;
    for (int step = 0; step < steps; ++step) {
        look(330);
        timer.restart();
        press(window);
        key.push_back(drawn(window, path(++index)));
        // Now and then a photo far off, by the command: no preload led to it.
        if (step % 10 == 9) {
            look(330);
            index += 58;  // not a neighbour of any copy kept
            answer = path(index);
            timer.restart();
            window.openCommand();
            cold.push_back(drawn(window, path(index)));
        }
    }
    // Gaps of 5-25 ms at random, 15 on average, the same in both modes. The
    // last key waits for the decode in flight to end, then for its own; with
    // keys evenly spaced the decodes fall on the same phase in every burst,
    // and where the first decode starts (later with preloading, as the first
    // keys find their pictures kept) would decide the wait, not the decodes.
    // Nine such gaps spread the last key over more than a decode.
    std::mt19937 gaps(2026);
    std::uniform_int_distribution<int> gapMs(5, 25);
    for (int repeat = 0; repeat < 41; ++repeat) {
        look(330);
        for (int k = 0; k < 10; ++k) {
            timer.restart();
            press(window);
            ++index;
            if (k < 9) look(gapMs(gaps));
        }
        burst.push_back(drawn(window, path(index)));
    }
    const auto failed = [](const std::vector<double>& values) {
        return std::any_of(values.begin(), values.end(), [](double ms) { return ms < 0; });
    };
    if (failed(atOnce) || failed(afterALook) || failed(key) || failed(cold) || failed(burst)) {
        std::fprintf(stderr, "a key or command showed another photo than asked for\n");
        return 1;
    }
    const long preloader = static_cast<long>(window.previews()->preloadWorkerPid());
    std::printf(
        "first_key_at_once_ms %.2f\nfirst_key_ms %.2f\nkey_ms %.2f\ncold_ms %.2f\nburst_ms "
        "%.2f\nlistings %d\nkept_bytes %lld\npreload_worker_kb %ld\n",
        Median(atOnce), Median(afterALook), Median(key), Median(cold), Median(burst),
        window.folderPhotos().listings(), static_cast<long long>(window.previews()->keptBytes()),
        preloader > 0 ? benchsupport::StatusKib("VmRSS:", preloader) : 0L);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "generate") return Generate(args[2], args[3].toInt());
    if ((args.size() == 4 || args.size() == 5) && args[1] == "measure")
        return Measure(QDir(args[2]).absolutePath(), args[3].toInt(),
                       args.size() == 4 || args[4] != "--no-preloading");
    std::fprintf(
        stderr,
        "usage: folder_step_bench generate DIR COUNT | measure DIR STEPS [--no-preloading]\n");
    return 2;
}
