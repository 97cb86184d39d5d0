// Writes a generated camera-like recording, for the bundled sample and for
// trying the tool by hand: make_recording <file> [healthy]

#include "tests/support/CameraFile.h"

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_recording <file> [healthy]\n");
        return 1;
    }
    const bool healthy = argc == 3 && std::strcmp(argv[2], "healthy") == 0;
    const testsupport::Bytes bytes = testsupport::cameraRecording(!healthy);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
