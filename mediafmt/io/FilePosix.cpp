// File on POSIX systems: a descriptor, locked with flock so that writers are
// not shared. flush and the read past the cache differ between systems and
// are in FileLinux.cpp and FileDarwin.cpp.

#include "mediafmt/io/File.h"

#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mediafmt::io {

namespace {

struct Access {
    int flags = 0;
    int lock = LOCK_EX;
};

Access accessFor(OpenMode mode) {
    switch (mode) {
    case OpenMode::read:
        return {O_RDONLY, LOCK_SH};
    case OpenMode::write:
        // Truncated only once the lock is held, so a file in use is never emptied.
        return {O_WRONLY | O_CREAT, LOCK_EX};
    case OpenMode::readWrite:
        return {O_RDWR, LOCK_EX};
    case OpenMode::update:
        return {O_WRONLY | O_CREAT, LOCK_EX};
    }
    return {};
}

} // namespace

bool File::openHandle(const std::string& path, OpenMode mode) {
    const Access how = accessFor(mode);
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are accepted.
    const int fd = ::open(path.c_str(), how.flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat info {};
    const bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0 &&
                        ::flock(fd, how.lock | LOCK_NB) == 0 &&
                        (mode != OpenMode::write || ::ftruncate(fd, 0) == 0);
    if (!usable) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

bool File::recordedLength(std::uint64_t& length) const {
    struct stat info {};
    if (::fstat(handle_, &info) != 0)
        return false;
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool File::isOpen() const {
    return handle_ >= 0;
}

ResultCode File::close() {
    if (direct_ >= 0) {
        ::close(direct_);
        direct_ = -1;
    }
    directRefused_ = false;
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
    return result::none;
}

ResultCode File::flush() {
    if (!isOpen())
        return result::fileNotOpen;
    return syncToDevice(handle_) == 0 ? result::none : result::writeError;
}

ResultCode File::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (!isOpen())
        return result::fileNotOpen;
    const auto readCall = posixCalls().read;
    std::uint64_t total = 0;
    while (total < count) {
        ssize_t got = readCall(handle_, static_cast<char*>(buffer) + total,
                               static_cast<std::size_t>(count - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return result::readError;
        if (got == 0)
            break;
        total += static_cast<std::uint64_t>(got);
    }
    bytesRead = total;
    return result::none;
}

ResultCode File::write(const void* buffer, std::uint64_t count, std::uint64_t& bytesWritten) {
    if (!isOpen())
        return result::fileNotOpen;
    const auto writeCall = posixCalls().write;
    std::uint64_t total = 0;
    while (total < count) {
        ssize_t put = writeCall(handle_, static_cast<const char*>(buffer) + total,
                                static_cast<std::size_t>(count - total));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return result::writeError;
        total += static_cast<std::uint64_t>(put);
    }
    bytesWritten = total;
    return result::none;
}

ResultCode File::seek(std::int64_t offset, SeekOrigin origin) {
    if (!isOpen())
        return result::fileNotOpen;
    int whence = SEEK_SET;
    if (origin == SeekOrigin::current)
        whence = SEEK_CUR;
    else if (origin == SeekOrigin::end)
        whence = SEEK_END;
    if (::lseek(handle_, static_cast<off_t>(offset), whence) < 0)
        return result::error;
    return result::none;
}

ResultCode File::tell(std::uint64_t& position) {
    if (!isOpen())
        return result::fileNotOpen;
    off_t now = ::lseek(handle_, 0, SEEK_CUR);
    if (now < 0)
        return result::error;
    position = static_cast<std::uint64_t>(now);
    return result::none;
}

ResultCode File::identity(std::uint64_t& device, std::uint64_t& index) const {
    if (!isOpen())
        return result::fileNotOpen;
    struct stat info {};
    if (::fstat(handle_, &info) != 0)
        return result::error;
    device = static_cast<std::uint64_t>(info.st_dev);
    index = static_cast<std::uint64_t>(info.st_ino);
    return result::none;
}

ResultCode File::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    if (!isOpen())
        return result::fileNotOpen;
    if (count == 0)
        return result::none;
    // Read-only, nothing was written through this descriptor to check: the
    // bytes are read as they are, without making the kernel write back or
    // drop what others may have cached.
    if (!writable_)
        return Io::readBack(offset, buffer, count);
    return readFromDevice(offset, static_cast<std::uint8_t*>(buffer), count);
}

} // namespace mediafmt::io
