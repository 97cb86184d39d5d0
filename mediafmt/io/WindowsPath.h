#pragma once

#include <string>

namespace mediafmt::io {

// Windows paths as UTF-16 units. Without long-path support, the Windows API
// refuses a path of MAX_PATH (260) units or more unless it has the
// extended-length form, "\\?\C:\dir\file" or "\\?\UNC\server\share\file",
// which the API takes as it stands: absolute, with backslashes and nothing
// to resolve. These are plain functions, the same on every system.

// Whether a full path (as GetFullPathNameW gives it) opens only in the
// extended-length form: 260 units or more, and not in a device form already.
bool needsExtendedLength(const std::u16string& fullPath);

// The extended-length form of a full path: "\\?\" before a drive path,
// "\\?\UNC\" in place of the "\\" of a UNC path, slashes made backslashes.
// A path already in a device form ("\\?\", "\\.\") or not absolute is
// returned unchanged.
std::u16string extendedLengthPath(const std::u16string& fullPath);

// The usual form of an extended-length path, as people read and type it:
// "\\?\C:\dir" gives "C:\dir" and "\\?\UNC\server\share" gives
// "\\server\share". Any other path is returned unchanged.
std::u16string withoutExtendedPrefix(const std::u16string& path);

// UTF-8 to UTF-16 units and back, for names that cross to and from the
// Windows API; false, with nothing appended, when the text is not
// well-formed (an unpaired surrogate, an invalid code point).
bool toUtf16(const std::string& text, std::u16string& units);
bool toUtf8(const std::u16string& units, std::string& text);

#ifdef _WIN32
// The path as the Windows API opens it: its full path's extended-length
// form when that needs one, otherwise the path unchanged. extended tells
// which.
std::wstring openablePath(const std::wstring& path, bool* extended = nullptr);
#endif

} // namespace mediafmt::io
