// Preloaded into a program under test (LD_PRELOAD): kills it with SIGKILL
// right before its Nth call of write, fsync, rename or unlink, N counted from
// 1 and taken from BOXMEND_KILL_AT, so that a test can stop a real repair at
// each of its writes and flushes in turn; or, with BOXMEND_FULL_AT, fails
// that call as a full disk does (ENOSPC). With BOXMEND_INTERRUPT_AT it
// raises SIGINT right before that fsync (fsyncs counted on their own),
// BOXMEND_INTERRUPTS times (once by default), as Ctrl-C pressed while a file
// is being repaired. With BOXMEND_MISPLACE_AT it stores that write
// BOXMEND_MISPLACE_BY bytes away from where it was sent and reports it done,
// as a card that misplaces writes does. Without any of them it only passes
// the calls on.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

long chosen(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? std::atol(value) : 0L;
}

// False when the call is to fail with ENOSPC.
bool killAtTheChosenCall() {
    static const long killAt = chosen("BOXMEND_KILL_AT");
    static const long fullAt = chosen("BOXMEND_FULL_AT");
    static long calls = 0;
    ++calls;
    if (calls == killAt)
        ::kill(::getpid(), SIGKILL);
    if (calls != fullAt)
        return true;
    errno = ENOSPC;
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
    if (!killAtTheChosenCall())
        return -1;
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
    if (!killAtTheChosenCall())
        return -1;
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

int rename(const char* from, const char* to) {
    if (!killAtTheChosenCall())
        return -1;
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int unlink(const char* path) {
    if (!killAtTheChosenCall())
        return -1;
    static const auto real = next<int (*)(const char*)>("unlink");
    return real(path);
}

} // extern "C"
