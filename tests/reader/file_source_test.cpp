// The file source on real files: errors, containers, and reading only the
// part of a large file that holds the metadata.
#include "reader_test_support.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace testsupport;
using Bytes = std::vector<std::uint8_t>;

class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "readerXXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = dir_ + "/" + name;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    // A sparse file of `size` bytes with `head` at 0 and `tail` at `tailOffset`.
    std::string writeSparse(const std::string& name, std::uint64_t size, const Bytes& head,
                            std::uint64_t tailOffset, const Bytes& tail) {
        const std::string path = dir_ + "/" + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(tailOffset)),
                  static_cast<ssize_t>(tail.size()));
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ::close(fd);
        return path;
    }

    std::string dir_;
};

// The process's read counters from /proc/self/io, taken with exactly one
// read call (which the next snapshot counts).
struct IoSnapshot {
    std::uint64_t bytes = 0;  // rchar
    std::uint64_t calls = 0;  // syscr
};

IoSnapshot ReadIo() {
    IoSnapshot snapshot;
    char text[1024] = {};
    const int fd = ::open("/proc/self/io", O_RDONLY);
    if (fd < 0) return snapshot;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return snapshot;
    std::sscanf(text, "rchar: %lu wchar: %*u syscr: %lu", &snapshot.bytes, &snapshot.calls);
    return snapshot;
}

std::uint64_t BytesReadByProcess() { return ReadIo().bytes; }

TEST_F(FileSourceTest, PathsThatCannotBeOpenedGiveNullAndErrno) {
    const std::string file = write("photo.jpg", Jpeg(BuildTiff(CameraSpec()).bytes));
    struct Case {
        const char* name;
        std::string path;
        int error;
    };
    const Case cases[] = {
        {"missing", dir_ + "/missing.jpg", ENOENT},
        {"empty path", "", ENOENT},
        {"a folder", dir_, EISDIR},
        {"below a file", file + "/x", ENOTDIR},
    };
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(reader::FileSource(c.path), nullptr) << c.name;
        EXPECT_EQ(errno, c.error) << c.name;
    }
}

TEST_F(FileSourceTest, EveryContainerReadsAsFromMemory) {
    for (bool big : {false, true}) {
        const Bytes tiff = BuildTiff(CameraSpec(big)).bytes;
        const std::pair<const char*, Bytes> files[] = {
            {"photo.tif", tiff},
            {"photo.jpg", DecodableJpeg(tiff)},
            {"photo.png", Png(tiff, false)},
            {"photo.webp", WebP(tiff, true)},
            {"photo.bmp", Bmp()},
            {"photo.gif", Gif()},
            {"empty", {}},
        };
        for (const auto& [name, bytes] : files) {
            const reader::PropertyImage fromMemory = readertest::OpenBytes(bytes);
            auto source = reader::FileSource(write(name, bytes));
            ASSERT_NE(source, nullptr) << name;
            EXPECT_EQ(source->size(), bytes.size()) << name;
            const reader::PropertyImage fromFile = reader::PropertyImage::Open(std::move(source));
            EXPECT_EQ(fromFile.format(), fromMemory.format()) << name;
            EXPECT_EQ(readertest::ReadAll(fromFile), readertest::ReadAll(fromMemory)) << name;
        }
    }
}

TEST_F(FileSourceTest, AFifoOpensWithoutWaitingAndHasNoItems) {
    const std::string path = dir_ + "/fifo";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto source = reader::FileSource(path);
    ASSERT_NE(source, nullptr);
    const reader::PropertyImage image = reader::PropertyImage::Open(std::move(source));
    EXPECT_EQ(image.format(), reader::PhotoFormat::Unknown);
    EXPECT_TRUE(image.items().empty());
}

