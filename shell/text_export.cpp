#include "shell/text_export.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace viewer {
namespace {

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool WriteAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += written;
    }
    return true;
}

// A new file of our own beside the report, under a name no one can have
// prepared: O_EXCL refuses anything already there, links included.
int CreateTemporary(int folder, const QByteArray& name, mode_t mode, QByteArray* created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *created = "." + name + "." +
                   QByteArray::number(QRandomGenerator::system()->generate64(), 36) + ".tmp";
        const int fd = ::openat(folder, created->constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool writeReportFile(const QString& path, const QByteArray& bytes, QString* error) {
    const auto fail = [&](int cause) {
        if (error) *error = qt_error_string(cause);
        return false;
    };
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.isEmpty()) return fail(EISDIR);
    // Everything below happens inside this one folder, whatever its path
    // comes to mean meanwhile.
    Descriptor folder(::open(QFile::encodeName(info.absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.ok()) return fail(errno);

    // A link at the chosen name may point anywhere (a shell start-up file, a
    // file of another folder); the report never goes through it.
    struct stat old {};
    mode_t mode = 0666;  // less the umask, as for any new file
    if (::fstatat(folder.get(), name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(old.st_mode)) {
            if (error) *error = QStringLiteral("这是一个符号链接，报告不会写进它所指的文件");
            return false;
        }
        if (S_ISDIR(old.st_mode)) return fail(EISDIR);
        // A report saved again keeps the permissions the user gave it.
        if (S_ISREG(old.st_mode)) mode = old.st_mode & 0777;
    } else if (errno != ENOENT) {
        return fail(errno);
    }

    QByteArray temporary;
    Descriptor file(CreateTemporary(folder.get(), name, mode, &temporary));
    if (!file.ok()) return fail(errno);
    const auto discard = [&] {
        const int cause = errno;
        ::unlinkat(folder.get(), temporary.constData(), 0);
        return fail(cause);
    };
    if (S_ISREG(old.st_mode) && ::fchmod(file.get(), mode) != 0) return discard();
    // Only a complete file on the disk replaces the old report.
    if (!WriteAll(file.get(), bytes) || ::fsync(file.get()) != 0) return discard();
    if (::close(file.release()) != 0) return discard();
    // The rename replaces the name itself: a link that appeared at it since
    // the check is replaced, never followed.
    if (::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()) != 0)
        return discard();
    return true;
}

}  // namespace viewer
