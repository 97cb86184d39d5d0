#include "tests/support/RunProcess.h"

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <thread>

namespace testsupport {

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int units =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
    return wide;
}

// Quotes one argument so that the C runtime's command-line parsing gives it
// back unchanged: backslashes double only before a quote or the closing quote.
void appendArgument(std::wstring& line, const std::wstring& arg) {
    if (!line.empty())
        line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (wchar_t ch : arg) {
        if (ch == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(ch == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += ch;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// Owns a handle; closed on destruction.
struct Handle {
    HANDLE value = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }
    void close() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE)
            CloseHandle(value);
        value = nullptr;
    }
};

void drain(HANDLE pipe, std::string& sink) {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
        sink.append(chunk, got);
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

} // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args) {
    ProcessResult result;
    // Only the child's ends are inherited; the parent keeps the read ends to itself.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle outRead, outWrite, errRead, errWrite, input;
    if (!CreatePipe(&outRead.value, &outWrite.value, &inherit, 0) ||
        !CreatePipe(&errRead.value, &errWrite.value, &inherit, 0) ||
        !SetHandleInformation(outRead.value, HANDLE_FLAG_INHERIT, 0) ||
        !SetHandleInformation(errRead.value, HANDLE_FLAG_INHERIT, 0))
        return result;
    input.value = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    if (input.value == INVALID_HANDLE_VALUE)
        return result;

    std::wstring application = widen(program);
    std::wstring line;
    appendArgument(line, application);
    for (const std::string& arg : args)
        appendArgument(line, widen(arg));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.value;
    startup.hStdOutput = outWrite.value;
    startup.hStdError = errWrite.value;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return result;
    Handle processHandle, threadHandle;
    processHandle.value = process.hProcess;
    threadHandle.value = process.hThread;
    // Without the parent's copies of the write ends, the reads end with the child.
    outWrite.close();
    errWrite.close();
    input.close();

    // Both pipes are drained together so that neither can fill up and stall the child.
    std::string err;
    std::thread errReader([&] { drain(errRead.value, err); });
    std::string out;
    drain(outRead.value, out);
    errReader.join();

    DWORD code = 0;
    if (WaitForSingleObject(processHandle.value, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(processHandle.value, &code))
        return result;
    result.status = static_cast<int>(code);
    result.out = withoutCarriageReturns(out);
    result.err = withoutCarriageReturns(err);
    return result;
}

} // namespace testsupport

#else

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

// Closes both ends of a pipe that are still open.
struct Pipe {
    int fds[2] = {-1, -1};
    ~Pipe() {
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    void closeEnd(int which) {
        ::close(fds[which]);
        fds[which] = -1;
    }
};

} // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args) {
    ProcessResult result;
    Pipe out;
    Pipe err;
    if (::pipe2(out.fds, O_CLOEXEC) != 0 || ::pipe2(err.fds, O_CLOEXEC) != 0)
        return result;

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], 2);
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    out.closeEnd(1);
    err.closeEnd(1);

    // Both pipes are drained together so that neither can fill up and stall the child.
    pollfd fds[2] = {{out.fds[0], POLLIN, 0}, {err.fds[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }

    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
        if (errno != EINTR)
            return result;
    }
    if (WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
        result.status = 128 + WTERMSIG(wstatus);
    return result;
}

} // namespace testsupport

#endif
