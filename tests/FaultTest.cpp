// Failures of the stream or of its journal at every call of a whole repair
// run: whichever call fails, the run ends with a documented code, the
// failing call's own; it changes only bytes that a fault-free run changes
// too, and only in the box of a step that reported its correction or that
// failed with its journal kept for the next run; it writes nothing after a
// failed write or flush; and when the failure made any difference, some
// step reports it.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/box/BoxReader.h"
#include "tests/support/CameraFile.h"
#include "tests/support/Expected.h"
#include "tests/support/FaultyStream.h"
#include "tool/repair/AudioRepair.h"
#include "tool/repair/RepairRun.h"
#include "tool/repair/VideoRepair.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;
using namespace boxmend::repair;
using Call = FaultyStream::Call;
using mediafmt::io::SeekOrigin;
namespace result = mediafmt::result;

namespace {

// A phase's state and, refused or failed, its code.
using PhaseEnd = std::pair<PhaseState, mediafmt::ResultCode>;

struct Outcome {
    mediafmt::ResultCode recovery = 0;
    // Parse, check, audio, video.
    std::vector<PhaseEnd> phases;
    Bytes bytes;
    // The audio repair's box, as [offset, end); every other change is the video repair's.
    std::uint64_t audioBox[2] = {};
};

Outcome runOn(FaultyStream& stream, RunMode mode) {
    mediafmt::mp4::File tree;
    const auto run = runRepairs(stream, tree, mode, stream.journaling());
    Outcome outcome{run.recovery.code, {}, stream.bytes()};
    for (const auto* phase : {&run.parse, &run.check, &run.audio, &run.video})
        outcome.phases.emplace_back(phase->state, phase->code);
    if (const auto& stbl = run.audioTables.stbl)
        outcome.audioBox[0] = stbl->offset, outcome.audioBox[1] = stbl->offset + stbl->recordedSize;
    return outcome;
}

void expectSoundEnd(const FaultyStream& stream, Call failing, const Outcome& run,
                    const Outcome& clean, const Bytes& original) {
    const auto stopped = [](const PhaseEnd& phase) {
        return phase.first == PhaseState::refused || phase.first == PhaseState::failed;
    };
    EXPECT_LE(run.recovery, result::divideByZero);
    bool failed = run.recovery > result::noOp;
    for (const PhaseEnd& phase : run.phases) {
        EXPECT_LE(phase.second, result::divideByZero);
        failed = failed || stopped(phase);
    }
    // A failure is reported, whatever difference it made; only a journal
    // that cannot be removed after its repairs is left to a warning.
    if (stream.failed() && failing != Call::remove) {
        EXPECT_TRUE(failed) << "a call failed, yet every step succeeded";
    }
    if (run.recovery != clean.recovery || run.phases != clean.phases || run.bytes != clean.bytes) {
        EXPECT_TRUE(failed) << "a failure changed the outcome, yet every step succeeded";
    }
    // A failing call's code is what the step reports.
    if (stream.failed() && run.recovery > result::noOp) {
        EXPECT_EQ(run.recovery, result::closeError) << "recovery";
    }
    for (std::size_t phase = 0; phase < run.phases.size() && stream.failed(); ++phase) {
        if (stopped(run.phases[phase])) {
            EXPECT_EQ(run.phases[phase].second, result::closeError) << "phase " << phase;
        }
    }
    if (failing == Call::write || failing == Call::flush) {
        EXPECT_EQ(stream.writesAfterFailure(), 0u);
    }
    for (std::size_t at = 0; at < original.size(); ++at) {
        if (run.bytes[at] == original[at])
            continue;
        ASSERT_EQ(run.bytes[at], clean.bytes[at]) << at;
        const PhaseState state =
            run.phases[at >= clean.audioBox[0] && at < clean.audioBox[1] ? 2 : 3].first;
        ASSERT_TRUE(state == PhaseState::done || state == PhaseState::planned ||
                    (state != PhaseState::notRun && !stream.journal().empty()))
            << at;
    }
}

} // namespace

