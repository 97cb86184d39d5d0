#include "tests/support/TempDir.h"

#include "mediafmt/io/WindowsApi.h"
#include "tests/support/FileBytes.h"

#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#include <atomic>
#else
#include <cstdlib>
#include <unistd.h>
#endif

namespace testsupport {

namespace {

#ifdef _WIN32

// The directory is named by its short form, so the names of files in it that
// are short already (8.3) come back unchanged in the program's messages.
std::string makeDirectory() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const unsigned mix =
            (GetCurrentProcessId() << 12) ^ GetTickCount() ^ (counter++ * 2654435761u);
        wchar_t name[16];
        swprintf(name, 16, L"bm%06x", mix & 0xFFFFFFu);
        const std::wstring candidate = (base / name).wstring();
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            wchar_t shortPath[MAX_PATH + 1];
            const DWORD length = GetShortPathNameW(candidate.c_str(), shortPath, MAX_PATH + 1);
            return std::filesystem::path(length == 0 || length > MAX_PATH ? candidate : shortPath)
                .u8string();
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw std::runtime_error("cannot create a temporary directory");
}

const char separator = '\\';

#else

std::string makeDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "boxmend-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary directory from " + pattern);
    return pattern;
}

const char separator = '/';

#endif

std::filesystem::path pathOf(const std::string& utf8) {
    return std::filesystem::u8path(utf8);
}

} // namespace

TempDir::TempDir() : path_(makeDirectory()) {}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(pathOf(path_), ignored);
}

std::string TempDir::file(const std::string& name) const {
    return path_ + separator + name;
}

std::string TempDir::write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::string target = file(name);
    if (!writeFile(pathOf(target), bytes))
        throw std::runtime_error("cannot write " + target);
    return target;
}

std::vector<std::uint8_t> TempDir::read(const std::string& name) const {
    return readFile(pathOf(file(name)));
}

} // namespace testsupport
