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

// Where the entry is rewritten and with what: the whole box when it is
// exactly its header and fields, else its fields alone at their own place.
struct Rewrite {
    std::uint64_t offset = 0;
    std::uint64_t extent = 0;
    bool wholeBox = false;
};

ResultCode encode(const VideoSampleDescriptionBox& entry, const Rewrite& rewrite,
                  std::vector<std::uint8_t>& bytes) {
    return rewrite.wholeBox ? encodeBox(entry, bytes) : encodeFields(entry, bytes);
}

} // namespace

ResultCode repairVideoTrack(io::Io* stream) {
    if (stream == nullptr)
        return result::nullObject;
    if (ResultCode rc = stream->seek(0, io::SeekOrigin::begin); rc != 0)
        return rc;
    mp4::File tree;
    if (ResultCode rc = tree.parse(stream); rc != 0)
        return rc;
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
    Rewrite rewrite{payload, fieldBytes, false};
    if (header == shortHeader && entry->recordedSize == shortHeader + fieldBytes)
        rewrite = {entry->offset, entry->recordedSize, true};

    // What was read must be what the file holds there, before anything changes.
    std::vector<std::uint8_t> bytes;
    if (ResultCode rc = encode(*entry, rewrite, bytes); rc != 0)
        return rc;
    if (ResultCode rc = verifyStored(stream, rewrite.offset, bytes); rc != 0)
        return rc;

    entry->dataReferenceIndex.value = 1;
    if (ResultCode rc = encode(*entry, rewrite, bytes); rc != 0)
        return rc;
    return writeOver(stream, rewrite.offset, rewrite.extent, bytes);
}

} // namespace boxmend
