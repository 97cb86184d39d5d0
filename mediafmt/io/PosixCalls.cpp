#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace mediafmt::io {

namespace {

int openExisting(const char* path, int flags) {
    return ::open(path, flags);
}

// Set before any code runs: no call pays for a check that it is.
PosixCalls calls{openExisting, ::read, ::pread, ::write};

} // namespace

PosixCalls& posixCalls() {
    return calls;
}

bool preadAll(int fd, std::uint8_t* out, std::uint64_t count, std::uint64_t offset,
              std::uint64_t& got, int& error) {
    const auto preadCall = posixCalls().pread;
    got = 0;
    while (got < count) {
        const ssize_t n = preadCall(fd, out + got, static_cast<std::size_t>(count - got),
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

} // namespace mediafmt::io
