// Preloaded into a program under test (LD_PRELOAD): kills it with SIGKILL
// right before its Nth call of write, fsync, rename or unlink, N counted from
// 1 and taken from BOXMEND_KILL_AT, so that a test can stop a real repair at
// each of its writes and flushes in turn. Without the variable it only
// passes the calls on.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace {

void killAtTheChosenCall() {
    static const long chosen = [] {
        const char* value = std::getenv("BOXMEND_KILL_AT");
        return value != nullptr ? std::atol(value) : 0L;
    }();
    static long calls = 0;
    if (chosen > 0 && ++calls == chosen)
        ::kill(::getpid(), SIGKILL);
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
    killAtTheChosenCall();
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return real(fd, bytes, count);
}

int fsync(int fd) {
    killAtTheChosenCall();
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

int rename(const char* from, const char* to) {
    killAtTheChosenCall();
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int unlink(const char* path) {
    killAtTheChosenCall();
    static const auto real = next<int (*)(const char*)>("unlink");
    return real(path);
}

} // extern "C"
