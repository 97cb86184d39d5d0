#include "tool/repair/InPlaceWrite.h"

#include "mediafmt/io/Buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace boxmend {

using namespace mediafmt;

namespace {

ResultCode seekTo(io::Io& stream, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::invalidOperation;
    return stream.seek(static_cast<std::int64_t>(offset), io::SeekOrigin::begin);
}

} // namespace

ResultCode encodeBox(const mp4::box::Box& box, std::vector<std::uint8_t>& bytes) {
    std::uint64_t total = 0;
    if (ResultCode rc = box.size(total); rc != 0)
        return rc;
    // Written into the storage bytes already has, made large enough at once:
    // encoding a large box again costs no new memory, and nothing is copied.
    bytes.clear();
    io::Buffer buffer(std::move(bytes));
    buffer.reserve(total);
    ResultCode rc = box.write(&buffer, true);
    bytes = buffer.takeBytes();
    return rc;
}

ResultCode verifyStored(io::Io& stream, std::uint64_t offset,
                        const std::vector<std::uint8_t>& expected) {
    std::uint64_t length = 0;
    if (ResultCode rc = stream.size(length); rc != 0)
        return rc;
    if (offset > length || expected.size() > length - offset)
        return result::invalidOperation;
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    // Compared a piece at a time, so a large box is not held twice; every
    // piece is read even after a difference, so the stream ends up where one
    // read of the whole would leave it.
    constexpr std::size_t piece = 256 * 1024;
    std::vector<std::uint8_t> stored(std::min(expected.size(), piece));
    bool same = true;
    std::uint64_t compared = 0;
    while (compared < expected.size()) {
        const std::uint64_t n = std::min<std::uint64_t>(piece, expected.size() - compared);
        std::uint64_t got = 0;
        if (ResultCode rc = stream.read(stored.data(), n, got); rc != 0)
            return rc;
        same = same && got == n &&
               std::memcmp(stored.data(), expected.data() + compared,
                           static_cast<std::size_t>(n)) == 0;
        compared += got;
        if (got < n)
            return result::invalidOperation;
    }
    return same ? result::none : result::invalidOperation;
}

ResultCode writePlanned(io::Io& stream, const RepairPlan& plan) {
    if (plan.bytes.size() != plan.extent)
        return result::invalidOperation;
    if (ResultCode rc = seekTo(stream, plan.offset); rc != 0)
        return rc;
    std::uint64_t put = 0;
    if (ResultCode rc = stream.write(plan.bytes.data(), plan.bytes.size(), put); rc != 0)
        return rc;
    return put == plan.bytes.size() ? result::none : result::writeError;
}

} // namespace boxmend
