// Start-up: refuse a second copy, set the module strings, show the main window.
#include "platform/instance.h"
#include "shell/frm_main.h"
#include "shell/mod_main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    // Before anything else, and silently: the running copy is not told.
    if (platform::PrevInstance()) return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("exifviewer"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/app_icon.png")));
    // The toolkit's own texts (file dialog, message box buttons) in Chinese,
    // like the rest of the interface.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }

    modMain::SetModuleStrings();

    auto* mainWindow = new frmMain();
    mainWindow->ShowCentred();
    return QApplication::exec();
}
