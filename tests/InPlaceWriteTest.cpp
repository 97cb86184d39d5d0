// Planning an in-place write: the encoding is compared with exactly the
// bytes of its span, no more and no fewer, and the video entry's repair
// writes only what its encoding changes.

#include "tool/repair/InPlaceWrite.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/FaultyStream.h"
#include "tool/repair/PositionedIo.h"
#include "tool/repair/Tracks.h"
#include "tool/repair/VideoRepair.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace testsupport;
using namespace boxmend::repair;
namespace result = mediafmt::result;

namespace {

constexpr std::uint64_t at = 100;

Encoding encodingOf(const Bytes& made, std::uint64_t length, std::uint64_t fillBegin = 0,
                    std::uint64_t fillEnd = 0) {
    const auto encode = [&made](mediafmt::io::Io& out) {
        std::uint64_t put = 0;
        return out.write(made.data(), made.size(), put);
    };
    return {at, length, encode, fillBegin, fillEnd};
}

} // namespace

TEST(InPlaceWrite, TheComparisonCoversExactlyItsSpan) {
    // More than a piece's worth of bytes at 100, the stream ending where they do.
    const std::uint64_t length = 300 * 1024;
    Bytes stored(at + length);
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const Bytes span(stored.begin() + at, stored.end());
    struct Case {
        std::vector<std::uint64_t> flips;
        std::uint64_t fill[2];
        // Each change as (start, length), counted from the span's start.
        std::vector<std::pair<std::uint64_t, std::size_t>> changes;
    };
    const Case cases[] = {
        {{}, {0, 0}, {}},
        {{0, length - 1}, {0, 0}, {{0, 1}, {length - 1, 1}}},
        {{262143, 262144}, {0, 0}, {{262143, 2}}},
        {{999, 2000}, {1000, 2000}, {{999, 1}, {2000, 1}}},
        {{4999, 5000}, {5000, 5000}, {{4999, 1}, {5000, 1}}},
        {{0}, {1, length}, {{0, 1}}},
    };
    for (const Case& c : cases) {
        // The fill is zeros in the encoding and the pattern on disk: it is
        // neither compared nor planned as changes.
        Bytes made = span;
        for (std::uint64_t flip : c.flips)
            made[flip] ^= 0x5A;
        std::fill(made.begin() + static_cast<std::ptrdiff_t>(c.fill[0]),
                  made.begin() + static_cast<std::ptrdiff_t>(c.fill[1]), 0);
        const Encoding encoding = encodingOf(made, length, c.fill[0], c.fill[1]);
        mediafmt::io::Buffer stream(stored);
        bool same = false;
        ASSERT_EQ(encodesToStored(stream, encoding, same), 0u);
        EXPECT_EQ(same, c.flips.empty());
        RepairPlan plan;
        bool fits = false;
        ASSERT_EQ(planEncodedChanges(stream, encoding, plan, fits), 0u);
        ASSERT_TRUE(fits);
        ASSERT_EQ(plan.changes.size(), c.changes.size());
        for (std::size_t i = 0; i < c.changes.size(); ++i) {
            const auto [from, n] = c.changes[i];
            EXPECT_EQ(plan.changes[i].offset, at + from);
            EXPECT_EQ(plan.changes[i].bytes, Bytes(&made[from], &made[from] + n));
            EXPECT_EQ(plan.changes[i].original, Bytes(&span[from], &span[from] + n));
        }
        EXPECT_EQ(plan.fillOffset + plan.fillLength, c.fill[1] > c.fill[0] ? at + c.fill[1] : 0);
    }

    // An encoding a byte longer or shorter than its span, and a stream that
    // ends a byte before the span does, even within a fill, do not fit.
    const Bytes longer = concat({span, {0}});
    const Bytes shorter(span.begin(), span.end() - 1);
    const Bytes cut(stored.begin(), stored.end() - 1);
    using Misfit = std::tuple<const Bytes*, const Bytes*, std::uint64_t>;
    for (const auto& [made, file, fill] : {Misfit{&longer, &stored, 0},
                                           {&shorter, &stored, 0},
                                           {&span, &cut, 0},
                                           {&span, &cut, 1}}) {
        mediafmt::io::Buffer stream(*file);
        const auto encoding = encodingOf(*made, length, fill, fill != 0 ? length : 0);
        bool fits = true;
        RepairPlan plan;
        EXPECT_EQ(planEncodedChanges(stream, encoding, plan, fits), 0u);
        EXPECT_FALSE(fits);
    }
}

