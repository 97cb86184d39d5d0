#pragma once

// A device that stores writes somewhere other than where they were sent and
// reports success, as some card readers and counterfeit cards do: from its
// nth write on, each lands shift bytes away, or nowhere when that is outside
// the file. Reads and read-backs give what the device really holds.

#include "mediafmt/io/Io.h"

#include <cstdint>

namespace testsupport {

class MisplacingStream final : public mediafmt::io::Io {
public:
    MisplacingStream(mediafmt::io::Io& device, std::int64_t shift, std::uint64_t nth = 1)
        : device_(device), shift_(shift), nth_(nth) {}

    mediafmt::ResultCode write(const void* buffer, std::uint64_t count,
                               std::uint64_t& put) override {
        if (++writes_ < nth_)
            return device_.write(buffer, count, put);
        std::uint64_t at = 0;
        std::uint64_t length = 0;
        if (mediafmt::ResultCode rc = device_.tell(at); rc != 0)
            return rc;
        if (mediafmt::ResultCode rc = device_.size(length); rc != 0)
            return rc;
        const std::uint64_t target = at + static_cast<std::uint64_t>(shift_);
        if (target <= length && count <= length - target) {
            if (mediafmt::ResultCode rc = seekTo(target); rc != 0)
                return rc;
            if (mediafmt::ResultCode rc = device_.write(buffer, count, put); rc != 0)
                return rc;
        }
        put = count;
        return seekTo(at + count);
    }
    mediafmt::ResultCode read(void* buffer, std::uint64_t count, std::uint64_t& got) override {
        return device_.read(buffer, count, got);
    }
    mediafmt::ResultCode seek(std::int64_t offset, mediafmt::io::SeekOrigin origin) override {
        return device_.seek(offset, origin);
    }
    mediafmt::ResultCode tell(std::uint64_t& position) override { return device_.tell(position); }
    mediafmt::ResultCode eof(bool& atEnd) override { return device_.eof(atEnd); }
    mediafmt::ResultCode size(std::uint64_t& length) override { return device_.size(length); }
    mediafmt::ResultCode flush() override { return device_.flush(); }
    mediafmt::ResultCode readBack(std::uint64_t offset, void* buffer,
                                  std::uint64_t count) override {
        return device_.readBack(offset, buffer, count);
    }

private:
    mediafmt::ResultCode seekTo(std::uint64_t offset) {
        return device_.seek(static_cast<std::int64_t>(offset), mediafmt::io::SeekOrigin::begin);
    }

    mediafmt::io::Io& device_;
    const std::int64_t shift_;
    const std::uint64_t nth_;
    std::uint64_t writes_ = 0;
};

} // namespace testsupport
