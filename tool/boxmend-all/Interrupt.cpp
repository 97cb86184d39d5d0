#include "tool/boxmend-all/Interrupt.h"

#include <atomic>

namespace boxmend::batch {

namespace {

// Lock-free, so safe in a signal handler and from the console's own thread.
std::atomic<int> requests{0};

} // namespace

bool interruptRequested() {
    return requests != 0;
}

bool noteInterruptRequest() {
    return requests.exchange(1) != 0;
}

} // namespace boxmend::batch
