// The flush and File's read past the cache on macOS. fsync there hands the data
// to the drive but leaves it in the drive's own cache; F_FULLFSYNC flushes
// that too. There is no O_DIRECT: a second descriptor set to F_NOCACHE
// reads without caching, but pages cached already would still answer its
// reads, so the range's pages are dropped first through a mapping of it
// (msync with MS_INVALIDATE acts on the file's cached pages, not only on
// the mapping's). What cannot be had gives cacheNotBypassed: the bytes
// would have come from memory, and the check would prove nothing.

#include "mediafmt/io/File.h"

#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/param.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mediafmt::io {

namespace {

// Errors of a file system that cannot flush a drive's cache at all.
bool fullSyncRefused(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == EINVAL || error == ENOTTY;
}

// A read-only descriptor of the file open as handle that does not cache,
// or -1. The path the file has now is checked to still name it.
int openUncached(int handle) {
    char path[MAXPATHLEN];
    if (::fcntl(handle, F_GETPATH, path) != 0)
        return -1;
    const int fd = posixCalls().open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat opened {};
    struct stat held {};
    if (::fstat(fd, &opened) != 0 || ::fstat(handle, &held) != 0 || opened.st_dev != held.st_dev ||
        opened.st_ino != held.st_ino || ::fcntl(fd, F_NOCACHE, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Drops the cached pages of the range, written to the device first should
// any still be dirty.
bool dropCachedPages(int fd, std::uint64_t offset, std::uint64_t count) {
    const auto page = static_cast<std::uint64_t>(::getpagesize());
    const AlignedRange range = alignToBlocks(offset, count, page);
    void* mapped = ::mmap(nullptr, static_cast<std::size_t>(range.length), PROT_READ, MAP_SHARED,
                          fd, static_cast<off_t>(range.offset));
    if (mapped == MAP_FAILED)
        return false;
    const bool dropped =
        ::msync(mapped, static_cast<std::size_t>(range.length), MS_SYNC | MS_INVALIDATE) == 0;
    ::munmap(mapped, static_cast<std::size_t>(range.length));
    return dropped;
}

} // namespace

int syncToDevice(int fd) {
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return 0;
    // Where the file system refuses it, fsync is as far as the data can be pushed.
    return fullSyncRefused(errno) ? ::fsync(fd) : -1;
}

ResultCode File::readFromDevice(std::uint64_t offset, std::uint8_t* out, std::uint64_t count) {
    if (direct_ < 0)
        direct_ = openUncached(handle_);
    if (direct_ < 0 || !dropCachedPages(direct_, offset, count))
        return result::cacheNotBypassed;
    std::uint64_t got = 0;
    int error = 0;
    if (!preadAll(direct_, out, count, offset, got, error) || got != count)
        return result::readError;
    return result::none;
}

} // namespace mediafmt::io
