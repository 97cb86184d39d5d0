#include "mediafmt/mp4/File.h"

#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/mp4/BoxReader.h"
#include "mediafmt/mp4/type/Scalars.h"

#include <limits>

namespace mediafmt::mp4 {

namespace {

constexpr auto maxOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

} // namespace

ResultCode File::parse(io::Io* stream) {
    if (stream == nullptr)
        return result::nullObject;
    io::CacheBuffer cache;
    // A failed first fill leaves zeros, which the first header read reports.
    (void)cache.fill(stream, 0, lookAhead);

    for (;;) {
        box::BoxPtr top = readBox(&cache);
        if (!top)
            return result::nullObject;
        // In the tree from the moment its header is read, even if its content fails.
        if (ResultCode rc = addChild(top); rc != 0)
            return rc;
        std::uint64_t payload = 0;
        if (ResultCode rc = cache.tell(payload); rc != 0)
            return rc;

        if (top->type.value == type::fourcc("mdat")) {
            // A size of 0 means the media data runs to the end of the file.
            if (top->recordedSize == 0)
                return result::none;
            // An end no file can reach lies past the end of this one.
            if (top->recordedSize > maxOffset - top->offset)
                return result::none;
            if (ResultCode rc = cache.fill(stream, top->offset + top->recordedSize, lookAhead);
                rc != 0)
                return rc;
        } else {
            if (top->offset > maxOffset || top->recordedSize > maxOffset - top->offset)
                return result::seekPastEnd;
            const std::uint64_t end = top->offset + top->recordedSize;
            if (ResultCode rc =
                    cache.fill(stream, payload, saturatingAdd(top->recordedSize, lookAhead));
                rc != 0)
                return rc;
            if (ResultCode rc = top->readFields(&cache, end); rc != 0)
                return rc;
            if (ResultCode rc = top->readChildren(&cache, end); rc != 0)
                return rc;
            if (ResultCode rc = cache.seek(static_cast<std::int64_t>(end), io::SeekOrigin::begin);
                rc != 0)
                return rc;
        }

        bool atEnd = false;
        if (ResultCode rc = stream->eof(atEnd); rc != 0)
            return rc;
        if (atEnd)
            return result::none;
    }
}

} // namespace mediafmt::mp4
