#pragma once

// A read-only stream that behaves like an operating-system file: it can be
// positioned anywhere at or after 0, reads stop at its end, and the end test
// compares the position with its length. It may be far longer than the bytes
// it holds: areas without bytes read as zeros and are counted, so a test can
// tell whether a reader touched them. A budget of read calls turns a reader
// that loops into a failing test instead of a hanging one.

#include "mediafmt/io/Io.h"
#include "tests/support/Bytes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

namespace mp4test {

using testsupport::Bytes;

class DiskStream final : public mediafmt::io::Io {
public:
    explicit DiskStream(Bytes bytes) : length_(bytes.size()) { place(0, std::move(bytes)); }
    explicit DiskStream(std::uint64_t length) : length_(length) {}

    // Puts bytes at offset; areas must not overlap.
    void place(std::uint64_t offset, Bytes bytes) { held_[offset] = std::move(bytes); }

    std::uint64_t unheldBytesRead = 0;
    std::uint64_t readCalls = 0;
    std::uint64_t readBudget = 1000000;

    [[nodiscard]] mediafmt::ResultCode read(void* buffer, std::uint64_t count,
                                            std::uint64_t& bytesRead) override {
        if (++readCalls > readBudget)
            return mediafmt::result::invalidIo;
        const std::uint64_t got = position_ < length_ ? std::min(count, length_ - position_) : 0;
        auto* out = static_cast<std::uint8_t*>(buffer);
        if (got != 0)
            std::memset(out, 0, static_cast<std::size_t>(got));
        std::uint64_t copied = 0;
        for (const auto& [at, bytes] : held_) {
            const std::uint64_t from = std::max(at, position_);
            const std::uint64_t to = std::min(at + bytes.size(), position_ + got);
            if (from >= to)
                continue;
            std::memcpy(out + (from - position_), bytes.data() + (from - at),
                        static_cast<std::size_t>(to - from));
            copied += to - from;
        }
        unheldBytesRead += got - copied;
        position_ += got;
        bytesRead = got;
        return mediafmt::result::none;
    }
    [[nodiscard]] mediafmt::ResultCode write(const void*, std::uint64_t, std::uint64_t&) override {
        return mediafmt::result::invalidOperation;
    }
    [[nodiscard]] mediafmt::ResultCode seek(std::int64_t offset,
                                            mediafmt::io::SeekOrigin origin) override {
        std::int64_t from = 0;
        if (origin == mediafmt::io::SeekOrigin::current)
            from = static_cast<std::int64_t>(position_);
        else if (origin == mediafmt::io::SeekOrigin::end)
            from = static_cast<std::int64_t>(length_);
        if (offset < -from)
            return mediafmt::result::error;
        position_ = static_cast<std::uint64_t>(from + offset);
        return mediafmt::result::none;
    }
    [[nodiscard]] mediafmt::ResultCode tell(std::uint64_t& position) override {
        position = position_;
        return mediafmt::result::none;
    }
    [[nodiscard]] mediafmt::ResultCode eof(bool& atEnd) override {
        atEnd = position_ >= length_;
        return mediafmt::result::none;
    }
    [[nodiscard]] mediafmt::ResultCode size(std::uint64_t& length) override {
        length = length_;
        return mediafmt::result::none;
    }

private:
    std::uint64_t length_;
    std::uint64_t position_ = 0;
    std::map<std::uint64_t, Bytes> held_;
};

} // namespace mp4test
