#include "tests/support/RunProcess.h"

#include "mediafmt/io/WindowsApi.h"

#ifdef _WIN32

#include <filesystem>

namespace testsupport {

namespace {

std::wstring widen(const std::string& utf8) {
    return std::filesystem::u8path(utf8).wstring();
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

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            out += text[i];
    }
    return out;
}

ProcessResult runOnce(const std::string& program, const std::vector<std::string>& args) {
    ProcessResult result;
    // The output goes to files rather than pipes, so it never stalls the
    // child; they are inherited, and deleted once the last handle closes.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    wchar_t dir[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    HANDLE files[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    for (int i = 0; i < 2; ++i) {
        if (GetTempPathW(MAX_PATH + 1, dir) != 0 && GetTempFileNameW(dir, L"out", 0, name) != 0)
            files[i] = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                   CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    files[2] = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);

    std::wstring application = widen(program);
    std::wstring line;
    appendArgument(line, application);
    for (const std::string& arg : args)
        appendArgument(line, widen(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = files[2];
    startup.hStdOutput = files[0];
    startup.hStdError = files[1];
    PROCESS_INFORMATION process{};
    DWORD code = 0;
    if (files[0] != INVALID_HANDLE_VALUE && files[1] != INVALID_HANDLE_VALUE &&
        files[2] != INVALID_HANDLE_VALUE &&
        CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &code))
            result.status = static_cast<int>(code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::string* sinks[2] = {&result.out, &result.err};
    for (int i = 0; i < 3; ++i) {
        if (files[i] == INVALID_HANDLE_VALUE)
            continue;
        char chunk[4096];
        DWORD got = 0;
        if (i < 2 && SetFilePointer(files[i], 0, nullptr, FILE_BEGIN) == 0) {
            while (ReadFile(files[i], chunk, sizeof chunk, &got, nullptr) && got > 0)
                sinks[i]->append(chunk, got);
            *sinks[i] = withoutCarriageReturns(*sinks[i]);
        }
        CloseHandle(files[i]);
    }
    return result;
}

} // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args) {
    // Under wine a process now and then fails to start while many others
    // start; a few more tries tell that apart from one that cannot start.
    ProcessResult result = runOnce(program, args);
    for (DWORD attempt = 1; attempt < 4 && result.status == -1 && result.out.empty(); ++attempt) {
        Sleep(100 * attempt);
        result = runOnce(program, args);
    }
    return result;
}

} // namespace testsupport

#else

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args) {
    return runProcess(program, args, {});
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::vector<std::string> environment) {
    ProcessResult result;
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The given variables, in place of any inherited ones of the same names.
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    for (char** inherited = environ; *inherited != nullptr; ++inherited) {
        const std::string_view name(*inherited, std::strcspn(*inherited, "=") + 1);
        if (std::none_of(environment.begin(), environment.end(),
                         [&](const std::string& given) { return given.rfind(name, 0) == 0; }))
            envp.push_back(*inherited);
    }
    envp.push_back(nullptr);

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
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0 &&
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
