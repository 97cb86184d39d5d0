#include "mediafmt/io/Io.h"

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

} // namespace mediafmt::io
