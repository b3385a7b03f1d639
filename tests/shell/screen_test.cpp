// The viewer as a user sees it: the real program on an X server of its own
// (Xvfb), its window photographed (ImageMagick's import) and read back. A
// raw file whose preview cannot be drawn is shown with its metadata and the
// placeholder; a missing file and a file that is no photo leave the empty
// state with the line saying why. Set EXIFVIEWER_SCREENSHOTS to a folder to
// keep the pictures.
#include "dng_writer.h"
#include "tiff_builder.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr QSize kWindow(737, 528);
constexpr int kPanelTop = 80;

QString Tool(const char* name) { return QStandardPaths::findExecutable(QString::fromLatin1(name)); }

// Runs a tool and gives its standard output; empty when it failed.
QByteArray Output(const QString& program, const QStringList& arguments, const QString& display) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitCode() != 0) return QByteArray();
    return process.readAllStandardOutput();
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "import", "xdotool"})
            if (Tool(tool).isEmpty()) GTEST_SKIP() << tool << " is not installed";
        ASSERT_TRUE(runtime_.isValid() && config_.isValid() && photos_.isValid());
        QFile::setPermissions(runtime_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner);
        // A display number no other server holds.
        for (int number = 40; number < 90 && display_.isEmpty(); ++number) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) continue;
            server_.start(Tool("Xvfb"), {QStringLiteral(":%1").arg(number), "-screen", "0",
                                         "1280x800x24", "-nolisten", "tcp"});
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            if (server_.waitForStarted(5000) &&
                QTest::qWaitFor([&] { return QFile::exists(socket); }, 10000) &&
                server_.state() == QProcess::Running) {
                display_ = QStringLiteral(":%1").arg(number);
            } else {
                server_.kill();
                server_.waitForFinished(5000);
            }
        }
        ASSERT_FALSE(display_.isEmpty()) << "no X server could be started";
    }

    void TearDown() override {
        if (viewer_.state() != QProcess::NotRunning) {
            viewer_.kill();
            viewer_.waitForFinished(5000);
        }
        if (server_.state() != QProcess::NotRunning) {
            server_.terminate();
            if (!server_.waitForFinished(5000)) {
                server_.kill();
                server_.waitForFinished(5000);
            }
        }
    }

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = photos_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    }

    // The viewer with `photo` on the command line, and its window on the
    // screen once `ready` holds for its picture (or the time is up).
    QImage Show(const QString& photo, const std::function<bool(const QImage&)>& ready,
                const QString& keepAs) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_RUNTIME_DIR", runtime_.path());
        env.insert("XDG_CONFIG_HOME", config_.path());
        viewer_.setProcessEnvironment(env);
        viewer_.start(QStringLiteral(EXIFVIEWER_PATH), {photo});
        EXPECT_TRUE(viewer_.waitForStarted(5000));
        const QString pid = QString::number(viewer_.processId());
        QRect window;
        QImage shot;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000) {
            QTest::qWait(200);
            if (window.isNull()) {
                // Its main window among its windows: the one of the design's size.
                for (const QByteArray& id :
                     Output(Tool("xdotool"), {"search", "--onlyvisible", "--pid", pid}, display_)
                         .split('\n')) {
                    const QByteArray geometry =
                        Output(Tool("xdotool"),
                               {"getwindowgeometry", "--shell", QString::fromLatin1(id)}, display_);
                    QMap<QByteArray, int> values;
                    for (const QByteArray& line : geometry.split('\n'))
                        if (line.contains('='))
                            values[line.split('=')[0]] = line.split('=')[1].toInt();
                    if (QSize(values.value("WIDTH"), values.value("HEIGHT")) == kWindow)
                        window = QRect(values.value("X"), values.value("Y"), kWindow.width(),
                                       kWindow.height());
                }
                if (window.isNull()) continue;
            }
            const QImage screen = QImage::fromData(
                Output(Tool("import"), {"-window", "root", "png:-"}, display_), "PNG");
            if (screen.isNull()) continue;
            shot = screen.copy(window).convertToFormat(QImage::Format_RGB32);
            if (ready(shot)) break;
        }
        EXPECT_FALSE(window.isNull()) << "no window of the viewer appeared";
        const QString keep = qEnvironmentVariable("EXIFVIEWER_SCREENSHOTS");
        if (!keep.isEmpty() && !shot.isNull()) shot.save(QDir(keep).filePath(keepAs + ".png"));
        return shot;
    }

    QTemporaryDir runtime_, config_, photos_;
    QProcess server_, viewer_;
    QString display_;
};

