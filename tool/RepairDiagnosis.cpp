#include "tool/RepairDiagnosis.h"

#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"
#include "tool/AudioRepair.h"
#include "tool/InPlaceWrite.h"
#include "tool/VideoRepair.h"

#include <memory>

namespace boxmend {

using namespace mediafmt;
using mp4::box::Box;
using mp4::box::BoxPtr;

namespace {

const char* const videoEntryPath = "moov/trak[0]/mdia/minf/stbl/stsd/LMCD";

// The deepest box at or below box, children first, that does not encode to
// exactly the bytes it occupies in the stream; null when every one does.
const Box* firstMisfit(io::Io* stream, const Box& box) {
    for (const BoxPtr& child : box.children) {
        if (const Box* misfit = firstMisfit(stream, *child))
            return misfit;
    }
    std::vector<std::uint8_t> bytes;
    if (encodeBox(box, bytes) != 0 || bytes.size() != box.recordedSize ||
        verifyStored(stream, box.offset, bytes) != 0)
        return &box;
    return nullptr;
}

// Why the audio repair refuses with 4, tested in the order the repair
// itself tests: the sample table must reproduce its stored bytes, then the
// tables must have a shape the rewrite handles.
std::string audioRefusalReason(io::Io* stream, const Box& stbl, const AudioDiagnosis& audio) {
    if (const Box* misfit = firstMisfit(stream, stbl))
        return mp4::box::boxPath(misfit) + " does not encode to its stored bytes";
    if (audio.stszListLength == 1)
        return "the sample size list has one entry, too few bytes for a filler box";
    if (audio.sttsEntries != 1)
        return "the time-to-sample table has " + std::to_string(audio.sttsEntries) +
               " entries; only a single entry is rewritten";
    return "the rewritten sample table would not keep its size";
}

// Finds the track as the check does and fills in its figures; returns which
// box is missing when the check cannot be made. The verdict is the check's.
std::string describeAudioTrack(const mp4::File& tree, AudioDiagnosis& audio, BoxPtr& stbl) {
    const BoxPtr moov = tree.find("moov");
    if (!moov)
        return "there is no moov box";
    BoxPtr entry;
    for (const BoxPtr& track : moov->children) {
        if ((entry = track->find("mdia/minf/stbl/stsd/in32")))
            break;
    }
    if (!entry)
        return "";
    audio.sampleEntry = mp4::box::boxPath(entry.get());
    stbl = tree.find(audio.sampleEntry + "/../..");
    if (!stbl)
        return "the sample table of " + audio.sampleEntry + " cannot be found by its path";
    const auto stts = std::dynamic_pointer_cast<mp4::box::stts>(stbl->find("stts"));
    const auto stsc = std::dynamic_pointer_cast<mp4::box::stsc>(stbl->find("stsc"));
    const auto stsz = std::dynamic_pointer_cast<mp4::box::stsz>(stbl->find("stsz"));
    const char* missing = !stts ? "stts" : !stsc ? "stsc" : !stsz ? "stsz" : nullptr;
    if (missing != nullptr)
        return mp4::box::boxPath(stbl.get()) + " has no " + missing + " box";

    audio.tablesFound = true;
    const auto& timing = stts->timeToSampleTable.elements;
    audio.sttsEntries = timing.size();
    for (const auto& entryTiming : timing)
        audio.sttsLongEntries += entryTiming.sampleDelta > 1 ? 1 : 0;
    const auto& chunking = stsc->sampleToChunkTable.elements;
    audio.stscEntries = chunking.size();
    if (!chunking.empty())
        audio.firstSamplesPerChunk = chunking.front().samplesPerChunk;
    audio.stszSampleSize = stsz->sampleSize.value;
    audio.stszSampleCount = stsz->sampleCount.value;
    audio.stszListLength = stsz->sampleSizeTable.elements.size();
    return "";
}

void outlookFromPlan(ResultCode code, const PlannedWrite& plan, RepairOutlook& outlook) {
    outlook.code = code;
    if (code == result::none) {
        outlook.offset = plan.offset;
        outlook.bytes = plan.bytes.size();
    } else if (code != result::invalidOperation) {
        outlook.reason = "the file could not be read as the repair needs";
    }
}

AudioDiagnosis diagnoseAudio(io::Io* stream, mp4::File& tree) {
    AudioDiagnosis audio;
    BoxPtr stbl;
    const std::string missing = describeAudioTrack(tree, audio, stbl);
    bool defective = false;
    audio.check = checkAudioTrack(&tree, defective);
    if (!audio.checked()) {
        audio.repair.code = audio.check;
        audio.repair.reason = missing.empty() ? "a box the check needs is missing" : missing;
        return audio;
    }
    if (!defective)
        return audio;

    PlannedWrite plan;
    outlookFromPlan(planAudioRepair(stream, plan), plan, audio.repair);
    if (stbl)
        audio.repair.target = mp4::box::boxPath(stbl.get());
    if (audio.repair.code == result::invalidOperation && stbl)
        audio.repair.reason = audioRefusalReason(stream, *stbl, audio);
    return audio;
}

// Why the video repair refuses with 4, in the order the repair tests.
std::string videoRefusalReason(const mp4::box::VideoSampleDescriptionBox& entry) {
    const std::uint64_t header = entry.fields.front().value->offset - entry.offset;
    const std::uint64_t needed = mp4::box::VideoSampleDescriptionBox::fieldBytes;
    if (entry.recordedSize < header || entry.recordedSize - header < needed)
        return "the entry is " + std::to_string(entry.recordedSize) + " bytes, too short for its " +
               std::to_string(needed) + " bytes of fields after its header";
    return "the entry's fields do not match the bytes stored for them";
}

VideoDiagnosis diagnoseVideo(io::Io* stream, const mp4::File& tree) {
    VideoDiagnosis video;
    const auto entry =
        std::dynamic_pointer_cast<mp4::box::VideoSampleDescriptionBox>(tree.find(videoEntryPath));
    if (!entry)
        return video;
    video.sampleEntry = mp4::box::boxPath(entry.get());
    video.dataReferenceIndex = entry->dataReferenceIndex.value;
    if (!video.needsRepair())
        return video;

    PlannedWrite plan;
    outlookFromPlan(planVideoRepair(stream, plan), plan, video.repair);
    video.repair.target = video.sampleEntry;
    if (video.repair.code == result::invalidOperation)
        video.repair.reason = videoRefusalReason(*entry);
    return video;
}

} // namespace

Diagnosis diagnose(io::Io* stream, mp4::File& tree) {
    Diagnosis diagnosis;
    diagnosis.audio = diagnoseAudio(stream, tree);
    diagnosis.video = diagnoseVideo(stream, tree);
    return diagnosis;
}

bool needsRepair(const Diagnosis& diagnosis) {
    return diagnosis.audio.needsRepair() || diagnosis.video.needsRepair();
}

bool isTrouble(const Diagnosis& diagnosis) {
    const AudioDiagnosis& audio = diagnosis.audio;
    const VideoDiagnosis& video = diagnosis.video;
    return !audio.checked() || (audio.needsRepair() && !audio.repair.settled()) ||
           (video.needsRepair() && !video.repair.settled());
}

} // namespace boxmend
