#pragma once

#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/FieldTypes.h"

namespace mediafmt::mp4::box {

class ftyp final : public Box {
public:
    Fourcc majorBrand;
    Uint32 minorVersion;
    FourccArray compatibleBrands;

    ftyp() {
        addFields({{&majorBrand, "majorBrand"},
                   {&minorVersion, "minorVersion"},
                   {&compatibleBrands, "compatibleBrands"}});
    }
};

class moov final : public ContainerBox {};
class trak final : public ContainerBox {};
class edts final : public ContainerBox {};
class mdia final : public ContainerBox {};
class minf final : public ContainerBox {};
class dinf final : public ContainerBox {};
class udta final : public ContainerBox {};

class mvhdV0 final : public FullBox {
public:
    Timestamp32 creationTime;
    Timestamp32 modificationTime;
    Uint32 timescale;
    Uint32 duration;
    Fixed16x16 rate;
    Fixed8x8 volume;
    FixedBlock<10> reserved1;
    Matrix3x3 matrix;
    Timestamp32 previewTime;
    Uint32 previewDuration;
    Timestamp32 posterTime;
    Timestamp32 selectionTime;
    Uint32 selectionDuration;
    Timestamp32 currentTime;
    Uint32 nextTrackID;

    mvhdV0() {
        version.value = 0;
        addFields({{&creationTime, "creationTime"},
                   {&modificationTime, "modificationTime"},
                   {&timescale, "timescale"},
                   {&duration, "duration"},
                   {&rate, "rate"},
                   {&volume, "volume"},
                   {&reserved1, "reserved1"},
                   {&matrix, "matrix"},
                   {&previewTime, "previewTime"},
                   {&previewDuration, "previewDuration"},
                   {&posterTime, "posterTime"},
                   {&selectionTime, "selectionTime"},
                   {&selectionDuration, "selectionDuration"},
                   {&currentTime, "currentTime"},
                   {&nextTrackID, "nextTrackID"}});
    }
};

class mvhdV1 final : public FullBox {
public:
    Timestamp64 creationTime;
    Timestamp64 modificationTime;
    Uint32 timescale;
    Uint64 duration;
    Fixed16x16 rate;
    Fixed8x8 volume;
    FixedBlock<10> reserved1;
    Matrix3x3 matrix;
    FixedBlock<24> preDefined;
    Uint32 nextTrackID;

    mvhdV1() {
        version.value = 1;
        addFields({{&creationTime, "creationTime"},
                   {&modificationTime, "modificationTime"},
                   {&timescale, "timescale"},
                   {&duration, "duration"},
                   {&rate, "rate"},
                   {&volume, "volume"},
                   {&reserved1, "reserved1"},
                   {&matrix, "matrix"},
                   {&preDefined, "preDefined"},
                   {&nextTrackID, "nextTrackID"}});
    }
};

// The two versions differ only in the width of the times and the duration.
template <typename Time, typename Duration> class TrackHeaderBox : public FullBox {
public:
    Time creationTime;
    Time modificationTime;
    Uint32 trackID;
    Uint32 reserved1;
    Duration duration;
    FixedBlock<8> reserved2;
    Uint16 layer;
    Uint16 alternateGroup;
    Fixed8x8 volume;
    Uint16 reserved3;
    Matrix3x3 matrix;
    Fixed16x16 width;
    Fixed16x16 height;

    TrackHeaderBox() {
        addFields({{&creationTime, "creationTime"},
                   {&modificationTime, "modificationTime"},
                   {&trackID, "trackID"},
                   {&reserved1, "reserved1"},
                   {&duration, "duration"},
                   {&reserved2, "reserved2"},
                   {&layer, "layer"},
                   {&alternateGroup, "alternateGroup"},
                   {&volume, "volume"},
                   {&reserved3, "reserved3"},
                   {&matrix, "matrix"},
                   {&width, "width"},
                   {&height, "height"}});
    }
};

class tkhdV0 final : public TrackHeaderBox<Timestamp32, Uint32> {
public:
    tkhdV0() { version.value = 0; }
};

// Version 1 holds its times as plain numbers, not dates.
class tkhdV1 final : public TrackHeaderBox<Uint64, Uint64> {
public:
    tkhdV1() { version.value = 1; }
};

template <typename Time, typename Duration> class MediaHeaderBox : public FullBox {
public:
    Time creationTime;
    Time modificationTime;
    Uint32 timescale;
    Duration duration;
    Uint16 language;
    Uint16 preDefined;

    MediaHeaderBox() {
        addFields({{&creationTime, "creationTime"},
                   {&modificationTime, "modificationTime"},
                   {&timescale, "timescale"},
                   {&duration, "duration"},
                   {&language, "language"},
                   {&preDefined, "preDefined"}});
    }
};

class mdhdV0 final : public MediaHeaderBox<Timestamp32, Uint32> {
public:
    mdhdV0() { version.value = 0; }
};

class mdhdV1 final : public MediaHeaderBox<Timestamp64, Uint64> {
public:
    mdhdV1() { version.value = 1; }
};

class hdlr final : public FullBox {
public:
    Fourcc componentType;
    Fourcc handlerType;
    FixedBlock<12> reserved;
    String name;

    hdlr() {
        addFields({{&componentType, "componentType"},
                   {&handlerType, "handlerType"},
                   {&reserved, "reserved"},
                   {&name, "name"}});
    }
};

class elstV0 final : public FullBox {
public:
    EditListV0Table editListTable;

    elstV0() {
        version.value = 0;
        addField(&editListTable, "editListTable");
    }
};

class elstV1 final : public FullBox {
public:
    EditListV1Table editListTable;

    elstV1() {
        version.value = 1;
        addField(&editListTable, "editListTable");
    }
};

// Its entries stay raw inside data.
class dref final : public FullBox {
public:
    Block data;

    dref() { addField(&data, "data"); }
};

class meta final : public FullBox {
public:
    meta() { hasChildren = true; }
};

// meta as QuickTime writes it: no version or flags, the child boxes (an
// hdlr first) from the first payload byte.
class metaQuickTime final : public ContainerBox {};

class pitm final : public FullBox {
public:
    Uint16 itemID;

    pitm() { addField(&itemID, "itemID"); }
};

class idat final : public DataBox {};

} // namespace mediafmt::mp4::box
