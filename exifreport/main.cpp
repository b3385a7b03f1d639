// exifreport [-r] [--csv | --json] PHOTO|FOLDER...: writes the metadata of
// each photo to standard output, by default as the text report that the
// viewer's save command writes.
#include "exifreport/csv_writer.h"
#include "exifreport/json_writer.h"
#include "exifreport/photo_walk.h"
#include "exifreport/progress_line.h"
#include "exifreport/terminal_text.h"

#include "exif/metadata_list.h"
#include "exif/report.h"
#include "reader/photo_names.h"
#include "reader/property_items.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace exifreport;

constexpr const char* kUsage =
    "usage: exifreport [-r] [--csv | --json] PHOTO|FOLDER...\n"
    "Writes the metadata of each photo to standard output: by default the report the viewer\n"
    "saves (UTF-8, CR LF line ends), one photo after the other.\n"
    "  -r, --recursive  report the photos in the folders given and in their subfolders, in\n"
    "                   natural name order (IMG_2 before IMG_10); photos are recognised by their\n"
    "                   content; a file named like a photo (.jpg, .heic ...) that is not one is\n"
    "                   named on standard error, other files are skipped; links to folders are\n"
    "                   not followed\n"
    "  --csv            one row per photo for spreadsheets: columns 文件, 路径 and one per\n"
    "                   label (UTF-8 with a byte-order mark, CR LF line ends)\n"
    "  --json           one JSON object per photo and line: file, path and the entries, each\n"
    "                   with its tag number, label and value\n"
    "  --help           this text\n"
    "Photos: JPEG, TIFF, PNG, WebP, HEIC/HEIF, AVIF, camera raw (DNG, CR2, CR3, NEF, NRW, ARW,\n"
    "ORF, RW2, RAF, PEF, SRW), BMP and GIF.\n"
    "Exit status: 0 when every photo was reported, 1 when a file named on the command line or\n"
    "named like a photo is not a photo or a file or folder could not be read, 2 for a usage "
    "error.\n";

constexpr const char* kNotAPhoto =
    "not a JPEG, TIFF, PNG, WebP, HEIC/HEIF, AVIF, camera raw (DNG, CR2, CR3, NEF, NRW, ARW, ORF, "
    "RW2, "
    "RAF, PEF, SRW), BMP or GIF file";

enum class Output { Report, Csv, Json };

struct Options {
    bool help = false;
    bool recursive = false;
    Output output = Output::Report;
    std::vector<std::string> paths;
};

// Options may stand anywhere before "--"; after it every argument is a path.
// Nullopt for a usage error.
std::optional<Options> ParseArguments(int argc, char** argv) {
    Options options;
    bool outputChosen = false;
    bool pathsOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (pathsOnly || arg.size() < 2 || arg[0] != '-') {
            options.paths.emplace_back(arg);
        } else if (arg == "--") {
            pathsOnly = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "-r" || arg == "--recursive") {
            options.recursive = true;
        } else if ((arg == "--csv" || arg == "--json") && !outputChosen) {
            options.output = arg == "--csv" ? Output::Csv : Output::Json;
            outputChosen = true;
        } else {
            if (arg == "--csv" || arg == "--json")
                std::fputs("exifreport: --csv and --json exclude each other\n", stderr);
            else std::fprintf(stderr, "exifreport: unknown option %s\n", TerminalText(arg).c_str());
            return std::nullopt;
        }
    }
    if (options.paths.empty() && !options.help) return std::nullopt;
    return options;
}

std::string_view FolderOf(const std::string& path) {
    const std::size_t at = path.rfind('/');
    return at == std::string::npos ? std::string_view()
                                   : std::string_view(path).substr(0, at == 0 ? 1 : at);
}

class Reporter {
public:
    Reporter(Output output, ProgressLine& progress) : output_(output), progress_(progress) {
        if (output_ == Output::Csv) Write(csv_.Header());
    }

    // Reports the file if it is a photo. A file met in a walk that is not a
    // photo is passed over silently, unless its name says it is one: a damaged
    // photo is a photo lost. One named on the command line is a failure.
    void Look(const std::string& path, bool named) {
        std::unique_ptr<reader::ByteSource> source = reader::FileSource(path);
        if (!source) {
            const int error = errno;
            // Gone between the listing and now: nothing left to report.
            if (!named && error == ENOENT) return;
            Fail(path, named && error == EISDIR ? "is a folder; use -r" : std::strerror(error));
            return;
        }
        const bool empty = source->size() == 0;
        const reader::PropertyImage image = reader::PropertyImage::Open(std::move(source));
        if (image.format() == reader::PhotoFormat::Unknown) {
            if (named || reader::HasPhotoExtension(path))
                Fail(path, empty ? "empty file" : kNotAPhoto);
            return;
        }
        list_.SetPhoto(path);
        list_.LoadMetadata(&image);
        switch (output_) {
        case Output::Report: Write(exif::BuildReport(list_)); break;
        case Output::Csv:
            text_.clear();
            csv_.AppendRow(text_, list_);
            Write(text_);
            break;
        case Output::Json:
            text_.clear();
            AppendJsonLine(text_, list_);
            Write(text_);
            break;
        }
        progress_.Step(FolderOf(path));
    }

    void Fail(const std::string& path, const char* reason) {
        progress_.Clear();
        std::fprintf(stderr, "exifreport: %s: %s\n", TerminalText(path).c_str(), reason);
        failed_ = true;
    }

    bool Failed() const { return failed_; }

private:
    void Write(const std::string& text) const {
        if (toTerminal_) {
            const std::string shown = TerminalReportText(text);
            std::fwrite(shown.data(), 1, shown.size(), stdout);
        } else {
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
    }

    Output output_;
    // A photo's texts reach a terminal with their control characters escaped;
    // a file or a pipe gets every byte.
    const bool toTerminal_ = ::isatty(STDOUT_FILENO) == 1;
    ProgressLine& progress_;
    exif::MetadataList list_;
    CsvWriter csv_;
    std::string text_;
    bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = ParseArguments(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // Reports are small and many: one large buffer keeps the writes few.
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    PhotoWalk walk(std::move(options->paths), options->recursive);
    ProgressLine progress(STDERR_FILENO, ProgressWanted(), walk.KnownTotal());
    Reporter reporter(options->output, progress);
    walk.Run(
        {[&](const std::string& path, bool named) { reporter.Look(path, named); },
         [&](const std::string& path, int error) { reporter.Fail(path, std::strerror(error)); }});
    progress.Clear();

    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "exifreport: cannot write the reports: %s\n", std::strerror(errno));
        return 1;
    }
    return reporter.Failed() ? 1 : 0;
}
