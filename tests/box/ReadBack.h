#pragma once

// Reading one box from bytes the way the tree reader does, and writing it
// back.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/box/Box.h"
#include "mediafmt/mp4/box/BoxReader.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace boxtest {

using mediafmt::mp4::box::BoxPtr;
using testsupport::Bytes;

// Reads the box at the stream's position and then its content, as the child
// loop does; the code of the first step that fails.
inline mediafmt::ResultCode readWhole(mediafmt::io::Io& stream, BoxPtr& box) {
    box = mediafmt::mp4::box::readBox(&stream);
    if (!box)
        return mediafmt::result::nullObject;
    const std::uint64_t end = box->offset + box->recordedSize;
    if (mediafmt::ResultCode rc = box->readFields(&stream, end); rc != 0)
        return rc;
    return box->readChildren(&stream, end);
}

// The box at the start of bytes, read whole; a test failure if any step fails.
inline BoxPtr readOne(const Bytes& bytes) {
    mediafmt::io::Buffer in(bytes);
    BoxPtr box;
    EXPECT_EQ(readWhole(in, box), 0u);
    return box;
}

// What write(stream, true) puts into an empty buffer.
inline Bytes written(const mediafmt::mp4::box::Box& box) {
    mediafmt::io::Buffer out;
    EXPECT_EQ(box.write(&out, true), 0u);
    return out.bytes();
}

// The codes of the children of parent, each followed by its own in
// brackets: "ftyp moov(mvhd udta(TELM))".
inline std::string shape(const mediafmt::mp4::box::Box& parent) {
    std::string text;
    for (const BoxPtr& child : parent.children) {
        if (!text.empty())
            text += ' ';
        text += child->type.text();
        if (!child->children.empty())
            text += "(" + shape(*child) + ")";
    }
    return text;
}

inline std::uint64_t sizeOf(const mediafmt::mp4::box::Box& box) {
    std::uint64_t size = 0;
    EXPECT_EQ(box.size(size), 0u);
    return size;
}

} // namespace boxtest