TEST(Faults, EveryFailingCallEndsTheRunSoundly) {
    Recording recording;
    recording.audioChunks = 3;
    // Before moov stand a free box read on demand and one too large to be
    // loaded at all.
    const Bytes plain = cameraRecording(recording);
    const auto moov = plain.begin() + static_cast<std::ptrdiff_t>(offsetOf(plain, "moov"));
    const Bytes original = concat({Bytes(plain.begin(), moov), box("free", {zeros(200000)}),
                                   box("free", {zeros(1 << 20)}), Bytes(moov, plain.end())});
    for (bool onDemand : {false, true}) {
        for (RunMode mode : {RunMode::planOnly, RunMode::apply}) {
            FaultyStream cleanStream(original, onDemand);
            const Outcome clean = runOn(cleanStream, mode);
            ASSERT_EQ(clean.bytes != original, mode == RunMode::apply);
            ASSERT_TRUE(cleanStream.journal().empty());
            for (int kind = 0; kind <= static_cast<int>(Call::remove); ++kind) {
                const auto call = static_cast<Call>(kind);
                for (std::uint64_t nth = 1; nth <= cleanStream.calls(call); ++nth) {
                    SCOPED_TRACE("call kind " + std::to_string(kind) + ", call " +
                                 std::to_string(nth) + (onDemand ? ", on demand" : ""));
                    FaultyStream stream(original, onDemand);
                    stream.failAt(call, nth, result::closeError);
                    const Outcome run = runOn(stream, mode);
                    ASSERT_TRUE(stream.failed());
                    expectSoundEnd(stream, call, run, clean, original);
                    EXPECT_TRUE(mode == RunMode::apply || stream.calls(Call::write) == 0);
                }
            }
            // A stream that delivers fewer bytes than asked is not one the
            // reader can use: the run must fail, never read garbage into a write.
            for (std::uint64_t most : {1u, 7u, 300u}) {
                FaultyStream stream(original, onDemand);
                stream.limitReads(most);
                const Outcome run = runOn(stream, mode);
                EXPECT_TRUE(run.recovery != clean.recovery || run.phases != clean.phases) << most;
                expectSoundEnd(stream, Call::read, run, clean, original);
                EXPECT_EQ(run.bytes, original) << most;
            }
        }
    }
}

// Reading a box's fields and children straight from a failing stream, and
// writing it to one: a failing call's code comes back unchanged (or, for a
// child header that cannot be read, as 8), for every box class the library
// knows.
TEST(Faults, FailuresWhileReadingOrWritingABoxArePassedOn) {
    const Bytes file =
        readFile(std::filesystem::u8path(FUZZ_DIR) / "corpus" / "repair" / "catalogue");
    mediafmt::io::Buffer buffer(file);
    mediafmt::mp4::File tree;
    ASSERT_EQ(tree.parse(&buffer), 0u);
    for (const auto& top : tree.children) {
        const auto readAgain = [&](FaultyStream& stream) {
            if (stream.seek(static_cast<std::int64_t>(top->offset), SeekOrigin::begin) != 0)
                return result::closeError;
            const auto box = mediafmt::mp4::box::readBox(&stream);
            if (!box)
                return result::nullObject;
            if (mediafmt::ResultCode rc = box->readFields(&stream, top->offset + top->recordedSize);
                rc != 0)
                return rc;
            return box->readChildren(&stream, top->offset + top->recordedSize);
        };
        FaultyStream clean(file);
        ASSERT_EQ(readAgain(clean), 0u) << top->type.text();
        for (int kind = 0; kind <= static_cast<int>(Call::size); ++kind) {
            for (std::uint64_t nth = 1; nth <= clean.calls(static_cast<Call>(kind)); ++nth) {
                FaultyStream stream(file);
                stream.failAt(static_cast<Call>(kind), nth, result::closeError);
                const mediafmt::ResultCode rc = readAgain(stream);
                EXPECT_TRUE(rc == result::closeError || rc == result::nullObject)
                    << top->type.text() << ", call kind " << kind << ", call " << nth << ": " << rc;
            }
        }
        FaultyStream sink(Bytes(file.size()));
        ASSERT_EQ(top->write(&sink, true), 0u);
        for (std::uint64_t nth = 1; nth <= sink.calls(Call::write); ++nth) {
            FaultyStream failing(Bytes(file.size()));
            failing.failAt(Call::write, nth, result::closeError);
            EXPECT_EQ(top->write(&failing, true), result::closeError) << top->type.text() << nth;
        }
    }
}

// A repair writes only over bytes that are still exactly what was parsed.
TEST(Faults, RepairsRefuseBytesThatChangedSinceTheParse) {
    const Bytes original = cameraRecording();
    FaultyStream parsed(original);
    mediafmt::mp4::File tree;
    const auto run = runRepairs(parsed, tree, RunMode::planOnly, parsed.journaling());
    ASSERT_EQ(run.audio.state, PhaseState::planned);
    ASSERT_EQ(run.video.state, PhaseState::planned);
    for (const mediafmt::mp4::box::BoxPtr& box :
         {run.audioTables.stbl, mediafmt::mp4::box::BoxPtr(run.videoEntry)}) {
        Bytes changed = original;
        changed[box->offset + box->recordedSize - 1] ^= 1;
        FaultyStream stream(changed);
        RepairPlan plan;
        EXPECT_EQ(planAudioRepair(run.audioTables, false, stream, plan).state,
                  box == run.videoEntry ? PhaseState::planned : PhaseState::refused);
        EXPECT_EQ(planVideoRepair(run.videoEntry.get(), stream, plan).state,
                  box == run.videoEntry ? PhaseState::refused : PhaseState::planned);
    }
}
