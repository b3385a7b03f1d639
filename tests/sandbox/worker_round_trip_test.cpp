// The installed worker, as the viewer uses it: photos of each format come
// back as the same picture the same decoders give in-process, upright, and
// the worker runs confined.
#include "client_fixture.h"
#include "temp_folder.h"
#include "test_photos.h"
#include "dng_writer.h"
#include "heif_writer.h"
#include "rgb_bytes.h"
#include "tiff_builder.h"

#include "sandbox/decode_hook.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace sandbox;
using namespace sandboxtest;

// Four quadrants: red, green / blue, white.
QImage quadrants(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    const int w = width / 2, h = height / 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           y < h ? (x < w ? qRgb(220, 30, 30) : qRgb(30, 200, 30))
                                 : (x < w ? qRgb(30, 30, 220) : qRgb(250, 250, 250)));
    return image;
}

bool near(QRgb pixel, QRgb wanted) {
    return std::abs(qRed(pixel) - qRed(wanted)) < 48 &&
           std::abs(qGreen(pixel) - qGreen(wanted)) < 48 &&
           std::abs(qBlue(pixel) - qBlue(wanted)) < 48;
}

class WorkerRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            QString::fromStdString(testsupport::MakeTempFolder("worker-round-trip-").string());
    }
    void TearDown() override { std::filesystem::remove_all(folder_.toStdString()); }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = QDir(folder_).filePath(name);
        EXPECT_TRUE(writeFile(path, bytes)) << name.toStdString();
        return path;
    }

    QString folder_;
};

