// A photo file opened once, as a descriptor. Every later step (recognising
// it, the metadata reader, each decoder) reads the file that was opened and
// checked, never the path again: a file put in its place meanwhile is not
// what gets shown.
#pragma once

#include "photo/problem.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <span>

class QIODevice;

namespace reader {
class ByteSource;
}

namespace photo {

class PhotoFile : public std::enable_shared_from_this<PhotoFile> {
public:
    struct Opened {
        std::shared_ptr<const PhotoFile> file;  // null on failure
        Problem problem = Problem::None;
    };

    // Opens the path for reading, regular files only: a FIFO would block
    // the first read until some writer came, and a device or a socket has no
    // end. The type is taken from the descriptor opened (O_NONBLOCK keeps
    // the open of a FIFO from waiting), so nothing can be swapped in between.
    static Opened open(const QString& path);
    // Takes over a descriptor opened elsewhere, checked the same way; a
    // descriptor that is not a regular file is closed.
    static Opened adopt(int descriptor);

    ~PhotoFile();
    PhotoFile(const PhotoFile&) = delete;
    PhotoFile& operator=(const PhotoFile&) = delete;

    int descriptor() const { return descriptor_; }
    // As it was when opened.
    std::uint64_t size() const { return size_; }

    // Fills `out` with the bytes at `offset`; false when the file does not
    // hold them (any more).
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Reads into `out` from `offset` until it is full or the file ends (or
    // a read fails); returns how many bytes were read. Read, not mapped: a
    // file cut short by another program meanwhile must not bring the
    // process down.
    std::size_t readSome(std::uint64_t offset, std::span<std::uint8_t> out) const;

    // Bytes of the file in a buffer that is not zero-filled first (a whole
    // photo may be read, and the read overwrites every byte it counts).
    struct Bytes {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t size = 0;
        std::span<const std::uint8_t> span() const { return {data.get(), size}; }
    };
    // Up to `length` bytes from `offset`: fewer when the file ends first.
    Bytes readUpTo(std::uint64_t offset, std::uint64_t length) const;

    // The whole file as opened, mapped instead of read: no copy, and no
    // fresh memory of the process's own to fault in (which took a 50 MP
    // JPEG's 18 MB 10 ms to read). A page another program cuts off meanwhile
    // raises SIGBUS when touched, so a process maps only once it has made
    // that harmless and said so (allowMapping); empty otherwise, for an empty
    // file, or when the mapping fails.
    class Mapping {
    public:
        Mapping() = default;
        Mapping(Mapping&& other) noexcept;
        Mapping& operator=(Mapping&&) = delete;
        ~Mapping();
        std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
        explicit operator bool() const { return data_ != nullptr; }

    private:
        friend class PhotoFile;
        Mapping(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
        const std::uint8_t* data_ = nullptr;
        std::size_t size_ = 0;
    };
    Mapping map() const;
    // Said by a process whose SIGBUS handler, while mappingsAlive(), ends it
    // with a reason of its own.
    static void allowMapping();
    // Safe to call from a signal handler.
    static int mappingsAlive();

    // The metadata reader's view of this file, and a device for Qt's image
    // plugins; both read at positions of their own and keep the file open.
    std::unique_ptr<reader::ByteSource> byteSource() const;
    std::unique_ptr<QIODevice> device() const;

private:
    PhotoFile(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size) {}

    int descriptor_;
    std::uint64_t size_;
};

}  // namespace photo
