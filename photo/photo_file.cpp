#include "photo/photo_file.h"

#include "reader/property_items.h"

#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace photo {
namespace {

Problem ProblemOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG: return Problem::Missing;
    case EACCES:
    case EPERM: return Problem::NoPermission;
    case ENXIO:  // a socket
    case ENODEV: return Problem::NotAPhoto;
    default: return Problem::Damaged;
    }
}

std::atomic<bool> mappingAllowed{false};
std::atomic<int> mappings{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

bool InRange(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

// The reader finds the Exif block from the container's first segments or
// boxes, which the head holds: one read instead of a dozen small ones.
constexpr std::size_t kHeadBytes = 4 * 1024;

class FileBytes final : public reader::ByteSource {
public:
    explicit FileBytes(std::shared_ptr<const PhotoFile> file)
        : file_(std::move(file)), head_(file_->readUpTo(0, kHeadBytes)) {}

    std::uint64_t size() const override { return file_->size(); }

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (!InRange(offset, out.size(), file_->size())) return false;
        if (InRange(offset, out.size(), head_.size)) {
            std::copy_n(head_.data.get() + offset, out.size(), out.begin());
            return true;
        }
        return file_->read(offset, out);
    }

private:
    std::shared_ptr<const PhotoFile> file_;
    PhotoFile::Bytes head_;
};

// Random access at the device's own position: Qt's plugins seek and read
// as they like without moving anything another reader of the file relies on.
class FileDevice final : public QIODevice {
public:
    explicit FileDevice(std::shared_ptr<const PhotoFile> file) : file_(std::move(file)) {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return static_cast<qint64>(file_->size()); }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 at = pos();
        const qint64 wanted = std::min(maxSize, size() - at);
        if (wanted <= 0) return 0;
        const std::size_t read = file_->readSome(
            static_cast<std::uint64_t>(at),
            std::span(reinterpret_cast<std::uint8_t*>(data), static_cast<std::size_t>(wanted)));
        return read > 0 ? static_cast<qint64>(read) : -1;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::shared_ptr<const PhotoFile> file_;
};

}  // namespace

PhotoFile::Opened PhotoFile::open(const QString& path) {
    if (path.isEmpty()) return {nullptr, Problem::Missing};
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return {nullptr, ProblemOf(errno)};
    return adopt(descriptor);
}

PhotoFile::Opened PhotoFile::adopt(int descriptor) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        const int error = errno;
        ::close(descriptor);
        return {nullptr, ProblemOf(error)};
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return {nullptr, Problem::NotAPhoto};
    }
    const auto size = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
    return {std::shared_ptr<const PhotoFile>(new PhotoFile(descriptor, size)), Problem::None};
}

PhotoFile::~PhotoFile() { ::close(descriptor_); }

bool PhotoFile::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    return InRange(offset, out.size(), size_) && readSome(offset, out) == out.size();
}

std::size_t PhotoFile::readSome(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(descriptor_, out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

PhotoFile::Bytes PhotoFile::readUpTo(std::uint64_t offset, std::uint64_t length) const {
    Bytes bytes;
    if (offset >= size_) return bytes;
    // At most the file's size, as it was when opened.
    const auto wanted = static_cast<std::size_t>(std::min(length, size_ - offset));
    bytes.data = std::make_unique_for_overwrite<std::uint8_t[]>(wanted);
    bytes.size = readSome(offset, std::span(bytes.data.get(), wanted));
    return bytes;
}

PhotoFile::Mapping::Mapping(Mapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PhotoFile::Mapping::~Mapping() {
    if (!data_) return;
    ::munmap(const_cast<std::uint8_t*>(data_), size_);
    mappings.fetch_sub(1);
}

PhotoFile::Mapping PhotoFile::map() const {
    if (!mappingAllowed.load() || size_ == 0 || size_ > SIZE_MAX) return {};
    // Counted before the pages can be touched: the handler must know.
    mappings.fetch_add(1);
    // Not populated up front: an 18 MB photo's pages took 1.7 ms to map
    // before its decode could begin, while faulted in as they are read, each
    // decoding thread maps its own part, side by side.
    void* data =
        ::mmap(nullptr, static_cast<std::size_t>(size_), PROT_READ, MAP_PRIVATE, descriptor_, 0);
    if (data == MAP_FAILED) {
        mappings.fetch_sub(1);
        return {};
    }
    return Mapping(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size_));
}

void PhotoFile::allowMapping() { mappingAllowed.store(true); }

int PhotoFile::mappingsAlive() { return mappings.load(); }

std::unique_ptr<reader::ByteSource> PhotoFile::byteSource() const {
    return std::make_unique<FileBytes>(shared_from_this());
}

std::unique_ptr<QIODevice> PhotoFile::device() const {
    return std::make_unique<FileDevice>(shared_from_this());
}

}  // namespace photo
