#pragma once

#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/FieldTypes.h"

namespace mediafmt::mp4::box {

class stbl final : public ContainerBox {};

// Sample descriptions: its children are the sample entries, read to the end
// of the box whatever entryCount says.
class stsd final : public FullBox {
public:
    Uint32 entryCount;

    stsd() {
        hasChildren = true;
        addField(&entryCount, "entryCount");
    }
};

class stts final : public FullBox {
public:
    TimeToSampleTable timeToSampleTable;

    stts() { addField(&timeToSampleTable, "timeToSampleTable"); }
};

class stsc final : public FullBox {
public:
    SampleToChunkTable sampleToChunkTable;

    stsc() { addField(&sampleToChunkTable, "sampleToChunkTable"); }
};

// The size list takes whatever follows sampleCount, whatever sampleSize says.
class stsz final : public FullBox {
public:
    Uint32 sampleSize;
    Uint32 sampleCount;
    Uint32Array sampleSizeTable;

    stsz() {
        addFields({{&sampleSize, "sampleSize"},
                   {&sampleCount, "sampleCount"},
                   {&sampleSizeTable, "sampleSizeTable"}});
    }
};

class stco final : public FullBox {
public:
    Uint32 entryCount;
    Uint32Array chunkOffsetTable;

    stco() { addFields({{&entryCount, "entryCount"}, {&chunkOffsetTable, "chunkOffsetTable"}}); }
};

class co64 final : public FullBox {
public:
    Uint32 entryCount;
    Uint64Array chunkOffsetTable;

    co64() { addFields({{&entryCount, "entryCount"}, {&chunkOffsetTable, "chunkOffsetTable"}}); }
};

class ctts final : public FullBox {
public:
    CompositionOffsetTable compositionOffsetTable;

    ctts() { addField(&compositionOffsetTable, "compositionOffsetTable"); }
};

class stss final : public FullBox {
public:
    Uint32 entryCount;
    Uint32Array syncSampleTable;

    stss() { addFields({{&entryCount, "entryCount"}, {&syncSampleTable, "syncSampleTable"}}); }
};

} // namespace mediafmt::mp4::box
