// Preloaded into a program under test (LD_PRELOAD): kills it with SIGKILL
// right before its Nth call of write, fsync, rename or unlink, N counted from
// 1 and taken from BOXMEND_KILL_AT, so that a test can stop a real repair at
// each of its writes and flushes in turn. With BOXMEND_INTERRUPT_AT it
// raises SIGINT right before that fsync (fsyncs counted on their own),
// BOXMEND_INTERRUPTS times (once by default), as Ctrl-C pressed while a file
// is being repaired. With BOXMEND_MISPLACE_AT it stores that write
// BOXMEND_MISPLACE_BY bytes away from where it was sent and reports it done,
// as a card that misplaces writes does. With BOXMEND_CARD it makes every file
// system look like a card that is "locked" (read-only: opens for writing,
// renames and unlinks fail with EROFS) or "full" (no free space: writes but
// to the standard streams fail with ENOSPC). Without any of them it only passes
// the calls on.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

long chosen(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? std::atol(value) : 0L;
}

bool card(const char* state) {
    static const char* const value = std::getenv("BOXMEND_CARD");
    return value != nullptr && std::strcmp(value, state) == 0;
}

// False, with errno set, when the call is to fail.
bool passes(int lockedError = EROFS) {
    static const long killAt = chosen("BOXMEND_KILL_AT");
    static long calls = 0;
    if (++calls == killAt)
        ::kill(::getpid(), SIGKILL);
    if (!card("locked") || lockedError == 0)
        return true;
    errno = lockedError;
    return false;
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
    static const long misplaceAt = chosen("BOXMEND_MISPLACE_AT");
    static long writes = 0;
    if (!passes(0))
        return -1;
    if (fd > 2 && card("full"))
        return errno = ENOSPC, -1;
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (++writes != misplaceAt)
        return real(fd, bytes, count);
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    ::lseek(fd, at + static_cast<off_t>(chosen("BOXMEND_MISPLACE_BY")), SEEK_SET);
    const ssize_t put = real(fd, bytes, count);
    ::lseek(fd, at + (put > 0 ? put : 0), SEEK_SET);
    return put;
}

int fsync(int fd) {
    static const long interruptAt = chosen("BOXMEND_INTERRUPT_AT");
    static const long interrupts = chosen("BOXMEND_INTERRUPTS");
    static long fsyncs = 0;
    if (++fsyncs == interruptAt)
        for (long n = 0; n < (interrupts > 0 ? interrupts : 1); ++n)
            ::raise(SIGINT);
    static const auto real = next<int (*)(int)>("fsync");
    return passes(0) ? real(fd) : -1;
}

int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return passes() ? real(from, to) : -1;
}

int unlink(const char* path) {
    static const auto real = next<int (*)(const char*)>("unlink");
    return passes() ? real(path) : -1;
}

int open(const char* path, int flags, ...) {
    std::va_list args;
    va_start(args, flags);
    const bool creates = (flags & (O_CREAT | O_TMPFILE)) != 0;
    const auto mode = creates ? static_cast<mode_t>(va_arg(args, int)) : mode_t{0};
    va_end(args);
    if (card("locked") && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0)
        return errno = EROFS, -1;
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int statvfs(const char* path, struct statvfs* info) {
    static const auto real = next<int (*)(const char*, struct statvfs*)>("statvfs");
    const int rc = real(path, info);
    if (rc == 0 && card("locked"))
        info->f_flag |= ST_RDONLY;
    if (rc == 0 && card("full"))
        info->f_bavail = info->f_bfree = 0;
    return rc;
}

} // extern "C"
