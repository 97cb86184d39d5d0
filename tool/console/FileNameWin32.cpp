#ifdef _WIN32

#include "tool/console/FileName.h"

#include "mediafmt/io/WindowsApi.h"
#include "mediafmt/io/WindowsPath.h"

namespace boxmend::console {

std::string fileNameFor(const NativePath& argument) {
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

std::string shownName(const NativePath& path) {
    return unitsToUtf8(std::u16string(path.begin(), path.end()));
}

} // namespace boxmend::console

#endif // _WIN32
