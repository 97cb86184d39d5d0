#include "mediafmt/io/Io.h"

#include <algorithm>
#include <limits>

namespace mediafmt::io {

ResultCode Io::size(std::uint64_t& length) {
    std::uint64_t saved = 0;
    if (ResultCode rc = tell(saved); rc != 0)
        return rc;
    if (ResultCode rc = seek(0, SeekOrigin::end); rc != 0)
        return rc;
    if (ResultCode rc = tell(length); rc != 0)
        return rc;
    return seek(static_cast<std::int64_t>(saved), SeekOrigin::begin);
}

ResultCode Io::flush() {
    return result::none;
}

ResultCode Io::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::readError;
    if (ResultCode rc = seek(static_cast<std::int64_t>(offset), SeekOrigin::begin); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (ResultCode rc = read(buffer, count, got); rc != 0)
        return rc;
    return got == count ? result::none : result::readError;
}

ResultCode writeZeros(Io* stream, std::uint64_t count) {
    if (stream == nullptr)
        return result::nullObject;
    static const std::uint8_t zeros[64 * 1024] = {};
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t n = std::min<std::uint64_t>(sizeof zeros, count - done);
        std::uint64_t put = 0;
        if (ResultCode rc = stream->write(zeros, n, put); rc != 0)
            return rc;
        if (put != n)
            return result::writeError;
        done += n;
    }
    return result::none;
}

} // namespace mediafmt::io
