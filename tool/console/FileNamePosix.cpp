#include "tool/console/FileName.h"

#include <sys/stat.h>

namespace boxmend::console {

// Without short names, the path is used as given when it names an existing
// entry; a path that names nothing becomes the empty name, as on Windows.
std::string fileNameFor(const NativePath& argument) {
    struct stat info {};
    return ::stat(argument.c_str(), &info) == 0 ? argument : std::string();
}

std::string shownName(const NativePath& path) {
    return path;
}

} // namespace boxmend::console
