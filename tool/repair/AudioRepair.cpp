#include "tool/repair/AudioRepair.h"

#include "mediafmt/io/TextOutput.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tool/repair/InPlaceWrite.h"
#include "tool/repair/WriteOrder.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace boxmend::repair {

using namespace mediafmt;
using mp4::box::Box;
using mp4::box::BoxPtr;

namespace {

constexpr std::uint32_t samplesPerChunk = 1024;
constexpr std::uint32_t bytesPerSample = 16;
constexpr std::uint64_t boxHeader = 8;

// The deepest box at or below box, children first, that does not encode to
// exactly the bytes it occupies in the stream (or cannot be read); null when
// every one does.
const Box* firstMisfit(io::Io& stream, const Box& box) {
    for (const BoxPtr& child : box.children) {
        if (const Box* misfit = firstMisfit(stream, *child))
            return misfit;
    }
    bool same = false;
    return encodesToStored(stream, boxEncoding(box), same) != 0 || !same ? &box : nullptr;
}

// The payload of the filler: zeros, counted rather than held, since a large
// size list gives up megabytes.
class Zeros final : public mp4::type::Type {
public:
    explicit Zeros(std::uint64_t count) : count_(count) {}

    [[nodiscard]] ResultCode write(io::Io* stream) const override {
        return io::writeZeros(stream, count_);
    }
    // Made in memory only, never read.
    [[nodiscard]] ResultCode read(io::Io* /*stream*/, std::uint64_t /*end*/) override {
        return result::invalidOperation;
    }
    std::uint64_t size() const override { return count_; }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t /*indent*/) const override {
        return io::writeText(stream, "<%llu zero bytes>", static_cast<unsigned long long>(count_));
    }

private:
    std::uint64_t count_;
};

// A free box of zeros: what takes the bytes the emptied size list gives up.
class Filler final : public Box {
public:
    explicit Filler(std::uint64_t zeros) : data(zeros) {
        type.value = mp4::type::fourcc("free");
        addField(&data, "data");
    }

    Zeros data;
};

// 0 when the rewrite handles the tables' shape; otherwise 4 and why.
bool fitsShape(const AudioTables& tables, bool torn, std::string& reason) {
    // One size entry would leave 4 bytes, too few for a filler box.
    if (tables.stsz->sampleSizeTable.elements.size() == 1) {
        reason = "the sample size list has one entry, too few bytes for a filler box";
        return false;
    }
    const auto& timing = tables.stts->timeToSampleTable.elements;
    if (timing.size() != 1) {
        reason = "the time-to-sample table has " + std::to_string(timing.size()) +
                 " entries; only a single entry is rewritten";
        return false;
    }
    // A count that wrapped would describe a track of almost no samples. Torn
    // tables take their count from the sizes, which the repair already wrote.
    if (!torn && std::uint64_t{timing[0].sampleCount} * timing[0].sampleDelta > 0xFFFFFFFF) {
        reason = "the track lasts more samples than a 32-bit sample count holds";
        return false;
    }
    return true;
}

// Whether each byte of value is that of from or that of to: what a write of
// to over from can leave when the device keeps only some of its sectors.
bool byteMix(std::uint32_t value, std::uint32_t from, std::uint32_t to) {
    for (unsigned shift = 0; shift < 32; shift += 8) {
        const std::uint32_t byte = (value >> shift) & 0xFFu;
        if (byte != ((from >> shift) & 0xFFu) && byte != ((to >> shift) & 0xFFu))
            return false;
    }
    return true;
}

// The fields the check and the plan read, each written in a step of its
// own, in this order: the size of the sample size box (its whole header,
// of which only the size changes), the first samples-per-chunk, then the
// time-to-sample entry's delta and count. Every other byte goes first.
std::vector<StepRange> stepRanges(const AudioTables& tables) {
    const mp4::box::stsz& sizes = *tables.stsz;
    const std::uint64_t sizesHeader = sizes.fields.front().value->offset - sizes.offset;
    // Each counted table starts with its 4-byte entry count.
    const std::uint64_t chunking = tables.stsc->sampleToChunkTable.offset + 4;
    const std::uint64_t timing = tables.stts->timeToSampleTable.offset + 4;
    return {
        {sizes.offset, sizesHeader, 1}, {chunking + 4, 4, 2}, {timing + 4, 4, 3}, {timing, 4, 4}};
}

