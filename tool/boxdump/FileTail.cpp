#include "tool/boxdump/FileTail.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/mp4/box/BaseBoxes.h"

#include <limits>

namespace boxmend::dump {

using namespace mediafmt;

namespace {

constexpr auto moovCode = mp4::type::fourcc("moov");

// Where the last top-level box ends: media data of size 0 runs to the end of
// the file, and a size beyond the largest offset reaches past any file.
std::uint64_t endOfLastBox(const mp4::File& tree, std::uint64_t fileLength) {
    if (tree.children.empty())
        return 0;
    const mp4::box::Box& last = *tree.children.back();
    if (last.recordedSize == 0 && last.type.value == mp4::type::fourcc("mdat"))
        return fileLength;
    if (last.recordedSize > std::numeric_limits<std::uint64_t>::max() - last.offset)
        return fileLength;
    return last.offset + last.recordedSize;
}

} // namespace

FileTail readTail(io::Io& file, const mp4::File& tree) {
    FileTail tail;
    tail.boxes = std::make_shared<mp4::box::ContainerBox>();
    std::uint64_t fileLength = 0;
    if (file.size(fileLength) != 0)
        return tail;
    const std::uint64_t end = endOfLastBox(tree, fileLength);
    if (end >= fileLength)
        return tail;
    tail.offset = end;
    tail.size = fileLength - end;

    // Read as the children of a container are: a box that does not fit in
    // the tail, or fails to read, ends the boxes, and what follows is unparsed.
    io::CacheBuffer cache;
    if (cache.fill(&file, tail.offset, tail.size) != 0)
        return tail;
    (void)tail.boxes->readChildren(&cache, fileLength);
    std::uint64_t parsedEnd = tail.offset;
    for (const mp4::box::BoxPtr& box : tail.boxes->children) {
        if (box->type.value == moovCode && !tail.moov)
            tail.moov = box->offset;
        parsedEnd = box->offset + box->recordedSize;
    }
    tail.unparsedOffset = parsedEnd;
    tail.unparsedSize = fileLength - parsedEnd;

    std::uint32_t code = 0;
    if (!tail.moov && tail.unparsedSize >= 8 &&
        cache.seek(static_cast<std::int64_t>(parsedEnd + 4), io::SeekOrigin::begin) == 0 &&
        io::readUint32(&cache, code) == 0 && code == moovCode)
        tail.moov = parsedEnd;
    return tail;
}

} // namespace boxmend::dump
