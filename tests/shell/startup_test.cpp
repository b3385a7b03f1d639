// Start-up as the user meets it: the real program, started more than once,
// and the socket over which a second start hands its photo to the first.
#include "platform/instance.h"
#include "shell/mod_main.h"
#include "tiff_builder.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtimeDir_.isValid());
        ASSERT_TRUE(configDir_.isValid());
        ASSERT_TRUE(photoDir_.isValid());
        // This process names the socket as the viewer does, in the same folder.
        previousRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());
        socketPath_ = platform::InstanceSocketPath();
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", previousRuntime_); }

    // Starts the viewer with its own runtime and config folders, so that
    // neither its lock nor what it remembers meets the developer's viewer.
    std::unique_ptr<QProcess> Start(const QStringList& arguments = {}, const QString& workingDir = QString()) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtimeDir_.path());
        env.insert("XDG_CONFIG_HOME", configDir_.path());
        process->setProcessEnvironment(env);
        if (!workingDir.isEmpty()) process->setWorkingDirectory(workingDir);
        process->start(EXIFVIEWER_PATH, arguments);
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    // True when the process is still running after `ms` milliseconds.
    static bool Lives(QProcess& process, int ms) { return !process.waitForFinished(ms); }

    // Waits, with the event loop running, for a second start to end: silent, status 0.
    static void EndsSilently(QProcess& process) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(process.readAllStandardOutput(), QByteArray());
        EXPECT_EQ(process.readAllStandardError(), QByteArray());
    }

    // The running viewer takes connections (it may still be starting).
    bool Listening() const {
        return QTest::qWaitFor([&] {
            QLocalSocket probe;
            probe.connectToServer(socketPath_);
            return probe.waitForConnected(100);
        }, 20000);
    }

    // The viewer remembers the folder of each photo it opens: what a test
    // outside its process can see of an open.
    QString RememberedFolder() const {
        return QSettings(configDir_.filePath("exifviewer/exifviewer.ini"), QSettings::IniFormat).value("lastFolder").toString();
    }
    bool Remembers(const QString& folder) const {
        return QTest::qWaitFor([&] { return RememberedFolder() == folder; }, 20000);
    }

    QString Photo(const QString& relative) {
        const QString path = photoDir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(testsupport::WriteFile(path.toStdString(),
                                           testsupport::DecodableJpeg(testsupport::BuildTiff(testsupport::CameraSpec()).bytes)));
        return path;
    }

    static void Stop(QProcess& process) {
        process.kill();
        process.waitForFinished(5000);
    }

    QTemporaryDir runtimeDir_, configDir_, photoDir_;
    QByteArray previousRuntime_;
    QString socketPath_;
};

TEST_F(StartupTest, SecondStartEndsSilently) {
    auto first = Start();
    ASSERT_TRUE(Lives(*first, 1500)) << first->readAllStandardError().toStdString();
    ASSERT_TRUE(Listening());

    auto second = Start();
    EndsSilently(*second);
    EXPECT_TRUE(Lives(*first, 200));
    Stop(*first);
}

TEST_F(StartupTest, PhotoOnTheCommandLineAndFromASecondStart) {
    const QString a = Photo("trip/a.jpg");
    const QString b = Photo("home/猫 b.jpg");
    auto first = Start({a});
    ASSERT_TRUE(Remembers(QFileInfo(a).absolutePath())) << "the photo on the command line is opened";
    ASSERT_TRUE(Listening());

    // Relative to the second start's working folder, as a file manager may pass it.
    auto second = Start({"home/猫 b.jpg"}, photoDir_.path());
    EndsSilently(*second);
    EXPECT_TRUE(Remembers(QFileInfo(b).absolutePath())) << "the running viewer opened the handed-over photo";
    EXPECT_TRUE(Lives(*first, 100));
    Stop(*first);
}

TEST_F(StartupTest, ACrashedCopyDoesNotBlockTheNextStart) {
    auto first = Start();
    ASSERT_TRUE(Lives(*first, 1500));
    ASSERT_TRUE(Listening());
    first->kill();  // SIGKILL: no clean-up runs, the lock file and the socket stay behind
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(QFileInfo::exists(socketPath_)) << "a stale socket, which must not block the next start";

    auto next = Start();
    EXPECT_TRUE(Lives(*next, 1500));
    ASSERT_TRUE(Listening());
    const QString photo = Photo("y/a.jpg");
    auto third = Start({photo});
    EndsSilently(*third);
    EXPECT_TRUE(Remembers(QFileInfo(photo).absolutePath())) << "the next copy took over the socket";
    Stop(*next);
}

// What arrives on the socket is checked before it is used (the server as
// the running viewer has it, in this process).
TEST_F(StartupTest, ServerDropsBrokenMessages) {
    platform::InstanceServer server(socketPath_);
    ASSERT_TRUE(server.Listen());
    QSignalSpy received(&server, &platform::InstanceServer::Received);
    const auto header = [](const char* magic, quint32 length) {
        QByteArray bytes(magic, 4);
        for (int shift = 24; shift >= 0; shift -= 8) bytes.append(static_cast<char>((length >> shift) & 0xFF));
        return bytes;
    };
    const struct {
        const char* name;
        QByteArray bytes;
        bool taken;
    } cases[] = {
        {"a good message", platform::HandOverMessage("/p/a.jpg"), true},
        {"an empty path", platform::HandOverMessage(QString()), true},
        {"the longest path", platform::HandOverMessage("/" + QString(platform::kHandOverMaxPathBytes - 1, 'a')), true},
        {"one byte too long", header("EXV1", platform::kHandOverMaxPathBytes + 1) + QByteArray(platform::kHandOverMaxPathBytes + 1, 'a'), false},
        {"a huge length", header("EXV1", 0xFFFFFFFFu), false},
        {"another magic", header("EXV2", 3) + "/p/", false},
        {"not UTF-8", header("EXV1", 4) + QByteArray("/\xC3\x28x", 4), false},
        {"a NUL inside", header("EXV1", 4) + QByteArray("/a\0b", 4), false},
        {"a relative path", platform::HandOverMessage("a.jpg"), false},
        {"bytes after the path", platform::HandOverMessage("/p/a.jpg") + "tail", false},
        {"cut short", platform::HandOverMessage("/p/a.jpg").left(10), false},
        {"only part of the header", QByteArray("EXV"), false},
    };
    for (const auto& c : cases) {
        received.clear();
        QLocalSocket client;
        client.connectToServer(socketPath_);
        ASSERT_TRUE(client.waitForConnected(2000)) << c.name;
        client.write(c.bytes);
        client.flush();
        // Every connection ends: at once for a message taken or refused, after
        // a second for one that never completes.
        EXPECT_TRUE(QTest::qWaitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, 5000)) << c.name;
        EXPECT_EQ(received.count(), c.taken ? 1 : 0) << c.name;
        EXPECT_EQ(client.readAll(), QByteArray(c.taken ? "+" : "")) << c.name;
    }
}

TEST(ModuleStrings, AreSetBeforeAnyWindow) {
    modMain::SetModuleStrings();
    EXPECT_EQ(modMain::PathSeparator, "/");
    // Contact lines: an e-mail line of 22 characters, then a chat line of 12.
    const QString mail = QString::fromStdString(modMain::ContactLines[0]);
    const QString chat = QString::fromStdString(modMain::ContactLines[1]);
    EXPECT_EQ(mail.size(), 22);
    EXPECT_TRUE(mail.contains('@'));
    EXPECT_EQ(chat.size(), 12);
}

}  // namespace
