// What the decoder worker costs, in one process so that every figure comes
// from the same run (bench/worker_roundtrip.sh runs it):
//   worker_bench WORKER PHOTO RUNS
// For RUNS rounds each, alternating:
//   road      the photo road in this process: it opens the photo and
//             decodes it at the preview's size (OpenedPhoto::open and
//             preview)
//   hook      the worker's decode, run in this process
//   worker    the same decode through the worker: request, reply, mapping
// and for RUNS fresh clients: how long start() holds the caller, and how
// long the worker takes to be ready. Then the worker's resident memory,
// idle and after the decodes. Prints "name median min max" lines in ms, and
// "rss_idle_kib", "rss_decoded_kib", "hwm_kib".
//   worker_bench startup WORKER with|without
// A viewer's start in a process of its own: the application, a window shown
// and the first round of its event loop, with or without starting the
// worker first; prints "startup_ms <time since main>".
#include "photo/opened_photo.h"
#include "platform/layout.h"
#include "sandbox/decode_hook.h"
#include "sandbox/decoder_client.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void report(const char* name, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const double median = values.size() % 2
                              ? values[values.size() / 2]
                              : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    std::printf("%-12s %8.2f %8.2f %8.2f\n", name, median, values.front(), values.back());
}

long statusKib(qint64 pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Waits in the event loop as the viewer does, asleep until something
// comes (processEvents with a time would poll and take a core from the
// worker); the tick only lets the time limit be seen.
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (timer.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The preview's size for the photo, as the panel fits it.
QSize previewSize(const QString& path) {
    photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
    if (!photo.isOpen()) return QSize();
    std::int32_t width = photo.header().size.width();
    std::int32_t height = photo.header().size.height();
    platform::fitToBox(200, 418, width, height);
    return QSize(width, height);
}

double roadMs(const QString& path, const QSize& target) {
    QElapsedTimer timer;
    timer.start();
    photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
    const bool decoded = photo.isOpen() && photo.preview(target).ok();
    const double ms = timer.nsecsElapsed() / 1e6;
    return decoded ? ms : -1;
}

double hookMs(const sandbox::Decoders& decoders, const QString& path, const QSize& target) {
    QElapsedTimer timer;
    timer.start();
    const int photo = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const sandbox::DecodeOutcome outcome =
        decoders.decode(sandbox::DecodeRequest{0, photo, target, sandbox::FormatHint::Jpeg});
    ::close(photo);
    const double ms = timer.nsecsElapsed() / 1e6;
    return outcome.picture.isNull() ? -1 : ms;
}

double workerMs(sandbox::DecoderClient& client, const QString& path, const QSize& target) {
    std::optional<sandbox::DecodedPicture> answer;
    const auto connection = QObject::connect(
        &client, &sandbox::DecoderClient::decoded,
        [&](quint64, const sandbox::DecodedPicture& picture) { answer = picture; });
    QElapsedTimer timer;
    timer.start();
    const int photo = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    client.request(photo, sandbox::FormatHint::Jpeg, target);
    ::close(photo);
    const bool answered = waitFor([&] { return answer.has_value(); });
    const double ms = timer.nsecsElapsed() / 1e6;
    QObject::disconnect(connection);
    return answered && answer->ok() ? ms : -1;
}

sandbox::DecoderClient::Options options(const QString& worker) {
    sandbox::DecoderClient::Options options;
    options.program = worker;
    return options;
}

}  // namespace

int startup(const QString& worker, bool withWorker, const QElapsedTimer& sinceMain) {
    std::optional<sandbox::DecoderClient> client;
    if (withWorker) {
        client.emplace(options(worker));
        client->start();
    }
    QWidget window;
    window.resize(737, 528);
    window.show();
    QCoreApplication::processEvents();
    std::printf("startup_ms %.2f\n", sinceMain.nsecsElapsed() / 1e6);
    return 0;
}

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "startup")
        return startup(args[2], args[3] == "with", sinceMain);
    if (args.size() != 4) {
        std::fprintf(stderr,
                     "usage: worker_bench WORKER PHOTO RUNS\n"
                     "       worker_bench startup WORKER with|without\n");
        return 2;
    }
    const QString worker = args[1];
    const QString path = args[2];
    const int runs = args[3].toInt();
    const QSize target = previewSize(path);
    if (target.isEmpty() || runs < 1) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    std::printf("photo %s, preview %d x %d, %d runs\n", qPrintable(path), target.width(),
                target.height(), runs);

    // Starting: how long the caller is held, how long until the worker is ready.
    std::vector<double> startCall, ready;
    for (int i = 0; i < runs; ++i) {
        sandbox::DecoderClient client(options(worker));
        bool isReady = false;
        QObject::connect(&client, &sandbox::DecoderClient::workerReady, [&] { isReady = true; });
        QElapsedTimer timer;
        timer.start();
        client.start();
        startCall.push_back(timer.nsecsElapsed() / 1e6);
        if (!waitFor([&] { return isReady; })) return 1;
        ready.push_back(timer.nsecsElapsed() / 1e6);
    }

    sandbox::DecoderClient client(options(worker));
    bool isReady = false;
    QObject::connect(&client, &sandbox::DecoderClient::workerReady, [&] { isReady = true; });
    client.start();
    if (!waitFor([&] { return isReady; })) return 1;
    const long idleKib = statusKib(client.workerPid(), "VmRSS");
    const sandbox::Decoders decoders = sandbox::photoDecoders();
    decoders.warmUp();
    // One of each first: plugins, caches and the page cache are warm after.
    const struct {
        const char* name;
        double ms;
    } first[] = {{"road", roadMs(path, target)},
                 {"hook", hookMs(decoders, path, target)},
                 {"worker", workerMs(client, path, target)}};
    for (const auto& decode : first) {
        if (decode.ms >= 0) continue;
        std::fprintf(stderr, "the %s decode failed\n", decode.name);
        return 1;
    }
    std::vector<double> road, hook, viaWorker, overhead;
    for (int i = 0; i < runs; ++i) {
        road.push_back(roadMs(path, target));
        const double inProcess = hookMs(decoders, path, target);
        const double through = workerMs(client, path, target);
        hook.push_back(inProcess);
        viaWorker.push_back(through);
        overhead.push_back(through - inProcess);
    }
    std::printf("%-12s %8s %8s %8s\n", "ms", "median", "min", "max");
    report("road", road);
    report("hook", hook);
    report("worker", viaWorker);
    report("overhead", overhead);
    report("start_call", startCall);
    report("ready", ready);
    std::printf("rss_idle_kib %ld\nrss_decoded_kib %ld\nhwm_kib %ld\n", idleKib,
                statusKib(client.workerPid(), "VmRSS"), statusKib(client.workerPid(), "VmHWM"));
    return 0;
}
