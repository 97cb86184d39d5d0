// Opens a file with mediafmt::io::File in read and write mode and exits with
// the result code, so tests can try an open from a second process.
// Usage: open_file PATH (UTF-8 on every platform)

#include "mediafmt/io/File.h"

#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace {

int openReadWrite(const std::string& path) {
    mediafmt::io::File file;
    return static_cast<int>(file.open(path, mediafmt::io::OpenMode::readWrite));
}

} // namespace

#ifdef _WIN32

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2)
        return 255;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return 255;
    std::string path(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, path.data(), bytes, nullptr, nullptr);
    path.resize(static_cast<std::size_t>(bytes - 1));
    return openReadWrite(path);
}

#else

int main(int argc, char* argv[]) {
    if (argc != 2)
        return 255;
    return openReadWrite(argv[1]);
}

#endif
