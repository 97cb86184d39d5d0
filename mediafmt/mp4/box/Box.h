#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/mp4/type/Type.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mediafmt::mp4::box {

class Box;
using BoxPtr = std::shared_ptr<Box>;

// A registered field: a member of the box itself and the name it is known by.
struct Field {
    type::Type* value;
    std::string name;
};

// One node of the box tree: a header, the registered fields that make up its
// payload, in on-disk order, and for some types child boxes after them.
//
// Every box type is this class plus the fields its constructor registers:
// reading, writing and sizing walk the field list. Since the list points into
// the box itself, a box is never copied or moved; boxes live in shared
// pointers made with std::make_shared.
class Box {
public:
    // Stream offset of the first header byte; 0 for a box made in memory.
    std::uint64_t offset = 0;
    // The size in the header (the 64-bit one when the 32-bit field is 1).
    std::uint64_t recordedSize = 0;
    mp4::type::Fourcc type;
    // Registered (and so read and written) only by full boxes.
    mp4::type::Uint8 version;
    bool hasChildren = false;
    // Not owning: the parent owns this box through its children.
    Box* parent = nullptr;
    std::vector<Field> fields;
    std::vector<BoxPtr> children;

    Box() = default;
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;
    Box(Box&&) = delete;
    Box& operator=(Box&&) = delete;
    virtual ~Box() = default;

    // Reads every registered field in order; end is the stream offset where
    // this box ends.
    [[nodiscard]] virtual ResultCode readFields(io::Io* stream, std::uint64_t end);
    // For a box with children, reads child boxes from the stream's position
    // up to end (0 stands for the stream's size).
    [[nodiscard]] virtual ResultCode readChildren(io::Io* stream, std::uint64_t end);
    // Writes the header, with the size computed now, then the fields and, with
    // withChildren, every descendant, at the stream's current position.
    [[nodiscard]] virtual ResultCode write(io::Io* stream, bool withChildren) const;
    // The encoded length of the box as it would be written now, header included.
    [[nodiscard]] virtual ResultCode size(std::uint64_t& out) const;

    void addField(type::Type* field, std::string name);
    void addFields(std::initializer_list<std::pair<type::Type*, const char*>> list);
    [[nodiscard]] ResultCode addChild(BoxPtr child);
    // Inserts child right after sibling, which must be one of the children.
    [[nodiscard]] ResultCode insertChildAfter(BoxPtr child, const BoxPtr& sibling);

    // The box at a path relative to this one: codes separated by "/", each
    // optionally with a 0-based index in brackets among same-code siblings,
    // ".." for the parent. index replaces the first segment's default index.
    // Empty when nothing matches.
    BoxPtr find(std::string path, std::uint32_t index = 0) const;
};

// The path of a box from the root, in the syntax find accepts.
std::string boxPath(const Box* box);

} // namespace mediafmt::mp4::box
