// exifreport PHOTO...: writes, for each photo in turn, the text report that the
// viewer's save command writes, to standard output.
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/property_items.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: exifreport PHOTO...\n"
    "Writes the metadata report of each photo (JPEG, TIFF, PNG, WebP, BMP, GIF) to standard output,\n"
    "in the layout the viewer saves. Exit status: 0 when every photo was reported, 1 when a photo\n"
    "could not be read, 2 for a usage error.\n";

void Complain(const char* path, const char* reason) {
    std::fprintf(stderr, "exifreport: %s: %s\n", path, reason);
}

// True when the photo's report was written.
bool Report(const char* path) {
    std::unique_ptr<reader::ByteSource> source = reader::FileSource(path);
    if (!source) {
        Complain(path, std::strerror(errno));
        return false;
    }
    const reader::PropertyImage image = reader::PropertyImage::Open(std::move(source));
    if (image.format() == reader::PhotoFormat::Unknown) {
        Complain(path, "not a JPEG, TIFF, PNG, WebP, BMP or GIF file");
        return false;
    }
    exif::MetadataList list;
    list.SetPhoto(path);
    list.LoadMetadata(&image);
    const std::string report = exif::BuildReport(list);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Reports are small and many: one large buffer keeps the writes few.
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    int status = 0;
    for (int i = 1; i < argc; ++i) {
        if (!Report(argv[i])) status = 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "exifreport: cannot write the reports: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}
