#include "tool/repair/PositionedIo.h"

#include <limits>

namespace boxmend::repair {

using namespace mediafmt;

ResultCode seekTo(io::Io& stream, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::invalidOperation;
    return stream.seek(static_cast<std::int64_t>(offset), io::SeekOrigin::begin);
}

ResultCode writeAt(io::Io& stream, std::uint64_t offset, const std::uint8_t* bytes,
                   std::uint64_t count) {
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    std::uint64_t put = 0;
    if (ResultCode rc = stream.write(bytes, count, put); rc != 0)
        return rc;
    return put == count ? result::none : result::writeError;
}

ResultCode readAt(io::Io& stream, std::uint64_t offset, std::uint8_t* bytes, std::uint64_t count) {
    if (ResultCode rc = seekTo(stream, offset); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (ResultCode rc = stream.read(bytes, count, got); rc != 0)
        return rc;
    return got == count ? result::none : result::readError;
}

} // namespace boxmend::repair
