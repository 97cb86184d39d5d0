#pragma once

// Reading one box from bytes the way the tree reader does, and writing it
// back, for the round-trip tests of the box catalogue.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/BoxReader.h"
#include "mediafmt/mp4/box/Box.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <memory>

namespace boxtest {

using mediafmt::mp4::box::BoxPtr;
using testsupport::Bytes;

// The box at the start of bytes with its fields and children read; empty,
// with a test failure, when any step fails.
inline BoxPtr readOne(const Bytes& bytes) {
    mediafmt::io::Buffer in(bytes);
    BoxPtr box = mediafmt::mp4::readBox(&in);
    if (!box) {
        ADD_FAILURE() << "no box read";
        return nullptr;
    }
    const std::uint64_t end = box->offset + box->recordedSize;
    if (mediafmt::ResultCode rc = box->readFields(&in, end); rc != 0) {
        ADD_FAILURE() << "readFields gave " << rc;
        return nullptr;
    }
    if (mediafmt::ResultCode rc = box->readChildren(&in, end); rc != 0) {
        ADD_FAILURE() << "readChildren gave " << rc;
        return nullptr;
    }
    return box;
}

// readOne as the class T; empty, with a test failure, for another class.
template <typename T> std::shared_ptr<T> readAs(const Bytes& bytes) {
    BoxPtr box = readOne(bytes);
    auto typed = std::dynamic_pointer_cast<T>(box);
    if (box && !typed)
        ADD_FAILURE() << "box of another class";
    return typed;
}

// What write(stream, true) puts into an empty buffer.
inline Bytes written(const mediafmt::mp4::box::Box& box) {
    mediafmt::io::Buffer out;
    EXPECT_EQ(box.write(&out, true), 0u);
    return out.bytes();
}

inline std::uint64_t sizeOf(const mediafmt::mp4::box::Box& box) {
    std::uint64_t size = 0;
    EXPECT_EQ(box.size(size), 0u);
    return size;
}

} // namespace boxtest
