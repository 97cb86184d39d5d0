#include "tests/support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#else
#include <cstdlib>
#endif

namespace testsupport {

namespace {

#ifdef _WIN32

std::string toUtf8(const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(),
                        bytes, nullptr, nullptr);
    return narrow;
}

// The directory is named by its short form, so the names of files in it that
// are short already (8.3) come back unchanged in the program's messages.
std::string makeDirectory() {
    wchar_t base[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH)
        throw std::runtime_error("no temporary directory");
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unsigned mix = (GetCurrentProcessId() << 12) ^ GetTickCount() ^ (counter++ * 2654435761u);
        wchar_t name[16];
        swprintf(name, 16, L"bm%06x", mix & 0xFFFFFFu);
        std::wstring candidate = std::wstring(base) + name;
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            wchar_t shortPath[MAX_PATH + 1];
            DWORD shortLength = GetShortPathNameW(candidate.c_str(), shortPath, MAX_PATH + 1);
            if (shortLength == 0 || shortLength > MAX_PATH)
                return toUtf8(candidate);
            return toUtf8(shortPath);
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
    std::ofstream out(pathOf(target), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + target);
    return target;
}

std::vector<std::uint8_t> TempDir::read(const std::string& name) const {
    std::ifstream in(pathOf(file(name)), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

} // namespace testsupport