// The values the rewrite replaces, kept to put them back.
struct ReplacedValues {
    mp4::type::TimeToSampleEntry timing;
    std::vector<mp4::type::SampleToChunkEntry> chunking;
    std::uint32_t sampleSize = 0;
    std::uint32_t sampleCount = 0;
    std::vector<std::uint32_t> sizes;
    std::shared_ptr<Filler> filler;
};

// Rewrites the tables in the tree, for a shape checkShape accepts, to total
// samples.
void fixAudioSampleTables(const AudioTables& tables, std::uint32_t total, ReplacedValues& old) {
    auto& timing = tables.stts->timeToSampleTable.elements.front();
    auto& chunking = tables.stsc->sampleToChunkTable.elements;
    mp4::box::stsz& stsz = *tables.stsz;
    old.timing = timing;
    old.chunking = chunking;
    old.sampleSize = stsz.sampleSize.value;
    old.sampleCount = stsz.sampleCount.value;

    timing = {total, 1};
    for (auto& entry : chunking)
        entry.samplesPerChunk = samplesPerChunk;
    stsz.sampleCount.value = total;
    stsz.sampleSize.value = bytesPerSample;
    // The list has no count of its own on disk: each entry gives 4 bytes to
    // the filler, which needs at least its header.
    old.sizes.swap(stsz.sampleSizeTable.elements);
    const std::uint64_t freed = 4 * std::uint64_t{old.sizes.size()};
    if (freed == 0)
        return;
    auto filler = std::make_shared<Filler>(freed - boxHeader);
    old.filler = filler;
    // stsz is a child of stbl, so the insertion cannot fail.
    (void)tables.stbl->insertChildAfter(filler, tables.stsz);
}

// Puts back what fixAudioSampleTables replaced.
void restoreAudioSampleTables(const AudioTables& tables, ReplacedValues& old) {
    tables.stts->timeToSampleTable.elements.front() = old.timing;
    tables.stsc->sampleToChunkTable.elements = std::move(old.chunking);
    tables.stsz->sampleSize.value = old.sampleSize;
    tables.stsz->sampleCount.value = old.sampleCount;
    tables.stsz->sampleSizeTable.elements.swap(old.sizes);
    auto& children = tables.stbl->children;
    for (auto at = children.begin(); at != children.end(); ++at) {
        if (*at == old.filler) {
            children.erase(at);
            break;
        }
    }
}

} // namespace

PhaseOutcome checkAudioTrack(const mp4::File& tree, AudioTables& tables, bool& torn) {
    torn = false;
    std::string reason;
    if (ResultCode rc = findAudioTables(tree, tables, reason); rc != 0)
        return PhaseOutcome::failure(rc, reason);
    if (!tables.entry)
        return PhaseOutcome::of(PhaseState::nothingToDo);
    bool longSamples = false;
    for (const auto& timing : tables.stts->timeToSampleTable.elements)
        longSamples = longSamples || timing.sampleDelta > 1;
    const auto& chunking = tables.stsc->sampleToChunkTable.elements;
    const bool onePerChunk = !chunking.empty() && chunking.front().samplesPerChunk == 1;
    if (longSamples && onePerChunk)
        return PhaseOutcome::of(PhaseState::needed);
    torn = leftHalfWritten(tables);
    return PhaseOutcome::of(torn ? PhaseState::needed : PhaseState::nothingToDo);
}

