// open_photo_cost FILE WARMUP: time and peak memory of one voExif::OpenPhoto
// of FILE, in a process of its own, after a first small photo (WARMUP) has
// loaded the fonts and decoder plugins; also when the panel refuses the file.
// Prints "opened yes|no", "ms <time>" and "peak_kib <growth of the peak>".
// bench/costly_files.sh runs it.
#include "panel/vo_exif.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// Resident and peak resident memory, KiB.
long StatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::stol(line.substr(length + 1));
    }
    return -1;
}

// Lowers the peak to the current resident size, so that the peak afterwards
// is what the measured step needed on top of what was already there.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: open_photo_cost PHOTO WARM_UP_PHOTO\n");
        return 2;
    }
    voExif panel;
    panel.resize(voExif::kPanelWidth, 418);
    panel.OpenPhoto(args[2]);
    if (!ResetPeak()) {
        std::fprintf(stderr, "cannot reset the peak (/proc/self/clear_refs)\n");
        return 1;
    }
    const long before = StatusKib("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    panel.OpenPhoto(args[1]);
    const qint64 nanoseconds = timer.nsecsElapsed();
    std::printf("opened %s\nms %.2f\npeak_kib %ld\n", panel.PhotoFile() == args[1].toStdString() ? "yes" : "no",
                nanoseconds / 1e6, StatusKib("VmHWM:") - before);
    return 0;
}
