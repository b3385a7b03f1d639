// Which files exifreport looks at, and in which order: the arguments as
// given, and with -r every file under a folder argument, each folder's
// entries in natural name order, so that the output is the same on every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace exifreport {

struct WalkEvents {
    // A file to look at. `named`: given on the command line (it may then be
    // anything, even a folder when the walk is not recursive); otherwise a
    // regular file met in a walk.
    std::function<void(const std::string& path, bool named)> file;
    // A folder of a walk that could not be listed, with the errno value.
    std::function<void(const std::string& path, int error)> unreadableFolder;
};

class PhotoWalk {
public:
    // With `recursive`, each argument is looked up once here to tell folders
    // from files.
    PhotoWalk(std::vector<std::string> arguments, bool recursive);

    // The number of files to look at when no folder is to be walked.
    std::optional<std::size_t> KnownTotal() const;

    // Calls the events for every file in order. Symbolic links to folders met
    // in a walk are not followed (a folder named on the command line may be
    // one); a file reached twice in walks (a hard link, a symbolic link, a
    // file also named) is looked at once; devices, pipes and sockets in a
    // walk are left out.
    void Run(const WalkEvents& events);

private:
    using FileId = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

    void WalkFolder(const std::string& path, bool named, const WalkEvents& events);

    struct Argument {
        std::string path;
        bool folder = false;
        std::optional<FileId> id;
    };
    std::vector<Argument> arguments_;
    std::set<FileId> seenFiles_;
    std::set<FileId> seenFolders_;
};

}  // namespace exifreport
