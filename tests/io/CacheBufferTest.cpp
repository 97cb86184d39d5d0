#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/Buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace mediafmt;
using namespace mediafmt::io;

namespace {

// Nonzero everywhere, and different at nearby positions.
std::uint8_t patternAt(std::uint64_t position) {
    return static_cast<std::uint8_t>(position % 251 + 1);
}

std::vector<std::uint8_t> patterned(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = patternAt(i);
    return bytes;
}

std::uint64_t positionOf(Io& stream) {
    std::uint64_t position = 0;
    EXPECT_EQ(stream.tell(position), 0u);
    return position;
}

std::vector<std::uint8_t> readAll(CacheBuffer& cache, std::uint64_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::uint64_t got = 0;
    EXPECT_EQ(cache.read(bytes.data(), count, got), 0u);
    bytes.resize(got);
    return bytes;
}

} // namespace

TEST(CacheBuffer, ReportsAndAcceptsSourcePositions) {
    Buffer source(patterned(1100));
    CacheBuffer cache;
    ASSERT_EQ(cache.fill(&source, 1000, 32), 0u);
    EXPECT_EQ(positionOf(cache), 1000u);

    ASSERT_EQ(cache.seek(1016, SeekOrigin::begin), 0u);
    EXPECT_EQ(positionOf(cache), 1016u);
    std::uint8_t byte = 0;
    ASSERT_EQ(readUint8(&cache, byte), 0u);
    EXPECT_EQ(byte, patternAt(1016));

    EXPECT_EQ(cache.seek(999, SeekOrigin::begin), result::seekBeforeBegin);
    EXPECT_EQ(positionOf(cache), 1000u);
    EXPECT_EQ(cache.seek(1033, SeekOrigin::begin), result::seekPastEnd);
    EXPECT_EQ(positionOf(cache), 1032u);
    EXPECT_EQ(cache.seek(-2, SeekOrigin::current), 0u);
    EXPECT_EQ(positionOf(cache), 1030u);
    EXPECT_EQ(cache.seek(-33, SeekOrigin::end), result::seekBeforeBegin);
    EXPECT_EQ(positionOf(cache), 1000u);
    EXPECT_EQ(cache.seek(0, static_cast<SeekOrigin>(3)), result::invalidArgument);

    std::uint64_t length = 0;
    ASSERT_EQ(cache.size(length), 0u);
    EXPECT_EQ(length, 32u);
}

TEST(CacheBuffer, NeverShrinksAndEofIsAlwaysFalse) {
    Buffer source(patterned(100));
    CacheBuffer cache;
    ASSERT_EQ(cache.fill(&source, 0, 32), 0u);
    ASSERT_EQ(cache.fill(&source, 50, 8), 0u);
    std::uint64_t length = 0;
    ASSERT_EQ(cache.size(length), 0u);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(positionOf(cache), 50u);
    EXPECT_EQ(readAll(cache, 8),
              std::vector<std::uint8_t>(source.bytes().begin() + 50, source.bytes().begin() + 58));

    ASSERT_EQ(cache.seek(0, SeekOrigin::end), 0u);
    bool atEnd = true;
    ASSERT_EQ(cache.eof(atEnd), 0u);
    EXPECT_FALSE(atEnd);
}

TEST(CacheBuffer, RegionBeyondTheSourceReadsAsZeros) {
    Buffer source(patterned(1000));
    CacheBuffer cache;
    std::vector<std::uint8_t> expected(source.bytes().begin() + 990, source.bytes().end());
    expected.resize(32, 0);
    ASSERT_EQ(cache.fill(&source, 990, 32), 0u);
    EXPECT_EQ(readAll(cache, 64), expected);
    // Also when an earlier fill left other bytes there.
    ASSERT_EQ(cache.fill(&source, 0, 32), 0u);
    ASSERT_EQ(cache.fill(&source, 990, 32), 0u);
    EXPECT_EQ(readAll(cache, 64), expected);

    // A write into the zero tail keeps the zeros it skips over.
    ASSERT_EQ(cache.seek(1010, SeekOrigin::begin), 0u);
    ASSERT_EQ(writeUint16(&cache, 0xABCD), 0u);
    ASSERT_EQ(cache.seek(990, SeekOrigin::begin), 0u);
    expected[20] = 0xAB;
    expected[21] = 0xCD;
    EXPECT_EQ(readAll(cache, 64), expected);

    // A corrupt length must not make the fill allocate it.
    CacheBuffer huge;
    ASSERT_EQ(huge.fill(&source, 0, std::uint64_t{1} << 40), 0u);
    std::uint64_t length = 0;
    ASSERT_EQ(huge.size(length), 0u);
    EXPECT_EQ(length, std::uint64_t{1} << 40);
    ASSERT_EQ(huge.seek(2000, SeekOrigin::begin), 0u);
    std::uint32_t value = 1;
    ASSERT_EQ(readUint32(&huge, value), 0u);
    EXPECT_EQ(value, 0u);
}

