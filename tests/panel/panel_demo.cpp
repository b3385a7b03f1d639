// Shows the photo panel 737 x 418 in a window, to look at under X11:
//   panel_demo                 the empty state
//   panel_demo PHOTO [VALUE]   PHOTO opened, the list scrolled to VALUE
//   panel_demo --camera [VALUE] a generated 4000 x 3000 photo with a camera's metadata
#include "controls/flat_scroll_bar.h"
#include "panel/photo_panel.h"
#include "panel/preview_loader.h"
#include "test_photos.h"
#include "tiff_builder.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QImage Landscape(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(0.6, QColor(190, 220, 240));
    sky.setColorAt(0.61, QColor(90, 140, 60));
    sky.setColorAt(1, QColor(40, 90, 30));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(250, 230, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(width * 0.75, height * 0.2), width * 0.06, width * 0.06);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QTemporaryDir dir;
    QString photo = args.size() > 1 ? args[1] : QString();
    if (photo == "--camera") {
        photo = dir.filePath(QStringLiteral("IMG_0001.JPG"));
        const QByteArray bytes =
            paneltest::WithExifJpeg(paneltest::Encode(Landscape(4000, 3000), "jpeg"),
                                    testsupport::BuildTiff(testsupport::CameraSpec()).bytes);
        if (!paneltest::WriteFile(photo, bytes)) return 1;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("PhotoPanel"));
    window.resize(viewer::PhotoPanel::kPanelWidth, 418);
    // The worker built beside it: the demo is not where the viewer is installed.
    sandbox::DecoderClient::Options decoder;
    decoder.program = QStringLiteral(EXIFVIEWER_WORKER);
    viewer::PreviewLoader previews(decoder);
    viewer::PhotoPanel panel(&window, &previews);
    panel.setGeometry(0, 0, viewer::PhotoPanel::kPanelWidth, 418);
    QObject::connect(&panel, &viewer::PhotoPanel::photoRequested, [] {
        std::puts("photoRequested");
        std::fflush(stdout);
    });
    window.move(0, 0);
    window.show();
    if (!photo.isEmpty()) panel.openPhoto(photo);
    if (args.size() > 2) panel.scrollBar()->setValue(args[2].toInt());
    std::printf("entries %zu, Max %d\n", panel.metadata().EntryCount(),
                panel.scrollBar()->maximum());
    std::fflush(stdout);
    return app.exec();
}
