#include "tool/repair/VideoRepair.h"

#include "tool/repair/InPlaceWrite.h"

namespace boxmend::repair {

using namespace mediafmt;
using mp4::box::VideoSampleDescriptionBox;

namespace {

constexpr std::uint64_t shortHeader = 8;

// The entry as written back: whole when it is exactly its header and fields,
// else its registered fields alone, at their own place.
Encoding entryEncoding(const VideoSampleDescriptionBox& entry) {
    const std::uint64_t payload = entry.fields.front().value->offset;
    const std::uint64_t fieldBytes = VideoSampleDescriptionBox::fieldBytes;
    if (payload - entry.offset == shortHeader && entry.recordedSize == shortHeader + fieldBytes)
        return boxEncoding(entry);
    return {payload, fieldBytes, [&entry](io::Io& out) {
                for (const auto& field : entry.fields) {
                    if (ResultCode rc = field.value->write(&out); rc != 0)
                        return rc;
                }
                return result::none;
            }};
}

} // namespace

PhaseOutcome planVideoRepair(VideoSampleDescriptionBox* entry, io::Io& stream, RepairPlan& plan) {
    if (entry == nullptr || entry->dataReferenceIndex.value == 1)
        return PhaseOutcome::of(PhaseState::nothingToDo);

    // The first field starts right after the header, whatever its form.
    const std::uint64_t header = entry->fields.front().value->offset - entry->offset;
    const std::uint64_t fieldBytes = VideoSampleDescriptionBox::fieldBytes;
    if (entry->recordedSize < header || entry->recordedSize - header < fieldBytes) {
        return PhaseOutcome::refusal("the entry is " + std::to_string(entry->recordedSize) +
                                     " bytes, too short for its " + std::to_string(fieldBytes) +
                                     " bytes of fields after its header");
    }
    const Encoding encoding = entryEncoding(*entry);

    // What was read must be what the file holds there, before anything changes.
    const auto refuse = [] {
        return PhaseOutcome::refusal("the entry's fields do not match the bytes stored for them");
    };
    bool same = false;
    if (ResultCode rc = encodesToStored(stream, encoding, same); rc != 0)
        return PhaseOutcome::stoppedBy(rc);
    if (!same)
        return refuse();
    const std::uint16_t index = entry->dataReferenceIndex.value;
    entry->dataReferenceIndex.value = 1;
    bool fits = false;
    const ResultCode rc = planEncodedChanges(stream, encoding, plan, fits);
    entry->dataReferenceIndex.value = index;
    if (rc != 0)
        return PhaseOutcome::stoppedBy(rc);
    if (!fits)
        return refuse();
    plan.kind = videoRepair;
    plan.box = mp4::box::boxPath(entry);
    return PhaseOutcome::of(PhaseState::planned);
}

} // namespace boxmend::repair
