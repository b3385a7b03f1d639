// Draws every design-time picture and writes it as PNG into the folder given
// on the command line (assets/pictures/ in the source tree).

#include "assets/generator/app_icon.h"
#include "assets/generator/band_background.h"
#include "assets/generator/hand_cursor.h"
#include "assets/generator/header_band.h"
#include "assets/generator/hint_icon.h"
#include "assets/generator/tool_buttons.h"
#include "assets/generator/window_buttons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

namespace {

// Where each button sits on the band: its picture carries that piece of band.
struct ToolButtonPlace {
    const char* name;
    ToolIcon icon;
    const char* caption;
    int left;
};

constexpr ToolButtonPlace kToolButtons[] = {
    {"open", ToolIcon::Landscape, "打开图像", 435},
    {"save", ToolIcon::Floppy, "保存信息", 520},
};

struct WindowButtonPlace {
    const char* name;
    WindowGlyph glyph;
    int left;
};

constexpr WindowButtonPlace kWindowButtons[] = {
    {"menu", WindowGlyph::Menu, 653},
    {"min", WindowGlyph::Minimise, 681},
    {"close", WindowGlyph::Close, 709},
};

bool save(const QDir& folder, const QString& name, const QImage& image) {
    const QString path = folder.filePath(name);
    if (!image.save(path, "PNG")) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << "  " << image.width() << 'x' << image.height() << '\n';
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Text needs a GUI application, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    if (argc != 2) {
        QTextStream(stderr) << "usage: generate_assets OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        QTextStream(stderr) << "cannot create " << folder.path() << '\n';
        return 1;
    }

    bool ok = save(folder, QStringLiteral("header.png"), headerBand());
    for (const ToolButtonPlace& button : kToolButtons) {
        for (const ButtonStateName& state : kButtonStateNames) {
            const QString name = QStringLiteral("%1_%2.png")
                                     .arg(QLatin1String(button.name), QLatin1String(state.suffix));
            ok &= save(folder, name,
                       toolButtonPicture(button.icon, QString::fromUtf8(button.caption),
                                         button.left, state.state));
        }
    }
    for (const WindowButtonPlace& button : kWindowButtons) {
        for (const ButtonStateName& state : kButtonStateNames) {
            if (state.state == ButtonState::Disabled) continue;
            const QString name = QStringLiteral("%1_%2.png")
                                     .arg(QLatin1String(button.name), QLatin1String(state.suffix));
            ok &= save(folder, name, windowButtonPicture(button.glyph, button.left, state.state));
        }
    }
    ok &= save(folder, QStringLiteral("hint.png"), hintIcon());
    ok &= save(folder, QStringLiteral("hand_cursor.png"), handCursor());
    ok &= save(folder, QStringLiteral("app_icon.png"), appIcon());
    // The desktop's icon theme wants more sizes than the window uses.
    for (const int size : {48, 256})
        ok &= save(folder, QStringLiteral("app_icon_%1.png").arg(size), appIcon(size));
    return ok ? 0 : 1;
}
