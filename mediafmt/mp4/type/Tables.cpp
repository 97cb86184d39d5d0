#include "mediafmt/mp4/type/Tables.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/TextOutput.h"

#include <vector>

namespace mediafmt::mp4::type {

using io::loadBigEndian;
using io::storeBigEndian;

namespace {

std::uint32_t load32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(loadBigEndian(bytes, 4));
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
    this->elements.assign(count, Entry{});

    const std::uint64_t toRead = count < fits ? count : fits;
    if (toRead == 0)
        return result::none;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(toRead * Entry::diskSize));
    std::uint64_t got = 0;
    if (ResultCode rc = stream->read(raw.data(), raw.size(), got); rc != 0)
        return rc;
    const std::uint64_t whole = got / Entry::diskSize;
    for (std::uint64_t i = 0; i < whole; ++i)
        this->elements[i] = Entry::decode(raw.data() + i * Entry::diskSize);
    return got == raw.size() ? result::none : result::readError;
}

template <typename Entry> ResultCode CountedTable<Entry>::write(io::Io* stream) const {
    if (stream == nullptr)
        return result::nullObject;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(size()));
    storeBigEndian(raw.data(), this->elements.size(), 4);
    for (std::size_t i = 0; i < this->elements.size(); ++i)
        this->elements[i].encode(raw.data() + 4 + i * Entry::diskSize);
    std::uint64_t put = 0;
    if (ResultCode rc = stream->write(raw.data(), raw.size(), put); rc != 0)
        return rc;
    return put == raw.size() ? result::none : result::writeError;
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
        if (ResultCode rc =
                io::writeText(stream, "[%d, %d, %d, %d]", static_cast<int>(entry.segmentDuration),
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
        if (ResultCode rc = io::writeText(stream, "[%lld, %lld, %d, %d]",
                                          static_cast<long long>(entry.segmentDuration),
                                          static_cast<long long>(entry.mediaTime),
                                          entry.mediaRateInteger, entry.mediaRateFraction);
            rc != 0)
            return rc;
    }
    (void)io::writeText(stream, "]");
    return result::none;
}

} // namespace mediafmt::mp4::type
