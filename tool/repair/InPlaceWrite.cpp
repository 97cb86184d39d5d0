#include "tool/repair/InPlaceWrite.h"

#include "mediafmt/io/Buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace boxmend {

using namespace mediafmt;

namespace {

// The most bytes read or written in one call when a range is large.
constexpr std::uint64_t piece = 256 * 1024;

ResultCode seekTo(io::Io& stream, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::invalidOperation;
    return stream.seek(static_cast<std::int64_t>(offset), io::SeekOrigin::begin);
}

ResultCode writeAt(io::Io& stream, std::uint64_t offset, const std::uint8_t* bytes,
                   std::uint64_t count) {
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    std::uint64_t put = 0;
    if (ResultCode rc = stream.write(bytes, count, put); rc != 0)
        return rc;
    return put == count ? result::none : result::writeError;
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
    std::vector<std::uint8_t> stored(std::min<std::size_t>(expected.size(), piece));
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

std::uint64_t RepairPlan::bytesWritten() const {
    std::uint64_t total = fillLength;
    for (const ByteChange& change : changes)
        total += change.bytes.size();
    return total;
}

RepairPlan planChanges(std::uint64_t offset, const std::vector<std::uint8_t>& before,
                       const std::vector<std::uint8_t>& after, std::uint64_t fillBegin,
                       std::uint64_t fillEnd) {
    RepairPlan plan;
    if (fillEnd > fillBegin) {
        plan.fillOffset = offset + fillBegin;
        plan.fillLength = fillEnd - fillBegin;
    }
    // Every run of differing bytes in [from, to).
    const auto addRuns = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to;) {
            if (before[i] == after[i]) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < to && before[end] != after[end])
                ++end;
            const auto first = static_cast<std::ptrdiff_t>(i);
            const auto last = static_cast<std::ptrdiff_t>(end);
            plan.changes.push_back({offset + i,
                                    {after.begin() + first, after.begin() + last},
                                    {before.begin() + first, before.begin() + last}});
            i = end;
        }
    };
    const std::size_t n = std::min(before.size(), after.size());
    addRuns(0, static_cast<std::size_t>(std::min<std::uint64_t>(fillBegin, n)));
    addRuns(static_cast<std::size_t>(std::min<std::uint64_t>(fillEnd, n)), n);
    return plan;
}

ResultCode writeChanges(io::Io& stream, const RepairPlan& plan) {
    for (const ByteChange& change : plan.changes) {
        if (ResultCode rc =
                writeAt(stream, change.offset, change.bytes.data(), change.bytes.size());
            rc != 0)
            return rc;
    }
    return result::none;
}

ResultCode writeFill(io::Io& stream, const RepairPlan& plan) {
    const std::vector<std::uint8_t> zeros(
        static_cast<std::size_t>(std::min(plan.fillLength, piece)));
    for (std::uint64_t done = 0; done < plan.fillLength;) {
        const std::uint64_t n = std::min(piece, plan.fillLength - done);
        if (ResultCode rc = writeAt(stream, plan.fillOffset + done, zeros.data(), n); rc != 0)
            return rc;
        done += n;
    }
    return result::none;
}

namespace {

// Whether the piece read back at offset at holds, wherever it meets the plan,
// the bytes the plan writes or, partly, what verifyPartlyWritten accepts.
bool pieceHolds(const RepairPlan& plan, std::uint64_t at, const std::vector<std::uint8_t>& stored,
                bool partly) {
    const std::uint64_t end = at + stored.size();
    for (const ByteChange& change : plan.changes) {
        const std::uint64_t from = std::max(at, change.offset);
        const std::uint64_t to = std::min<std::uint64_t>(end, change.offset + change.bytes.size());
        for (std::uint64_t i = from; i < to; ++i) {
            const std::uint8_t byte = stored[i - at];
            if (byte != change.bytes[i - change.offset] &&
                !(partly && byte == change.original[i - change.offset]))
                return false;
        }
    }
    if (partly)
        return true;
    const std::uint64_t from = std::max(at, plan.fillOffset);
    const std::uint64_t to = std::min(end, plan.fillOffset + plan.fillLength);
    for (std::uint64_t i = from; i < to; ++i) {
        if (stored[i - at] != 0)
            return false;
    }
    return true;
}

ResultCode verifyReadBack(io::Io& stream, const RepairPlan& plan, bool partly) {
    std::uint64_t first = plan.fillLength != 0 ? plan.fillOffset : UINT64_MAX;
    std::uint64_t end = plan.fillLength != 0 ? plan.fillOffset + plan.fillLength : 0;
    for (const ByteChange& change : plan.changes) {
        first = std::min(first, change.offset);
        end = std::max<std::uint64_t>(end, change.offset + change.bytes.size());
    }
    std::vector<std::uint8_t> stored;
    for (std::uint64_t at = first; at < end; at += piece) {
        const std::uint64_t n = std::min(piece, end - at);
        stored.resize(static_cast<std::size_t>(n));
        if (ResultCode rc = stream.readBack(at, stored.data(), n); rc != 0)
            return rc;
        if (!pieceHolds(plan, at, stored, partly))
            return result::invalidOperation;
    }
    return result::none;
}

} // namespace

ResultCode verifyWritten(io::Io& stream, const RepairPlan& plan) {
    return verifyReadBack(stream, plan, false);
}

ResultCode verifyPartlyWritten(io::Io& stream, const RepairPlan& plan) {
    return verifyReadBack(stream, plan, true);
}

} // namespace boxmend
