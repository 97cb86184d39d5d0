#include "tool/repair/ReadFingerprint.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>

namespace boxmend::repair {

using namespace mediafmt;

struct ReadFingerprint::Live {
    XXH3_state_t state;
    bool active = false;
    std::uint64_t block = 0;
    std::uint16_t begin = 0;
    std::uint16_t end = 0;

    std::uint64_t checksum() const { return XXH3_64bits_digest(&state); }
};

std::uint64_t blockChecksum(const std::uint8_t* bytes, std::size_t count) {
    return XXH3_64bits(bytes, count);
}

ReadFingerprint::ReadFingerprint(io::Io& stream)
    : stream_(stream), live_(std::make_unique<Live>()) {}

ReadFingerprint::~ReadFingerprint() = default;

ResultCode ReadFingerprint::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (recording_ && !positionKnown_)
        positionKnown_ = stream_.tell(position_) == 0;
    const ResultCode rc = stream_.read(buffer, count, bytesRead);
    if (rc != 0 || bytesRead > count) {
        positionKnown_ = false;
        return rc;
    }
    if (recording_ && positionKnown_ && bytesRead != 0) {
        record(position_, static_cast<const std::uint8_t*>(buffer), bytesRead);
        position_ += bytesRead;
    }
    return rc;
}

ResultCode ReadFingerprint::write(const void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesWritten) {
    recording_ = false;
    return stream_.write(buffer, count, bytesWritten);
}

ResultCode ReadFingerprint::seek(std::int64_t offset, io::SeekOrigin origin) {
    const ResultCode rc = stream_.seek(offset, origin);
    positionKnown_ = rc == 0 && origin == io::SeekOrigin::begin;
    position_ = static_cast<std::uint64_t>(offset);
    return rc;
}

ResultCode ReadFingerprint::tell(std::uint64_t& position) {
    const ResultCode rc = stream_.tell(position);
    positionKnown_ = rc == 0;
    position_ = position;
    return rc;
}

ResultCode ReadFingerprint::eof(bool& atEnd) {
    return stream_.eof(atEnd);
}

ResultCode ReadFingerprint::size(std::uint64_t& length) {
    // The default measures by seeking, which this stream need not follow.
    positionKnown_ = false;
    return stream_.size(length);
}

ResultCode ReadFingerprint::flush() {
    return stream_.flush();
}

ResultCode ReadFingerprint::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    positionKnown_ = false;
    return stream_.readBack(offset, buffer, count);
}

namespace {

// The extent that holds block, or extents.end().
template <typename Extents> auto extentOf(Extents& extents, std::uint64_t block) {
    auto next = std::upper_bound(extents.begin(), extents.end(), block,
                                 [](std::uint64_t b, const auto& e) { return b < e.first; });
    if (next == extents.begin() || block - (next - 1)->first >= (next - 1)->records.size())
        return extents.end();
    return next - 1;
}

} // namespace

const ReadFingerprint::Record* ReadFingerprint::find(std::uint64_t block) const {
    const auto extent = extentOf(extents_, block);
    return extent == extents_.end()
               ? nullptr
               : &extent->records[static_cast<std::size_t>(block - extent->first)];
}

ReadFingerprint::Record& ReadFingerprint::recordOf(std::uint64_t block) {
    // The last extent that starts at or before the block.
    auto next = std::upper_bound(extents_.begin(), extents_.end(), block,
                                 [](std::uint64_t b, const Extent& e) { return b < e.first; });
    if (next != extents_.begin()) {
        Extent& extent = *(next - 1);
        const std::uint64_t index = block - extent.first;
        if (index < extent.records.size())
            return extent.records[static_cast<std::size_t>(index)];
        // The extent after it starts beyond block, so it can grow by one.
        if (index == extent.records.size())
            return extent.records.emplace_back();
    }
    return extents_.insert(next, Extent{block, {Record{}}})->records.front();
}

void ReadFingerprint::endLiveRun() {
    Live& live = *live_;
    if (!live.active)
        return;
    live.active = false;
    Record& r = recordOf(live.block);
    if (live.end - live.begin > r.end - r.begin)
        r = {live.checksum(), live.begin, live.end};
}

void ReadFingerprint::record(std::uint64_t at, const std::uint8_t* bytes, std::uint64_t count) {
    Live& live = *live_;
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t block = (at + done) / blockSize;
        const auto from = static_cast<std::uint16_t>((at + done) % blockSize);
        const auto to = static_cast<std::uint16_t>(std::min(blockSize, from + (count - done)));
        const std::uint8_t* piece = bytes + done;
        done += to - from;

        const bool inLive = live.active && live.block == block;
        if (inLive && from >= live.begin && from <= live.end) {
            if (to > live.end) {
                XXH3_64bits_update(&live.state, piece + (live.end - from), to - live.end);
                live.end = to;
            }
            continue;
        }
        // Bytes read again.
        if (const Record* r = find(block); r != nullptr && from >= r->begin && to <= r->end)
            continue;
        if (from == 0 && to == blockSize) {
            // A whole block, the longest run there is, in one go.
            if (inLive)
                live.active = false;
            recordOf(block) = {XXH3_64bits(piece, blockSize), 0, to};
            continue;
        }
        endLiveRun();
        XXH3_64bits_reset(&live.state);
        XXH3_64bits_update(&live.state, piece, to - from);
        live.active = true;
        live.block = block;
        live.begin = from;
        live.end = to;
    }
}

bool ReadFingerprint::run(std::uint64_t block, Run& out) const {
    const Record* r = find(block);
    Record kept = r != nullptr ? *r : Record{};
    const Live& live = *live_;
    if (live.active && live.block == block && live.end - live.begin > kept.end - kept.begin)
        kept = {live.checksum(), live.begin, live.end};
    if (kept.begin == kept.end)
        return false;
    const std::uint64_t start = block * blockSize;
    out = {start + kept.begin, start + kept.end, kept.checksum};
    return true;
}

void ReadFingerprint::keepOnly(std::uint64_t offset, std::uint64_t length) {
    endLiveRun();
    recording_ = false;
    const std::uint64_t first = offset / blockSize;
    // One past the last block kept; none when the range is empty.
    const std::uint64_t last =
        length == 0 ? first : (offset + std::min(length - 1, UINT64_MAX - offset)) / blockSize + 1;
    std::vector<Extent> kept;
    for (Extent& extent : extents_) {
        const std::uint64_t end = extent.first + extent.records.size();
        const std::uint64_t from = std::max(first, extent.first);
        const std::uint64_t to = std::min(last, end);
        if (from >= to)
            continue;
        const auto begin =
            extent.records.begin() + static_cast<std::ptrdiff_t>(from - extent.first);
        kept.push_back({from, {begin, begin + static_cast<std::ptrdiff_t>(to - from)}});
    }
    extents_ = std::move(kept);
}

} // namespace boxmend::repair