TEST_F(WorkerRoundTrip, EveryFormatComesBackAsTheSameDecodeGivesInProcess) {
    const QImage source = quadrants(160, 120);
    const QString png = write("source.png", paneltest::Encode(source, "png"));
    // Qt writes no GIF; ImageMagick does, where it is installed.
    const bool haveGif = !QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty() &&
                         QProcess::execute(QStringLiteral("convert"),
                                           {png, QDir(folder_).filePath("photo.gif")}) == 0;
    // HEIF, AVIF and a camera raw file, whose decoders (libheif and its
    // codecs, LibRaw) were loaded before the worker shut itself in.
    const auto heif = [&](const char* name, bool avif) {
        testsupport::HeifSpec spec;
        spec.avif = avif;
        spec.width = source.width();
        spec.height = source.height();
        spec.rgb = testsupport::Rgb(source);
        const QString path = QDir(folder_).filePath(name);
        EXPECT_EQ(testsupport::WriteHeif(path.toStdString(), spec), "") << name;
        return path;
    };
    const auto dng = [&](const char* name) {
        const QByteArray jpeg = paneltest::Encode(source, "jpeg", 95);
        testsupport::DngSpec spec;
        spec.width = 160;
        spec.height = 120;
        spec.previewBytes.assign(jpeg.begin(), jpeg.end());
        spec.previewWidth = 160;
        spec.previewHeight = 120;
        const std::vector<std::uint8_t> bytes = testsupport::Dng(spec);
        return write(
            name, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    };
    const struct {
        const char* name;
        FormatHint hint;
        QString path;  // empty: not written here
    } cases[] = {
        {"photo.jpg", FormatHint::Jpeg, write("photo.jpg", paneltest::Encode(source, "jpeg", 95))},
        {"photo.png", FormatHint::Png, write("photo.png", paneltest::Encode(source, "png", 95))},
        {"photo.tif", FormatHint::Tiff, write("photo.tif", paneltest::Encode(source, "tiff", 95))},
        {"photo.webp", FormatHint::WebP,
         write("photo.webp", paneltest::Encode(source, "webp", 95))},
        {"photo.bmp", FormatHint::Bmp, write("photo.bmp", paneltest::Encode(source, "bmp", 95))},
        {"photo.gif", FormatHint::Gif, haveGif ? QDir(folder_).filePath("photo.gif") : QString()},
        {"photo.heic", FormatHint::Heif, heif("photo.heic", false)},
        {"photo.avif", FormatHint::Heif, heif("photo.avif", true)},
        // The viewer sees the TIFF header; the worker's raw decoder finds the camera's preview.
        {"photo.dng", FormatHint::Tiff, dng("photo.dng")},
        // What the viewer does not know, the worker finds out from the bytes.
        {"unknown.png", FormatHint::Unknown,
         write("unknown.png", paneltest::Encode(source, "png", 95))},
    };
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    const Decoders inProcess = photoDecoders();
    for (const auto& c : cases) {
        if (c.path.isEmpty()) {
            std::cout << "no ImageMagick: " << c.name << " not tried\n";
            continue;
        }
        const OpenedPhoto photo(c.path);
        const QSize target(80, 60);
        const std::optional<DecodedPicture> answer =
            recorder.answerTo(client.request(photo.get(), c.hint, target));
        ASSERT_TRUE(answer) << c.name << ": no answer";
        ASSERT_TRUE(answer->ok()) << c.name << ": " << answer->reason.toStdString();
        EXPECT_EQ(answer->image.size(), target) << c.name;
        EXPECT_EQ(answer->photoSize, QSize(160, 120)) << c.name;
        EXPECT_EQ(answer->orientation, 1) << c.name;
        EXPECT_TRUE(near(answer->image.pixel(20, 15), qRgb(220, 30, 30))) << c.name;
        EXPECT_TRUE(near(answer->image.pixel(60, 45), qRgb(250, 250, 250))) << c.name;

        const DecodeOutcome local = inProcess.decode(DecodeRequest{0, photo.get(), target, c.hint});
        EXPECT_EQ(answer->image.convertToFormat(QImage::Format_ARGB32),
                  local.picture.convertToFormat(QImage::Format_ARGB32))
            << c.name << ": the worker's picture differs from the same decode in-process";
    }
    EXPECT_EQ(recorder.readyWorkers.size(), 1u) << "every format from the one worker";
}

// The box is a bound: the picture keeps the photo's aspect, fitted as the
// panel fits a photo into its column.
TEST_F(WorkerRoundTrip, PictureIsFittedWithinTheBoxAskedFor) {
    const struct {
        const char* name;
        QSize photo;
        QSize box;
        QSize picture;
    } cases[] = {
        {"wide photo in a tall box", {400, 300}, {200, 418}, {200, 150}},
        {"tall photo in a tall box", {300, 400}, {200, 418}, {200, 267}},
        {"small photo enlarged", {50, 40}, {200, 418}, {200, 160}},
        {"box of the photo's shape", {160, 120}, {80, 60}, {80, 60}},
    };
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    for (const auto& c : cases) {
        const OpenedPhoto photo(write(
            "fitted.png", paneltest::Encode(quadrants(c.photo.width(), c.photo.height()), "png")));
        const std::optional<DecodedPicture> answer =
            recorder.answerTo(client.request(photo.get(), FormatHint::Png, c.box));
        ASSERT_TRUE(answer && answer->ok()) << c.name;
        EXPECT_EQ(answer->image.size(), c.picture) << c.name;
        EXPECT_EQ(answer->photoSize, c.photo) << c.name;
    }
}

TEST_F(WorkerRoundTrip, TurnedPhotoComesUpright) {
    // Stored 160 x 120 with orientation 6: upright it is 120 x 160, and the
    // stored bottom-left quadrant (blue) is its top-left.
    testsupport::TiffSpec spec;
    spec.ifd0.fields.push_back(testsupport::Short(0x0112, {6}));
    const QByteArray jpeg = paneltest::WithExifJpeg(
        paneltest::Encode(quadrants(160, 120), "jpeg", 95), testsupport::BuildTiff(spec).bytes);
    const OpenedPhoto photo(write("turned.jpg", jpeg));
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    const std::optional<DecodedPicture> answer =
        recorder.answerTo(client.request(photo.get(), FormatHint::Jpeg, QSize(60, 80)));
    ASSERT_TRUE(answer && answer->ok()) << (answer ? answer->reason.toStdString() : "no answer");
    EXPECT_EQ(answer->photoSize, QSize(120, 160));
    EXPECT_EQ(answer->orientation, 6);
    EXPECT_EQ(answer->image.size(), QSize(60, 80));
    EXPECT_TRUE(near(answer->image.pixel(10, 10), qRgb(30, 30, 220)));
    EXPECT_TRUE(near(answer->image.pixel(50, 10), qRgb(220, 30, 30)));
}

// A camera-sized photo: Qt scales it down on its thread pool, whose
// threads start inside the worker's filter.
TEST_F(WorkerRoundTrip, CameraSizedPhotoScaledOnThreads) {
    const OpenedPhoto photo(
        write("camera.jpg", paneltest::Encode(quadrants(4000, 3000), "jpeg", 90)));
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    const std::optional<DecodedPicture> answer =
        recorder.answerTo(client.request(photo.get(), FormatHint::Jpeg, QSize(200, 150)));
    ASSERT_TRUE(answer && answer->ok()) << (answer ? answer->reason.toStdString() : "no answer");
    EXPECT_EQ(answer->photoSize, QSize(4000, 3000));
    EXPECT_TRUE(near(answer->image.pixel(150, 110), qRgb(250, 250, 250)));
}

TEST_F(WorkerRoundTrip, PhotoHeldInMemory) {
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    QImage withAlpha(40, 30, QImage::Format_ARGB32);
    withAlpha.fill(qRgba(0, 0, 255, 128));
    const std::optional<DecodedPicture> answer = recorder.answerTo(
        client.request(paneltest::Encode(withAlpha, "png"), FormatHint::Png, QSize(40, 30)));
    ASSERT_TRUE(answer && answer->ok()) << (answer ? answer->reason.toStdString() : "no answer");
    EXPECT_TRUE(answer->image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(answer->image.pixel(5, 5)), 128);
}

// The decoder's own refusals come back as reasons, from the same worker.
TEST_F(WorkerRoundTrip, UnreadablePhotosComeBackWithTheirReason) {
    QByteArray cutJpeg = paneltest::Encode(quadrants(160, 120), "jpeg");
    cutJpeg.truncate(200);
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"text.jpg", "not a photo at all"},
        {"cut.jpg", cutJpeg},
        {"empty.jpg", QByteArray()},
    };
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    for (const auto& c : cases) {
        const OpenedPhoto photo(write(c.name, c.bytes));
        const std::optional<DecodedPicture> answer =
            recorder.answerTo(client.request(photo.get(), FormatHint::Jpeg, QSize(80, 60)));
        ASSERT_TRUE(answer) << c.name;
        EXPECT_FALSE(answer->ok()) << c.name;
        EXPECT_FALSE(answer->reason.isEmpty()) << c.name;
    }
    EXPECT_EQ(recorder.readyWorkers.size(), 1u) << "a refused photo must not cost the worker";
}