TEST(InPlaceWrite, TheVideoEntryRewritesOnlyItsIndex) {
    // The entry's data reference index ends 16 bytes into it; its fields
    // end at 88.
    const Bytes fiel = box("fiel", {u16(0x0101)});
    const Bytes tooShort = concat({u32(48), text("LMCD"), zeros(6), u16(0), zeros(32)});
    // What the entry is, its bytes, the byte of them that differs on disk
    // from what was parsed (0 for none) and the outcome.
    const std::tuple<const char*, Bytes, std::uint64_t, PhaseState> cases[] = {
        {"an 88-byte entry, rewritten whole", lmcdEntry(0), 0, PhaseState::planned},
        {"a longer entry, its fields alone", lmcdEntry(2, fiel), 0, PhaseState::planned},
        {"the byte after the fields is not compared", lmcdEntry(2, fiel), 88, PhaseState::planned},
        {"an index already 1", lmcdEntry(1), 0, PhaseState::nothingToDo},
        {"an entry too short for its fields", tooShort, 0, PhaseState::refused},
        {"the last byte of the fields differs", lmcdEntry(0), 87, PhaseState::refused},
        {"a header's byte differs", lmcdEntry(0), 3, PhaseState::refused},
    };
    for (const auto& [what, bytes, changedOnDisk, state] : cases) {
        SCOPED_TRACE(what);
        const Bytes stbl = box("stbl", {stsdBox({bytes}), sttsBox({{3, 1001}}),
                                        stscBox({{1, 1, 1}}), stcoBox({40, 104, 168})});
        const Bytes file = box("moov", {trakBox(1, "vide", 30000, 3003, stbl)});
        mediafmt::io::Buffer parsed(file);
        mediafmt::mp4::File tree;
        ASSERT_EQ(tree.parse(&parsed), 0u);
        const auto entry = findLumacodeEntry(tree);
        Bytes disk = file;
        disk[entry->offset + changedOnDisk] ^= changedOnDisk != 0 ? 1 : 0;
        mediafmt::io::Buffer stream(disk);
        RepairPlan plan;
        const PhaseOutcome planned = planVideoRepair(entry.get(), stream, plan);
        ASSERT_EQ(planned.state, state) << planned.reason;
        const std::uint8_t index = file[entry->offset + 15];
        EXPECT_EQ(entry->dataReferenceIndex.value, index);
        if (state == PhaseState::planned) {
            ASSERT_EQ(plan.changes.size(), 1u);
            EXPECT_EQ(plan.changes[0].offset, entry->offset + 15);
            EXPECT_EQ(plan.changes[0].bytes, Bytes{1});
            EXPECT_EQ(plan.changes[0].original, Bytes{index});
        }
    }
}

// Every offset a seek can take reaches the stream; beyond that the offset is
// refused before the stream is asked.
TEST(PositionedIo, PassesOnEveryOffsetASeekCanTake) {
    FaultyStream stream(Bytes(8));
    const std::uint64_t largest = INT64_MAX;
    EXPECT_NE(seekTo(stream, largest), mediafmt::result::invalidOperation);
    EXPECT_EQ(seekTo(stream, largest + 1), mediafmt::result::invalidOperation);
    EXPECT_EQ(stream.calls(FaultyStream::Call::seek), 1u);
}
