// The stream layer's edge cases that the runs over whole recordings do not
// reach: seeks clamped and reported, the operating-system file's open modes
// and locking, and the cache's regions beyond its source and on-demand window.

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/io/File.h"
#include "tests/support/Bytes.h"
#include "tests/support/FaultyStream.h"
#include "tests/support/TempDir.h"
#include "tool/repair/JournalStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#ifndef _WIN32
#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace mediafmt;
using namespace mediafmt::io;
using namespace testsupport;

namespace {

std::uint64_t positionOf(Io& stream) {
    std::uint64_t position = 0;
    EXPECT_EQ(stream.tell(position), 0u);
    return position;
}

const Bytes sixBytes{'a', 'b', 'c', 'd', 'e', 'f'};

} // namespace

// A stream's default length: a seek to the end and back, each of whose
// calls may fail and is then passed on.
TEST(Io, MeasuresItsLengthBySeekingToTheEndAndBack) {
    class Measured final : public mediafmt::io::Buffer {
    public:
        explicit Measured(int failing) : Buffer(sixBytes), failing_(failing) {}
        mediafmt::ResultCode seek(std::int64_t offset, SeekOrigin origin) override {
            return ++calls_ == failing_ ? result::closeError : Buffer::seek(offset, origin);
        }
        mediafmt::ResultCode tell(std::uint64_t& position) override {
            return ++calls_ == failing_ ? result::closeError : Buffer::tell(position);
        }
        mediafmt::ResultCode size(std::uint64_t& length) override { return Io::size(length); }

    private:
        int failing_;
        int calls_ = 0;
    };
    for (int failing : {1, 2, 3, 4}) {
        Measured stream(failing);
        std::uint64_t length = 0;
        EXPECT_EQ(stream.size(length), result::closeError) << failing;
    }
    Measured stream(0);
    std::uint64_t length = 0;
    std::uint64_t position = 0;
    ASSERT_EQ(stream.seek(2, SeekOrigin::begin), 0u);
    ASSERT_EQ(stream.size(length), 0u);
    EXPECT_EQ(length, sixBytes.size());
    ASSERT_EQ(stream.tell(position), 0u);
    EXPECT_EQ(position, 2u);
}

TEST(Buffer, SeeksClampToTheBytesAndWritesGrowThem) {
    Buffer buffer(sixBytes);
    const struct {
        std::int64_t offset;
        SeekOrigin origin;
        ResultCode code;
        std::uint64_t at;
    } seeks[] = {{6, SeekOrigin::begin, 0, 6},
                 {7, SeekOrigin::begin, 15, 6},
                 {-2, SeekOrigin::current, 0, 4},
                 {3, SeekOrigin::current, 15, 6},
                 {-6, SeekOrigin::end, 0, 0},
                 {-7, SeekOrigin::end, 14, 0},
                 {INT64_MIN, SeekOrigin::current, 14, 0},
                 {INT64_MAX, SeekOrigin::end, 15, 6}};
    for (const auto& seek : seeks) {
        EXPECT_EQ(buffer.seek(seek.offset, seek.origin), seek.code) << seek.offset;
        EXPECT_EQ(positionOf(buffer), seek.at) << seek.offset;
    }
    // A write at the end grows the bytes, most significant first.
    ASSERT_EQ(writeUint16(&buffer, 0x0102), 0u);
    EXPECT_EQ(buffer.takeBytes(), (Bytes{'a', 'b', 'c', 'd', 'e', 'f', 1, 2}));
    EXPECT_EQ(positionOf(buffer), 0u);
}

