#include "tool/boxmend-all/BatchRun.h"
#include "tool/boxmend-all/Interrupt.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace boxmend::batch {

namespace {

void onInterrupt(int) {
    const int savedErrno = errno;
    if (answerInterrupt())
        ::_exit(batchStatus::interrupted);
    errno = savedErrno;
}

} // namespace

void writeFromHandler(const char* bytes, std::size_t count) {
    while (count != 0) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

} // namespace boxmend::batch
