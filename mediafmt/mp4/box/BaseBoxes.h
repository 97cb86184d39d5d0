#pragma once

#include "mediafmt/mp4/box/Box.h"
#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/Scalars.h"

namespace mediafmt::mp4::box {

// A box whose payload is only child boxes.
class ContainerBox : public Box {
public:
    ContainerBox() { hasChildren = true; }
};

// A box whose payload starts with a version byte and 24 bits of flags.
class FullBox : public Box {
public:
    mp4::type::Uint24 flags;

    FullBox() { addFields({{&version, "version"}, {&flags, "flags"}}); }
};

// A box held as raw bytes: whatever it holds is written back unchanged.
class DataBox : public Box {
public:
    mp4::type::Block data;

    DataBox() { addField(&data, "data"); }
};

// Filler; also what the audio repair puts where a shortened table was.
class free final : public DataBox {
public:
    free() { type.value = mp4::type::fourcc("free"); }
};

// A box whose payload is never loaded.
class UnknownBox : public Box {};

// Media data: only its header is ever read or written, so its size is the
// size on disk.
class mdat final : public UnknownBox {
public:
    [[nodiscard]] ResultCode size(std::uint64_t& out) const override;
};

} // namespace mediafmt::mp4::box
