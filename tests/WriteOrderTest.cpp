// The write order and what a later run recognises of a write stopped in it:
// the steps a repair's bytes fall into, the states a stop can leave (and
// only those), and the audio tables a stopped repair leaves half-written.

#include "tool/repair/WriteOrder.h"
#include "mediafmt/io/Buffer.h"
#include "tests/support/Bytes.h"
#include "tests/support/FaultyStream.h"
#include "tool/repair/AudioRepair.h"

#include <gtest/gtest.h>

#include <map>

using namespace testsupport;
using namespace boxmend::repair;

TEST(WriteOrder, StepsSplitChangesAtTheirRangesEdges) {
    RepairPlan plan;
    plan.changes = {{10, Bytes(20, 1), Bytes(20, 0)}};
    assignSteps(plan, {{5, 5, 5}, {15, 5, 1}, {20, 1, 2}, {29, 4, 3}, {30, 2, 4}});
    // Each run as offset, length and step.
    std::vector<std::array<std::uint64_t, 3>> runs;
    for (const ByteChange& change : plan.changes)
        runs.push_back({change.offset, change.original.size(), change.step});
    EXPECT_EQ(runs, (std::vector<std::array<std::uint64_t, 3>>{
                        {10, 5, 0}, {15, 5, 1}, {20, 1, 2}, {21, 8, 0}, {29, 1, 3}}));
}

TEST(WriteOrder, OnlyAPrefixOfEveryRepairsStepsIsAStoppedWrite) {
    Bytes original(40, 0xAA);
    // An audio repair of three steps with a fill, and a video repair of one.
    RepairPlan audio{audioRepair, "", {}, 20, 4};
    audio.changes = {{4, {1, 2}, {0xAA, 0xAA}, 0}, {10, {3}, {0xAA}, 1}, {12, {4}, {0xAA}, 2}};
    const RepairPlan video{videoRepair, "", {{30, {5}, {0xAA}, 0}}};
    // What each letter writes: a for the audio repair's step 0, h for half
    // of it, f its fill, 1 and 2 its later steps, v the video repair, x a
    // byte no repair writes.
    const std::map<char, std::vector<std::pair<std::size_t, std::uint8_t>>> parts = {
        {'a', {{4, 1}, {5, 2}}}, {'h', {{5, 2}}},  {'f', {{20, 0}, {21, 0}, {22, 0}, {23, 0}}},
        {'1', {{10, 3}}},        {'2', {{12, 4}}}, {'v', {{30, 5}}},
        {'x', {{10, 9}}}};
    // Written parts, then as the current write order and the first version's.
    const std::tuple<const char*, Reached, Reached> cases[] = {
        {"", Reached::partway, Reached::partway},
        {"h", Reached::partway, Reached::partway},
        {"av", Reached::partway, Reached::outOfOrder},
        {"afv1", Reached::partway, Reached::outOfOrder},
        {"afv12", Reached::whole, Reached::whole},
        {"af12", Reached::outOfOrder, Reached::partway},
        {"av1", Reached::outOfOrder, Reached::outOfOrder},
        {"1", Reached::outOfOrder, Reached::partway},
        {"afv2", Reached::outOfOrder, Reached::outOfOrder},
        {"afvx", Reached::outOfOrder, Reached::outOfOrder},
    };
    for (const auto& [written, now, first] : cases) {
        Bytes file = original;
        for (const char* part = written; *part != 0; ++part) {
            for (const auto& [at, value] : parts.at(*part))
                file[at] = value;
        }
        std::vector<RepairPlan> repairs = {audio, video};
        for (Reached expected : {now, first}) {
            mediafmt::io::Buffer stream(file);
            Reached reached = Reached::whole;
            ASSERT_EQ(howFarWritten(stream, repairs, reached), 0u);
            EXPECT_EQ(reached, expected) << written << (expected == first ? " first" : "");
            useFirstVersionOrder(repairs);
        }
    }
    // A read that fails is passed on, never taken for a state of the file.
    FaultyStream failing(original);
    failing.failAt(FaultyStream::Call::read, 1, mediafmt::result::readError);
    Reached reached = Reached::whole;
    EXPECT_EQ(howFarWritten(failing, {audio, video}, reached), mediafmt::result::readError);
}

TEST(WriteOrder, HalfWrittenTablesAreRecognisedToEachConditionsEdge) {
    namespace box = mediafmt::mp4::box;
    using Timing = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    const auto halfWritten =
        [](std::vector<std::uint32_t> perChunk, Timing timing, std::uint32_t sampleSize = 16,
           std::vector<std::uint32_t> sizes = {}, std::uint32_t sampleCount = 4096) {
            AudioTables tables{nullptr, nullptr, std::make_shared<box::stts>(),
                               std::make_shared<box::stsc>(), std::make_shared<box::stsz>()};
            tables.stsz->sampleSize.value = sampleSize;
            tables.stsz->sampleCount.value = sampleCount;
            tables.stsz->sampleSizeTable.elements = std::move(sizes);
            for (std::uint32_t n : perChunk)
                tables.stsc->sampleToChunkTable.elements.push_back({1, n, 1});
            for (const auto& [count, delta] : timing)
                tables.stts->timeToSampleTable.elements.push_back({count, delta});
            return leftHalfWritten(tables);
        };
    // 4096 samples, once 4 of duration 1024 (or 64 of 64, or 1 of 4096).
    EXPECT_TRUE(halfWritten({1024, 1024}, {{4, 1024}}));
    EXPECT_FALSE(halfWritten({1, 1024}, {{4, 1024}}));
    EXPECT_TRUE(halfWritten({0x0401, 1024}, {{4, 1024}}));
    EXPECT_FALSE(halfWritten({0x0405, 1024}, {{4, 1024}}));
    EXPECT_FALSE(halfWritten({1024, 1023}, {{4, 1024}}));
    EXPECT_FALSE(halfWritten({}, {{4, 1024}}));
    EXPECT_FALSE(halfWritten({1024}, {{4, 1024}}, 15));
    EXPECT_FALSE(halfWritten({1024}, {{4, 1024}}, 16, {16}));
    EXPECT_FALSE(halfWritten({1024}, {{0, 1024}}, 16, {}, 0));
    EXPECT_FALSE(halfWritten({1024}, {{4, 1024}, {1, 1}}));
    // The delta on its way to 1, then the count on its way to 4096, each
    // only once what comes before it in the write order is whole.
    EXPECT_TRUE(halfWritten({1024}, {{4, 0x0401}}));
    EXPECT_FALSE(halfWritten({0x0401}, {{4, 0x0401}}));
    EXPECT_TRUE(halfWritten({1024}, {{4, 1}}));
    EXPECT_TRUE(halfWritten({1024}, {{0x1004, 1}}));
    EXPECT_FALSE(halfWritten({1024}, {{0x1004, 0x0401}}));
    EXPECT_FALSE(halfWritten({0x0401}, {{0x1004, 1}}));
    EXPECT_FALSE(halfWritten({1024}, {{4096, 1}}));
    // Deltas that do and do not divide the sample count.
    EXPECT_FALSE(halfWritten({1024}, {{3, 1024}}));
    EXPECT_FALSE(halfWritten({1024}, {{1365, 3}}));
    EXPECT_TRUE(halfWritten({1024}, {{64, 64}}));
    EXPECT_TRUE(halfWritten({1024}, {{1, 4096}}));
    // A single sample: no delta above 1 divides its count.
    EXPECT_FALSE(halfWritten({1024}, {{1, 1}}, 16, {}, 1));
}
