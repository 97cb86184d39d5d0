#include "tool/AudioRepair.h"

#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"
#include "tool/InPlaceWrite.h"

#include <memory>

namespace boxmend {

using namespace mediafmt;
using mp4::box::BoxPtr;

namespace {

constexpr std::uint32_t samplesPerChunk = 1024;
constexpr std::uint32_t bytesPerSample = 16;

// The ambisonic track's sample tables, once found.
struct AudioTables {
    BoxPtr stbl;
    std::shared_ptr<mp4::box::stts> stts;
    std::shared_ptr<mp4::box::stsc> stsc;
    BoxPtr stsz;
    // The track's duration in samples of one time unit, unless it exceeds
    // what a 32-bit sample count can hold.
    std::uint32_t total = 0;
    bool totalFits = true;
};

// 0 when the ambisonic track's tables have the defect, 1 when there is no
// such track or nothing to repair, 8 when a box on the way is missing.
ResultCode findDefect(mp4::File* tree, AudioTables& tables) {
    if (tree == nullptr)
        return result::nullObject;
    BoxPtr moov = tree->find("moov");
    if (!moov)
        return result::nullObject;
    BoxPtr entry;
    for (const BoxPtr& track : moov->children) {
        if ((entry = track->find("mdia/minf/stbl/stsd/in32")))
            break;
    }
    if (!entry)
        return result::noOp;
    tables.stbl = tree->find(mp4::box::boxPath(entry.get()) + "/../..");
    if (!tables.stbl)
        return result::nullObject;
    tables.stts = std::dynamic_pointer_cast<mp4::box::stts>(tables.stbl->find("stts"));
    if (!tables.stts)
        return result::nullObject;
    tables.stsc = std::dynamic_pointer_cast<mp4::box::stsc>(tables.stbl->find("stsc"));
    if (!tables.stsc)
        return result::nullObject;
    tables.stsz = tables.stbl->find("stsz");
    if (!std::dynamic_pointer_cast<mp4::box::stsz>(tables.stsz))
        return result::nullObject;

    bool longSamples = false;
    std::uint64_t total = 0;
    for (const auto& timing : tables.stts->timeToSampleTable.elements) {
        total += std::uint64_t{timing.sampleCount} * timing.sampleDelta;
        tables.totalFits = tables.totalFits && total <= 0xFFFFFFFF;
        total &= 0xFFFFFFFF;
        longSamples = longSamples || timing.sampleDelta > 1;
    }
    tables.total = static_cast<std::uint32_t>(total);
    const auto& chunking = tables.stsc->sampleToChunkTable.elements;
    const bool onePerChunk = !chunking.empty() && chunking.front().samplesPerChunk == 1;
    return longSamples && onePerChunk ? result::none : result::noOp;
}

// filler is the free box inserted, if any.
ResultCode rewriteTables(const AudioTables& tables, BoxPtr& filler) {
    auto& stts = *tables.stts;
    auto& stsz = static_cast<mp4::box::stsz&>(*tables.stsz);
    // Checked before any change, so a refusal leaves the tree untouched. One
    // size entry would leave 4 bytes, too few for a filler box.
    if (stsz.sampleSizeTable.elements.size() == 1)
        return result::invalidOperation;
    if (stts.timeToSampleTable.elements.size() != 1)
        return result::invalidOperation;
    // A count that wrapped would describe a track of almost no samples.
    if (!tables.totalFits)
        return result::invalidOperation;

    stts.timeToSampleTable.elements[0] = {tables.total, 1};
    for (auto& entry : tables.stsc->sampleToChunkTable.elements)
        entry.samplesPerChunk = samplesPerChunk;

    std::uint64_t oldSize = 0;
    if (ResultCode rc = stsz.size(oldSize); rc != 0)
        return rc;
    stsz.sampleCount.value = tables.total;
    stsz.sampleSize.value = bytesPerSample;
    // Swapped out rather than cleared, so that its memory is released now.
    std::vector<std::uint32_t>().swap(stsz.sampleSizeTable.elements);
    std::uint64_t newSize = 0;
    if (ResultCode rc = stsz.size(newSize); rc != 0)
        return rc;
    if (oldSize == newSize)
        return result::none;

    auto made = std::make_shared<mp4::box::free>();
    made->data.elements.assign(static_cast<std::size_t>(oldSize - newSize - 8), 0);
    filler = made;
    return tables.stbl->insertChildAfter(made, tables.stsz);
}

// Gives the rewritten boxes the places and sizes they take in the file once
// the rewrite is written there, as a fresh parse of the file would.
ResultCode settle(const AudioTables& tables, const BoxPtr& filler) {
    mp4::box::Box& stsz = *tables.stsz;
    if (ResultCode rc = stsz.size(stsz.recordedSize); rc != 0)
        return rc;
    if (!filler)
        return result::none;
    auto& freeBox = static_cast<mp4::box::free&>(*filler);
    freeBox.offset = stsz.offset + stsz.recordedSize;
    if (ResultCode rc = freeBox.size(freeBox.recordedSize); rc != 0)
        return rc;
    freeBox.type.offset = freeBox.offset + 4;
    freeBox.data.offset = freeBox.offset + 8;
    return result::none;
}

// The repair planned on a tree parsed from the stream, which nothing has
// changed since.
ResultCode planOnTree(mp4::File& tree, io::Io* stream, PlannedWrite& plan) {
    AudioTables tables;
    if (ResultCode rc = findDefect(&tree, tables); rc != 0)
        return rc;
    const mp4::box::Box& stbl = *tables.stbl;

    // The box as parsed must reproduce its bytes on disk exactly; any box
    // below it that would not (a long header on a small box, bytes after a
    // table, a count that disagrees with its bytes, a box cut off by the end
    // of the file) means the rewrite cannot be trusted to cover its extent.
    std::vector<std::uint8_t> bytes;
    if (ResultCode rc = encodeBox(stbl, bytes); rc != 0)
        return rc;
    if (bytes.size() != stbl.recordedSize)
        return result::invalidOperation;
    if (ResultCode rc = verifyStored(stream, stbl.offset, bytes); rc != 0)
        return rc;

    BoxPtr filler;
    if (ResultCode rc = rewriteTables(tables, filler); rc != 0)
        return rc;
    if (ResultCode rc = encodeBox(stbl, bytes); rc != 0)
        return rc;
    if (bytes.size() != stbl.recordedSize)
        return result::invalidOperation;
    if (ResultCode rc = settle(tables, filler); rc != 0)
        return rc;
    plan = {stbl.offset, stbl.recordedSize, std::move(bytes)};
    return result::none;
}

} // namespace

ResultCode checkAudioTrack(mp4::File* tree, bool& needsRepair) {
    if (tree == nullptr)
        return result::nullObject;
    ResultCode rc = fixAudioSampleTables(tree, false);
    if (rc == result::none)
        needsRepair = true;
    else if (rc == result::noOp)
        needsRepair = false;
    return rc;
}

ResultCode fixAudioSampleTables(mp4::File* tree, bool apply) {
    AudioTables tables;
    ResultCode rc = findDefect(tree, tables);
    if (rc != 0 || !apply)
        return rc;
    BoxPtr filler;
    return rewriteTables(tables, filler);
}

ResultCode planAudioRepair(io::Io* stream, PlannedWrite& plan) {
    return planOnFreshParse(stream, plan, static_cast<Planner>(&planAudioRepair));
}

ResultCode planAudioRepair(mp4::File& tree, io::Io* stream, PlannedWrite& plan) {
    if (stream == nullptr)
        return result::nullObject;
    return planOnTree(tree, stream, plan);
}

ResultCode repairAudioTrack(io::Io* stream) {
    PlannedWrite plan;
    if (ResultCode rc = planAudioRepair(stream, plan); rc != 0)
        return rc;
    return writePlanned(stream, plan);
}

ResultCode repairAudioTrack(mp4::File& tree, io::Io* stream) {
    return planAndWrite(tree, stream, static_cast<Planner>(&planAudioRepair));
}

} // namespace boxmend
