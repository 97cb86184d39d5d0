#include "mediafmt/mp4/File.h"

#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/BoxFactory.h"
#include "mediafmt/mp4/box/BoxReader.h"
#include "mediafmt/mp4/type/Scalars.h"

#include <algorithm>
#include <limits>

namespace mediafmt::mp4 {

namespace {

constexpr auto maxOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

// The payload of a box that no repair ever writes and that is only raw
// bytes: free space and the boxes the catalogue does not know (skip, uuid
// and any other). Null for every other box.
type::Block* rawPayload(box::Box& top) {
    const bool raw = top.type.value == type::fourcc("free") || !box::isCatalogued(top.type);
    auto* data = dynamic_cast<box::DataBox*>(&top);
    return raw && data != nullptr ? &data->data : nullptr;
}

// A header that cannot be read gives only an empty box, which the reader
// reports as 8; when the file failed to deliver it, that failure is the one
// to report.
ResultCode failureOf(const io::CacheBuffer& cache, ResultCode rc) {
    return cache.sourceFailure() != 0 ? cache.sourceFailure() : rc;
}

} // namespace

ResultCode File::parse(io::Io* stream) {
    if (stream == nullptr)
        return result::nullObject;
    std::uint64_t fileLength = 0;
    if (ResultCode rc = stream->size(fileLength); rc != 0)
        return rc;
    io::CacheBuffer cache;
    // A stream that allows it has its boxes read on demand: a header of
    // hundreds of megabytes is then held once, as the tables decoded from
    // it, instead of also whole in the cache.
    if (stream->canReadOnDemand()) {
        if (ResultCode rc = cache.setLoadOnDemand(true); rc != 0)
            return rc;
    }
    // A file too short for a header reads as zeros, which the first header
    // read reports; a device that fails to deliver its first bytes is a
    // read error, not a short file.
    if (ResultCode rc = cache.fill(stream, 0, lookAhead); rc != 0)
        return rc;

    for (;;) {
        box::BoxPtr top = box::readBox(&cache);
        if (!top)
            return failureOf(cache, result::nullObject);
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
            // Media data that reaches the end of the file is the last box.
            // Its end is not sought: a file system refuses a position beyond
            // the largest file it can hold, however corrupt the size.
            if (top->recordedSize > maxOffset - top->offset ||
                top->offset + top->recordedSize >= fileLength)
                return result::none;
            if (ResultCode rc = cache.fill(stream, top->offset + top->recordedSize, lookAhead);
                rc != 0)
                return rc;
        } else {
            // A box that claims to run past the end of the file is read up to
            // the end: its fields hold the bytes the file has, never zeros up
            // to whatever size a corrupt header claims, so memory stays in
            // proportion to the file.
            std::uint64_t end = saturatingAdd(top->offset, top->recordedSize);
            if (end > fileLength)
                end = std::max(fileLength, payload);
            if (end > maxOffset)
                return result::seekPastEnd;
            const std::uint64_t loaded = end > payload ? end - payload : 0;
            if (type::Block* raw = rawPayload(*top); raw != nullptr && loaded >= leftOnDiskFrom) {
                // Nothing is read from it, and the next header is loaded as
                // after media data.
                raw->leaveOnDisk(payload, loaded);
                if (ResultCode rc = cache.fill(stream, end, lookAhead); rc != 0)
                    return rc;
            } else {
                if (ResultCode rc = cache.fill(stream, payload, loaded + lookAhead); rc != 0)
                    return rc;
                if (ResultCode rc = top->readFields(&cache, end); rc != 0)
                    return rc;
                if (ResultCode rc = top->readChildren(&cache, end); rc != 0)
                    return failureOf(cache, rc);
                if (ResultCode rc =
                        cache.seek(static_cast<std::int64_t>(end), io::SeekOrigin::begin);
                    rc != 0)
                    return rc;
            }
        }

        bool atEnd = false;
        if (ResultCode rc = stream->eof(atEnd); rc != 0)
            return rc;
        if (atEnd)
            return result::none;
    }
}

} // namespace mediafmt::mp4
