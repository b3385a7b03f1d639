// A path that names no regular file (a FIFO, a socket, a device, a
// directory) is a failed open, at once: a FIFO without a writer would block
// the only thread for good. Each open runs on a thread of its own under a
// watchdog, so that a regression fails the case instead of hanging the run.
#include "photo/opened_photo.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// Whether `work` returns within the watchdog's time. When it does not, the
// FIFO at `fifo` gets a writer that closes at once, which ends any read
// blocked on it, so that the thread can be joined.
bool ReturnsInTime(const std::function<void()>& work, const QString& fifo) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool inTime = finished.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    worker.join();
    return inTime;
}

QByteArray Jpeg() {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return bytes;
}

bool MakeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A listening Unix socket bound to `path`; its descriptor, or -1.
int BindSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || name.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) return -1;
    std::copy(name.begin(), name.end(), address.sun_path);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class NonRegularFiles : public ::testing::Test {
protected:
    // Short, for the socket's path.
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/sf")};
};

TEST_F(NonRegularFiles, AreFailedOpensAtOnce) {
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("fifo.jpg"));
    ASSERT_TRUE(MakeFifo(fifo));
    const QString link = dir.filePath(QStringLiteral("link.jpg"));
    ASSERT_TRUE(QFile::link(fifo, link));
    const QString socketPath = dir.filePath(QStringLiteral("s.jpg"));
    const int socket = BindSocket(socketPath);
    ASSERT_GE(socket, 0);
    const struct {
        const char* name;
        QString path;
    } cases[] = {
        {"a FIFO without a writer", fifo},
        {"a link to that FIFO", link},
        {"a socket", socketPath},
        {"a device without end", QStringLiteral("/dev/zero")},
        {"an empty device", QStringLiteral("/dev/null")},
        {"a directory", dir.path()},
    };
    for (const auto& c : cases) {
        photo::Problem problem = photo::Problem::None;
        EXPECT_TRUE(
            ReturnsInTime([&] { problem = photo::OpenedPhoto::open(c.path).problem(); }, fifo))
            << c.name;
        EXPECT_EQ(problem, photo::Problem::NotAPhoto) << c.name;
    }
    ::close(socket);
}

// A photo that turns into a FIFO between its opening and its preview: the
// preview comes from the file opened, which the path no longer names, and
// nothing waits for a writer.
TEST_F(NonRegularFiles, APhotoReplacedByAFifoIsStillTheFileOpened) {
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Jpeg());
    file.close();
    photo::OpenedPhoto photo = photo::OpenedPhoto::open(path);
    ASSERT_TRUE(photo.isOpen());
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(MakeFifo(path));

    // At an eighth and above it: the preview decoder's road and libjpeg's.
    for (const QSize target : {QSize(8, 6), QSize(64, 48)}) {
        photo::Picture preview;
        EXPECT_TRUE(ReturnsInTime([&] { preview = photo.preview(target); }, path))
            << target.width();
        ASSERT_TRUE(preview.ok()) << target.width();
        EXPECT_EQ(preview.image.size(), target);
        const QColor middle = preview.image.pixelColor(target.width() / 2, target.height() / 2);
        const QColor cyan(Qt::darkCyan);
        EXPECT_LE(std::abs(middle.red() - cyan.red()) + std::abs(middle.green() - cyan.green()) +
                      std::abs(middle.blue() - cyan.blue()),
                  12)
            << target.width() << ": " << middle.name().toStdString();
    }
}

}  // namespace
