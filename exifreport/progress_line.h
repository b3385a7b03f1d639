// A line on standard error that tells how far a long run has got: the photos
// reported, the total when it is known, and the folder being read. Rewritten
// in place and cleared at the end, so it leaves nothing behind.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace exifreport {

class ProgressLine {
public:
    // `fd`: where to draw; nothing is drawn unless `enabled`. `total`: the
    // number of files to look at, when known before the run.
    ProgressLine(int fd, bool enabled, std::optional<std::size_t> total);

    // After each photo reported, with the folder it is in.
    void Step(std::string_view folder);

    // Takes the line away (before a message, and at the end); the next Step
    // draws it again.
    void Clear();

    // Short runs are over before a line would be read.
    static constexpr std::size_t kMinimumPhotos = 100;

private:
    void Draw(std::string_view folder);

    int fd_;
    bool enabled_;
    std::optional<std::size_t> total_;
    std::size_t count_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point drawn_;
};

// True when progress belongs on standard error: it is a terminal, and
// standard output is not one (the reports would run through the line).
bool ProgressWanted();

}  // namespace exifreport
