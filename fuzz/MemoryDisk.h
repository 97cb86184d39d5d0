#pragma once

#include "mediafmt/io/Io.h"
#include "tool/repair/JournalStore.h"

#include <cstdint>
#include <vector>

namespace fuzzcheck {

// A file held in memory that behaves like an open disk file of fixed length:
// it can be positioned anywhere from 0 on, also past its end; reads stop at
// its end; the end test compares the position with the length; and the
// length is the one it was made with. Unlike a disk file it never grows: a
// write that would reach past its end writes nothing, fails with 11 and is
// counted, so a check can tell that something tried to change the length.
class MemoryDisk final : public mediafmt::io::Io {
public:
    explicit MemoryDisk(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    [[nodiscard]] mediafmt::ResultCode read(void* buffer, std::uint64_t count,
                                            std::uint64_t& bytesRead) override;
    [[nodiscard]] mediafmt::ResultCode write(const void* buffer, std::uint64_t count,
                                             std::uint64_t& bytesWritten) override;
    [[nodiscard]] mediafmt::ResultCode seek(std::int64_t offset,
                                            mediafmt::io::SeekOrigin origin) override;
    [[nodiscard]] mediafmt::ResultCode tell(std::uint64_t& position) override;
    [[nodiscard]] mediafmt::ResultCode eof(bool& atEnd) override;
    [[nodiscard]] mediafmt::ResultCode size(std::uint64_t& length) override;

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    // Writes refused because they would have made the file longer.
    std::uint64_t refusedWrites() const { return refusedWrites_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    std::uint64_t refusedWrites_ = 0;
};

// A journal kept in memory.
class MemoryJournal final : public boxmend::JournalStore {
public:
    [[nodiscard]] mediafmt::ResultCode load(std::vector<std::uint8_t>& bytes) override {
        bytes = bytes_;
        return present_ ? mediafmt::result::none : mediafmt::result::noOp;
    }
    [[nodiscard]] mediafmt::ResultCode save(const std::vector<std::uint8_t>& bytes,
                                            bool& refused) override {
        refused = false;
        bytes_ = bytes;
        present_ = true;
        return mediafmt::result::none;
    }
    [[nodiscard]] mediafmt::ResultCode remove() override {
        present_ = false;
        return mediafmt::result::none;
    }
    std::string name() const override { return "journal"; }
    bool present() const { return present_; }

private:
    std::vector<std::uint8_t> bytes_;
    bool present_ = false;
};

} // namespace fuzzcheck
