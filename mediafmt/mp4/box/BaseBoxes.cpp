#include "mediafmt/mp4/box/BaseBoxes.h"

namespace mediafmt::mp4::box {

ResultCode mdat::size(std::uint64_t& out) const {
    out = recordedSize;
    return result::none;
}

} // namespace mediafmt::mp4::box
