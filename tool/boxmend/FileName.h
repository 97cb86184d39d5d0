#pragma once

#include <string>

namespace boxmend {

// The name the driver opens and prints for its one argument: the path's short
// form as the operating system gives it, or the path unchanged where there
// are no short names; empty when the path names nothing. It is never the
// long form of a path that has a short alias.
#ifdef _WIN32
std::string fileNameFor(const wchar_t* argument);
#else
std::string fileNameFor(const char* argument);
#endif

// Encodes every UTF-16 unit on its own as one to three UTF-8 bytes,
// surrogates included: a name that still holds a surrogate pair comes out as
// invalid UTF-8, which the stream layer refuses to open.
std::string unitsToUtf8(const std::u16string& units);

} // namespace boxmend