// Requests the client refuses itself are answered too, from the event loop
// (never inside request()), and start no worker.
TEST_F(WorkerRoundTrip, RequestsRefusedBeforeTheWorker) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    const UniqueFd readEnd(pipeEnds[0]), writeEnd(pipeEnds[1]);
    const QString path = write("photo.png", paneltest::Encode(quadrants(16, 16), "png"));
    const UniqueFd writable(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC));
    const OpenedPhoto photo(path);
    const OpenedPhoto folder(folder_);
    const struct {
        const char* name;
        int descriptor;
        QSize size;
    } cases[] = {
        {"pipe", readEnd.get(), QSize(10, 10)},
        {"folder", folder.get(), QSize(10, 10)},
        {"opened for writing", writable.get(), QSize(10, 10)},
        {"closed descriptor", 1000, QSize(10, 10)},
        {"empty size", photo.get(), QSize(0, 10)},
        {"size beyond the limit", photo.get(), QSize(kMaxPictureSide + 1, 10)},
        {"picture beyond the decode limit", photo.get(), QSize(kMaxPictureSide, kMaxPictureSide)},
    };
    DecoderClient client(workerOptions("/nonexistent/worker"));
    Recorder recorder(client);
    for (const auto& c : cases) {
        const quint64 id = client.request(c.descriptor, FormatHint::Png, c.size);
        EXPECT_TRUE(recorder.answers.empty()) << c.name << ": answered inside request()";
        const std::optional<DecodedPicture> answer = recorder.answerTo(id);
        ASSERT_TRUE(answer) << c.name;
        EXPECT_FALSE(answer->ok()) << c.name;
        EXPECT_FALSE(answer->reason.isEmpty()) << c.name;
        recorder.answers.clear();
    }
}

std::string statusField(qint64 pid, const std::string& field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray::fromStdString(field + ":")))
            return line.mid(field.size() + 1).trimmed().toStdString();
    return {};
}

// Empty when this user may not look (an ordinary user may not inspect a
// worker that made itself undumpable).
std::string namespaceOf(const QString& process, const char* kind) {
    std::error_code error;
    return std::filesystem::read_symlink(
               QStringLiteral("/proc/%1/ns/%2").arg(process, kind).toStdString(), error)
        .string();
}

TEST_F(WorkerRoundTrip, WorkerRunsConfined) {
    DecoderClient client(workerOptions(EXIFVIEWER_WORKER));
    Recorder recorder(client);
    client.start();
    EXPECT_EQ(client.confinement(), 0u) << "start() must not wait for the worker";
    ASSERT_TRUE(recorder.waitForReady(1));
    const qint64 pid = client.workerPid();
    const quint32 reached = client.confinement();
    EXPECT_EQ(statusField(pid, "Seccomp"), "2");
    EXPECT_EQ(statusField(pid, "NoNewPrivs"), "1");
    EXPECT_TRUE(reached & kSyscallFilter);
    EXPECT_TRUE(reached & kNoNewPrivileges);
    EXPECT_TRUE(reached & kCpuTimeLimit);
    // A namespace the worker says it entered is one the viewer is not in.
    const struct {
        Confinement bit;
        const char* kind;
    } spaces[] = {{kUserNamespace, "user"},
                  {kNetworkNamespace, "net"},
                  {kMountNamespace, "mnt"},
                  {kIpcNamespace, "ipc"}};
    std::string reachedSpaces;
    for (const auto& space : spaces) {
        if (!(reached & space.bit)) continue;
        reachedSpaces += std::string(" ") + space.kind;
        const std::string workers = namespaceOf(QString::number(pid), space.kind);
        if (workers.empty() && ::geteuid() != 0) continue;
        EXPECT_NE(workers, namespaceOf(QStringLiteral("self"), space.kind)) << space.kind;
    }
    std::cout << "uid " << ::getuid() << ": worker confined with namespaces:"
              << (reachedSpaces.empty() ? " none" : reachedSpaces)
              << ((reached & kAddressSpaceLimit) ? ", address-space limit"
                                                 : ", no address-space limit")
              << "\n";
}

}  // namespace
