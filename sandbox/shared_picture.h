// Pixels between the processes: a memory file (memfd) that the writer fills
// and then seals against writing, shrinking and growing, so that the reader
// can map it and trust that no byte changes and no page goes away while it
// reads (a file that shrank under a mapping would raise SIGBUS).
#pragma once

#include "sandbox/protocol.h"
#include "sandbox/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <span>

namespace sandbox {

// The seals a memory file must carry to be mapped.
inline constexpr int kRequiredSeals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

// A new memory file holding `bytes`, sealed; empty on failure.
UniqueFd sealedMemoryFile(std::span<const std::uint8_t> bytes);

// A read-only mapping, unmapped when it goes.
class MappedPicture {
public:
    MappedPicture() = default;
    MappedPicture(const void* data, std::size_t length) : data_(data), length_(length) {}
    ~MappedPicture();
    MappedPicture(MappedPicture&& other) noexcept;
    MappedPicture& operator=(MappedPicture&& other) noexcept;
    MappedPicture(const MappedPicture&) = delete;
    MappedPicture& operator=(const MappedPicture&) = delete;

    const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(data_); }
    std::size_t size() const { return length_; }
    explicit operator bool() const { return data_ != nullptr; }
    // Hands the mapping over (to an image that unmaps it with unmap()).
    const void* release();
    static void unmap(const void* data, std::size_t length);

private:
    const void* data_ = nullptr;
    std::size_t length_ = 0;
};

struct MappedFile {
    MappedPicture picture;
    Fault fault = Fault::None;
};

// Maps the first `length` bytes (not 0) of a memory file from the other
// process, read-only: only when it carries kRequiredSeals (checked before
// its size, which the seals then hold still) and holds that many bytes.
MappedFile mapSealedFile(int descriptor, std::size_t length);

}  // namespace sandbox