TEST(File, OpenModesAndLengthMeasuredAtOpen) {
    TempDir dir;
    File file;
    // Names are UTF-8 on Windows; elsewhere bytes, whatever their encoding.
#ifdef _WIN32
    EXPECT_EQ(file.open(dir.file("bad-\xC0\xAF"), OpenMode::update), result::openError);
    EXPECT_FALSE(file.isOpen());
#else
    EXPECT_EQ(file.open(dir.file("caf\xE9"), OpenMode::update), 0u);
#endif
    std::uint64_t count = 0;
    std::uint8_t bytes[8] = {};
    bool atEnd = false;

    // update writes from the start without truncating and measures nothing.
    const std::string path = dir.write("data", sixBytes);
    ASSERT_EQ(file.open(path, OpenMode::update), 0u);
    ASSERT_EQ(file.write("X", 1, count), 0u);
    ASSERT_EQ(file.write("Y", 1, count), 0u);
    EXPECT_EQ(file.read(bytes, 1, count), result::readError);
    file.close();
    EXPECT_EQ(dir.read("data"), (Bytes{'X', 'Y', 'c', 'd', 'e', 'f'}));

    ASSERT_EQ(file.open(path, OpenMode::read), 0u);
    EXPECT_EQ(file.write("Z", 1, count), result::writeError);
    // Read back without a flush, which a read-only handle refuses on Windows.
    ASSERT_EQ(file.readBack(1, bytes, 3), 0u);
    EXPECT_EQ(Bytes(bytes, bytes + 3), (Bytes{'Y', 'c', 'd'}));
    ASSERT_EQ(file.open(path, OpenMode::readWrite), 0u);
    ASSERT_EQ(file.read(bytes, 8, count), 0u);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(file.eof(atEnd), 0u);
    EXPECT_TRUE(atEnd);
    // Growing the file moves neither the measured end nor the size.
    ASSERT_EQ(file.write("gh", 2, count), 0u);
    EXPECT_EQ(file.flush(), 0u);
    ASSERT_EQ(file.size(count), 0u);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(file.seek(-3, SeekOrigin::current), 0u);
    ASSERT_EQ(file.eof(atEnd), 0u);
    EXPECT_FALSE(atEnd);
    EXPECT_EQ(file.seek(-1, SeekOrigin::begin), result::error);
    ASSERT_EQ(file.seek(10, SeekOrigin::end), 0u);
    EXPECT_EQ(positionOf(file), 18u);
    file.close();
    EXPECT_EQ(file.read(bytes, 1, count), result::fileNotOpen);
    EXPECT_EQ(file.flush(), result::fileNotOpen);
    EXPECT_EQ(file.eof(atEnd), result::fileNotOpen);

    ASSERT_EQ(file.open(path, OpenMode::write), 0u);
    file.close();
    EXPECT_EQ(dir.read("data"), Bytes{});
#ifndef _WIN32
    // Nothing but a regular file whose length can be measured, without waiting:
    // /proc's files tell a length of 0 and have no end to seek to.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const std::string& odd :
         {dir.file("fifo"), dir.path(), std::string("/dev/null"), std::string("/proc/self/status")})
        EXPECT_EQ(file.open(odd, OpenMode::read), result::openError) << odd;
    // A process started without standard input gets descriptor 0 for the
    // file, closed with the file; standard input is put back only then, so
    // that closing the file cannot close it.
    const int input = ::dup(0);
    ::close(0);
    EXPECT_EQ(file.open(path, OpenMode::read), 0u);
    EXPECT_EQ(file.eof(atEnd), 0u);
    file.close();
    ::dup2(input, 0);
    ::close(input);
#endif
}

#ifdef __linux__
std::size_t openDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// However many calls a read-back takes, it keeps one descriptor of its own,
// which close gives back; after another open it reads the file open now.
TEST(File, ReadsBackTheOpenFileThroughOneDescriptor) {
    TempDir dir;
    File file;
    Bytes got(5000);
    ASSERT_EQ(file.open(dir.write("first", Bytes(10000, 0x11)), OpenMode::readWrite), 0u);
    const std::size_t before = openDescriptors();
    for (std::uint64_t at : {0u, 4097u, 5000u}) {
        ASSERT_EQ(file.readBack(at, got.data(), got.size()), 0u);
        EXPECT_TRUE(got == Bytes(5000, 0x11));
    }
    EXPECT_LE(openDescriptors(), before + 1);
    ASSERT_EQ(file.open(dir.write("second", Bytes(10000, 0x22)), OpenMode::readWrite), 0u);
    ASSERT_EQ(file.readBack(1, got.data(), got.size()), 0u);
    EXPECT_TRUE(got == Bytes(5000, 0x22));
    // A read-back that comes up short of what was written is an error.
    EXPECT_EQ(file.readBack(8000, got.data(), got.size()), result::readError);
    file.close();
    EXPECT_EQ(openDescriptors(), before - 1);
    EXPECT_EQ(file.readBack(0, got.data(), 1), result::fileNotOpen);
}

