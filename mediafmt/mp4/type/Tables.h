#pragma once

#include "mediafmt/mp4/type/Type.h"

#include <cstdint>

namespace mediafmt::mp4::type {

// Entries of the counted tables. Each knows its width on disk and how to
// decode and encode itself from and to big-endian bytes in memory.

struct TimeToSampleEntry {
    std::uint32_t sampleCount = 0;
    std::uint32_t sampleDelta = 0;

    static constexpr std::uint32_t diskSize = 8;
    static TimeToSampleEntry decode(const std::uint8_t* bytes);
    void encode(std::uint8_t* bytes) const;
};

struct CompositionOffsetEntry {
    std::uint32_t sampleCount = 0;
    // The raw 32 bits, whatever the box version says about their sign.
    std::uint32_t sampleOffset = 0;

    static constexpr std::uint32_t diskSize = 8;
    static CompositionOffsetEntry decode(const std::uint8_t* bytes);
    void encode(std::uint8_t* bytes) const;
};

struct SampleToChunkEntry {
    std::uint32_t firstChunk = 0;
    std::uint32_t samplesPerChunk = 0;
    std::uint32_t sampleDescriptionIndex = 0;

    static constexpr std::uint32_t diskSize = 12;
    static SampleToChunkEntry decode(const std::uint8_t* bytes);
    void encode(std::uint8_t* bytes) const;
};

struct EditListV0Entry {
    std::uint32_t segmentDuration = 0;
    std::int32_t mediaTime = 0;
    std::uint16_t mediaRateInteger = 0;
    std::uint16_t mediaRateFraction = 0;

    static constexpr std::uint32_t diskSize = 12;
    static EditListV0Entry decode(const std::uint8_t* bytes);
    void encode(std::uint8_t* bytes) const;
};

struct EditListV1Entry {
    std::uint64_t segmentDuration = 0;
    std::int64_t mediaTime = 0;
    std::uint16_t mediaRateInteger = 0;
    std::uint16_t mediaRateFraction = 0;

    static constexpr std::uint32_t diskSize = 20;
    static EditListV1Entry decode(const std::uint8_t* bytes);
    void encode(std::uint8_t* bytes) const;
};

// A table with a 32-bit entry count before its entries.
//
// Reading stops at the end of the box: entries the count announces beyond it
// stay zero but counted, so a write emits the full count. A count that
// exceeds what the box can hold by more than countSlack entries is refused
// with 10 before anything is allocated, so a corrupt count can neither end
// the process nor take memory out of proportion to the file.
template <typename Entry> class CountedTable : public Array<Entry> {
public:
    static constexpr std::uint64_t countSlack = 256;

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override {
        return 4 + std::uint64_t{Entry::diskSize} * this->elements.size();
    }

protected:
    CountedTable() = default;
    ~CountedTable() = default;
};

class TimeToSampleTable final : public CountedTable<TimeToSampleEntry> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class CompositionOffsetTable final : public CountedTable<CompositionOffsetEntry> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class SampleToChunkTable final : public CountedTable<SampleToChunkEntry> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class EditListV0Table final : public CountedTable<EditListV0Entry> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class EditListV1Table final : public CountedTable<EditListV1Entry> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

extern template class CountedTable<TimeToSampleEntry>;
extern template class CountedTable<CompositionOffsetEntry>;
extern template class CountedTable<SampleToChunkEntry>;
extern template class CountedTable<EditListV0Entry>;
extern template class CountedTable<EditListV1Entry>;

} // namespace mediafmt::mp4::type
