// The window while a photo decodes: it takes a second start's photo at
// once, keys pressed quickly show the last photo they reach, and a file
// that cannot be opened (given on the command line, handed over) says why.
// The real program's decoder worker runs confined while the viewer shows a
// photo.
#include "controls/image_button.h"
#include "panel/hint_icon.h"
#include "panel/photo_panel.h"
#include "panel/preview_loader.h"
#include "platform/instance.h"
#include "platform/messages.h"
#include "shell/main_window.h"
#include "shell/startup_strings.h"
#include "test_decoder.h"
#include "wait_until.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// A line of /proc/PID/status after "Field:", trimmed; empty when there is none.
QString StatusField(qint64 pid, const QByteArray& field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return QString();
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return QString::fromLatin1(line.mid(field.size() + 1).trimmed());
    return QString();
}

// The children of `parent` named `name` (as /proc shows it: 15 characters).
std::vector<qint64> ChildrenNamed(qint64 parent, const QString& name) {
    std::vector<qint64> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && StatusField(pid, "PPid") == QString::number(parent) &&
            StatusField(pid, "Name") == name)
            found.push_back(pid);
    }
    return found;
}

using testsupport::WaitUntil;

class BusyWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        viewer::setStartupStrings();
        platform::setMessageHandler([](const platform::Message&) {});
        window_ = std::make_unique<viewer::MainWindow>(TestDecoder(true));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override {
        window_.reset();
        platform::setMessageHandler({});
    }

    // A JPEG of one colour; with `command` in a comment for the test worker
    // ("sleep 4000": decoded after four seconds).
    QString Photo(const QString& name, const QColor& colour, const std::string& command = {}) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "jpeg").write(image);
        if (!command.empty()) {
            const QByteArray text = QByteArray("exifviewer-test: ") + command.c_str() + "\n";
            QByteArray segment("\xFF\xFE", 2);
            segment.append(static_cast<char>((text.size() + 2) >> 8))
                .append(static_cast<char>((text.size() + 2) & 0xFF));
            jpeg = jpeg.left(2) + segment + text + jpeg.mid(2);
        }
        const QString path = dir_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
        return path;
    }

    viewer::PhotoPanel* Panel() const { return window_->panel(); }
    QString Shown() const { return QString::fromStdString(Panel()->photoFile()); }
    bool ShowsColour(const QColor& colour) const {
        const QRect box = Panel()->previewRect();
        if (!box.isValid()) return false;
        const QColor shown = QColor::fromRgb(Panel()->surface().pixel(box.center()));
        return std::abs(shown.red() - colour.red()) < 40 &&
               std::abs(shown.green() - colour.green()) < 40 &&
               std::abs(shown.blue() - colour.blue()) < 40;
    }

    QTemporaryDir dir_;
    std::unique_ptr<viewer::MainWindow> window_;
};

// A second start hands its photo over while the first photo still decodes:
// the window takes it before that decode would end, and shows it.
TEST_F(BusyWindowTest, SecondStartIsTakenDuringASlowDecode) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    // This process is the running viewer: it holds the lock and listens.
    ASSERT_FALSE(platform::anotherCopyRunning());
    platform::InstanceServer server;
    ASSERT_TRUE(server.listen());

    const QString slow = Photo("slow.jpg", Qt::blue, "sleep 4000");
    const QString handed = Photo("handed.jpg", Qt::red);
    bool takenDuringTheDecode = false;
    qint64 takenAfterMs = -1;
    QElapsedTimer sinceSecondStart;
    // Connected before the window: sees the window as the hand-over finds it.
    QObject::connect(&server, &platform::InstanceServer::received, [&] {
        takenAfterMs = sinceSecondStart.elapsed();
        takenDuringTheDecode = Panel()->previewPending() && Shown() == slow;
    });
    QObject::connect(&server, &platform::InstanceServer::received, window_.get(),
                     &viewer::MainWindow::takeHandOver);

    window_->openPath(slow);
    ASSERT_TRUE(Panel()->previewPending());
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    second.setProcessEnvironment(env);
    sinceSecondStart.start();
    second.start(QStringLiteral(EXIFVIEWER_PATH), {handed});
    ASSERT_TRUE(WaitUntil([&] { return takenAfterMs >= 0; }, 20000))
        << "the hand-over was not taken";
    EXPECT_TRUE(takenDuringTheDecode) << "taken only after the slow decode";
    std::printf("hand-over taken %lld ms after the second start, during the slow decode: %s\n",
                static_cast<long long>(takenAfterMs), takenDuringTheDecode ? "yes" : "no");

    ASSERT_TRUE(WaitUntil([&] { return !Panel()->previewPending(); }));
    EXPECT_EQ(Shown(), handed);
    EXPECT_EQ(window_->statusLabel()->text(), handed);
    EXPECT_TRUE(ShowsColour(Qt::red));
    EXPECT_TRUE(WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitCode(), 0);
    qputenv("XDG_RUNTIME_DIR", previousRuntime);
}

