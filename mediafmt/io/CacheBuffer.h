#pragma once

#include "mediafmt/io/Buffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace mediafmt::io {

// A copy of one region of another stream. Positions it reports and accepts
// from the beginning are those of the source stream, so what is parsed from
// the cache carries the source's offsets. The cache never shrinks, so
// refilling it with regions of similar size does not reallocate.
//
// A region may reach beyond the end of its source; the cache then reads as
// zeros there. Only the bytes the source has are held in memory, so a
// corrupt length cannot make a fill allocate more than the source's size.
class CacheBuffer final : public Buffer {
public:
    // Loads length bytes of source from offset. Bytes the source does not
    // have read as zeros; that is not an error.
    [[nodiscard]] ResultCode fill(Io* source, std::uint64_t offset, std::uint64_t length);

    // Off by default: a fill copies its region into memory at once. On, a
    // fill reads only the start of its region, into a small window, and
    // leaves the source where reading all of it would have; the rest is read
    // from the source when it is read from the cache, a large read straight
    // into the reader's memory. The cache then reads exactly as it would
    // have, provided every source stays alive and unchanged while the cache
    // is read and delivers all the bytes it has in each read (as an
    // operating-system file does); a source read that fails after the fill
    // is reported by read. Writing to the cache, or turning this off, first
    // loads every region still pending.
    [[nodiscard]] ResultCode setLoadOnDemand(bool on);

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override;
    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override;
    [[nodiscard]] ResultCode seek(std::int64_t offset, SeekOrigin origin) override;
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override;
    // Always "not at end": loops over a cache compare positions instead.
    [[nodiscard]] ResultCode eof(bool& atEnd) override;
    // The cache length, not the source position of its end.
    [[nodiscard]] ResultCode size(std::uint64_t& length) override;

    std::uint64_t baseOffset() const { return baseOffset_; }
    // The first failure of the source met while reading on demand, 0 when
    // none: a reader that tells only that something could not be read (a
    // box header) can report the device's own failure instead.
    ResultCode sourceFailure() const { return sourceFailure_; }

private:
    // A fill not loaded yet: from index 0 up to length the cache holds the
    // source's bytes from sourceOffset on, the first available of them, then
    // zeros. Beyond length the fills before it show through.
    struct Pending {
        Io* source;
        std::uint64_t sourceOffset;
        std::uint64_t length;
        std::uint64_t available;
    };

    // The cache's bytes from index on, into out.
    [[nodiscard]] ResultCode produce(std::uint64_t index, std::uint8_t* out, std::uint64_t count);
    // count bytes of a pending region's source, from the window or the source.
    [[nodiscard]] ResultCode fromSource(const Pending& region, std::uint64_t sourceOffset,
                                        std::uint8_t* out, std::uint64_t count);
    // Makes the pending fills, oldest first, as fill would have made them.
    [[nodiscard]] ResultCode loadPending();
    // Room for needed bytes in storage_. Growing keeps the bytes held only
    // when keep is set: a fill that needs more room hides them all anyway.
    void reserve(std::uint64_t needed, bool keep);
    // Ends a fill of length bytes of which the source delivered the first
    // got: what it did not deliver reads as zeros, never as bytes an earlier
    // fill left.
    void settle(std::uint64_t got, std::uint64_t length);

    // The first held_ bytes of the cache, in storage_ of capacity_ bytes;
    // from held_ up to length_ the cache reads as zeros, and the storage
    // beyond held_ is never read. Pending fills lie over it.
    std::unique_ptr<std::uint8_t[]> storage_;
    std::uint64_t capacity_ = 0;
    std::uint64_t held_ = 0;
    std::uint64_t length_ = 0;
    std::uint64_t localPosition_ = 0;
    std::uint64_t baseOffset_ = 0;

    bool onDemand_ = false;
    ResultCode sourceFailure_ = result::none;
    // Oldest first. A fill hides every older one that is not longer, so the
    // lengths decrease from first to last.
    std::vector<Pending> pending_;
    // windowLength_ source bytes from windowOffset_ on, read for small reads,
    // in storage allocated at its first use.
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint64_t windowLength_ = 0;
    Io* windowSource_ = nullptr;
    std::uint64_t windowOffset_ = 0;
};

} // namespace mediafmt::io