// The system calls the POSIX layer reads and writes through, replaced while
// one lives: every other call interrupted by a signal, reads and writes cut
// to three bytes, and as the test asks the read past the cache refused at
// its first read, its open failing with openErrno, or no byte ever written.
class OddSystem {
public:
    enum Oddity { none, firstDirectReadRefused, writesStall };
    static inline int opens = 0;

    explicit OddSystem(Oddity oddity, int openErrno = 0) {
        oddity_ = oddity;
        openErrno_ = openErrno;
        opens = calls_ = 0;
        posixCalls() = {open, read, pread, write};
    }
    ~OddSystem() { posixCalls() = real_; }

private:
    static int open(const char* path, int flags) {
        ++opens;
        return openErrno_ != 0 ? (errno = openErrno_, -1) : real_.open(path, flags);
    }
    static ssize_t read(int fd, void* buffer, std::size_t count) {
        if (++calls_ % 2 == 1)
            return errno = EINTR, -1;
        return real_.read(fd, buffer, std::min<std::size_t>(count, 3));
    }
    static ssize_t pread(int fd, void* buffer, std::size_t count, off_t at) {
        if (++calls_ == 1 && oddity_ == firstDirectReadRefused)
            return errno = EINVAL, -1;
        return calls_ % 2 == 1 ? (errno = EINTR, -1) : real_.pread(fd, buffer, count, at);
    }
    static ssize_t write(int fd, const void* buffer, std::size_t count) {
        // errno as an earlier interrupted call left it: only a negative
        // result means errno says anything.
        if (oddity_ == writesStall)
            return errno = EINTR, 0;
        if (++calls_ % 2 == 1)
            return errno = EINTR, -1;
        return real_.write(fd, buffer, std::min<std::size_t>(count, 3));
    }

    static inline const PosixCalls real_ = posixCalls();
    static inline Oddity oddity_ = none;
    static inline int openErrno_ = 0;
    static inline int calls_ = 0;
};

TEST(File, ReadsWholeThroughInterruptedAndShortReads) {
    TempDir dir;
    Bytes bytes(5000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    File file;
    ASSERT_EQ(file.open(dir.write("data", bytes), OpenMode::readWrite), 0u);
    const OddSystem odd(OddSystem::none);
    Bytes got(6000);
    std::uint64_t count = 0;
    ASSERT_EQ(file.read(got.data(), got.size(), count), 0u);
    EXPECT_EQ(count, bytes.size());
    got.resize(bytes.size());
    EXPECT_TRUE(got == bytes);
    ASSERT_EQ(file.readBack(100, got.data(), 4900), 0u);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4900, bytes.begin() + 100));
}

// Writes of a few bytes at a time, some interrupted, still write everything,
// the file's and the journal's; a write that takes nothing fails rather than
// being tried for ever.
TEST(File, WritesWholeThroughInterruptedAndShortWrites) {
    TempDir dir;
    const Bytes bytes(1000, 0x44);
    const std::string path = dir.file("data");
    File file;
    ASSERT_EQ(file.open(path, OpenMode::write), 0u);
    boxmend::repair::DirectoryJournal journal(path);
    boxmend::repair::SaveTrouble trouble{};
    std::uint64_t count = 0;
    {
        const OddSystem odd(OddSystem::none);
        ASSERT_EQ(file.write(bytes.data(), bytes.size(), count), 0u);
        EXPECT_EQ(count, bytes.size());
        ASSERT_EQ(journal.save(bytes, trouble), 0u);
        Bytes loaded;
        ASSERT_EQ(journal.load(loaded), 0u);
        EXPECT_TRUE(loaded == bytes);
    }
    file.close();
    EXPECT_EQ(dir.read("data"), bytes);
    ASSERT_EQ(file.open(path, OpenMode::update), 0u);
    const OddSystem odd(OddSystem::writesStall);
    EXPECT_EQ(file.write(bytes.data(), 1, count), result::writeError);
    EXPECT_EQ(journal.save(bytes, trouble), result::writeError);
    EXPECT_EQ(trouble, boxmend::repair::SaveTrouble::none);
}

