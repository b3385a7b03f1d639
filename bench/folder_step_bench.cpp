// Opening the next photo of a large folder with the arrow key, against
// opening the same photo through the open command (its dialog answered at
// once, so that only the opening is timed).
//   folder_step_bench generate DIR COUNT   a folder of COUNT camera JPEGs
//                                          (IMG_0001.JPG ...: hard links to one
//                                          12-megapixel file) and an .xmp
//                                          sidecar for each
//   folder_step_bench measure DIR STEPS    STEPS photos opened one after the
//                                          other, alternately by key and by
//                                          the open command
// The measured lines are "first_key_at_once_ms", "first_key_ms" and
// "first_dialog_ms" (the first step in a folder: by key at once, by key and by
// command a quarter of a second after the photo opened; medians of five),
// "key_ms" and "dialog_ms" (medians of the later steps) and "listings".
#include "panel/photo_panel.h"
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
#include <unistd.h>
#include <vector>

namespace {

using benchsupport::Scene;

QString Name(int index) { return QStringLiteral("IMG_%1.JPG").arg(index, 4, 10, QLatin1Char('0')); }

int Generate(const QString& folder, int count) {
    QDir().mkpath(folder);
    const QString body = QDir(folder).filePath(".body.jpg");
    const QByteArray jpeg =
        paneltest::WithExifJpeg(paneltest::Encode(Scene(4000, 3000), "jpeg", 92),
                                testsupport::BuildTiff(testsupport::CameraSpec()).bytes);
    if (jpeg.isEmpty() || !paneltest::WriteFile(body, jpeg)) return 1;
    for (int i = 1; i <= count; ++i) {
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

int Measure(const QString& folder, int steps) {
    QTemporaryDir settings;
    viewer::setSettingsFile(settings.filePath("settings.ini"));
    viewer::setStartupStrings();
    QString answer;
    viewer::setDialogHandlers(
        {[&](QWidget*) { return answer; }, [](QWidget*) { return QString(); }});
    viewer::MainWindow window;
    window.show();
    QApplication::processEvents();

    const auto open = [&](int index) {
        answer = QDir(folder).filePath(Name(index));
        window.openCommand();
    };
    const auto right = [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QApplication::sendEvent(&window, &press);
    };
    const auto shown = [&] { return QString::fromStdString(window.panel()->photoFile()); };

    open(1);  // fonts, decoder plugins
    QElapsedTimer timer;
    // The first step in a folder, in a window of its own that has just opened
    // photo 1: by key, pressed at once or after the quarter of a second a
    // person takes at least to look and press; and, as the yardstick, by the
    // open command after the same quarter of a second.
    const auto firstStep = [&](int waitMs, bool byKey) {
        viewer::MainWindow fresh;
        fresh.show();
        answer = QDir(folder).filePath(Name(1));
        fresh.openCommand();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < waitMs) QApplication::processEvents(QEventLoop::AllEvents, 10);
        answer = QDir(folder).filePath(Name(2));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        timer.restart();
        if (byKey) QApplication::sendEvent(&fresh, &press);
        else fresh.openCommand();
        const double ms = timer.nsecsElapsed() / 1e6;
        return fresh.panel()->photoFile() == answer.toStdString() ? ms : -1.0;
    };
    std::vector<double> atOnce, afterALook, byCommand;
    for (int repeat = 0; repeat < 5; ++repeat) {
        atOnce.push_back(firstStep(0, true));
        afterALook.push_back(firstStep(250, true));
        byCommand.push_back(firstStep(250, false));
    }
    const double firstAtOnce = Median(atOnce), firstAfterALook = Median(afterALook),
                 firstCommand = Median(byCommand);
    right();
    const auto failed = [](const std::vector<double>& values) {
        return std::any_of(values.begin(), values.end(), [](double ms) { return ms < 0; });
    };
    if (shown() != QDir(folder).filePath(Name(2)) || failed(atOnce) || failed(afterALook) ||
        failed(byCommand))
        return 1;

    std::vector<double> key, dialog;
    for (int index = 3; index < 3 + steps; ++index) {
        timer.restart();
        if (index % 2) right();
        else open(index);
        (index % 2 ? key : dialog).push_back(timer.nsecsElapsed() / 1e6);
        if (shown() != QDir(folder).filePath(Name(index))) {
            std::fprintf(stderr, "step %d opened %s\n", index, qPrintable(shown()));
            return 1;
        }
    }
    std::printf(
        "first_key_at_once_ms %.2f\nfirst_key_ms %.2f\nfirst_dialog_ms %.2f\nkey_ms "
        "%.2f\ndialog_ms %.2f\n"
        "listings %d\n",
        firstAtOnce, firstAfterALook, firstCommand, Median(key), Median(dialog),
        window.folderPhotos().listings());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == "generate") return Generate(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == "measure") return Measure(args[2], args[3].toInt());
    std::fprintf(stderr, "usage: folder_step_bench generate DIR COUNT | measure DIR STEPS\n");
    return 2;
}
