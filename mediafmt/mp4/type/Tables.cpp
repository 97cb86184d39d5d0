#include "mediafmt/mp4/type/Tables.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/TextOutput.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace mediafmt::mp4::type {

using io::loadBigEndian;
using io::storeBigEndian;

namespace {

// The most bytes a write encodes before handing them to the stream.
constexpr std::size_t maxEncodedRun = 64 * 1024;

// The most bytes a read takes in before decoding them: enough to be read
// straight from a file, little enough to stay in the processor's cache.
constexpr std::uint64_t maxDecodedRun = 256 * 1024;

std::uint32_t load32(const std::uint8_t* bytes) {
    return io::loadBigEndianWhole<std::uint32_t>(bytes);
}

std::uint16_t load16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(loadBigEndian(bytes, 2));
}

} // namespace

TimeToSampleEntry TimeToSampleEntry::decode(const std::uint8_t* bytes) {
    return {load32(bytes), load32(bytes + 4)};
}

void TimeToSampleEntry::encode(std::uint8_t* bytes) const {
    storeBigEndian(bytes, sampleCount, 4);
    storeBigEndian(bytes + 4, sampleDelta, 4);
}

CompositionOffsetEntry CompositionOffsetEntry::decode(const std::uint8_t* bytes) {
    return {load32(bytes), load32(bytes + 4)};
}

void CompositionOffsetEntry::encode(std::uint8_t* bytes) const {
    storeBigEndian(bytes, sampleCount, 4);
    storeBigEndian(bytes + 4, sampleOffset, 4);
}

SampleToChunkEntry SampleToChunkEntry::decode(const std::uint8_t* bytes) {
    return {load32(bytes), load32(bytes + 4), load32(bytes + 8)};
}

void SampleToChunkEntry::encode(std::uint8_t* bytes) const {
    storeBigEndian(bytes, firstChunk, 4);
    storeBigEndian(bytes + 4, samplesPerChunk, 4);
    storeBigEndian(bytes + 8, sampleDescriptionIndex, 4);
}

EditListV0Entry EditListV0Entry::decode(const std::uint8_t* bytes) {
    return {load32(bytes), static_cast<std::int32_t>(load32(bytes + 4)), load16(bytes + 8),
            load16(bytes + 10)};
}

void EditListV0Entry::encode(std::uint8_t* bytes) const {
    storeBigEndian(bytes, segmentDuration, 4);
    storeBigEndian(bytes + 4, static_cast<std::uint32_t>(mediaTime), 4);
    storeBigEndian(bytes + 8, mediaRateInteger, 2);
    storeBigEndian(bytes + 10, mediaRateFraction, 2);
}

EditListV1Entry EditListV1Entry::decode(const std::uint8_t* bytes) {
    return {loadBigEndian(bytes, 8), static_cast<std::int64_t>(loadBigEndian(bytes + 8, 8)),
            load16(bytes + 16), load16(bytes + 18)};
}

void EditListV1Entry::encode(std::uint8_t* bytes) const {
    storeBigEndian(bytes, segmentDuration, 8);
    storeBigEndian(bytes + 8, static_cast<std::uint64_t>(mediaTime), 8);
    storeBigEndian(bytes + 16, mediaRateInteger, 2);
    storeBigEndian(bytes + 18, mediaRateFraction, 2);
}

