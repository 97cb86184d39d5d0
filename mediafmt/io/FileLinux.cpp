// The flush and File's read past the page cache on Linux (and other POSIX
// systems that have O_DIRECT and posix_fadvise): fsync reaches the device
// there, and a second descriptor opened with O_DIRECT reads from it.

#include "mediafmt/io/File.h"

#include "mediafmt/io/PosixCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

namespace mediafmt::io {

namespace {

constexpr std::uint64_t directBlock = 4096;
constexpr std::uint64_t directPiece = 1024 * 1024;

struct FreeAligned {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};

enum class Direct { read, refused, failed };

// A descriptor of the file open as handle that bypasses the page cache,
// into fd. refused when the file system does not allow that.
Direct openDirect(int handle, int& fd) {
#ifdef O_DIRECT
    const std::string self = "/proc/self/fd/" + std::to_string(handle);
    fd = posixCalls().open(self.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0)
        return errno == EINVAL || errno == ENOENT ? Direct::refused : Direct::failed;
    return Direct::read;
#else
    (void)handle, (void)fd;
    return Direct::refused;
#endif
}

// The range read through the descriptor from openDirect, whole blocks at a
// time into a block-aligned buffer. refused when the file system does not
// allow such reads after all.
Direct readDirect(int fd, std::uint64_t offset, std::uint8_t* out, std::uint64_t count) {
    const AlignedRange range = alignToBlocks(offset, count, directBlock);
    void* raw = nullptr;
    const std::uint64_t capacity = std::min(range.length, directPiece);
    if (::posix_memalign(&raw, directBlock, static_cast<std::size_t>(capacity)) != 0)
        throw std::bad_alloc();
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
    return outcome == Direct::read && copied != count ? Direct::failed : outcome;
}

// The range read through handle after its cached pages were dropped (they
// are clean once the file was flushed), so that the read comes from the
// device.
ResultCode readAfterDropping(int handle, std::uint64_t offset, std::uint8_t* out,
                             std::uint64_t count) {
    const AlignedRange range = alignToBlocks(offset, count, directBlock);
    (void)::posix_fadvise(handle, static_cast<off_t>(range.offset),
                          static_cast<off_t>(range.length), POSIX_FADV_DONTNEED);
    std::uint64_t got = 0;
    int error = 0;
    if (!preadAll(handle, out, count, offset, got, error) || got != count)
        return result::readError;
    return result::none;
}

} // namespace

int syncToDevice(int fd) {
    return ::fsync(fd);
}

ResultCode File::readFromDevice(std::uint64_t offset, std::uint8_t* out, std::uint64_t count) {
    Direct direct = directRefused_ ? Direct::refused : Direct::read;
    if (direct_ < 0 && !directRefused_)
        direct = openDirect(handle_, direct_);
    if (direct == Direct::read)
        direct = readDirect(direct_, offset, out, count);
    switch (direct) {
    case Direct::read:
        return result::none;
    case Direct::failed:
        return result::readError;
    case Direct::refused:
        break;
    }
    // Refused once, refused for good: the later calls go straight to the
    // cached read.
    if (!directRefused_) {
        directRefused_ = true;
        if (direct_ >= 0)
            ::close(direct_);
        direct_ = -1;
    }
    return readAfterDropping(handle_, offset, out, count);
}

} // namespace mediafmt::io
