#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace mediafmt::io {

// The system calls through which File and the journal read and write on
// POSIX systems (the header is of no use elsewhere). They are the system's
// own unless a test replaces them, to act as a system this machine is not:
// a file system that refuses to bypass its cache, a read or write cut short
// or interrupted by a signal. Nothing in the library or the programs ever
// changes them.
struct PosixCalls {
    // open(2) without a mode: nothing opened through it is created.
    int (*open)(const char* path, int flags);
    ssize_t (*read)(int fd, void* buffer, std::size_t count);
    ssize_t (*pread)(int fd, void* buffer, std::size_t count, off_t offset);
    ssize_t (*write)(int fd, const void* buffer, std::size_t count);
};

PosixCalls& posixCalls();

// Reads count bytes at offset into out with pread, retrying interrupted
// calls, into got; what the file does not have is a short count. false
// with the call's errno in error when a call fails.
bool preadAll(int fd, std::uint8_t* out, std::uint64_t count, std::uint64_t offset,
              std::uint64_t& got, int& error);

// Forces the file's written data to the storage device: fsync, and on macOS
// the drive's own cache flushed too (F_FULLFSYNC), with fsync where the file
// system refuses that. 0, or -1 with errno set.
int syncToDevice(int fd);

} // namespace mediafmt::io
