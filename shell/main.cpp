// Start-up: hand a second start's photo to the running copy, set the
// start-up strings, show the main window, open the photo named on the
// command line.
#include "platform/instance.h"
#include "shell/command_line.h"
#include "shell/main_window.h"
#include "shell/startup_strings.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// A second start ends silently, with status 0, whether or not the running
// copy took its photo. Only when the running copy ended meanwhile (the lock
// is free again) does this start go on as the first.
bool HandedOverToRunningCopy(int argc, char** argv) {
    if (!platform::anotherCopyRunning()) return false;
    bool delivered = false;
    {
        QCoreApplication app(argc, argv);
        delivered = platform::handOver(
            viewer::photoArgument(QCoreApplication::arguments(), QDir::currentPath()));
    }
    return delivered || platform::anotherCopyRunning();
}

}  // namespace

int main(int argc, char** argv) {
    if (HandedOverToRunningCopy(argc, argv)) return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("exifviewer"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/app_icon.png")));
    // The toolkit's own texts (file dialog, message box buttons) in Chinese,
    // like the rest of the interface.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    viewer::setStartupStrings();

    auto* mainWindow = new viewer::MainWindow();
    // Without the socket this copy works alone, and so do later starts.
    platform::InstanceServer server;
    QObject::connect(&server, &platform::InstanceServer::received, mainWindow,
                     &viewer::MainWindow::takeHandOver);
    if (!server.listen()) platform::workAlone();

    mainWindow->showCentred();
    mainWindow->openPath(viewer::photoArgument(QApplication::arguments(), QDir::currentPath()));
    return QApplication::exec();
}
