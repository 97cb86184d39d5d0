#pragma once

namespace boxmend::console {

// Whether standard output is a terminal (on Windows, a console), where a
// line may be rewritten in place.
bool outputIsTerminal();

// Whether what was printed on standard output, by stdio or by the C++
// stream, could not all be written; both are flushed first. A run whose
// result nobody could read does not end as if all was well.
bool outputLost();

// A reader that went away makes writing fail, which outputLost then tells,
// rather than end the program by a signal. Nothing to do on Windows.
void ignoreBrokenPipe();

// While it lives, a console shows what is printed as UTF-8: on Windows the
// console's output code page is set to UTF-8 and put back after. Terminals
// elsewhere take the bytes as they are.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    // The code page to put back; 0 without a console.
    unsigned codePage_ = 0;
};

} // namespace boxmend::console
