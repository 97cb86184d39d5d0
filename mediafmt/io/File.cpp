#include "mediafmt/io/File.h"

#include "mediafmt/io/WindowsPath.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace mediafmt::io {

namespace {

bool isValidMode(OpenMode mode) {
    return mode == OpenMode::read || mode == OpenMode::write || mode == OpenMode::readWrite ||
           mode == OpenMode::update;
}

} // namespace

AlignedRange alignToBlocks(std::uint64_t offset, std::uint64_t count, std::uint64_t block) {
    const std::uint64_t first = offset - offset % block;
    const std::uint64_t end = offset + count;
    const std::uint64_t last = end % block == 0 ? end : end - end % block + block;
    return {first, last - first};
}

File::File() = default;

File::~File() {
    close();
}

ResultCode File::open(std::string path, OpenMode mode) {
    path.resize(std::strlen(path.c_str()));
    // Closed before anything can fail, so a failed open leaves the File closed.
    close();
    if (!isValidMode(mode))
        return result::openError;
    writable_ = mode != OpenMode::read;

#ifdef _WIN32
    // Windows names are UTF-16; elsewhere a name is the bytes given.
    std::u16string wide;
    if (!toUtf16(path, wide))
        return result::openError;
    DWORD access = 0;
    DWORD share = 0;
    DWORD disposition = 0;
    switch (mode) {
    case OpenMode::read:
        access = FILE_READ_DATA;
        share = FILE_SHARE_READ;
        disposition = OPEN_EXISTING;
        break;
    case OpenMode::write:
        access = FILE_WRITE_DATA;
        disposition = CREATE_ALWAYS;
        break;
    case OpenMode::readWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    case OpenMode::update:
        access = FILE_WRITE_DATA;
        disposition = OPEN_ALWAYS;
        break;
    }
    // wchar_t and char16_t are both UTF-16 units here, but distinct types: copied, not cast.
    std::wstring units(wide.begin(), wide.end());
    // A deep path opens only in its extended-length form.
    units = openablePath(units);
    HANDLE handle = CreateFileW(units.c_str(), access, share, nullptr, disposition,
                                flagsAndAttributes_, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return result::openError;
    // Only disk files: a device such as NUL, CON or a pipe would block or
    // swallow the data.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return result::openError;
    }
    handle_ = handle;
#else
    int flags = 0;
    int lock = LOCK_EX;
    switch (mode) {
    case OpenMode::read:
        flags = O_RDONLY;
        lock = LOCK_SH;
        break;
    case OpenMode::write:
        // Truncated only once the lock is held, so a file in use is never emptied.
        flags = O_WRONLY | O_CREAT;
        break;
    case OpenMode::readWrite:
        flags = O_RDWR;
        break;
    case OpenMode::update:
        flags = O_WRONLY | O_CREAT;
        break;
    }
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files are accepted.
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return result::openError;
    struct stat info {};
    bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0 &&
                  ::flock(fd, lock | LOCK_NB) == 0 &&
                  (mode != OpenMode::write || ::ftruncate(fd, 0) == 0);
    if (!usable) {
        ::close(fd);
        return result::openError;
    }
    handle_ = fd;
#endif

    if ((mode == OpenMode::read || mode == OpenMode::readWrite) && !measure()) {
        close();
        return result::openError;
    }
    return result::none;
}

// The length is taken from the file system's record of the file and by
// seeking to its end; both must agree. A file that only looks regular, as
// those of /proc (a length of 0, or no end to seek to, yet content to
// read), fails here rather than be read as something it is not.
bool File::measure() {
    std::uint64_t recorded = 0;
#ifdef _WIN32
    LARGE_INTEGER size;
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &size))
        return false;
    recorded = static_cast<std::uint64_t>(size.QuadPart);
#else
    struct stat info {};
    if (::fstat(handle_, &info) != 0)
        return false;
    recorded = static_cast<std::uint64_t>(info.st_size);
#endif
    return seek(0, SeekOrigin::end) == 0 && tell(length_) == 0 && length_ == recorded &&
           seek(0, SeekOrigin::begin) == 0;
}

bool File::isOpen() const {
#ifdef _WIN32
    return handle_ != nullptr;
#else
    return handle_ >= 0;
#endif
}

#ifdef _WIN32

// ReadFile and WriteFile take 32-bit counts; larger requests are split.
constexpr std::uint64_t maxChunk = 0x40000000;

ResultCode File::close() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    return result::none;
}

ResultCode File::flush() {
    if (!isOpen())
        return result::fileNotOpen;
    return FlushFileBuffers(static_cast<HANDLE>(handle_)) ? result::none : result::writeError;
}

ResultCode File::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (!isOpen())
        return result::fileNotOpen;
    std::uint64_t total = 0;
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min(count - total, maxChunk));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), static_cast<char*>(buffer) + total, chunk, &got,
                      nullptr))
            return result::readError;
        total += got;
        if (got < chunk)
            break;
    }
    bytesRead = total;
    return result::none;
}

ResultCode File::write(const void* buffer, std::uint64_t count, std::uint64_t& bytesWritten) {
    if (!isOpen())
        return result::fileNotOpen;
    std::uint64_t total = 0;
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min(count - total, maxChunk));
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), static_cast<const char*>(buffer) + total,
                       chunk, &put, nullptr))
            return result::writeError;
        total += put;
        if (put < chunk)
            break;
    }
    bytesWritten = total;
    return result::none;
}

