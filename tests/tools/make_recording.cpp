// Writes a generated camera-like recording, for the bundled sample and for
// trying the tool by hand: make_recording <file> [healthy]

#include "tests/support/CameraFile.h"
#include "tests/support/FileBytes.h"

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_recording <file> [healthy]\n");
        return 1;
    }
    const bool healthy = argc == 3 && std::strcmp(argv[2], "healthy") == 0;
    if (!testsupport::writeFile(argv[1], testsupport::cameraRecording(!healthy))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
