#include "mediafmt/io/WindowsPath.h"

#include "mediafmt/io/WindowsApi.h"

#include <utf8.h>

#include <iterator>

namespace mediafmt::io {

namespace {

// MAX_PATH counts the terminating NUL.
constexpr std::size_t maxPath = 260;

const std::u16string extendedPrefix = u"\\\\?\\";
const std::u16string uncPrefix = u"\\\\?\\UNC\\";

bool startsWith(const std::u16string& text, const std::u16string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isSeparator(char16_t unit) {
    return unit == u'\\' || unit == u'/';
}

bool isDeviceForm(const std::u16string& path) {
    return path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[1]) &&
           (path[2] == u'?' || path[2] == u'.') && isSeparator(path[3]);
}

bool isDrivePath(const std::u16string& path) {
    const char16_t letter = path.size() >= 3 ? static_cast<char16_t>(path[0] | 0x20) : u'\0';
    return letter >= u'a' && letter <= u'z' && path[1] == u':' && isSeparator(path[2]);
}

bool isUncPath(const std::u16string& path) {
    return path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2]);
}

std::u16string withBackslashes(std::u16string path) {
    for (char16_t& unit : path) {
        if (unit == u'/')
            unit = u'\\';
    }
    return path;
}

} // namespace

bool needsExtendedLength(const std::u16string& fullPath) {
    return fullPath.size() >= maxPath && !isDeviceForm(fullPath);
}

std::u16string extendedLengthPath(const std::u16string& fullPath) {
    if (isDeviceForm(fullPath))
        return fullPath;
    if (isDrivePath(fullPath))
        return extendedPrefix + withBackslashes(fullPath);
    if (isUncPath(fullPath))
        return uncPrefix + withBackslashes(fullPath.substr(2));
    return fullPath;
}

std::u16string withoutExtendedPrefix(const std::u16string& path) {
    if (startsWith(path, uncPrefix))
        return u"\\\\" + path.substr(uncPrefix.size());
    if (startsWith(path, extendedPrefix) && isDrivePath(path.substr(extendedPrefix.size())))
        return path.substr(extendedPrefix.size());
    return path;
}

bool toUtf16(const std::string& text, std::u16string& units) {
    std::u16string converted;
    try {
        utf8::utf8to16(text.begin(), text.end(), std::back_inserter(converted));
    } catch (const utf8::exception&) {
        return false;
    }
    units += converted;
    return true;
}

bool toUtf8(const std::u16string& units, std::string& text) {
    std::string converted;
    try {
        utf8::utf16to8(units.begin(), units.end(), std::back_inserter(converted));
    } catch (const utf8::exception&) {
        return false;
    }
    text += converted;
    return true;
}

#ifdef _WIN32

std::wstring openablePath(const std::wstring& path, bool* extended) {
    if (extended != nullptr)
        *extended = false;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    // wchar_t and char16_t are both UTF-16 units here, but distinct types: copied, not cast.
    const std::u16string units(full.begin(), full.begin() + length);
    if (!needsExtendedLength(units))
        return path;
    if (extended != nullptr)
        *extended = true;
    const std::u16string longForm = extendedLengthPath(units);
    return std::wstring(longForm.begin(), longForm.end());
}

#endif

} // namespace mediafmt::io
