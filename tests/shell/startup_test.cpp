// Start-up as the user meets it: the real program, started more than once,
// and the socket over which a second start hands its photo to the first.
#include "platform/instance.h"
#include "shell/startup_strings.h"
#include "tiff_builder.h"

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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
        socketPath_ = platform::instanceSocketPath();
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", previousRuntime_); }

    // Starts the viewer with its own runtime and config folders, so that
    // neither its lock nor what it remembers meets the developer's viewer.
    std::unique_ptr<QProcess> Start(const QStringList& arguments = {},
                                    const QString& workingDir = QString()) {
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
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(process.readAllStandardOutput(), QByteArray());
        EXPECT_EQ(process.readAllStandardError(), QByteArray());
    }

    // The running viewer takes connections (it may still be starting).
    bool Listening() const {
        return QTest::qWaitFor(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(socketPath_);
                return probe.waitForConnected(100);
            },
            20000);
    }

    // The viewer remembers the folder of each photo it opens: what a test
    // outside its process can see of an open.
    QString RememberedFolder() const {
        return QSettings(configDir_.filePath("exifviewer/exifviewer.ini"), QSettings::IniFormat)
            .value("lastFolder")
            .toString();
    }
    bool Remembers(const QString& folder) const {
        return QTest::qWaitFor([&] { return RememberedFolder() == folder; }, 20000);
    }

    QString Photo(const QString& relative) {
        const QString path = photoDir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(testsupport::WriteFile(
            path.toStdString(),
            testsupport::DecodableJpeg(testsupport::BuildTiff(testsupport::CameraSpec()).bytes)));
        return path;
    }

    // Who holds the settings file's lock, if anyone: a copy killed while it
    // wrote leaves it behind.
    std::string SettingsLock() const {
        QFile lock(configDir_.filePath("exifviewer/exifviewer.ini.lock"));
        return lock.open(QIODevice::ReadOnly) ? lock.readAll().toStdString() : "none";
    }

    // What a failed case shows of a copy: whether it still runs, how it
    // ended, what it printed.
    static std::string Described(const char* name, QProcess& process) {
        const bool running = process.state() != QProcess::NotRunning;
        return std::string(name) +
               (running ? ": running"
                        : ": ended with status " + std::to_string(process.exitCode())) +
               ", printed: " + process.readAllStandardError().toStdString() + "\n";
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
    ASSERT_TRUE(Remembers(QFileInfo(a).absolutePath()))
        << "the photo on the command line is opened";
    ASSERT_TRUE(Listening());

    // Relative to the second start's working folder, as a file manager may pass it.
    auto second = Start({"home/猫 b.jpg"}, photoDir_.path());
    EndsSilently(*second);
    EXPECT_TRUE(Remembers(QFileInfo(b).absolutePath()))
        << "the running viewer opened the handed-over photo";
    EXPECT_TRUE(Lives(*first, 100));
    Stop(*first);
}

TEST_F(StartupTest, ACrashedCopyDoesNotBlockTheNextStart) {
    auto first = Start();
    ASSERT_TRUE(Lives(*first, 1500));
    ASSERT_TRUE(Listening());
    first->kill();  // SIGKILL: no clean-up runs, the lock file and the socket stay behind
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(QFileInfo::exists(socketPath_))
        << "a stale socket, which must not block the next start";

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
    ASSERT_TRUE(server.listen());
    QSignalSpy received(&server, &platform::InstanceServer::received);
    const auto header = [](const char* magic, quint32 length) {
        QByteArray bytes(magic, 4);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(static_cast<char>((length >> shift) & 0xFF));
        return bytes;
    };
    const struct {
        const char* name;
        QByteArray bytes;
        bool taken;
    } cases[] = {
        {"a good message", platform::handOverMessage("/p/a.jpg"), true},
        {"an empty path", platform::handOverMessage(QString()), true},
        {"the longest path",
         platform::handOverMessage("/" + QString(platform::kHandOverMaxPathBytes - 1, 'a')), true},
        {"one byte too long",
         header("EXV1", platform::kHandOverMaxPathBytes + 1) +
             QByteArray(platform::kHandOverMaxPathBytes + 1, 'a'),
         false},
        {"a huge length", header("EXV1", 0xFFFFFFFFu), false},
        {"another magic", header("EXV2", 3) + "/p/", false},
        {"not UTF-8", header("EXV1", 4) + QByteArray("/\xC3\x28x", 4), false},
        {"a NUL inside", header("EXV1", 4) + QByteArray("/a\0b", 4), false},
        {"a relative path", platform::handOverMessage("a.jpg"), false},
        {"bytes after the path", platform::handOverMessage("/p/a.jpg") + "tail", false},
        {"cut short", platform::handOverMessage("/p/a.jpg").left(10), false},
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
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return client.state() == QLocalSocket::UnconnectedState; }, 5000))
            << c.name;
        EXPECT_EQ(received.count(), c.taken ? 1 : 0) << c.name;
        EXPECT_EQ(client.readAll(), QByteArray(c.taken ? "+" : "")) << c.name;
    }
}

