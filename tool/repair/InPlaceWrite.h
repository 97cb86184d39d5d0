#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/box/Box.h"
#include "tool/repair/RepairPlan.h"

#include <cstdint>
#include <functional>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Guards for rewriting part of an irreplaceable file in place: the new bytes
// are encoded a piece at a time and compared, as they are made, with the
// bytes the file holds where they go, so that a repair covers exactly the
// extent it replaces and writes only the bytes that change. Neither copy is
// ever held whole: a sample table can be megabytes.

// The bytes a span of the file is to hold: encode writes them, in order, to
// the stream it is given. The bytes in [fillBegin, fillEnd), counted from
// offset, are zeros in the encoding; they are neither read nor compared, and
// a plan writes them whole as its fill.
struct Encoding {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::function<ResultCode(mediafmt::io::Io&)> encode;
    std::uint64_t fillBegin = 0;
    std::uint64_t fillEnd = 0;
};

// The box with all its descendants, as write puts it on disk, over the
// extent it was read from.
Encoding boxEncoding(const mediafmt::mp4::box::Box& box);

// Whether the encoding is exactly the bytes the stream holds for it: same is
// false when it has another length than its span, the stream ends first or
// some byte differs. A failed read or encoding gives its code.
[[nodiscard]] ResultCode encodesToStored(mediafmt::io::Io& stream, const Encoding& encoding,
                                         bool& same);

// The plan that turns the bytes the stream holds into the encoding: every
// run of differing bytes becomes a change, the fill excepted, which is
// written whole. Only the plan's changes and fill are set; fits is false,
// and the plan left as it was, when the encoding has another length than its
// span or the stream ends first. A failed read or encoding gives its code.
[[nodiscard]] ResultCode planEncodedChanges(mediafmt::io::Io& stream, const Encoding& encoding,
                                            RepairPlan& plan, bool& fits);

} // namespace boxmend::repair
