#include "tool/repair/VideoRepair.h"

#include "mediafmt/io/Buffer.h"

namespace boxmend {

using namespace mediafmt;
using mp4::box::VideoSampleDescriptionBox;

namespace {

constexpr std::uint64_t shortHeader = 8;

// The entry as written back: whole when it is exactly its header and fields,
// else its registered fields alone, at their own place.
ResultCode encode(const VideoSampleDescriptionBox& entry, bool wholeBox,
                  std::vector<std::uint8_t>& bytes) {
    if (wholeBox)
        return encodeBox(entry, bytes);
    io::Buffer buffer;
    for (const auto& field : entry.fields) {
        if (ResultCode rc = field.value->write(&buffer); rc != 0)
            return rc;
    }
    bytes = buffer.takeBytes();
    return result::none;
}

} // namespace

ResultCode planVideoRepair(VideoSampleDescriptionBox* entry, io::Io& stream, RepairPlan& plan,
                           std::string& reason) {
    if (entry == nullptr || entry->dataReferenceIndex.value == 1)
        return result::noOp;

    // The first field starts right after the header, whatever its form.
    const std::uint64_t payload = entry->fields.front().value->offset;
    const std::uint64_t header = payload - entry->offset;
    const std::uint64_t fieldBytes = VideoSampleDescriptionBox::fieldBytes;
    if (entry->recordedSize < header || entry->recordedSize - header < fieldBytes) {
        reason = "the entry is " + std::to_string(entry->recordedSize) +
                 " bytes, too short for its " + std::to_string(fieldBytes) +
                 " bytes of fields after its header";
        return result::invalidOperation;
    }
    const bool wholeBox = header == shortHeader && entry->recordedSize == shortHeader + fieldBytes;
    plan.box = mp4::box::boxPath(entry);
    plan.offset = wholeBox ? entry->offset : payload;
    plan.extent = wholeBox ? entry->recordedSize : fieldBytes;

    // What was read must be what the file holds there, before anything changes.
    if (ResultCode rc = encode(*entry, wholeBox, plan.bytes); rc != 0)
        return rc;
    if (ResultCode rc = verifyStored(stream, plan.offset, plan.bytes); rc != 0) {
        if (rc == result::invalidOperation)
            reason = "the entry's fields do not match the bytes stored for them";
        return rc;
    }
    const std::uint16_t index = entry->dataReferenceIndex.value;
    entry->dataReferenceIndex.value = 1;
    const ResultCode rc = encode(*entry, wholeBox, plan.bytes);
    entry->dataReferenceIndex.value = index;
    return rc;
}

} // namespace boxmend