// Another user of the machine who gets to the viewer's lock and socket names
// first: a process of that user holds a lock and listens on a socket, open
// to everyone, and reports every byte it is sent.
class Squatter {
public:
    struct Plan {
        std::string folder;  // made, open to all, unless it exists
        std::string lock;    // held, when not empty
        std::string socket;  // listened on, when not empty
    };

    Squatter(uid_t uid, const Plan& plan) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            Run(uid, plan, fds[1]);
        }
        ::close(fds[1]);
        received_ = fds[0];
        ::fcntl(received_, F_SETFL, O_NONBLOCK);
        // Up once its socket takes connections.
        for (int i = 0; i < 200 && !plan.socket.empty() && !Answers(plan.socket); ++i)
            ::usleep(10000);
    }
    ~Squatter() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (received_ >= 0) ::close(received_);
    }
    bool started() const { return pid_ > 0; }

    // Everything any connection sent so far.
    std::string Received() {
        std::string bytes;
        char chunk[4096];
        for (ssize_t n; (n = ::read(received_, chunk, sizeof chunk)) > 0;) bytes.append(chunk, n);
        return bytes;
    }

private:
    static bool Answers(const std::string& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return up;
    }

    // The child: system calls only, then it waits to be killed.
    [[noreturn]] static void Run(uid_t uid, const Plan& plan, int report) {
        if (::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(1);
        ::umask(0);
        if (!plan.folder.empty()) ::mkdir(plan.folder.c_str(), 0777);
        if (!plan.lock.empty()) {
            const int lock = ::open(plan.lock.c_str(), O_RDWR | O_CREAT, 0666);
            ::flock(lock, LOCK_EX);
        }
        if (plan.socket.empty()) ::pause();
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", plan.socket.c_str());
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(server, 8) != 0)
            ::_exit(1);
        for (;;) {
            const int client = ::accept(server, nullptr, nullptr);
            if (client < 0) continue;
            pollfd wait{client, POLLIN, 0};
            char bytes[8192];
            ssize_t n = 0;
            if (::poll(&wait, 1, 2000) > 0 && (n = ::read(client, bytes, sizeof bytes)) > 0) {
                ::write(report, bytes, n);
                ::write(client, "+", 1);  // "taken", as the viewer answers
            }
            ::close(client);
        }
    }

    pid_t pid_ = -1;
    int received_ = -1;
};