// Where the file system refuses to bypass the cache, at the open (or /proc
// is missing) or at the first read, the read comes after the range's cached
// pages were dropped; refused once, the bypass is not tried again. A
// read-back that comes up short there too is an error, as is an open that
// fails for another reason.
TEST(File, ReadsBackThroughTheCacheWhereItCannotBeBypassed) {
    TempDir dir;
    const Bytes bytes(10000, 0x33);
    Bytes got(5000);
    for (const int refusal : {EINVAL, ENOENT, 0}) {
        File file;
        ASSERT_EQ(file.open(dir.write("data", bytes), OpenMode::readWrite), 0u);
        const OddSystem odd(refusal != 0 ? OddSystem::none : OddSystem::firstDirectReadRefused,
                            refusal);
        for (std::uint64_t at : {0u, 4097u, 5000u}) {
            ASSERT_EQ(file.readBack(at, got.data(), got.size()), 0u) << refusal;
            EXPECT_TRUE(got == Bytes(5000, 0x33)) << refusal;
        }
        EXPECT_EQ(OddSystem::opens, 1) << refusal;
        EXPECT_EQ(file.readBack(8000, got.data(), got.size()), result::readError) << refusal;
    }
    File file;
    ASSERT_EQ(file.open(dir.write("data", bytes), OpenMode::readWrite), 0u);
    {
        const OddSystem odd(OddSystem::none, EMFILE);
        EXPECT_EQ(file.readBack(0, got.data(), got.size()), result::readError);
    }
    // Without standard input the bypassing descriptor is 0; a refusal closes
    // it all the same.
    const int input = ::dup(0);
    ::close(0);
    {
        const OddSystem odd(OddSystem::firstDirectReadRefused);
        EXPECT_EQ(file.readBack(0, got.data(), got.size()), 0u);
    }
    EXPECT_EQ(::fcntl(0, F_GETFD), -1);
    ::dup2(input, 0);
    ::close(input);
}
#endif

// Between processes too, as the programs' tests show; here a second File
// of the same process stands for another process.
TEST(File, WritersAreNotSharedWithAnyone) {
    TempDir dir;
    const std::string path = dir.write("data", sixBytes);
    File holder;
    File second;
    ASSERT_EQ(holder.open(path, OpenMode::readWrite), 0u);
    EXPECT_EQ(second.open(path, OpenMode::read), result::openError);
    EXPECT_EQ(second.open(path, OpenMode::write), result::openError);
    // Opening another file releases the one held before.
    ASSERT_EQ(holder.open(dir.write("other", sixBytes), OpenMode::read), 0u);
    EXPECT_EQ(dir.read("data"), sixBytes) << "a refused write open must not truncate";
    ASSERT_EQ(second.open(path, OpenMode::read), 0u);
    EXPECT_EQ(holder.open(path, OpenMode::read), 0u);
    EXPECT_EQ(File().open(path, OpenMode::readWrite), result::openError);
}

