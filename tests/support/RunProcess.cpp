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

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args) {
    ProcessResult result;
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The output goes to files rather than pipes, so it never stalls the child.
    std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int wstatus = 0;
    pid_t pid = 0;
    if (files[0] != nullptr && files[1] != nullptr &&
        posix_spawn_file_actions_adddup2(&actions, fileno(files[0]), 1) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, fileno(files[1]), 2) == 0 &&
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0 &&
        ::waitpid(pid, &wstatus, 0) == pid)
        result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    posix_spawn_file_actions_destroy(&actions);
    std::string* sinks[2] = {&result.out, &result.err};
    for (int i = 0; i < 2; ++i) {
        if (files[i] == nullptr)
            continue;
        std::rewind(files[i]);
        char chunk[4096];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, files[i])) > 0;)
            sinks[i]->append(chunk, got);
        std::fclose(files[i]);
    }
    return result;
}

} // namespace testsupport

#endif
