#pragma once

#include <string>

namespace boxmend::console {

// A path as the operating system takes it: UTF-16 on Windows, bytes
// elsewhere.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// The name a program opens and prints for a file given to it: the path's
// short form as the operating system gives it, or the path unchanged where
// there are no short names; empty when the path names nothing. It is never
// the long form of a path that has a short alias.
std::string fileNameFor(const NativePath& argument);

// A path as it is printed, in UTF-8: on Windows each UTF-16 unit on its own
// (unitsToUtf8), elsewhere its bytes as they are.
std::string shownName(const NativePath& path);

// Encodes every UTF-16 unit on its own as one to three UTF-8 bytes,
// surrogates included: a name that still holds a surrogate pair comes out as
// invalid UTF-8, which the stream layer refuses to open.
std::string unitsToUtf8(const std::u16string& units);

} // namespace boxmend::console