// A cache filled on demand must read exactly as one filled at once, and both
// as the source's bytes of each region followed by zeros: over regions that
// shrink (so earlier, longer ones show through), reach past the source or
// start beyond it, and reads small and large, across the window's edge.
TEST(CacheBuffer, ReadsItsRegionsAsTheSourceAndZerosWhetherOnDemandOrNot) {
    Bytes source(300000);
    std::mt19937 random(7);
    for (auto& byte : source)
        byte = static_cast<std::uint8_t>(random());
    FaultyStream atOnceSource(source);
    FaultyStream onDemandSource(source);
    CacheBuffer atOnce;
    CacheBuffer onDemand;
    ASSERT_EQ(onDemand.setLoadOnDemand(true), 0u);
    Bytes model;

    for (int fill = 0; fill < 60; ++fill) {
        const std::uint64_t offset = random() % 320000;
        const std::uint64_t length = 1 + (fill % 3 == 0 ? random() % 200000 : random() % 3000);
        ASSERT_EQ(atOnce.fill(&atOnceSource, offset, length), 0u);
        ASSERT_EQ(onDemand.fill(&onDemandSource, offset, length), 0u);
        model.resize(std::max<std::size_t>(model.size(), length));
        for (std::uint64_t i = 0; i < length; ++i)
            model[i] = offset + i < source.size() ? source[offset + i] : 0;
        EXPECT_EQ(positionOf(onDemandSource), positionOf(atOnceSource));

        for (int read = 0; read < 6; ++read) {
            const std::uint64_t at = random() % model.size();
            const std::uint64_t count = read == 0 ? 70000 + random() % 70000 : random() % 600;
            const auto from = model.begin() + static_cast<std::ptrdiff_t>(at);
            const Bytes expected(from, from + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                                  count, model.size() - at)));
            for (CacheBuffer* cache : {&atOnce, &onDemand}) {
                Bytes got(count, 0xEE);
                std::uint64_t n = 0;
                ASSERT_EQ(cache->seek(static_cast<std::int64_t>(offset + at), SeekOrigin::begin),
                          0u);
                ASSERT_EQ(cache->read(got.data(), count, n), 0u);
                got.resize(n);
                ASSERT_TRUE(got == expected)
                    << "fill " << fill << (cache == &onDemand ? " on demand" : "");
                EXPECT_EQ(positionOf(*cache), offset + at + n);
            }
        }
    }
    // Writing loads every pending region first.
    std::uint64_t count = 0;
    ASSERT_EQ(onDemand.seek(static_cast<std::int64_t>(onDemand.baseOffset()), SeekOrigin::begin),
              0u);
    ASSERT_EQ(onDemand.write("x", 1, count), 0u);
    ASSERT_EQ(onDemand.seek(static_cast<std::int64_t>(onDemand.baseOffset()), SeekOrigin::begin),
              0u);
    Bytes all(model.size());
    ASSERT_EQ(onDemand.read(all.data(), all.size(), count), 0u);
    model[0] = 'x';
    EXPECT_TRUE(all == model);
    // Bytes loaded before show through beyond a newer, shorter fill.
    ASSERT_EQ(onDemand.fill(&onDemandSource, 0, 1), 0u);
    ASSERT_EQ(onDemand.seek(1, SeekOrigin::begin), 0u);
    ASSERT_EQ(onDemand.read(all.data(), 1, count), 0u);
    EXPECT_EQ(all[0], model[1]);
}

// A source that delivers less than it promised reads as zeros from where it
// stopped, and no byte beyond the read is touched.
TEST(CacheBuffer, ReadsWhatAShortSourceLeftOutAsZeros) {
    constexpr std::uint64_t count = 100000;
    constexpr std::uint64_t delivered = 1000;
    const Bytes source(count, 0x5A);
    Bytes expected(count, 0);
    std::fill_n(expected.begin(), delivered, 0x5A);
    for (bool onDemand : {false, true}) {
        SCOPED_TRACE(onDemand ? "on demand" : "at once");
        FaultyStream stream(source);
        stream.limitReads(delivered);
        CacheBuffer cache;
        ASSERT_EQ(cache.setLoadOnDemand(onDemand), 0u);
        ASSERT_EQ(cache.fill(&stream, 0, count), 0u);
        Bytes got(count + 4096, 0xEE);
        std::uint64_t n = 0;
        ASSERT_EQ(cache.read(got.data(), count, n), 0u);
        ASSERT_EQ(n, count);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
        EXPECT_TRUE(std::all_of(got.begin() + count, got.end(), [](auto b) { return b == 0xEE; }));
    }
}

