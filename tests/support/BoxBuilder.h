#pragma once

// Builds box bytes by hand, independently of the library's writer, so that
// a fault in the writer cannot hide itself in the inputs of its own tests.

#include "tests/support/Bytes.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace testsupport {

inline Bytes be(std::uint64_t value, int width) {
    Bytes bytes(static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i)
        bytes[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
    return bytes;
}

inline Bytes u8(std::uint64_t value) {
    return be(value, 1);
}
inline Bytes u16(std::uint64_t value) {
    return be(value, 2);
}
inline Bytes u24(std::uint64_t value) {
    return be(value, 3);
}
inline Bytes u32(std::uint64_t value) {
    return be(value, 4);
}
inline Bytes u64(std::uint64_t value) {
    return be(value, 8);
}
inline Bytes zeros(std::size_t n) {
    return Bytes(n, 0);
}
inline Bytes text(std::string_view chars) {
    return Bytes(chars.begin(), chars.end());
}

// Where the first box of the given type starts in file, found by its type
// code (which the test's own bytes do not hold before it).
inline std::uint64_t offsetOf(const Bytes& file, std::string_view code) {
    return static_cast<std::uint64_t>(
        std::search(file.begin(), file.end(), code.begin(), code.end()) - file.begin() - 4);
}

// A box with an 8-byte header.
inline Bytes box(std::string_view code, std::initializer_list<Bytes> payload = {}) {
    Bytes body = concat(payload);
    return concat({u32(8 + body.size()), text(code), body});
}

// A full box: version and flags, then the payload.
inline Bytes fullBox(std::string_view code, std::uint8_t version, std::uint32_t flags,
                     std::initializer_list<Bytes> payload = {}) {
    Bytes body = concat(payload);
    return box(code, {u8(version), u24(flags), body});
}

// depth udta boxes, each the only child of the one before, around a free box.
inline Bytes nestedBoxes(std::uint32_t depth) {
    Bytes inner = box("free", {zeros(4)});
    for (std::uint32_t level = 0; level < depth; ++level)
        inner = box("udta", {inner});
    return inner;
}

} // namespace testsupport