template <typename Entry> ResultCode CountedTable<Entry>::read(io::Io* stream, std::uint64_t end) {
    if (stream == nullptr)
        return result::nullObject;
    if (ResultCode rc = stream->tell(this->offset); rc != 0)
        return rc;
    std::uint32_t count = 0;
    if (ResultCode rc = io::readUint32(stream, count); rc != 0)
        return rc;

    // Entry i is read while it starts before the end of the box; the last
    // one may reach past it.
    const std::uint64_t first = this->offset + 4;
    const std::uint64_t fits =
        end > first ? (end - first + Entry::diskSize - 1) / Entry::diskSize : 0;
    if (count > fits + countSlack)
        return result::readError;
    const std::uint64_t toRead = count < fits ? count : fits;
    // The entries are read a run at a time into the front of a small buffer
    // of entries, decoded there from the last to the first (each before its
    // bytes are overwritten) and appended to the table, so the table's
    // memory is written once; entries not read whole are zero.
    static_assert(std::is_trivially_copyable_v<Entry> && sizeof(Entry) >= Entry::diskSize,
                  "entries are decoded in their own storage");
    this->elements.clear();
    this->elements.reserve(count);
    const std::uint64_t perRun = std::max<std::uint64_t>(1, maxDecodedRun / Entry::diskSize);
    std::vector<Entry> run(static_cast<std::size_t>(std::min(toRead, perRun)));
    auto* raw = reinterpret_cast<std::uint8_t*>(run.data());
    for (std::uint64_t done = 0; done < toRead;) {
        const std::uint64_t want = std::min<std::uint64_t>(run.size(), toRead - done);
        std::uint64_t got = 0;
        if (ResultCode rc = stream->read(raw, want * Entry::diskSize, got); rc != 0) {
            this->elements.assign(count, Entry{});
            return rc;
        }
        const std::uint64_t whole = got / Entry::diskSize;
        for (std::uint64_t i = whole; i-- > 0;) {
            const Entry entry = Entry::decode(raw + i * Entry::diskSize);
            run[static_cast<std::size_t>(i)] = entry;
        }
        this->elements.insert(this->elements.end(), run.begin(),
                              run.begin() + static_cast<std::ptrdiff_t>(whole));
        if (got != want * Entry::diskSize) {
            this->elements.resize(count);
            return result::readError;
        }
        done += want;
    }
    this->elements.resize(count);
    return result::none;
}

template <typename Entry> ResultCode CountedTable<Entry>::write(io::Io* stream) const {
    if (stream == nullptr)
        return result::nullObject;
    // Encoded a run of entries at a time, so a large table needs no copy of its size.
    const std::size_t n = this->elements.size();
    const std::size_t perRun = std::max<std::size_t>(1, maxEncodedRun / Entry::diskSize);
    std::vector<std::uint8_t> raw(4 + std::min(n, perRun) * Entry::diskSize);
    storeBigEndian(raw.data(), n, 4);
    std::size_t used = 4;
    std::size_t i = 0;
    do {
        for (; i < n && used + Entry::diskSize <= raw.size(); ++i, used += Entry::diskSize)
            this->elements[i].encode(raw.data() + used);
        std::uint64_t put = 0;
        if (ResultCode rc = stream->write(raw.data(), used, put); rc != 0)
            return rc;
        if (put != used)
            return result::writeError;
        used = 0;
    } while (i < n);
    return result::none;
}

template class CountedTable<TimeToSampleEntry>;
template class CountedTable<CompositionOffsetEntry>;
template class CountedTable<SampleToChunkEntry>;
template class CountedTable<EditListV0Entry>;
template class CountedTable<EditListV1Entry>;

namespace {

// The entries of these tables are not shown, only their number.
ResultCode printCount(io::Io* stream, std::size_t n) {
    if (stream == nullptr)
        return result::nullObject;
    (void)io::writeText(stream, "(%d) [", static_cast<int>(n));
    (void)io::writeText(stream, "]");
    return result::none;
}

} // namespace

ResultCode TimeToSampleTable::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return printCount(stream, elements.size());
}

ResultCode CompositionOffsetTable::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return printCount(stream, elements.size());
}

ResultCode SampleToChunkTable::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return printCount(stream, elements.size());
}

ResultCode EditListV0Table::print(io::Io* stream, std::uint32_t /*indent*/) const {
    if (stream == nullptr)
        return result::nullObject;
    (void)io::writeText(stream, "(%d) [", static_cast<int>(elements.size()));
    for (const EditListV0Entry& entry : elements) {
        if (ResultCode rc = io::writeText(
                stream, "[%u, %d, %d, %d]", static_cast<unsigned>(entry.segmentDuration),
                entry.mediaTime, entry.mediaRateInteger, entry.mediaRateFraction);
            rc != 0)
            return rc;
    }
    (void)io::writeText(stream, "]");
    return result::none;
}

ResultCode EditListV1Table::print(io::Io* stream, std::uint32_t /*indent*/) const {
    if (stream == nullptr)
        return result::nullObject;
    (void)io::writeText(stream, "(%d) [", static_cast<int>(elements.size()));
    for (const EditListV1Entry& entry : elements) {
        if (ResultCode rc = io::writeText(stream, "[%llu, %lld, %d, %d]",
                                          static_cast<unsigned long long>(entry.segmentDuration),
                                          static_cast<long long>(entry.mediaTime),
                                          entry.mediaRateInteger, entry.mediaRateFraction);
            rc != 0)
            return rc;
    }
    (void)io::writeText(stream, "]");
    return result::none;
}

} // namespace mediafmt::mp4::type
