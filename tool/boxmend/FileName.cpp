#include "tool/boxmend/FileName.h"

#include "mediafmt/io/WindowsPath.h"

#include <utf8.h>

#include <cstdint>
#include <iterator>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace boxmend {

std::string unitsToUtf8(const std::u16string& units) {
    std::string out;
    // Unchecked, so that a surrogate is encoded on its own rather than refused.
    for (char16_t unit : units)
        utf8::unchecked::append(static_cast<std::uint32_t>(unit), std::back_inserter(out));
    return out;
}

#ifdef _WIN32

std::string fileNameFor(const wchar_t* argument) {
    // A deep path is looked up in its extended-length form, and its short
    // form shown without the prefix, as any other short form.
    bool extended = false;
    const std::wstring path = mediafmt::io::openablePath(argument, &extended);
    // The first call measures, terminator included; 0 means the system has no
    // short form, as for a path that does not exist.
    DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0)
        return std::string();
    std::wstring shortPath(needed, L'\0');
    GetShortPathNameW(path.c_str(), shortPath.data(), needed);
    std::u16string units;
    for (wchar_t ch : shortPath) {
        if (ch == L'\0')
            break;
        units += static_cast<char16_t>(ch);
    }
    return unitsToUtf8(extended ? mediafmt::io::withoutExtendedPrefix(units) : units);
}

#else

// Without short names, the path is used as given when it names an existing
// entry; a path that names nothing becomes the empty name, as on Windows.
std::string fileNameFor(const char* argument) {
    struct stat info {};
    return ::stat(argument, &info) == 0 ? std::string(argument) : std::string();
}

#endif

} // namespace boxmend
