#ifdef _WIN32

#include "tool/console/Output.h"

#include "mediafmt/io/WindowsApi.h"

namespace boxmend::console {

bool outputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void ignoreBrokenPipe() {}

Utf8Console::Utf8Console() : codePage_(GetConsoleOutputCP()) {
    if (codePage_ != 0)
        SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
    if (codePage_ != 0)
        SetConsoleOutputCP(codePage_);
}

} // namespace boxmend::console

#endif // _WIN32
