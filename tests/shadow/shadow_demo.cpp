// Shows a 737 x 528 frameless window with the shadow attached as the main
// window attaches it. Options: --opacity N (default 50), --depth N
// (default 7), --move-to X,Y (moves the window there after one second),
// --quit-after MS.
#include "shadow/window_shadow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption opacity("opacity", "Constant opacity 0-255.", "n", "50");
    const QCommandLineOption depth("depth", "Shadow depth in pixels.", "n", "7");
    const QCommandLineOption moveTo("move-to", "Move the window after one second.", "x,y");
    const QCommandLineOption quitAfter("quit-after", "Quit after this many ms.", "ms", "0");
    parser.addOptions({opacity, depth, moveTo, quitAfter});
    parser.process(app);

    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(113, 117, 0));
    palette.setColor(QPalette::WindowText, Qt::white);
    window.setPalette(palette);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("shadow demo"), &window), 0, Qt::AlignCenter);
    window.resize(737, 528);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window.move(screen.center() - window.rect().center());

    viewer::WindowShadow shadow;
    const bool attached = shadow.attach(&window);
    if (attached) {
        shadow.setDepth(parser.value(depth).toInt());
        shadow.setColor(Qt::black);
        shadow.setOpacity(parser.value(opacity).toInt());
    }
    std::printf("shadow %s\n", attached ? "attached" : "not supported");
    std::fflush(stdout);
    window.show();
    if (parser.isSet(moveTo)) {
        const QStringList xy = parser.value(moveTo).split(QLatin1Char(','));
        if (xy.size() == 2) {
            const QPoint target(xy[0].toInt(), xy[1].toInt());
            QTimer::singleShot(1000, &window, [&window, target] { window.move(target); });
        }
    }
    if (const int ms = parser.value(quitAfter).toInt(); ms > 0)
        QTimer::singleShot(ms, &app, &QApplication::quit);
    return app.exec();
}
