#pragma once

#include "mediafmt/mp4/box/Box.h"
#include "mediafmt/mp4/box/FieldTypes.h"

namespace mediafmt::mp4::box {

// The common head of every sample entry (not a full box).
class SampleEntryBox : public Box {
public:
    FixedBlock<6> reserved;
    Uint16 dataReferenceIndex;

    SampleEntryBox() {
        addFields({{&reserved, "reserved"}, {&dataReferenceIndex, "dataReferenceIndex"}});
    }
};

// The Lumacode video sample entry: 80 payload bytes, the last two reserved.
class VideoSampleDescriptionBox final : public SampleEntryBox {
public:
    // The sample description's own 16-bit version, not a full-box version.
    Uint16 version;
    Uint16 revisionLevel;
    Fourcc vendor;
    Uint32 temporalQuality;
    Uint32 spatialQuality;
    Uint16 width;
    Uint16 height;
    Fixed16x16 horizontalResolution;
    Fixed16x16 verticalResolution;
    Uint32 dataSize;
    Uint16 frameCount;
    FixedBlock<32> compressorName;
    Uint16 bitDepth;
    Uint16 colorTableID;
    Uint16 reserved;

    // The encoded length of the 17 fields.
    static constexpr std::uint64_t fieldBytes = 80;

    VideoSampleDescriptionBox() {
        addFields({{&version, "version"},
                   {&revisionLevel, "revisionLevel"},
                   {&vendor, "vendor"},
                   {&temporalQuality, "temporalQuality"},
                   {&spatialQuality, "spatialQuality"},
                   {&width, "width"},
                   {&height, "height"},
                   {&horizontalResolution, "horizontalResolution"},
                   {&verticalResolution, "verticalResolution"},
                   {&dataSize, "dataSize"},
                   {&frameCount, "frameCount"},
                   {&compressorName, "compressorName"},
                   {&bitDepth, "bitDepth"},
                   {&colorTableID, "colorTableID"},
                   {&reserved, "reserved"}});
    }
};

class colr final : public Box {
public:
    Fourcc parameterType;
    Uint16 primariesIndex;
    Uint16 transferFunctionIndex;
    Uint16 matrixIndex;
    Uint8 fullRangeFlag;

    colr() {
        addFields({{&parameterType, "parameterType"},
                   {&primariesIndex, "primariesIndex"},
                   {&transferFunctionIndex, "transferFunctionIndex"},
                   {&matrixIndex, "matrixIndex"},
                   {&fullRangeFlag, "fullRangeFlag"}});
    }
};

} // namespace mediafmt::mp4::box
