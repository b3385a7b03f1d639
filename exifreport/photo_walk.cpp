#include "exifreport/photo_walk.h"

#include "exifreport/natural_order.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exifreport {
namespace {

struct FolderEntry {
    std::string name;
    bool folder = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

std::string Join(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Regular files and subfolders of an open folder, unsorted; symbolic links to
// folders and everything that is neither file nor folder left out. False
// (with errno) when the listing broke off.
bool ListFolder(int fd, std::vector<FolderEntry>& entries) {
    DIR* folder = ::fdopendir(fd);
    if (folder == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) {
            ok = errno == 0;
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        // The entry itself first: a link to a folder must not count as one.
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISLNK(info.st_mode) &&
            (::fstatat(fd, entry->d_name, &info, 0) != 0 || S_ISDIR(info.st_mode)))
            continue;  // dangling, or a link to a folder
        if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) continue;
        entries.push_back({std::string(name), S_ISDIR(info.st_mode),
                           static_cast<std::uint64_t>(info.st_dev),
                           static_cast<std::uint64_t>(info.st_ino)});
    }
    const int error = errno;
    ::closedir(folder);
    errno = error;
    return ok;
}

}  // namespace

PhotoWalk::PhotoWalk(std::vector<std::string> arguments, bool recursive) {
    arguments_.reserve(arguments.size());
    for (std::string& path : arguments) {
        Argument argument;
        argument.path = std::move(path);
        struct stat info {};
        // A file given by name is looked at whatever it is; one that cannot
        // be looked up is left to fail with its reason when it is opened.
        if (recursive && ::stat(argument.path.c_str(), &info) == 0) {
            argument.folder = S_ISDIR(info.st_mode);
            argument.id = FileId{info.st_dev, info.st_ino};
        }
        arguments_.push_back(std::move(argument));
    }
}

std::optional<std::size_t> PhotoWalk::KnownTotal() const {
    const bool anyFolder = std::any_of(arguments_.begin(), arguments_.end(),
                                       [](const Argument& a) { return a.folder; });
    return anyFolder ? std::nullopt : std::optional<std::size_t>(arguments_.size());
}

void PhotoWalk::Run(const WalkEvents& events) {
    // Files named anywhere on the command line are not reported again by a walk.
    for (const Argument& argument : arguments_)
        if (!argument.folder && argument.id) seenFiles_.insert(*argument.id);
    for (const Argument& argument : arguments_) {
        if (argument.folder) {
            WalkFolder(argument.path, true, events);
        } else {
            events.file(argument.path, true);
        }
    }
}

void PhotoWalk::WalkFolder(const std::string& path, bool named, const WalkEvents& events) {
    // O_NOFOLLOW below the named folder: a folder swapped for a link while
    // the walk runs is not followed either.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (named ? 0 : O_NOFOLLOW));
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        // A folder that went away since it was listed is no longer there to report.
        if (named || error != ENOENT) events.unreadableFolder(path, error);
        return;
    }
    // A folder mounted inside itself, or named twice, is walked once.
    if (!seenFolders_.insert({info.st_dev, info.st_ino}).second) {
        ::close(fd);
        return;
    }
    std::vector<FolderEntry> entries;
    if (!ListFolder(fd, entries)) events.unreadableFolder(path, errno);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return NaturalLess(a.name, b.name);
    });
    for (const FolderEntry& entry : entries) {
        const std::string child = Join(path, entry.name);
        if (entry.folder) {
            WalkFolder(child, false, events);
        } else if (seenFiles_.insert({entry.device, entry.inode}).second) {
            events.file(child, false);
        }
    }
}

}  // namespace exifreport
