// Byte sources for the property-item reader: bytes in memory, and a file read
// by ranges so that a large photo costs only the reads its metadata needs.
#include "reader/property_items.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reader {
namespace {

bool InRange(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t size() const override { return bytes_.size(); }

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (!InRange(offset, out.size(), bytes_.size())) return false;
        const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(offset);
        std::copy(first, first + static_cast<std::ptrdiff_t>(out.size()), out.begin());
        return true;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// The head holds the container's signature and first segments or chunks, so
// finding the Exif block costs one read; the block itself is then read in
// one go (see CacheRange). A larger head would copy image data for nothing.
constexpr std::size_t kHeadSize = 4 * 1024;

bool ReadFully(int fd, std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::span<std::uint8_t> rest = out.subspan(done);
        const ssize_t n = ::pread(fd, rest.data(), rest.size(), static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;  // the file shrank since it was opened
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class FileByteSource final : public ByteSource {
public:
    FileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileByteSource() override { ::close(fd_); }
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // Reads the head in one go; false (errno set) when the file cannot be read.
    bool readHead() {
        head_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size_, kHeadSize)));
        return ReadFully(fd_, 0, head_);
    }

    std::uint64_t size() const override { return size_; }

    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (!InRange(offset, out.size(), size_)) return false;
        if (InRange(offset, out.size(), head_.size())) {
            const auto first = head_.begin() + static_cast<std::ptrdiff_t>(offset);
            std::copy(first, first + static_cast<std::ptrdiff_t>(out.size()), out.begin());
            return true;
        }
        return ReadFully(fd_, offset, out);
    }

private:
    int fd_;
    std::uint64_t size_;
    std::vector<std::uint8_t> head_;
};

}  // namespace

std::unique_ptr<ByteSource> MemorySource(std::vector<std::uint8_t> bytes) {
    return std::make_unique<MemoryByteSource>(std::move(bytes));
}

std::unique_ptr<ByteSource> FileSource(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It changes nothing
    // for regular files.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return nullptr;
    }
    // Devices and pipes report no size and so offer no bytes: they read as an
    // unknown format instead of blocking or streaming forever.
    const std::uint64_t size =
        S_ISREG(info.st_mode) && info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    auto source = std::make_unique<FileByteSource>(fd, size);
    if (!source->readHead()) {
        const int error = errno;
        source.reset();
        errno = error;
        return nullptr;
    }
    return source;
}

}  // namespace reader