TEST_F(FileSourceTest, A100MegabyteFileIsReadOnlyWhereItsMetadataLies) {
    constexpr std::uint64_t kSize = 100u << 20;
    TiffSpec small;
    small.ifd0.fields = {Ascii(0x010F, "Canon EOS"), Short(0x0112, {6})};
    const Bytes tiff = BuildTiff(small).bytes;

    // A TIFF whose only directory and value lie at the end.
    Bytes tiffHead{'I', 'I', 42, 0};
    PutU32(tiffHead, 4, static_cast<std::uint32_t>(kSize - 32), false);
    Bytes tiffTail;
    PutU16(tiffTail, 0, 1, false);
    PutU16(tiffTail, 2, 0x010F, false);
    PutU16(tiffTail, 4, reader::PropertyTypeAscii, false);
    PutU32(tiffTail, 6, 10, false);
    PutU32(tiffTail, 10, static_cast<std::uint32_t>(kSize - 12), false);
    PutU32(tiffTail, 14, 0, false);
    tiffTail.resize(20);
    const Bytes canon{'C', 'a', 'n', 'o', 'n', ' ', 'E', 'O', 'S', 0};
    tiffTail.insert(tiffTail.end(), canon.begin(), canon.end());
    tiffTail.resize(32);

    // A JPEG with its Exif segment at the start and 100 MB of image data.
    const Bytes jpeg = Jpeg(tiff);

    // A PNG whose eXIf chunk comes after 100 MB of IDAT.
    Bytes pngHead = Png({}, true);
    pngHead.resize(pngHead.size() - 12);
    const std::uint32_t idatLength = static_cast<std::uint32_t>(kSize - 4096 - pngHead.size() - 8);
    pngHead.insert(pngHead.end(), {static_cast<std::uint8_t>(idatLength >> 24),
                                   static_cast<std::uint8_t>(idatLength >> 16),
                                   static_cast<std::uint8_t>(idatLength >> 8),
                                   static_cast<std::uint8_t>(idatLength), 'I', 'D', 'A', 'T'});
    const std::uint64_t pngTailOffset = pngHead.size() + idatLength + 4;
    Bytes pngTail{0,
                  0,
                  static_cast<std::uint8_t>(tiff.size() >> 8),
                  static_cast<std::uint8_t>(tiff.size()),
                  'e',
                  'X',
                  'I',
                  'f'};
    pngTail.insert(pngTail.end(), tiff.begin(), tiff.end());

    struct Case {
        const char* name;
        std::string path;
        Bytes expected;  // of 0x010F
    };
    const Case cases[] = {
        {"tiff", writeSparse("big.tif", kSize, tiffHead, kSize - 32, tiffTail), canon},
        {"jpeg", writeSparse("big.jpg", kSize, jpeg, kSize - 2, {0xFF, 0xD9}), canon},
        {"png", writeSparse("big.png", kSize, pngHead, pngTailOffset, pngTail), canon},
    };
    for (const Case& c : cases) {
        const std::uint64_t before = BytesReadByProcess();
        const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(c.path));
        const Bytes value = readertest::ValueOf(image, 0x010F);
        const std::uint64_t read = BytesReadByProcess() - before;
        EXPECT_EQ(value, c.expected) << c.name;
        EXPECT_LT(read, 256u * 1024) << c.name;
    }
}

TEST_F(FileSourceTest, AFileCutShortAfterOpeningGivesAnErrorForValuesPastTheCut) {
    // The value lies beyond the head that the source keeps in memory.
    Bytes bytes{'I', 'I', 42, 0, 8, 0, 0, 0};
    PutU16(bytes, 8, 1, false);
    PutU16(bytes, 10, 0x9286, false);
    PutU16(bytes, 12, reader::PropertyTypeUndefined, false);
    PutU32(bytes, 14, 16, false);
    PutU32(bytes, 18, 200000, false);
    bytes.resize(200016, 'v');
    const std::string path = write("shrinking.tif", bytes);
    const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
    ASSERT_EQ(image.items().size(), 1u);
    ASSERT_EQ(::truncate(path.c_str(), 100000), 0);
    std::vector<std::uint8_t> value;
    EXPECT_FALSE(image.readValue(image.items()[0], value));
}

TEST_F(FileSourceTest, ACameraJpegCostsTwoReadsTheHeadAndTheExifBlock) {
    TiffSpec spec = CameraSpec(true);
    spec.exif->fields.push_back(Undefined(0x9286, Bytes(20000, 'c')));  // a long user comment
    const Bytes tiff = BuildTiff(spec).bytes;
    JpegOptions options;
    options.before = {{0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}}};
    Bytes jpeg = Jpeg(tiff, options);
    jpeg.resize(jpeg.size() + 3'000'000, 0x55);  // image data
    const std::string path = write("camera.jpg", jpeg);

    const IoSnapshot before = ReadIo();
    const reader::PropertyImage image = reader::PropertyImage::Open(reader::FileSource(path));
    const std::vector<readertest::Item> items = readertest::ReadAll(image);
    const IoSnapshot after = ReadIo();
    const std::uint64_t calls =
        after.calls - before.calls - 1;  // less the first snapshot's own read
    const std::uint64_t bytes = after.bytes - before.bytes;

    EXPECT_EQ(items, readertest::ReadAll(readertest::OpenBytes(jpeg)));
    EXPECT_LE(calls, 2u);
    EXPECT_LT(bytes, tiff.size() + 8192);
}

}  // namespace
