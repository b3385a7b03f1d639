#include "sandbox/shared_picture.h"

#include <cerrno>
#include <sys/mman.h>
#include <sys/stat.h>
#include <utility>

namespace sandbox {

UniqueFd sealedMemoryFile(std::span<const std::uint8_t> bytes) {
    UniqueFd file(::memfd_create("exifviewer-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!file || ::ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0) return {};
    // Written, not mapped: F_SEAL_WRITE is refused while a writable shared
    // mapping exists.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(file.get(), bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return {};
        done += static_cast<std::size_t>(written);
    }
    if (::fcntl(file.get(), F_ADD_SEALS, kRequiredSeals) != 0) return {};
    return file;
}

MappedPicture::~MappedPicture() { unmap(data_, length_); }

MappedPicture::MappedPicture(MappedPicture&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), length_(std::exchange(other.length_, 0)) {}

MappedPicture& MappedPicture::operator=(MappedPicture&& other) noexcept {
    if (this != &other) {
        unmap(data_, length_);
        data_ = std::exchange(other.data_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

const void* MappedPicture::release() {
    length_ = 0;
    return std::exchange(data_, nullptr);
}

void MappedPicture::unmap(const void* data, std::size_t length) {
    if (data) ::munmap(const_cast<void*>(data), length);
}

MappedFile mapSealedFile(int descriptor, std::size_t length) {
    struct stat info {};
    if (length == 0 || ::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))
        return {{}, Fault::NotMemoryFile};
    // Only memory files answer for seals; any other file gives EINVAL.
    const int seals = ::fcntl(descriptor, F_GET_SEALS);
    if (seals < 0) return {{}, Fault::NotMemoryFile};
    if ((seals & kRequiredSeals) != kRequiredSeals) return {{}, Fault::NotSealed};
    // Sealed: the size read now is the size for good.
    if (::fstat(descriptor, &info) != 0 || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) < length)
        return {{}, Fault::PictureBeyondFile};
    void* data = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, descriptor, 0);
    if (data == MAP_FAILED) return {{}, Fault::MapFailed};
    return {MappedPicture(data, length), Fault::None};
}

}  // namespace sandbox
