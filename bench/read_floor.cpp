// The least any in-place repair of a recording's header has to do, for the
// benchmark to measure boxmend against: read the whole moov box once, and
// for "repair" also write the ambisonic track's sample table box back over
// itself (the bytes as read) and flush it to the device. The write may be
// made in several steps, each flushed, as a repair that flushes as often as
// boxmend does. Three more modes add boxmend's safeguards, so that the
// benchmark can show what each costs: "journal" puts a small journal beside
// the file first (written, flushed, renamed into place, the directory
// flushed) and removes it at the end; "readback" reads each step back past
// the page cache (O_DIRECT, through one descriptor) after its flush; "safe"
// does both, the least a verified, journalled repair has to do. "evict"
// only flushes the file and drops its pages from the page cache, so that the
// next run starts cold.
// read_floor read|repair|journal|readback|safe|evict <file> [steps]

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

std::uint64_t load(const std::uint8_t* bytes, int n) {
    std::uint64_t value = 0;
    for (int i = 0; i < n; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

bool readAll(int fd, std::uint8_t* bytes, std::uint64_t count, std::uint64_t offset) {
    std::uint64_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::uint64_t>(got);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* bytes, std::uint64_t count, std::uint64_t offset) {
    std::uint64_t done = 0;
    while (done < count) {
        ssize_t put = ::pwrite(fd, bytes + done, count - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::uint64_t>(put);
    }
    return true;
}

struct Span {
    std::uint64_t begin = 0;
    std::uint64_t size = 0;
    std::uint64_t header = 0;
};

// The box at bytes[at], within limit; false when its header does not fit.
bool boxAt(const std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t limit,
           Span& span, std::string_view& code) {
    if (at + 8 > limit)
        return false;
    span = {at, load(&bytes[at], 4), 8};
    code = std::string_view(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    if (span.size == 1) {
        if (at + 16 > limit)
            return false;
        span.size = load(&bytes[at + 8], 8);
        span.header = 16;
    }
    return span.size >= span.header && span.size <= limit - at;
}

// The first child of the given code inside the container at span.
bool child(const std::vector<std::uint8_t>& bytes, const Span& parent, std::string_view wanted,
           std::uint64_t skip, Span& found) {
    std::uint64_t at = parent.begin + parent.header + skip;
    const std::uint64_t limit = parent.begin + parent.size;
    Span span;
    std::string_view code;
    while (boxAt(bytes, at, limit, span, code)) {
        if (code == wanted) {
            found = span;
            return true;
        }
        if (span.size == 0)
            return false;
        at += span.size;
    }
    return false;
}

// The sample table box of the first track whose first sample entry is in32.
bool ambisonicTable(const std::vector<std::uint8_t>& moov, Span& stbl) {
    const Span whole{0, moov.size(), 8};
    std::uint64_t at = whole.header;
    Span trak;
    std::string_view code;
    while (boxAt(moov, at, moov.size(), trak, code) && trak.size != 0) {
        at += trak.size;
        Span mdia, minf, stsd, entry;
        if (code != "trak" || !child(moov, trak, "mdia", 0, mdia) ||
            !child(moov, mdia, "minf", 0, minf) || !child(moov, minf, "stbl", 0, stbl) ||
            !child(moov, stbl, "stsd", 0, stsd))
            continue;
        // Version, flags and the entry count come before the entries.
        if (boxAt(moov, stsd.begin + stsd.header + 8, stsd.begin + stsd.size, entry, code) &&
            code == "in32")
            return true;
    }
    return false;
}

bool flushDirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    const bool flushed = fd >= 0 && ::fsync(fd) == 0;
    return fd >= 0 && ::close(fd) == 0 && flushed;
}

// A journal of about the size boxmend writes, put in place durably.
bool putJournal(const std::string& journal) {
    const std::string temp = journal + ".new";
    const std::vector<std::uint8_t> bytes(300, 0x5A);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return fd >= 0 && writeAll(fd, bytes.data(), bytes.size(), 0) && ::fsync(fd) == 0 &&
           ::close(fd) == 0 && ::rename(temp.c_str(), journal.c_str()) == 0 &&
           flushDirectoryOf(journal);
}

// A descriptor whose reads bypass the page cache: O_DIRECT on Linux,
// F_NOCACHE on macOS.
int openDirect(const char* path) {
#ifdef O_DIRECT
    return ::open(path, O_RDONLY | O_DIRECT);
#elif defined(F_NOCACHE)
    const int fd = ::open(path, O_RDONLY);
    if (fd >= 0 && ::fcntl(fd, F_NOCACHE, 1) == -1) {
        ::close(fd);
        return -1;
    }
    return fd;
#else
    errno = ENOTSUP;
    return -1;
#endif
}

// count bytes at offset read back through direct, a descriptor that bypasses
// the page cache, in whole blocks.
bool readBack(int direct, std::uint64_t offset, std::uint64_t count) {
    const std::uint64_t block = 4096;
    const std::uint64_t first = offset / block * block;
    const std::uint64_t length = (offset + count + block - 1) / block * block - first;
    void* raw = nullptr;
    if (::posix_memalign(&raw, block, length) != 0)
        return false;
    const ssize_t got = ::pread(direct, raw, length, static_cast<off_t>(first));
    std::free(raw);
    return got >= static_cast<ssize_t>(offset + count - first);
}

// The box's bytes written over themselves in steps parts, each flushed and,
// when direct is open, read back.
bool writeInSteps(int fd, int direct, const std::uint8_t* bytes, std::uint64_t count,
                  std::uint64_t offset, std::uint64_t steps) {
    const std::uint64_t part = (count + steps - 1) / steps;
    for (std::uint64_t done = 0; done < count; done += part) {
        const std::uint64_t n = std::min(part, count - done);
        if (!writeAll(fd, bytes + done, n, offset + done) || ::fsync(fd) != 0 ||
            (direct >= 0 && !readBack(direct, offset + done, n)))
            return false;
    }
    return true;
}

// The file's pages dropped from the page cache, where the system lets a
// program ask for it.
bool dropCached(int fd) {
#ifdef POSIX_FADV_DONTNEED
    const int error = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    errno = error;
    return error == 0;
#else
    (void)fd;
    errno = ENOTSUP;
    return false;
#endif
}

// The file's pages written to the device and dropped from the page cache.
bool evict(const char* path) {
    const int fd = ::open(path, O_RDONLY);
    return fd >= 0 && ::fsync(fd) == 0 && dropCached(fd) && ::close(fd) == 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string_view mode = argc == 3 || argc == 4 ? argv[1] : "";
    const long steps = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1;
    if ((mode != "read" && mode != "repair" && mode != "journal" && mode != "readback" &&
         mode != "safe" && mode != "evict") ||
        steps < 1) {
        std::fprintf(stderr,
                     "usage: read_floor read|repair|journal|readback|safe|evict <file> [steps]\n");
        return 2;
    }
    if (mode == "evict") {
        if (evict(argv[2]))
            return 0;
        std::perror(argv[2]);
        return 1;
    }
    const bool repair = mode != "read";
    const bool journalled = mode == "journal" || mode == "safe";
    const bool verified = mode == "readback" || mode == "safe";
    const std::string journal = std::string(argv[2]) + ".journal";
    const int fd = ::open(argv[2], repair ? O_RDWR : O_RDONLY);
    if (fd < 0) {
        std::perror(argv[2]);
        return 1;
    }

    // The top-level headers up to moov.
    std::uint64_t at = 0;
    std::uint64_t moovSize = 0;
    for (;;) {
        std::uint8_t header[16];
        if (!readAll(fd, header, sizeof header, at)) {
            std::fprintf(stderr, "read_floor: no moov box\n");
            return 1;
        }
        std::uint64_t size = load(header, 4);
        if (size == 1)
            size = load(header + 8, 8);
        if (std::memcmp(header + 4, "moov", 4) == 0) {
            moovSize = size;
            break;
        }
        if (size < 8) {
            std::fprintf(stderr, "read_floor: no moov box\n");
            return 1;
        }
        at += size;
    }

    std::vector<std::uint8_t> moov(moovSize);
    if (!readAll(fd, moov.data(), moov.size(), at)) {
        std::perror(argv[2]);
        return 1;
    }
    if (repair) {
        Span stbl;
        if (!ambisonicTable(moov, stbl)) {
            std::fprintf(stderr, "read_floor: no ambisonic track\n");
            return 1;
        }
        const int direct = verified ? openDirect(argv[2]) : -1;
        if ((verified && direct < 0) || (journalled && !putJournal(journal)) ||
            !writeInSteps(fd, direct, moov.data() + stbl.begin, stbl.size, at + stbl.begin,
                          static_cast<std::uint64_t>(steps)) ||
            (direct >= 0 && ::close(direct) != 0) ||
            (journalled && (::unlink(journal.c_str()) != 0 || !flushDirectoryOf(journal)))) {
            std::perror(argv[2]);
            return 1;
        }
    }
    return ::close(fd) == 0 ? 0 : 1;
}
