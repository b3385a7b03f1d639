// Shows a 737 x 528 frameless window with the shadow attached as the main
// window attaches it. Options: --transparency N (default 50), --depth N
// (default 7), --move-to X,Y (moves the window there after one second),
// --quit-after MS.
#include "shadow/cls_shadow.h"

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
    const QCommandLineOption transparency("transparency", "Constant opacity 0-255.", "n", "50");
    const QCommandLineOption depth("depth", "Shadow depth in pixels.", "n", "7");
    const QCommandLineOption moveTo("move-to", "Move the window after one second.", "x,y");
    const QCommandLineOption quitAfter("quit-after", "Quit after this many ms.", "ms", "0");
    parser.addOptions({transparency, depth, moveTo, quitAfter});
    parser.process(app);

    QWidget form(nullptr, Qt::FramelessWindowHint);
    form.setAutoFillBackground(true);
    QPalette palette = form.palette();
    palette.setColor(QPalette::Window, QColor(113, 117, 0));
    palette.setColor(QPalette::WindowText, Qt::white);
    form.setPalette(palette);
    auto* layout = new QVBoxLayout(&form);
    layout->addWidget(new QLabel(QStringLiteral("shadow demo"), &form), 0, Qt::AlignCenter);
    form.resize(737, 528);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    form.move(screen.center() - form.rect().center());

    clsShadow shadow;
    const bool attached = shadow.Shadow(&form);
    if (attached) {
        shadow.SetDepth(parser.value(depth).toInt());
        shadow.SetColor(0);
        shadow.SetTransparency(static_cast<std::uint8_t>(parser.value(transparency).toInt()));
    }
    std::printf("shadow %s\n", attached ? "attached" : "not supported");
    std::fflush(stdout);
    form.show();
    if (parser.isSet(moveTo)) {
        const QStringList xy = parser.value(moveTo).split(QLatin1Char(','));
        if (xy.size() == 2) {
            const QPoint target(xy[0].toInt(), xy[1].toInt());
            QTimer::singleShot(1000, &form, [&form, target] { form.move(target); });
        }
    }
    if (const int ms = parser.value(quitAfter).toInt(); ms > 0) QTimer::singleShot(ms, &app, &QApplication::quit);
    return app.exec();
}
