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