// The viewer run by one user while another squats the names in /tmp (and a
// runtime folder) where it keeps its lock and socket: a second start's photo
// must reach the user's own viewer and never the other user's program.
TEST_F(StartupTest, NamesSquattedByAnotherUserNeitherBlockNorReceive) {
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty()) {
        GTEST_SKIP()
            << "needs root and setpriv to run the viewer and the squatter as two other users";
    }
    constexpr uid_t kUser = 61731, kOther = 61732;
    const std::string user = std::to_string(kUser);
    const std::string tmp = "/tmp/exifviewer";
    QTemporaryDir othersRuntime;
    ASSERT_TRUE(othersRuntime.isValid());
    ASSERT_EQ(::chown(othersRuntime.path().toLocal8Bit().constData(), kOther, kOther), 0);
    ASSERT_EQ(::chmod(othersRuntime.path().toLocal8Bit().constData(), 0777), 0);
    const std::string xdg = othersRuntime.path().toStdString();

    const struct {
        const char* name;
        Squatter::Plan plan;
        QString runtime;  // the viewer's XDG_RUNTIME_DIR; unset when empty
    } cases[] = {
        {"the socket's old name in /tmp", {"", "", tmp + ".socket." + user}, ""},
        {"the old lock held and the old socket",
         {"", tmp + ".lock." + user, tmp + ".socket." + user},
         ""},
        {"the user's folder in /tmp made first",
         {tmp + "-" + user, tmp + "-" + user + "/exifviewer.lock",
          tmp + "-" + user + "/exifviewer.socket"},
         ""},
        {"a runtime folder of the other user",
         {"", xdg + "/exifviewer.lock", xdg + "/exifviewer.socket"},
         othersRuntime.path()},
    };
    // The viewer's own folders, its photo readable by its user.
    for (QTemporaryDir* dir : {&configDir_, &photoDir_}) {
        ASSERT_EQ(::chown(dir->path().toLocal8Bit().constData(), kUser, kUser), 0);
    }
    const QString photo = Photo("p/a.jpg");
    for (const QString& path : {photoDir_.filePath("p"), photo}) {
        ASSERT_EQ(::chown(path.toLocal8Bit().constData(), kUser, kUser), 0);
    }
    const auto clearTmp = [&] {
        for (const std::string& name : {tmp + ".socket." + user, tmp + ".lock." + user})
            ::unlink(name.c_str());
        QDir(QString::fromStdString(tmp + "-" + user)).removeRecursively();
    };

    for (const auto& c : cases) {
        clearTmp();
        Squatter squatter(kOther, c.plan);
        ASSERT_TRUE(squatter.started()) << c.name;
        QFile::remove(configDir_.filePath("exifviewer/exifviewer.ini"));

        const auto startAsUser = [&](const QStringList& arguments) {
            auto process = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.insert("HOME", configDir_.path());
            env.insert("XDG_CONFIG_HOME", configDir_.path());
            env.remove("XDG_RUNTIME_DIR");
            if (!c.runtime.isEmpty()) env.insert("XDG_RUNTIME_DIR", c.runtime);
            process->setProcessEnvironment(env);
            process->start("setpriv", QStringList{"--reuid=" + QString::number(kUser),
                                                  "--regid=" + QString::number(kUser),
                                                  "--clear-groups", EXIFVIEWER_PATH} +
                                          arguments);
            EXPECT_TRUE(process->waitForStarted(5000)) << c.name;
            return process;
        };
        auto first = startAsUser({});
        EXPECT_TRUE(Lives(*first, 1500)) << c.name << ": the viewer starts";
        auto second = startAsUser({photo});
        EXPECT_TRUE(Remembers(QFileInfo(photo).absolutePath()))
            << c.name << ": the photo is opened\n"
            << Described("the first copy", *first) << Described("the second copy", *second)
            << "settings lock: " << SettingsLock();
        EXPECT_EQ(squatter.Received(), "") << c.name << ": the other user received the path";
        Stop(*first);
        Stop(*second);
    }
    clearTmp();
}

TEST(StartupStrings, AreSetBeforeAnyWindow) {
    viewer::setStartupStrings();
    EXPECT_EQ(viewer::startupStrings().pathSeparator, "/");
    // Contact lines: an e-mail line of 22 characters, then a chat line of 12.
    const QString mail = QString::fromStdString(viewer::startupStrings().contactLines[0]);
    const QString chat = QString::fromStdString(viewer::startupStrings().contactLines[1]);
    EXPECT_EQ(mail.size(), 22);
    EXPECT_TRUE(mail.contains('@'));
    EXPECT_EQ(chat.size(), 12);
}

}  // namespace