TEST(CacheBuffer, NullPointers) {
    CacheBuffer cache;
    EXPECT_EQ(cache.fill(nullptr, 0, 8), result::nullObject);
    std::uint64_t got = 99;
    EXPECT_EQ(cache.read(nullptr, 0, got), 0u);
    EXPECT_EQ(got, 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(cache.read(&byte, 1, got), result::nullObject); // nothing cached yet
    Buffer source(patterned(8));
    ASSERT_EQ(cache.fill(&source, 0, 8), 0u);
    EXPECT_EQ(cache.read(nullptr, 1, got), result::nullObject);
    EXPECT_EQ(cache.write(nullptr, 1, got), result::nullObject);
}

namespace {

std::uint64_t sourcePosition(Io& source) {
    std::uint64_t position = 0;
    EXPECT_EQ(source.tell(position), 0u);
    return position;
}

} // namespace

// Loading on demand must read exactly as loading at once: the same result of
// every operation, the same bytes, and the source left at the same place,
// over fills that shrink (so earlier, longer ones show through), reach past
// the source or are absurdly long, reads small and large, and writes.
TEST(CacheBuffer, LoadingOnDemandReadsExactlyAsLoadingAtOnce) {
    Buffer source(patterned(300 * 1024));
    CacheBuffer atOnce;
    CacheBuffer onDemand;
    ASSERT_EQ(onDemand.setLoadOnDemand(true), 0u);

    std::uint64_t state = 12345;
    auto next = [&state](std::uint64_t bound) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return (state >> 33) % bound;
    };
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        const std::uint64_t op = next(20);
        if (op < 3) {
            const std::uint64_t offset = next(320 * 1024);
            const std::uint64_t length = op == 0 ? std::uint64_t{1} << 40 : next(200 * 1024);
            // A region starting past the end of the source fails to seek there.
            const ResultCode rc = atOnce.fill(&source, offset, length);
            const std::uint64_t expected = sourcePosition(source);
            ASSERT_EQ(onDemand.fill(&source, offset, length), rc);
            EXPECT_EQ(sourcePosition(source), expected);
        } else if (op < 4) {
            const std::uint8_t bytes[3] = {0xA1, 0xB2, static_cast<std::uint8_t>(step)};
            std::uint64_t put1 = 0;
            std::uint64_t put2 = 0;
            ASSERT_EQ(atOnce.write(bytes, 3, put1), onDemand.write(bytes, 3, put2));
            EXPECT_EQ(put1, put2);
        } else if (op < 10) {
            const auto target = static_cast<std::int64_t>(atOnce.baseOffset() + next(210 * 1024));
            EXPECT_EQ(atOnce.seek(target, SeekOrigin::begin),
                      onDemand.seek(target, SeekOrigin::begin));
        } else {
            const std::uint64_t count = op < 12 ? next(150 * 1024) + 1 : next(64) + 1;
            std::vector<std::uint8_t> a(count, 0xEE);
            std::vector<std::uint8_t> b(count, 0xDD);
            std::uint64_t gotA = 0;
            std::uint64_t gotB = 0;
            const std::uint64_t before = sourcePosition(source);
            ASSERT_EQ(atOnce.read(a.data(), count, gotA), onDemand.read(b.data(), count, gotB));
            ASSERT_EQ(gotA, gotB);
            a.resize(gotA);
            b.resize(gotB);
            ASSERT_EQ(a, b);
            EXPECT_EQ(sourcePosition(source), before);
        }
        std::uint64_t at1 = 0;
        std::uint64_t at2 = 0;
        ASSERT_EQ(atOnce.tell(at1), 0u);
        ASSERT_EQ(onDemand.tell(at2), 0u);
        ASSERT_EQ(at1, at2);
        std::uint64_t length1 = 0;
        std::uint64_t length2 = 0;
        ASSERT_EQ(atOnce.size(length1), 0u);
        ASSERT_EQ(onDemand.size(length2), 0u);
        ASSERT_EQ(length1, length2);
    }
}

TEST(CacheBuffer, LoadingOnDemandReadsNothingOutsideTheRegions) {
    // Counted reads show which source bytes were asked for.
    class Counting final : public Buffer {
    public:
        using Buffer::Buffer;
        std::uint64_t bytesAsked = 0;
        [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                      std::uint64_t& bytesRead) override {
            bytesAsked += count;
            return Buffer::read(buffer, count, bytesRead);
        }
    };
    Counting source(patterned(1 << 20));
    CacheBuffer cache;
    ASSERT_EQ(cache.setLoadOnDemand(true), 0u);
    // A small region is read whole by the fill, as it would be at once.
    ASSERT_EQ(cache.fill(&source, 1000, 40), 0u);
    EXPECT_EQ(source.bytesAsked, 40u);
    std::uint32_t value = 0;
    ASSERT_EQ(cache.seek(1036, SeekOrigin::begin), 0u);
    ASSERT_EQ(readUint32(&cache, value), 0u);
    EXPECT_EQ(value, loadBigEndian(patterned(1040).data() + 1036, 4));
    EXPECT_EQ(source.bytesAsked, 40u);

    // Of a large one only what is read, and nothing past its end.
    const std::uint64_t length = 300000;
    ASSERT_EQ(cache.fill(&source, 2000, length), 0u);
    const std::uint64_t atFill = source.bytesAsked;
    EXPECT_LT(atFill, 40 + length / 2);
    ASSERT_EQ(cache.seek(static_cast<std::int64_t>(2000 + length - 4), SeekOrigin::begin), 0u);
    ASSERT_EQ(readUint32(&cache, value), 0u);
    EXPECT_EQ(source.bytesAsked, atFill + 4);

    // Turned off, the regions are loaded, and a change to the source no longer shows.
    CacheBuffer loaded;
    ASSERT_EQ(loaded.setLoadOnDemand(true), 0u);
    ASSERT_EQ(loaded.fill(&source, 1000, 40), 0u);
    ASSERT_EQ(loaded.setLoadOnDemand(false), 0u);
    ASSERT_EQ(source.seek(1000, SeekOrigin::begin), 0u);
    ASSERT_EQ(writeUint32(&source, 0), 0u);
    ASSERT_EQ(loaded.seek(1000, SeekOrigin::begin), 0u);
    ASSERT_EQ(readUint32(&loaded, value), 0u);
    EXPECT_EQ(value, loadBigEndian(patterned(1044).data() + 1000, 4));
}
