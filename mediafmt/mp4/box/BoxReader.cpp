#include "mediafmt/mp4/box/BoxReader.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/mp4/box/BoxFactory.h"

#include <algorithm>
#include <limits>

namespace mediafmt::mp4::box {

namespace {

// Whether the payload at the stream's position, payloadSize bytes long,
// starts with the header of an hdlr box that fits inside it: a meta box in
// its QuickTime form, where the ISO form has its version and flags. The
// stream is put back where it was; false when a read or seek fails, so that
// a failing device cannot change how a box is read.
bool peekHandler(io::Io& stream, std::uint64_t payloadSize, bool& found) {
    found = false;
    std::uint64_t at = 0;
    if (payloadSize < 8)
        return true;
    std::uint32_t size = 0;
    std::uint32_t code = 0;
    if (stream.tell(at) != 0 ||
        at > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ||
        io::readUint32(&stream, size) != 0 || io::readUint32(&stream, code) != 0)
        return false;
    found = size >= 8 && size <= payloadSize && code == type::fourcc("hdlr");
    return stream.seek(static_cast<std::int64_t>(at), io::SeekOrigin::begin) == 0;
}

} // namespace

BoxPtr readBox(io::Io* stream) {
    if (stream == nullptr)
        return nullptr;
    std::uint64_t offset = 0;
    std::uint32_t size32 = 0;
    std::uint64_t codeOffset = 0;
    type::Fourcc code;
    if (stream->tell(offset) != 0 || io::readUint32(stream, size32) != 0 ||
        stream->tell(codeOffset) != 0 || io::readUint32(stream, code.value) != 0)
        return nullptr;
    std::uint64_t size = size32;
    if (size32 == 1 && io::readUint64(stream, size) != 0)
        return nullptr;

    std::uint8_t version = 0xFF;
    if (isFullBoxType(code)) {
        // Peeked: the box's own version field reads it again.
        if (io::readUint8(stream, version) != 0 || stream->seek(-1, io::SeekOrigin::current) != 0)
            return nullptr;
    }
    bool quickTimeMeta = false;
    const std::uint64_t header = size32 == 1 ? 16 : 8;
    if (code.value == type::fourcc("meta") && size >= header &&
        !peekHandler(*stream, size - header, quickTimeMeta))
        return nullptr;
    BoxPtr made =
        quickTimeMeta ? createQuickTimeMeta() : createBox(code, static_cast<std::int8_t>(version));
    if (!made)
        return nullptr;
    made->offset = offset;
    made->recordedSize = size;
    made->type.value = code.value;
    made->type.offset = codeOffset;
    return made;
}

namespace {

constexpr std::uint64_t smallestHeader = 8;

std::uint32_t depthOf(const Box& box) {
    std::uint32_t depth = 0;
    for (const Box* up = box.parent; up != nullptr; up = up->parent)
        ++depth;
    return depth;
}

// The position just past the stream's last byte; the stream is left at from.
ResultCode endOf(io::Io& stream, std::uint64_t from, std::uint64_t& end) {
    if (ResultCode rc = stream.seek(0, io::SeekOrigin::end); rc != 0)
        return rc;
    if (ResultCode rc = stream.tell(end); rc != 0)
        return rc;
    return stream.seek(static_cast<std::int64_t>(from), io::SeekOrigin::begin);
}

} // namespace

// The child-reading loop. Every child must advance the stream past its own
// header, so a corrupt size can neither loop nor reread a header; nesting
// deeper than maxNestingDepth is refused instead of exhausting the stack; and
// a child must end within the stream's bytes, since a field that runs to the
// end of its box would otherwise allocate for whatever size the header claims.
ResultCode Box::readChildren(io::Io* stream, std::uint64_t end) {
    if (!hasChildren)
        return result::none;
    if (stream == nullptr)
        return result::nullObject;
    if (end == 0) {
        if (ResultCode rc = stream->size(end); rc != 0)
            return rc;
    }
    std::uint64_t position = 0;
    if (ResultCode rc = stream->tell(position); rc != 0)
        return rc;
    if (position >= end)
        return result::none;
    if (depthOf(*this) >= maxNestingDepth)
        return result::error;
    std::uint64_t streamEnd = 0;
    if (ResultCode rc = endOf(*stream, position, streamEnd); rc != 0)
        return rc;
    const std::uint64_t limit =
        std::min(streamEnd, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));

    for (;;) {
        bool atEnd = false;
        if (ResultCode rc = stream->eof(atEnd); rc != 0)
            return rc;
        if (atEnd)
            return result::none;
        // Fewer bytes than a header are padding, such as the 32-bit zero that
        // ends QuickTime user data: skipped, as bytes after a box's fields are.
        if (end - position < smallestHeader)
            return result::none;
        BoxPtr child = readBox(stream);
        if (!child)
            return result::nullObject;
        std::uint64_t payload = 0;
        if (ResultCode rc = stream->tell(payload); rc != 0)
            return rc;
        if (child->recordedSize < payload - child->offset)
            return result::seekBeforeBegin;
        if (child->offset > limit || child->recordedSize > limit - child->offset)
            return result::seekPastEnd;
        const std::uint64_t childEnd = child->offset + child->recordedSize;

        child->parent = this;
        if (ResultCode rc = child->readFields(stream, childEnd); rc != 0)
            return rc;
        if (ResultCode rc = child->readChildren(stream, childEnd); rc != 0)
            return rc;
        if (ResultCode rc = addChild(child); rc != 0)
            return rc;
        if (ResultCode rc =
                stream->seek(static_cast<std::int64_t>(childEnd), io::SeekOrigin::begin);
            rc != 0)
            return rc;
        if (childEnd >= end)
            return result::none;
        position = childEnd;
    }
}

} // namespace mediafmt::mp4::box