// → pressed five times quickly: the fifth photo is shown, and only it.
TEST_F(BusyWindowTest, FiveQuickKeysShowTheFifthPhoto) {
    const QColor colours[] = {Qt::gray, Qt::red, Qt::green, Qt::yellow, Qt::magenta, Qt::blue};
    std::vector<QString> paths;
    for (int i = 0; i < 6; ++i)
        paths.push_back(Photo(QStringLiteral("p%1.jpg").arg(i + 1), colours[i], "sleep 100"));
    window_->openPath(paths.front());
    ASSERT_TRUE(WaitUntil([&] { return !Panel()->previewPending(); }));
    QSignalSpy settled(Panel(), &viewer::PhotoPanel::previewSettled);
    for (int i = 0; i < 5; ++i) QTest::keyClick(window_->windowHandle(), Qt::Key_Right);
    ASSERT_TRUE(WaitUntil([&] { return !Panel()->previewPending(); }));
    EXPECT_EQ(Shown(), paths.back());
    EXPECT_EQ(window_->statusLabel()->text(), paths.back());
    EXPECT_TRUE(ShowsColour(Qt::blue));
    // An answer to a photo passed over would come now, and be drawn wrongly.
    WaitUntil([] { return false; }, 600);
    EXPECT_EQ(settled.count(), 1);
    EXPECT_TRUE(ShowsColour(Qt::blue));
}

// Stepping through a folder at a person's pace, both ways and round its
// ends: every photo a key reaches was decoded in the background before the
// key, so the key asks for no decode.
TEST_F(BusyWindowTest, EachKeyFindsItsPhotoPreloaded) {
    const QColor colours[] = {Qt::gray, Qt::red, Qt::green, Qt::yellow, Qt::magenta, Qt::blue};
    std::vector<QString> paths;
    for (int i = 0; i < 6; ++i)
        paths.push_back(Photo(QStringLiteral("p%1.jpg").arg(i), colours[i]));
    const viewer::PreviewLoader* previews = window_->previews();
    const auto settled = [&] {
        return WaitUntil([&] {
            return !Panel()->previewPending() && !window_->preloadDue() && !previews->preloading();
        });
    };
    window_->openPath(paths[2]);
    ASSERT_TRUE(settled());
    const struct {
        Qt::Key key;
        int reached;
    } steps[] = {{Qt::Key_Right, 3}, {Qt::Key_Right, 4}, {Qt::Key_Left, 3}, {Qt::Key_Left, 2},
                 {Qt::Key_Left, 1},  {Qt::Key_Left, 0},  {Qt::Key_Left, 5}, {Qt::Key_Right, 0}};
    for (const auto& step : steps) {
        const int decodes = previews->decodesAsked();
        // Sent, not posted: the preloads the new photo starts come after the count.
        QKeyEvent press(QEvent::KeyPress, step.key, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &press);
        EXPECT_EQ(previews->decodesAsked(), decodes)
            << "p" << step.reached << " decoded after the key";
        ASSERT_TRUE(settled());
        EXPECT_EQ(Shown(), paths[step.reached]);
        EXPECT_TRUE(ShowsColour(colours[step.reached])) << "p" << step.reached;
    }
    EXPECT_LE(previews->keptBytes(), qint64(viewer::PreviewLoader::kKeptPictures) *
                                         Panel()->previewBox().width() *
                                         Panel()->previewBox().height() * 4);
}

// A key pressed while its photo is still being preloaded takes that decode's
// picture, once, instead of decoding the photo again.
TEST_F(BusyWindowTest, AKeyDuringThePreloadOfItsPhotoWaitsForIt) {
    const QString first = Photo("a1.jpg", Qt::red);
    Photo("a2.jpg", Qt::blue, "sleep 1500");
    window_->openPath(first);
    ASSERT_TRUE(WaitUntil([&] { return window_->previews()->preloading(); }));
    const int decodes = window_->previews()->decodesAsked();
    QSignalSpy settled(Panel(), &viewer::PhotoPanel::previewSettled);
    QTest::keyClick(window_->windowHandle(), Qt::Key_Right);
    EXPECT_EQ(window_->previews()->decodesAsked(), decodes);
    ASSERT_TRUE(WaitUntil([&] { return !Panel()->previewPending(); }));
    EXPECT_TRUE(ShowsColour(Qt::blue));
    WaitUntil([] { return false; }, 300);
    EXPECT_EQ(settled.count(), 1);
}

// A photo changed after its preload is decoded again: the key shows what
// the file holds now, not the picture kept.
TEST_F(BusyWindowTest, APhotoChangedSinceItsPreloadIsDecodedAgain) {
    const struct {
        const char* name;
        bool renamedOver;  // else rewritten in place
    } cases[] = {{"rewritten in place", false}, {"another file renamed over it", true}};
    for (const auto& c : cases) {
        const QString first = Photo("c1.jpg", Qt::red);
        const QString second = Photo("c2.jpg", Qt::green);
        window_->openPath(first);
        ASSERT_TRUE(WaitUntil([&] {
            return !Panel()->previewPending() && !window_->preloadDue() &&
                   !window_->previews()->preloading();
        })) << c.name;
        if (c.renamedOver) {
            const QString other = Photo("other.jpg", Qt::yellow);
            ASSERT_TRUE(QFile::remove(second) && QFile::rename(other, second)) << c.name;
        } else {
            Photo("c2.jpg", Qt::yellow);
        }
        const int decodes = window_->previews()->decodesAsked();
        QTest::keyClick(window_->windowHandle(), Qt::Key_Right);
        EXPECT_EQ(window_->previews()->decodesAsked(), decodes + 1) << c.name;
        ASSERT_TRUE(WaitUntil([&] { return !Panel()->previewPending(); })) << c.name;
        EXPECT_EQ(Shown(), second) << c.name;
        EXPECT_TRUE(ShowsColour(Qt::yellow)) << c.name;
        ASSERT_TRUE(QFile::remove(first) && QFile::remove(second)) << c.name;
    }
}

