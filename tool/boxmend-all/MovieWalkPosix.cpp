// The walk on POSIX systems: readdir over each folder, lstat for links,
// device and inode for identity.

#include "tool/boxmend-all/MovieWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace boxmend::batch::walk {

namespace {

// dev_t is unsigned on Linux and a signed 32-bit int on macOS: its bits are
// taken as they are.
std::uint64_t deviceOf(const struct stat& info) {
    return static_cast<std::uint64_t>(info.st_dev);
}

std::uint64_t indexOf(const struct stat& info) {
    return static_cast<std::uint64_t>(info.st_ino);
}

// Why a path could not be searched, from errno; only a path given is
// missing when it does not exist, a name met in a folder is gone.
Unsearched unsearched(const std::string& shown, int error, bool given = false) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return {shown, "no such file or folder", given};
    case ENAMETOOLONG:
        return {shown, "the path is too long for the system"};
    case EACCES:
    case EPERM:
        return {shown, "permission denied"};
    default:
        return {shown, std::strerror(error)};
    }
}

} // namespace

void Walker::given(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        found.unreadable.push_back(unsearched(path, errno, true));
    } else if (S_ISDIR(info.st_mode)) {
        if (firstSeenFolder(deviceOf(info), indexOf(info)))
            folder(path, shownRoot(path));
    } else if (S_ISREG(info.st_mode) && firstSeen(deviceOf(info), indexOf(info))) {
        file(path, path, true);
    } else if (!S_ISREG(info.st_mode)) {
        ++found.otherFiles;
    }
}

void Walker::folder(const std::string& path, const std::string& shown) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        found.unreadable.push_back(unsearched(shown.empty() ? "." : shown, errno));
        return;
    }
    std::vector<Entry> entries;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            entries.push_back({entry->d_name, entry->d_name});
        errno = 0;
    }
    if (errno != 0)
        found.unreadable.push_back(unsearched(shown.empty() ? "." : shown, errno));
    ::closedir(dir);
    std::sort(entries.begin(), entries.end());
    for (const Entry& entry : entries) {
        const std::string child = joined(path, entry.name);
        const std::string childShown = shownJoined(shown, entry.shown);
        struct stat info {};
        if (::lstat(child.c_str(), &info) != 0) {
            found.unreadable.push_back(unsearched(childShown, errno));
        } else if (S_ISDIR(info.st_mode)) {
            // A folder met again (a bind mount inside itself) is not walked twice.
            if (firstSeenFolder(deviceOf(info), indexOf(info)))
                subfolder(child, childShown);
        } else if (!S_ISREG(info.st_mode)) {
            ++found.otherFiles;
        } else if (firstSeen(deviceOf(info), indexOf(info))) {
            file(child, childShown, false);
        }
    }
}

void Walker::file(const std::string& path, const std::string& shown, bool followLink) {
    if (hasMovieExtension(lastName(shown))) {
        found.movies.push_back({shown, path});
        return;
    }
    // Not blocking, so that a FIFO put in the file's place cannot hold the walk.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
    bool movie = false;
    if (fd >= 0) {
        struct stat info {};
        std::uint8_t bytes[movieSniffBytes];
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            ssize_t got = -1;
            do
                got = ::pread(fd, bytes, sizeof bytes, 0);
            while (got < 0 && errno == EINTR);
            movie = got > 0 && startsLikeMovie(bytes, static_cast<std::size_t>(got));
        }
        ::close(fd);
    }
    if (movie)
        found.movies.push_back({shown, path});
    else
        ++found.otherFiles;
}

} // namespace boxmend::batch::walk
