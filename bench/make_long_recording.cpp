// Writes the header of a long camera recording with both defects around a
// sparse media data box, so the file is as long as a real recording of that
// length but takes only the header's bytes on disk:
// make_long_recording <file> <hours>

#include "bench/LongRecording.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_long_recording <file> <hours>\n");
        return 2;
    }
    char* rest = nullptr;
    const double hours = std::strtod(argv[2], &rest);
    if (rest == argv[2] || *rest != '\0' || !(hours > 0) || hours > 18) {
        std::fprintf(stderr, "make_long_recording: hours must be above 0 and at most 18\n");
        return 2;
    }
    const auto seconds = static_cast<std::uint32_t>(std::lround(hours * 3600));
    const bench::LongRecording recording = bench::makeLongRecording(seconds < 1 ? 1 : seconds);

    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || !writeAll(fd, recording.head, 0) ||
        !writeAll(fd, recording.moov, recording.moovOffset) || ::close(fd) != 0) {
        std::fprintf(stderr, "make_long_recording: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    std::printf("%s: %llu bytes, moov %zu bytes at offset %llu\n", argv[1],
                static_cast<unsigned long long>(recording.moovOffset + recording.moov.size()),
                recording.moov.size(), static_cast<unsigned long long>(recording.moovOffset));
    return 0;
}