// The menu pops up while a photo decodes slowly, and the photo comes after.
TEST_F(BusyWindowTest, TheMenuPopsUpDuringASlowDecode) {
    const QString slow = Photo("slow.jpg", Qt::blue, "sleep 3000");
    window_->openPath(slow);
    ASSERT_TRUE(Panel()->previewPending());
    bool shownDuringTheDecode = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            shownDuringTheDecode = popup->isVisible() && Panel()->previewPending();
            popup->close();
        }
    });
    QTest::mouseClick(window_->menuButton(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(shownDuringTheDecode);
    ASSERT_TRUE(WaitUntil([&] { return !Panel()->previewPending(); }));
    EXPECT_TRUE(ShowsColour(Qt::blue));
}

// A path that cannot be opened, however it comes, leaves the empty state
// with the line naming the file and why.
TEST_F(BusyWindowTest, PathsThatCannotBeOpenedSayWhy) {
    const QString text = dir_.filePath("notes.jpg");
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a photo\n");
    }
    const struct {
        const char* name;
        QString path;
        bool handedOver;
        QString reason;
    } cases[] = {
        {"a missing file on the command line", dir_.filePath("IMG_1.jpg"), false,
         QStringLiteral("文件不存在")},
        {"a missing file handed over", dir_.filePath("IMG_2.jpg"), true,
         QStringLiteral("文件不存在")},
        {"a text file named .jpg", text, false, QStringLiteral("不是可识别的图像文件")},
    };
    for (const auto& c : cases) {
        if (c.handedOver) window_->takeHandOver(c.path);
        else window_->openPath(c.path);
        EXPECT_EQ(window_->statusLabel()->text(), c.path) << c.name;
        EXPECT_FALSE(Panel()->showsPhoto()) << c.name;
        EXPECT_EQ(Panel()->reason(), c.reason) << c.name;
        EXPECT_TRUE(Panel()->hintIcon()->isVisible()) << c.name;
        // The line under the hint: some ink across its band.
        const QImage surface = Panel()->surface();
        int ink = 0;
        for (int y = 290; y < 314; ++y)
            for (int x = 0; x < surface.width(); ++x) ink += qGray(surface.pixel(x, y)) < 160;
        EXPECT_GT(ink, 50) << c.name << ": the line saying why";
    }
}

// The installed viewer's workers, seen from outside while the viewer shows a
// photo and preloads its neighbour: each one's system-call filter is on
// (Seccomp 2) and it can gain no privileges (NoNewPrivs 1).
TEST_F(BusyWindowTest, TheRunningViewersWorkersAreConfined) {
    QTemporaryDir runtime, config;
    ASSERT_TRUE(runtime.isValid() && config.isValid());
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess viewer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("XDG_CONFIG_HOME", config.path());
    viewer.setProcessEnvironment(env);
    // With a neighbour in its folder, which a second worker preloads.
    Photo("next.jpg", Qt::red);
    viewer.start(QStringLiteral(EXIFVIEWER_PATH), {Photo("shown.jpg", Qt::green)});
    ASSERT_TRUE(viewer.waitForStarted(20000));
    std::vector<qint64> workers;
    // A worker is ready once its filter is on; one still starting shows
    // Seccomp 0 for a moment. Each of its threads: one started before the
    // filter would run outside it.
    const auto confined = [](qint64 worker) {
        const QStringList threads = QDir(QStringLiteral("/proc/%1/task").arg(worker))
                                        .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return !threads.isEmpty() &&
               std::all_of(threads.begin(), threads.end(), [](const QString& thread) {
                   const qint64 id = thread.toLongLong();
                   return StatusField(id, "Seccomp") == QStringLiteral("2") &&
                          StatusField(id, "NoNewPrivs") == QStringLiteral("1");
               });
    };
    WaitUntil(
        [&] {
            workers = ChildrenNamed(viewer.processId(), QStringLiteral("exifviewer-deco"));
            return workers.size() == 2 && std::all_of(workers.begin(), workers.end(), confined);
        },
        60000);
    ASSERT_EQ(workers.size(), 2u) << "the screen's worker and the preloads'";
    for (const qint64 worker : workers) EXPECT_TRUE(confined(worker)) << "worker " << worker;
    EXPECT_EQ(viewer.state(), QProcess::Running) << "the viewer runs on";
    viewer.kill();
    viewer.waitForFinished(20000);
}

}  // namespace
