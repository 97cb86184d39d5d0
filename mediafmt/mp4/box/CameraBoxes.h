#pragma once

#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/FieldTypes.h"

namespace mediafmt::mp4::box {

// The camera's own user-data boxes.

// Metadata record, lens data and settings, kept raw.
class TELM final : public DataBox {};
class OPTC final : public DataBox {};
class CNFG final : public DataBox {};

// Global unique media identifier.
class UQID final : public Box {
public:
    FixedBlock<16> uqid;

    UQID() { addField(&uqid, "uqid"); }
};

// Firmware version text, every byte to the end of the box.
class BLDV final : public Box {
public:
    String firmwareVersion;

    BLDV() { addField(&firmwareVersion, "firmwareVersion"); }
};

// Marker table; its length comes from the box, not from activeMarks.
class MRKS final : public Box {
public:
    Uint32 activeMarks;
    Uint32Array markTable;

    MRKS() { addFields({{&activeMarks, "activeMarks"}, {&markTable, "markTable"}}); }
};

// Media unique identifier.
class IDNT final : public Box {
public:
    Block idnt;

    IDNT() { addField(&idnt, "idnt"); }
};

} // namespace mediafmt::mp4::box