int Count(const QImage& shot, const QRect& area, const std::function<bool(QRgb)>& match) {
    int count = 0;
    const QRect inside = area.intersected(shot.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) count += match(shot.pixel(x, y));
    return count;
}

bool Ink(QRgb pixel) { return qGray(pixel) < 130; }
bool Placeholder(QRgb pixel) { return pixel == 0xFFF0F0F0u; }
// The band behind every second row of the list.
bool Band(QRgb pixel) { return pixel == 0xFFF2F3DEu; }

const QRect kColumn(0, kPanelTop, 200, 418);
const QRect kList(202, kPanelTop + 2, 514, 414);
const QRect kReasonLine(16, kPanelTop + 290, 705, 24);

TEST_F(ScreenTest, RawFileWithoutADrawablePreviewIsShownWithItsMetadata) {
    QImage preview(32, 24, QImage::Format_RGB32);
    preview.fill(Qt::red);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(preview);
    testsupport::DngSpec spec;
    spec.previewBytes.assign(jpeg.begin(), jpeg.end());
    spec.previewWidth = 32;
    spec.previewHeight = 24;
    spec.previewLengthOverride = 1u << 30;  // the preview runs past the end of the file
    spec.exif = testsupport::CameraSpec().exif;
    const std::vector<std::uint8_t> dng = testsupport::Dng(spec);
    const QString path = Write("IMG_0042.dng", QByteArray(reinterpret_cast<const char*>(dng.data()),
                                                          qsizetype(dng.size())));

    const QImage shot = Show(
        path, [](const QImage& s) { return Count(s, kColumn, Placeholder) > 1000; },
        "raw-placeholder");
    ASSERT_FALSE(shot.isNull());
    // The neutral box in the preview column, with its two lines of text: the
    // rows mostly of its grey (an antialiased pixel of the caption may be of
    // the same grey).
    QRect box;
    for (int y = kColumn.top(); y <= kColumn.bottom(); ++y)
        if (Count(shot, QRect(kColumn.left(), y, kColumn.width(), 1), Placeholder) >
            kColumn.width() / 2)
            box |= QRect(kColumn.left(), y, kColumn.width(), 1);
    ASSERT_GT(box.width() * box.height(), 10000) << "the placeholder";
    EXPECT_GT(Count(shot, box, Ink), 40) << "无法预览 and the reason";
    // Its metadata listed: rows with the band behind every second one, and text.
    EXPECT_GT(Count(shot, kList, Band), 5 * 400) << "at least five banded rows";
    EXPECT_GT(Count(shot, kList, Ink), 500) << "the rows' text";
    // The caption under the box: the file's name.
    EXPECT_GT(Count(shot, QRect(8, box.bottom() + 2, 192, 16), Ink), 20) << "the caption";
}

TEST_F(ScreenTest, FilesThatCannotBeOpenedLeaveTheEmptyStateWithTheReason) {
    const struct {
        const char* name;
        QString path;
    } cases[] = {
        {"missing", photos_.filePath("IMG_1.jpg")},
        {"not-a-photo", Write("notes.jpg", "Dear diary,\nnothing to see.\n")},
    };
    for (const auto& c : cases) {
        const QImage shot = Show(
            c.path, [](const QImage& s) { return Count(s, kReasonLine, Ink) > 50; },
            QStringLiteral("empty-state-") + c.name);
        ASSERT_FALSE(shot.isNull()) << c.name;
        EXPECT_GT(Count(shot, kReasonLine, Ink), 50) << c.name << ": the line under the hint";
        EXPECT_GT(Count(shot, QRect(200, kPanelTop + 260, 337, 24), Ink), 50)
            << c.name << ": the hint line";
        EXPECT_EQ(Count(shot, kList, Band), 0) << c.name << ": no list";
        EXPECT_EQ(Count(shot, kColumn, Placeholder), 0) << c.name << ": no placeholder";
        viewer_.kill();
        viewer_.waitForFinished(5000);
    }
}

}  // namespace