ResultCode File::seek(std::int64_t offset, SeekOrigin origin) {
    if (!isOpen())
        return result::fileNotOpen;
    DWORD method = FILE_BEGIN;
    if (origin == SeekOrigin::current)
        method = FILE_CURRENT;
    else if (origin == SeekOrigin::end)
        method = FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(static_cast<HANDLE>(handle_), distance, nullptr, method))
        return result::error;
    return result::none;
}

ResultCode File::tell(std::uint64_t& position) {
    if (!isOpen())
        return result::fileNotOpen;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER now;
    if (!SetFilePointerEx(static_cast<HANDLE>(handle_), zero, &now, FILE_CURRENT))
        return result::error;
    position = static_cast<std::uint64_t>(now.QuadPart);
    return result::none;
}

ResultCode File::identity(std::uint64_t& device, std::uint64_t& index) const {
    if (!isOpen())
        return result::fileNotOpen;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(static_cast<HANDLE>(handle_), &info))
        return result::error;
    device = info.dwVolumeSerialNumber;
    index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return result::none;
}

ResultCode File::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    // The file is not shared, so no second handle can be opened to read
    // past the cache; the flush at least hands every write to the device.
    // A handle opened for reading has written nothing and cannot be flushed.
    if (writable_) {
        if (ResultCode rc = flush(); rc != 0)
            return rc;
    }
    return Io::readBack(offset, buffer, count);
}

#else

ResultCode File::close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
    return result::none;
}

ResultCode File::flush() {
    if (!isOpen())
        return result::fileNotOpen;
    return ::fsync(handle_) == 0 ? result::none : result::writeError;
}

ResultCode File::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (!isOpen())
        return result::fileNotOpen;
    std::uint64_t total = 0;
    while (total < count) {
        ssize_t got = ::read(handle_, static_cast<char*>(buffer) + total,
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
    std::uint64_t total = 0;
    while (total < count) {
        ssize_t put = ::write(handle_, static_cast<const char*>(buffer) + total,
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

namespace {

// Reads count bytes at offset into out with pread, retrying interrupted
// calls; what the file does not have is a short count.
bool preadAll(int fd, std::uint8_t* out, std::uint64_t count, std::uint64_t offset,
              std::uint64_t& got, int& error) {
    got = 0;
    while (got < count) {
        const ssize_t n = ::pread(fd, out + got, static_cast<std::size_t>(count - got),
                                  static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<std::uint64_t>(n);
    }
    return true;
}

constexpr std::uint64_t directBlock = 4096;
constexpr std::uint64_t directPiece = 1024 * 1024;

struct FreeAligned {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};

enum class Direct { read, refused, failed };

// The range read through a descriptor of its own that bypasses the page
// cache, whole blocks at a time into a block-aligned buffer. refused when
// the file system does not allow that.
Direct readDirect(int handle, std::uint64_t offset, std::uint8_t* out, std::uint64_t count) {
#ifdef O_DIRECT
    const std::string self = "/proc/self/fd/" + std::to_string(handle);
    const int fd = ::open(self.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0)
        return errno == EINVAL || errno == ENOENT ? Direct::refused : Direct::failed;
    const AlignedRange range = alignToBlocks(offset, count, directBlock);
    void* raw = nullptr;
    const std::uint64_t capacity = std::min(range.length, directPiece);
    if (::posix_memalign(&raw, directBlock, static_cast<std::size_t>(capacity)) != 0) {
        ::close(fd);
        throw std::bad_alloc();
    }
    const std::unique_ptr<std::uint8_t, FreeAligned> block(static_cast<std::uint8_t*>(raw));
    Direct outcome = Direct::read;
    std::uint64_t copied = 0;
    for (std::uint64_t at = range.offset; at < range.offset + range.length; at += capacity) {
        const std::uint64_t n = std::min(capacity, range.offset + range.length - at);
        std::uint64_t got = 0;
        int error = 0;
        if (!preadAll(fd, block.get(), n, at, got, error)) {
            outcome = error == EINVAL ? Direct::refused : Direct::failed;
            break;
        }
        // The part of these blocks that lies in the range asked for; the
        // last block may end past the end of the file.
        const std::uint64_t from = std::max(at, offset);
        const std::uint64_t to = std::min(at + got, offset + count);
        if (to > from) {
            std::memcpy(out + (from - offset), block.get() + (from - at),
                        static_cast<std::size_t>(to - from));
            copied += to - from;
        }
    }
    ::close(fd);
    return outcome == Direct::read && copied != count ? Direct::failed : outcome;
#else
    (void)handle, (void)offset, (void)out, (void)count;
    return Direct::refused;
#endif
}

} // namespace

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
    auto* out = static_cast<std::uint8_t*>(buffer);
    switch (readDirect(handle_, offset, out, count)) {
    case Direct::read:
        return result::none;
    case Direct::failed:
        return result::readError;
    case Direct::refused:
        break;
    }
    // The cached pages of the range are dropped (they are clean once the
    // file was flushed), so the read that follows comes from the device.
    const AlignedRange range = alignToBlocks(offset, count, directBlock);
    (void)::posix_fadvise(handle_, static_cast<off_t>(range.offset),
                          static_cast<off_t>(range.length), POSIX_FADV_DONTNEED);
    std::uint64_t got = 0;
    int error = 0;
    if (!preadAll(handle_, out, count, offset, got, error) || got != count)
        return result::readError;
    return result::none;
}

#endif

ResultCode File::eof(bool& atEnd) {
    std::uint64_t position = 0;
    if (ResultCode rc = tell(position); rc != 0)
        return rc;
    atEnd = length_ <= position;
    return result::none;
}

ResultCode File::size(std::uint64_t& length) {
    if (!isOpen())
        return result::fileNotOpen;
    length = length_;
    return result::none;
}

} // namespace mediafmt::io