TEST(CacheBuffer, TakesSourcePositionsAndReportsWhereASeekWasClamped) {
    FaultyStream source(sixBytes);
    CacheBuffer cache;
    // Empty, it stands at the start like any other stream.
    EXPECT_EQ(positionOf(cache), 0u);
    ASSERT_EQ(cache.fill(&source, 2, 3), 0u);
    EXPECT_EQ(cache.seek(1, SeekOrigin::begin), result::seekBeforeBegin);
    EXPECT_EQ(positionOf(cache), 2u);
    EXPECT_EQ(cache.seek(6, SeekOrigin::begin), result::seekPastEnd);
    EXPECT_EQ(positionOf(cache), 5u);
    ASSERT_EQ(cache.seek(5, SeekOrigin::begin), 0u);
    EXPECT_EQ(cache.seek(-4, SeekOrigin::end), result::seekBeforeBegin);
    bool atEnd = true;
    ASSERT_EQ(cache.eof(atEnd), 0u);
    EXPECT_FALSE(atEnd);
    std::uint64_t length = 0;
    ASSERT_EQ(cache.size(length), 0u);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(cache.fill(nullptr, 0, 1), result::nullObject);
    // A fill hides every older one that is not longer, which is then never
    // read; a read that fails while loading is passed on.
    using Call = FaultyStream::Call;
    ASSERT_EQ(cache.setLoadOnDemand(true), 0u);
    ASSERT_EQ(cache.fill(&source, 0, 4), 0u);
    ASSERT_EQ(cache.fill(&source, 1, 4), 0u);
    const std::uint64_t reads = source.calls(Call::read);
    source.failAt(Call::read, reads + 1, result::closeError);
    EXPECT_EQ(cache.setLoadOnDemand(false), result::closeError);
    ASSERT_EQ(cache.setLoadOnDemand(false), 0u);
    EXPECT_EQ(source.calls(Call::read), reads + 2);

    // An older, longer fill read on demand outside the newer one's window.
    CacheBuffer lazy;
    ASSERT_EQ(lazy.setLoadOnDemand(true), 0u);
    ASSERT_EQ(lazy.fill(&source, 0, 6), 0u);
    ASSERT_EQ(lazy.fill(&source, 4, 2), 0u);
    source.failAt(Call::read, source.calls(Call::read) + 1, result::closeError);
    std::uint8_t byte = 0;
    ASSERT_EQ(lazy.seek(6, SeekOrigin::begin), 0u);
    EXPECT_EQ(lazy.read(&byte, 1, length), result::closeError);
    ASSERT_EQ(lazy.seek(6, SeekOrigin::begin), 0u);
    ASSERT_EQ(lazy.read(&byte, 1, length), 0u);
    EXPECT_EQ(byte, 'c');
}

// A read as large as the window goes straight into the reader's memory and
// leaves the window as it was: a small read of what the window holds then
// reads nothing from the source.
TEST(CacheBuffer, ReadsAsLargeAsTheWindowLeaveItAlone) {
    constexpr std::uint64_t window = 64 * 1024;
    FaultyStream source(Bytes(4 * window, 7));
    CacheBuffer cache;
    ASSERT_EQ(cache.setLoadOnDemand(true), 0u);
    ASSERT_EQ(cache.fill(&source, 0, 4 * window), 0u);
    Bytes got(window);
    std::uint64_t count = 0;
    ASSERT_EQ(cache.seek(2 * window, SeekOrigin::begin), 0u);
    ASSERT_EQ(cache.read(got.data(), window, count), 0u);
    const std::uint64_t reads = source.calls(FaultyStream::Call::read);
    ASSERT_EQ(cache.seek(0, SeekOrigin::begin), 0u);
    ASSERT_EQ(cache.read(got.data(), 1, count), 0u);
    EXPECT_EQ(source.calls(FaultyStream::Call::read), reads);
}
