#include "platform/instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string RuntimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) {
        struct stat st {};
        if (::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    }
    return "/tmp";
}

}  // namespace

bool PrevInstance(const std::string& lockName) {
    // Kept open (and locked) until the process ends.
    static int lockFd = -1;
    if (lockFd >= 0) return false;

    // The uid keeps users of a shared /tmp apart.
    const std::string path = RuntimeFolder() + "/" + lockName + "." + std::to_string(::getuid());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;  // no lock to be had: better a second copy than none
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool heldByOther = errno == EWOULDBLOCK;
        ::close(fd);
        return heldByOther;
    }
    lockFd = fd;
    return false;
}

}  // namespace platform
