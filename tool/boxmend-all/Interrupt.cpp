#include "tool/boxmend-all/Interrupt.h"

#include <atomic>
#include <thread>

namespace boxmend::batch {

namespace {

// Lock-free, so safe in a signal handler and from the console's own thread.
std::atomic<int> requests{0};

// Who may write to standard output. The texts below are changed only by the
// main thread while it is busy, and read only by the handler while it is
// answering, which it can be only from quiet.
enum OutputState : int { busy, quiet, answering };
std::atomic<int> output{busy};
std::string shownLine;
std::string acknowledged;
std::string lastWords;

void write(const std::string& text) {
    writeFromHandler(text.data(), text.size());
}

// Clears the line under way: the progress line and the "^C" the terminal
// echoed after it.
void clearShownLine() {
    if (shownLine.empty())
        return;
    static const char spaces[] = "                                ";
    writeFromHandler("\r", 1);
    for (std::size_t left = shownLine.size() + 2; left != 0;) {
        const std::size_t some = left < sizeof spaces - 1 ? left : sizeof spaces - 1;
        writeFromHandler(spaces, some);
        left -= some;
    }
    writeFromHandler("\r", 1);
}

} // namespace

bool interruptRequested() {
    return requests != 0;
}

void beginQuietWork(const std::string& screenLine, const std::string& acknowledgement,
                    const std::string& hardStop) {
    shownLine = screenLine;
    acknowledged = acknowledgement + "\n";
    lastWords = hardStop + "\n";
    output = quiet;
}

void endQuietWork() {
    // On POSIX the handler runs on this thread and is done when this runs;
    // on Windows its thread may be printing, and is waited for.
    int expected = quiet;
    while (!output.compare_exchange_weak(expected, busy)) {
        expected = quiet;
        std::this_thread::yield();
    }
}

bool answerInterrupt() {
    const bool again = requests.exchange(1) != 0;
    int expected = quiet;
    if (!output.compare_exchange_strong(expected, answering)) {
        // The main thread is printing, or the other Ctrl-C is being answered:
        // no file is being worked on, and the run stops before the next.
        if (again)
            write("\nStopped at once; no repair was under way.\n");
        return again;
    }
    clearShownLine();
    if (again) {
        write(lastWords);
        return true;
    }
    write(acknowledged);
    write(shownLine);
    output = quiet;
    return false;
}

} // namespace boxmend::batch
