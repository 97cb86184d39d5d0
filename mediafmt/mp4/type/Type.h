#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"

#include <cstdint>
#include <vector>

namespace mediafmt::mp4::type {

// One typed value of a box payload: it reads, writes, sizes and prints itself.
// Fields live as members of their box (or elements of an array) and are never
// destroyed through a Type pointer, so the destructor is not virtual.
class Type {
public:
    // Stream position the field was last read from.
    std::uint64_t offset = 0;

    // Encodes the value at the stream's current position.
    [[nodiscard]] virtual ResultCode write(io::Io* stream) const = 0;
    // Decodes the value at the stream's current position; end is the stream
    // position where the enclosing box ends.
    [[nodiscard]] virtual ResultCode read(io::Io* stream, std::uint64_t end) = 0;
    // The number of bytes write produces for the present value.
    virtual std::uint64_t size() const = 0;
    // The value as text; indent is the number of spaces after each line break
    // a long list inserts.
    [[nodiscard]] virtual ResultCode print(io::Io* stream, std::uint32_t indent) const = 0;

protected:
    Type() = default;
    Type(const Type&) = default;
    Type& operator=(const Type&) = default;
    ~Type() = default;
};

// The start of every field's read: a null stream gives 8; otherwise offset
// becomes the stream's position.
[[nodiscard]] inline ResultCode startRead(io::Io* stream, std::uint64_t& offset) {
    if (stream == nullptr)
        return result::nullObject;
    return stream->tell(offset);
}

// Base of every multi-element field.
template <typename T> class Array : public Type {
public:
    std::vector<T> elements;

protected:
    Array() = default;
    Array(const Array&) = default;
    Array& operator=(const Array&) = default;
    ~Array() = default;
};

} // namespace mediafmt::mp4::type
