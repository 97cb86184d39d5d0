#include "tool/VideoRepair.h"

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "tool/InPlaceWrite.h"

#include <memory>

namespace boxmend {

using namespace mediafmt;
using mp4::box::VideoSampleDescriptionBox;

namespace {

constexpr std::uint64_t shortHeader = 8;

// The registered fields alone, without a header.
ResultCode encodeFields(const mp4::box::Box& box, std::vector<std::uint8_t>& bytes) {
    io::Buffer buffer;
    for (const auto& field : box.fields) {
        if (ResultCode rc = field.value->write(&buffer); rc != 0)
            return rc;
    }
    bytes = buffer.bytes();
    return result::none;
}

// The entry as written back: whole when it is exactly its header and fields,
// else its fields alone, at their own place.
ResultCode encode(const VideoSampleDescriptionBox& entry, bool wholeBox,
                  std::vector<std::uint8_t>& bytes) {
    return wholeBox ? encodeBox(entry, bytes) : encodeFields(entry, bytes);
}

} // namespace

ResultCode planVideoRepair(io::Io* stream, PlannedWrite& plan) {
    return planOnFreshParse(stream, plan, static_cast<Planner>(&planVideoRepair));
}

ResultCode planVideoRepair(mp4::File& tree, io::Io* stream, PlannedWrite& plan) {
    if (stream == nullptr)
        return result::nullObject;
    auto entry = std::dynamic_pointer_cast<VideoSampleDescriptionBox>(
        tree.find("moov/trak[0]/mdia/minf/stbl/stsd/LMCD"));
    if (!entry || entry->dataReferenceIndex.value == 1)
        return result::noOp;

    // The first field starts right after the header, whatever its form.
    const std::uint64_t payload = entry->fields.front().value->offset;
    const std::uint64_t header = payload - entry->offset;
    const std::uint64_t fieldBytes = VideoSampleDescriptionBox::fieldBytes;
    if (entry->recordedSize < header || entry->recordedSize - header < fieldBytes)
        return result::invalidOperation;
    const bool wholeBox = header == shortHeader && entry->recordedSize == shortHeader + fieldBytes;
    plan.offset = wholeBox ? entry->offset : payload;
    plan.extent = wholeBox ? entry->recordedSize : fieldBytes;

    // What was read must be what the file holds there, before anything changes.
    if (ResultCode rc = encode(*entry, wholeBox, plan.bytes); rc != 0)
        return rc;
    if (ResultCode rc = verifyStored(stream, plan.offset, plan.bytes); rc != 0)
        return rc;
    entry->dataReferenceIndex.value = 1;
    return encode(*entry, wholeBox, plan.bytes);
}

ResultCode repairVideoTrack(io::Io* stream) {
    PlannedWrite plan;
    if (ResultCode rc = planVideoRepair(stream, plan); rc != 0)
        return rc;
    return writePlanned(stream, plan);
}

ResultCode repairVideoTrack(mp4::File& tree, io::Io* stream) {
    return planAndWrite(tree, stream, static_cast<Planner>(&planVideoRepair));
}

} // namespace boxmend
