// Preloaded into a program under test (LD_PRELOAD): makes every file system
// look like a card that is locked or full, as BOXMEND_CARD says. "locked":
// the file systems report themselves read-only and refuse every open for
// writing, rename and unlink with EROFS. "full": they report no free
// space, and writes to anything but the standard streams fail with ENOSPC.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool card(const char* state) {
    const char* value = std::getenv("BOXMEND_CARD");
    return value != nullptr && std::strcmp(value, state) == 0;
}

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

bool refusedOpen(int flags) {
    if (!card("locked") || (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) == 0)
        return false;
    errno = EROFS;
    return true;
}

int refuse(int error) {
    errno = error;
    return -1;
}

template <typename Info> int reported(int rc, Info* info) {
    if (rc != 0)
        return rc;
    if (card("locked"))
        info->f_flag |= ST_RDONLY;
    if (card("full"))
        info->f_bavail = info->f_bfree = 0;
    return rc;
}

mode_t modeOf(int flags, std::va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    std::va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (refusedOpen(flags))
        return -1;
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    std::va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (refusedOpen(flags))
        return -1;
    static const auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

ssize_t write(int fd, const void* bytes, size_t count) {
    if (fd > 2 && card("full"))
        return refuse(ENOSPC);
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return real(fd, bytes, count);
}

int rename(const char* from, const char* to) {
    if (card("locked"))
        return refuse(EROFS);
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}

int unlink(const char* path) {
    if (card("locked"))
        return refuse(EROFS);
    static const auto real = next<int (*)(const char*)>("unlink");
    return real(path);
}

int statvfs(const char* path, struct statvfs* info) {
    static const auto real = next<int (*)(const char*, struct statvfs*)>("statvfs");
    return reported(real(path, info), info);
}

int statvfs64(const char* path, struct statvfs64* info) {
    static const auto real = next<int (*)(const char*, struct statvfs64*)>("statvfs64");
    return reported(real(path, info), info);
}

} // extern "C"
