// Parses a small movie held in memory with the installed mediafmt library and
// prints the code and size of each top-level box.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"

#include <cstdint>
#include <cstdio>
#include <vector>

int main() {
    // A file type box of 16 bytes, then a free box of 48.
    std::vector<std::uint8_t> bytes = {0,   0,   0,   16,  'f', 't', 'y', 'p',
                                       'i', 's', 'o', 'm', 0,   0,   0,   0};
    const std::vector<std::uint8_t> freeHeader = {0, 0, 0, 48, 'f', 'r', 'e', 'e'};
    bytes.insert(bytes.end(), freeHeader.begin(), freeHeader.end());
    bytes.resize(16 + 48);
    mediafmt::io::Buffer stream(bytes);
    mediafmt::mp4::File file;
    if (mediafmt::ResultCode rc = file.parse(&stream); rc != 0) {
        std::printf("error %u (%s)\n", static_cast<unsigned>(rc),
                    mediafmt::resultCodeText(rc).c_str());
        return 1;
    }
    for (const auto& box : file.children) {
        std::printf("%s %llu\n", box->type.text().c_str(),
                    static_cast<unsigned long long>(box->recordedSize));
    }
    return 0;
}
