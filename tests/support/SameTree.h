#pragma once

// Compares two box trees node by node: code, offset, recorded size, every
// field's offset and encoding, and the children in order. Reports the path
// of the first difference.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/box/Box.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

inline ::testing::AssertionResult sameTree(const mediafmt::mp4::box::Box& a,
                                           const mediafmt::mp4::box::Box& b,
                                           const std::string& path = "") {
    const std::string here = path + "/" + a.type.text();
    if (a.type.value != b.type.value || a.type.offset != b.type.offset)
        return ::testing::AssertionFailure() << here << ": code " << b.type.text();
    if (a.offset != b.offset || a.recordedSize != b.recordedSize)
        return ::testing::AssertionFailure()
               << here << ": offset " << a.offset << " and size " << a.recordedSize << " against "
               << b.offset << " and " << b.recordedSize;
    if (a.fields.size() != b.fields.size() || a.children.size() != b.children.size())
        return ::testing::AssertionFailure() << here << ": other fields or children";
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        mediafmt::io::Buffer encodedA;
        mediafmt::io::Buffer encodedB;
        if (a.fields[i].value->write(&encodedA) != 0 || b.fields[i].value->write(&encodedB) != 0)
            return ::testing::AssertionFailure() << here << ": field " << i << " not written";
        if (a.fields[i].value->offset != b.fields[i].value->offset ||
            encodedA.bytes() != encodedB.bytes())
            return ::testing::AssertionFailure() << here << ": field " << a.fields[i].name;
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        if (::testing::AssertionResult same = sameTree(*a.children[i], *b.children[i], here); !same)
            return same;
    }
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
