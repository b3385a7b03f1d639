#include "panel_fixture.h"

#include <algorithm>

#include "panel/list_surface.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QTest>
#include <QTimer>

namespace paneltest {

bool IsInk(QRgb pixel) { return qRed(pixel) < 120 && qGreen(pixel) < 120 && qBlue(pixel) < 120; }

bool IsRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60; }

QRect Bounds(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match) {
    QRect bounds;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (match(image.pixel(x, y))) bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

sandbox::DecoderClient::Options TestDecoder(bool misbehaving) {
    sandbox::DecoderClient::Options options;
    options.program = QString::fromUtf8(misbehaving ? EXIFVIEWER_TEST_WORKER : EXIFVIEWER_WORKER);
    // A worker started on a busy machine under the sanitizers is given time.
    options.startLimitMs = 60000;
    return options;
}

void PanelTest::SetUp() {
    platform::setMessageHandler(
        [this](const platform::Message& message) { messageBoxes.push_back(message.text); });
    ASSERT_TRUE(dir.isValid());
    previews = std::make_unique<viewer::PreviewLoader>(TestDecoder(MisbehavingWorker()));
    host = std::make_unique<QWidget>();
    host->resize(737, 418);
    panel = new viewer::PhotoPanel(host.get(), previews.get());
    panel->setGeometry(0, 0, 737, 418);
    host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
}

void PanelTest::TearDown() {
    host.reset();
    panel = nullptr;
    previews.reset();
    platform::setMessageHandler({});
    EXPECT_TRUE(messageBoxes.empty())
        << "unexpected message box: " << messageBoxes.front().toStdString();
}

void PanelTest::OpenPhoto(const QString& path) {
    panel->openPhoto(path);
    EXPECT_TRUE(WaitForPreview()) << "no preview of " << path.toStdString();
}

bool PanelTest::WaitForPreview() {
    return WaitUntil([this] { return !panel->previewPending(); });
}

QString PanelTest::Write(const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(WriteFile(path, bytes)) << path.toStdString();
    return path;
}

QString PanelTest::Photo(const QString& name, int width, int height, int rows, const char* format) {
    const QByteArray pixels = Encode(Solid(width, height, Qt::red), format);
    const std::vector<std::uint8_t> block = TitleBlock(std::max(rows - 1, 0));
    const QByteArray bytes =
        QByteArray(format) == "png" ? WithExifPng(pixels, block) : WithExifJpeg(pixels, block);
    return Write(name, bytes);
}

QString PanelTest::CommandPhoto(const QString& name, const std::string& command,
                                const QColor& colour, int width, int height, int rows) {
    const QByteArray jpeg = Encode(Solid(width, height, colour), "jpeg");
    const QByteArray text = QByteArray("exifviewer-test: ") + command.c_str() + "\n";
    // A comment segment right after SOI: a JPEG all the same.
    QByteArray segment("\xFF\xFE", 2);
    segment.append(static_cast<char>((text.size() + 2) >> 8))
        .append(static_cast<char>((text.size() + 2) & 0xFF));
    segment.append(text);
    const QByteArray commented = jpeg.left(2) + segment + jpeg.mid(2);
    return Write(name, WithExifJpeg(commented, TitleBlock(std::max(rows - 1, 0))));
}

QImage PanelTest::ListPixels(const QRect& area) const {
    return panel->listSurface()->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
}

QImage PanelTest::ViewportPixels() const {
    return panel->listViewport()
        ->grab(panel->listViewport()->contentsRect())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

std::vector<std::string> PanelTest::Labels() const {
    std::vector<std::string> labels, values;
    panel->exifData(labels, values);
    return labels;
}

std::vector<std::string> PanelTest::Values() const {
    std::vector<std::string> labels, values;
    panel->exifData(labels, values);
    return values;
}

}  // namespace paneltest