bool leftHalfWritten(const AudioTables& tables) {
    const mp4::box::stsz& sizes = *tables.stsz;
    const auto& chunking = tables.stsc->sampleToChunkTable.elements;
    const auto& timing = tables.stts->timeToSampleTable.elements;
    const std::uint32_t total = sizes.sampleCount.value;
    if (sizes.sampleSize.value != bytesPerSample || !sizes.sampleSizeTable.elements.empty() ||
        chunking.empty() || timing.size() != 1 || total == 0)
        return false;
    for (std::size_t i = 1; i < chunking.size(); ++i) {
        if (chunking[i].samplesPerChunk != samplesPerChunk)
            return false;
    }
    const std::uint32_t first = chunking.front().samplesPerChunk;
    if (first == 1 || !byteMix(first, 1, samplesPerChunk))
        return false;
    // The time-to-sample entry is written only once the first chunk entry is
    // whole, and its count only once its delta is.
    const bool chunkingWhole = first == samplesPerChunk;
    const std::uint32_t count = timing.front().sampleCount;
    const std::uint32_t delta = timing.front().sampleDelta;
    const auto from = [&](std::uint32_t d) {
        const std::uint32_t oldCount = total / d;
        if (count == oldCount)
            return delta == d || (chunkingWhole && byteMix(delta, d, 1));
        return chunkingWhole && delta == 1 && count != total && byteMix(count, oldCount, total);
    };
    // Every delta d > 1 that divides the sample count.
    for (std::uint32_t i = 1; std::uint64_t{i} * i <= total; ++i) {
        if (total % i != 0)
            continue;
        if ((i > 1 && from(i)) || (total / i > 1 && from(total / i)))
            return true;
    }
    return false;
}

PhaseOutcome planAudioRepair(const AudioTables& tables, bool torn, io::Io& stream,
                             RepairPlan& plan) {
    const Box& stbl = *tables.stbl;
    // The box as parsed must reproduce its bytes on disk exactly; any box
    // below it that would not (a long header on a small box, bytes after a
    // table, a count that disagrees with its bytes, a box cut off by the end
    // of the file) means the rewrite cannot be trusted to cover its extent.
    bool same = false;
    if (ResultCode rc = encodesToStored(stream, boxEncoding(stbl), same); rc != 0)
        return PhaseOutcome::stoppedBy(rc);
    if (!same) {
        const Box* misfit = firstMisfit(stream, stbl);
        return PhaseOutcome::refusal(mp4::box::boxPath(misfit != nullptr ? misfit : &stbl) +
                                     " does not encode to its stored bytes");
    }
    if (std::string reason; !fitsShape(tables, torn, reason))
        return PhaseOutcome::refusal(reason);

    const auto& timing = tables.stts->timeToSampleTable.elements.front();
    const std::uint32_t total =
        torn ? tables.stsz->sampleCount.value : timing.sampleCount * timing.sampleDelta;
    // Where the fields the check and the plan read lie, before they change.
    const std::vector<StepRange> steps = stepRanges(tables);
    ReplacedValues old;
    fixAudioSampleTables(tables, total, old);
    // The filler's payload, counted from the start of stbl, is the fill.
    Encoding rewrite = boxEncoding(stbl);
    std::uint64_t newSize = 0;
    if (old.filler && tables.stsz->size(newSize) == 0) {
        rewrite.fillBegin = tables.stsz->offset - stbl.offset + newSize + boxHeader;
        rewrite.fillEnd = rewrite.fillBegin + old.filler->data.size();
    }
    // The rewritten box is encoded once, compared with the stored bytes as it
    // is made.
    std::uint64_t rewritten = 0;
    ResultCode sized = stbl.size(rewritten);
    const bool keepsSize = rewritten == stbl.recordedSize;
    bool fits = true;
    ResultCode compared = result::none;
    if (sized == 0 && keepsSize)
        compared = planEncodedChanges(stream, rewrite, plan, fits);
    restoreAudioSampleTables(tables, old);
    if (sized != 0)
        return PhaseOutcome::stoppedBy(sized);
    if (!keepsSize)
        return PhaseOutcome::refusal("the rewritten sample table would not keep its size");
    if (compared != 0)
        return PhaseOutcome::stoppedBy(compared);
    if (!fits)
        return PhaseOutcome::refusal("");
    assignSteps(plan, steps);
    plan.kind = audioRepair;
    plan.box = mp4::box::boxPath(&stbl);
    return PhaseOutcome::of(PhaseState::planned);
}

} // namespace boxmend::repair
