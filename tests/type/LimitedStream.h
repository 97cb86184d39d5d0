#pragma once

#include "mediafmt/io/Io.h"

#include <algorithm>
#include <cstdint>

namespace testsupport {

// A stream that takes at most capacity bytes in all and then reports fewer
// written than asked, as a full disk does. It has nothing to read, and its
// tell and write can be made to fail.
class LimitedStream final : public mediafmt::io::Io {
public:
    explicit LimitedStream(std::uint64_t capacity) : capacity_(capacity) {}

    mediafmt::ResultCode tellResult = 0;
    mediafmt::ResultCode writeResult = 0;

    [[nodiscard]] mediafmt::ResultCode read(void*, std::uint64_t,
                                            std::uint64_t& bytesRead) override {
        bytesRead = 0;
        return 0;
    }
    [[nodiscard]] mediafmt::ResultCode write(const void*, std::uint64_t count,
                                             std::uint64_t& bytesWritten) override {
        if (writeResult != 0)
            return writeResult;
        bytesWritten = std::min(count, capacity_ - written_);
        written_ += bytesWritten;
        return 0;
    }
    [[nodiscard]] mediafmt::ResultCode seek(std::int64_t, mediafmt::io::SeekOrigin) override {
        return 0;
    }
    [[nodiscard]] mediafmt::ResultCode tell(std::uint64_t& position) override {
        position = written_;
        return tellResult;
    }
    [[nodiscard]] mediafmt::ResultCode eof(bool& atEnd) override {
        atEnd = true;
        return 0;
    }

private:
    std::uint64_t capacity_;
    std::uint64_t written_ = 0;
};

} // namespace testsupport
