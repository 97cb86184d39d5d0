// boxmend: repairs in place the audio and video track header defects of a
// camera recording. Usage: boxmend <file>

#include "tool/Driver.h"

#include <cstdint>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

// The short form of a path, or the empty string when the system has none
// (as for a path that does not exist).
std::wstring shortPathOf(const wchar_t* path) {
    DWORD needed = GetShortPathNameW(path, nullptr, 0);
    if (needed == 0)
        return std::wstring();
    std::wstring shortPath(needed, L'\0');
    GetShortPathNameW(path, shortPath.data(), needed);
    return shortPath.substr(0, shortPath.find(L'\0'));
}

// Encodes every UTF-16 unit on its own, surrogates included: a name that
// still holds a pair comes out as invalid UTF-8 and the open rejects it.
std::string unitsToUtf8(const std::wstring& wide) {
    std::string out;
    for (wchar_t ch : wide) {
        auto unit = static_cast<unsigned>(static_cast<std::uint16_t>(ch));
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2)
        return boxmend::printUsage();
    return boxmend::runRepair(unitsToUtf8(shortPathOf(argv[1])));
}

#else

#include <sys/stat.h>

// Without short names, the path is used as given when it names an existing
// entry; a path that names nothing becomes the empty name, as on Windows.
int main(int argc, char* argv[]) {
    if (argc != 2)
        return boxmend::printUsage();
    struct stat info {};
    std::string fileName = ::stat(argv[1], &info) == 0 ? argv[1] : "";
    return boxmend::runRepair(fileName);
}

#endif
