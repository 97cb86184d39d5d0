#include "tool/InPlaceWrite.h"

#include "mediafmt/io/Buffer.h"

#include <limits>

namespace boxmend {

using namespace mediafmt;

namespace {

ResultCode seekTo(io::Io* stream, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::invalidOperation;
    return stream->seek(static_cast<std::int64_t>(offset), io::SeekOrigin::begin);
}

} // namespace

ResultCode encodeBox(const mp4::box::Box& box, std::vector<std::uint8_t>& bytes) {
    io::Buffer buffer;
    if (ResultCode rc = box.write(&buffer, true); rc != 0)
        return rc;
    bytes = buffer.bytes();
    return result::none;
}

ResultCode verifyStored(io::Io* stream, std::uint64_t offset,
                        const std::vector<std::uint8_t>& expected) {
    if (stream == nullptr)
        return result::nullObject;
    std::uint64_t length = 0;
    if (ResultCode rc = stream->size(length); rc != 0)
        return rc;
    if (offset > length || expected.size() > length - offset)
        return result::invalidOperation;
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    std::vector<std::uint8_t> stored(expected.size());
    std::uint64_t got = 0;
    if (!stored.empty()) {
        if (ResultCode rc = stream->read(stored.data(), stored.size(), got); rc != 0)
            return rc;
    }
    return got == stored.size() && stored == expected ? result::none : result::invalidOperation;
}

ResultCode writePlanned(io::Io* stream, const PlannedWrite& plan) {
    if (stream == nullptr)
        return result::nullObject;
    if (plan.bytes.size() != plan.extent)
        return result::invalidOperation;
    if (ResultCode rc = seekTo(stream, plan.offset); rc != 0)
        return rc;
    std::uint64_t put = 0;
    if (ResultCode rc = stream->write(plan.bytes.data(), plan.bytes.size(), put); rc != 0)
        return rc;
    return put == plan.bytes.size() ? result::none : result::writeError;
}

} // namespace boxmend
