#include "exifreport/progress_line.h"

#include "exifreport/terminal_text.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace exifreport {
namespace {

// A terminal redrawn more often than this only costs time.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// Columns the terminal has, 80 when it does not say.
std::size_t TerminalWidth(int fd) {
    winsize size{};
    return ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// Columns the text takes at most: one per ASCII character, two for any other
// (CJK characters take two).
std::size_t Columns(std::string_view text) {
    std::size_t columns = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) ++columns;
        else if (byte >= 0xC0) columns += 2;
    }
    return columns;
}

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written <= 0) return;  // progress is a courtesy: never an error
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

constexpr std::string_view kClear = "\r\x1b[K";

}  // namespace

ProgressLine::ProgressLine(int fd, bool enabled, std::optional<std::size_t> total)
    : fd_(fd), enabled_(enabled), total_(total) {}

void ProgressLine::Step(std::string_view folder) {
    ++count_;
    if (!enabled_) return;
    if (count_ <= kMinimumPhotos && !(total_ && *total_ > kMinimumPhotos)) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - drawn_ < kRedrawInterval) return;
    drawn_ = now;
    Draw(folder);
}

void ProgressLine::Clear() {
    if (!shown_) return;
    WriteAll(fd_, kClear);
    shown_ = false;
}

void ProgressLine::Draw(std::string_view folder) {
    // Appended piece by piece: GCC 12 warns falsely about "literal" + string.
    std::string line = "exifreport: ";
    line += std::to_string(count_);
    if (total_) {
        line += '/';
        line += std::to_string(*total_);
    }
    line += " photos  ";
    // The line must not wrap, or clearing it would leave its first part: the
    // end of a long folder name is the part that tells most.
    std::string shownFolder = TerminalText(folder.empty() ? "." : folder);
    const std::size_t width = TerminalWidth(fd_) - 1;
    const std::size_t room = width > Columns(line) ? width - Columns(line) : 0;
    if (Columns(shownFolder) > room) {
        std::size_t cut = shownFolder.size(), columns = 3;  // "..."
        while (cut > 0) {
            std::size_t start = cut - 1;
            while (start > 0 && (static_cast<unsigned char>(shownFolder[start]) & 0xC0) == 0x80)
                --start;
            const std::size_t characterColumns =
                Columns(std::string_view(shownFolder).substr(start, cut - start));
            if (columns + characterColumns > room) break;
            columns += characterColumns;
            cut = start;
        }
        shownFolder = room >= 3 ? std::string("...").append(shownFolder, cut) : std::string();
    }
    std::string text(kClear);
    text += line;
    text += shownFolder;
    WriteAll(fd_, text);
    shown_ = true;
}

bool ProgressWanted() { return ::isatty(STDERR_FILENO) == 1 && ::isatty(STDOUT_FILENO) != 1; }

}  // namespace exifreport
