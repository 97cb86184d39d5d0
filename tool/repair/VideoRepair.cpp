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
    const std::uint64_t offset = wholeBox ? entry->offset : payload;

    // What was read must be what the file holds there, before anything changes.
    std::vector<std::uint8_t> before;
    if (ResultCode rc = encode(*entry, wholeBox, before); rc != 0)
        return rc;
    if (ResultCode rc = verifyStored(stream, offset, before); rc != 0) {
        if (rc == result::invalidOperation)
            reason = "the entry's fields do not match the bytes stored for them";
        return rc;
    }
    const std::uint16_t index = entry->dataReferenceIndex.value;
    entry->dataReferenceIndex.value = 1;
    std::vector<std::uint8_t> after;
    const ResultCode rc = encode(*entry, wholeBox, after);
    entry->dataReferenceIndex.value = index;
    if (rc != 0)
        return rc;
    plan = planChanges(offset, before, after);
    plan.box = mp4::box::boxPath(entry);
    return result::none;
}

} // namespace boxmend
