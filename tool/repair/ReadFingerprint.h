#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace boxmend::repair {

using mediafmt::ResultCode;

// The checksum a fingerprint keeps of a run of bytes: their 64-bit XXH3,
// fast enough to take of every byte a parse reads at no measurable cost.
std::uint64_t blockChecksum(const std::uint8_t* bytes, std::size_t count);

// Passes every call on to the stream it wraps, and keeps a fingerprint of what
// the reads delivered: for each block of blockSize bytes, aligned in the
// stream, the checksum of a run of its bytes that was read in order. So a
// header that is parsed and never held whole can later be proved to read back
// exactly as it was parsed, at a cost of a few bytes a block.
//
// A block's run begins with bytes of it a read delivers that neither go on
// from nor repeat the run being read; a later read that goes on from the
// run's end, even when it also delivers some of the run again, extends it
// until a run is begun in another block (a parse reads its header forwards,
// so it never comes back to a block it left). Bytes read again are taken to
// be the same ones. Of a block's runs the longest is kept; its other bytes
// stay unknown. The first write ends the recording: what is read after it is
// no longer the stream as parsed.
class ReadFingerprint final : public mediafmt::io::Io {
public:
    static constexpr std::uint64_t blockSize = 4096;

    // What was read of one block: the stream offsets [begin, end) of its run
    // and their checksum.
    struct Run {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
        std::uint64_t checksum = 0;
    };

    explicit ReadFingerprint(mediafmt::io::Io& stream);
    ~ReadFingerprint() override;

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override;
    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override;
    [[nodiscard]] ResultCode seek(std::int64_t offset, mediafmt::io::SeekOrigin origin) override;
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override;
    [[nodiscard]] ResultCode eof(bool& atEnd) override;
    [[nodiscard]] ResultCode size(std::uint64_t& length) override;
    [[nodiscard]] ResultCode flush() override;
    [[nodiscard]] ResultCode readBack(std::uint64_t offset, void* buffer,
                                      std::uint64_t count) override;
    bool canReadOnDemand() const override { return stream_.canReadOnDemand(); }

    // The run read of the block with this index (its offset / blockSize);
    // false when nothing of it was read.
    bool run(std::uint64_t block, Run& out) const;

    // Forgets every block that holds none of [offset, offset + length) and
    // records nothing more: what is kept is the fingerprint of that range
    // as it was read.
    void keepOnly(std::uint64_t offset, std::uint64_t length);

private:
    // A kept run, as offsets from its block's start; none when begin
    // equals end.
    struct Record {
        std::uint64_t checksum = 0;
        std::uint16_t begin = 0;
        std::uint16_t end = 0;
    };
    // The records of consecutive blocks from first on.
    struct Extent {
        std::uint64_t first = 0;
        std::vector<Record> records;
    };
    // The run being read, with the checksum's running state.
    struct Live;

    void record(std::uint64_t at, const std::uint8_t* bytes, std::uint64_t count);
    // Keeps the run being read in its block's record, when it is the longer.
    void endLiveRun();
    const Record* find(std::uint64_t block) const;
    Record& recordOf(std::uint64_t block);

    mediafmt::io::Io& stream_;
    bool recording_ = true;
    // The stream's position, when known without asking it.
    bool positionKnown_ = false;
    std::uint64_t position_ = 0;
    // In order of first, none overlapping another.
    std::vector<Extent> extents_;
    std::unique_ptr<Live> live_;
};

} // namespace boxmend::repair
