#include "mediafmt/mp4/box/BoxFactory.h"

#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/CameraBoxes.h"
#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"

#include <array>
#include <memory>

namespace mediafmt::mp4::box {

using type::fourcc;

namespace {

using Maker = BoxPtr (*)();

template <typename T> BoxPtr make() {
    return std::make_shared<T>();
}

struct Row {
    std::uint32_t code;
    Maker version0; // the class for every version, or for version 0
    Maker version1; // set only where the layout depends on the version
};

constexpr std::array rows = {
    Row{fourcc("ftyp"), make<ftyp>, nullptr},
    Row{fourcc("moov"), make<moov>, nullptr},
    Row{fourcc("mvhd"), make<mvhdV0>, make<mvhdV1>},
    Row{fourcc("trak"), make<trak>, nullptr},
    Row{fourcc("tkhd"), make<tkhdV0>, make<tkhdV1>},
    Row{fourcc("edts"), make<edts>, nullptr},
    Row{fourcc("elst"), make<elstV0>, make<elstV1>},
    Row{fourcc("mdia"), make<mdia>, nullptr},
    Row{fourcc("mdhd"), make<mdhdV0>, make<mdhdV1>},
    Row{fourcc("hdlr"), make<hdlr>, nullptr},
    Row{fourcc("minf"), make<minf>, nullptr},
    Row{fourcc("dinf"), make<dinf>, nullptr},
    Row{fourcc("dref"), make<dref>, nullptr},
    Row{fourcc("udta"), make<udta>, nullptr},
    Row{fourcc("meta"), make<meta>, nullptr},
    Row{fourcc("pitm"), make<pitm>, nullptr},
    Row{fourcc("idat"), make<idat>, nullptr},
    Row{fourcc("stbl"), make<stbl>, nullptr},
    Row{fourcc("stsd"), make<stsd>, nullptr},
    Row{fourcc("stts"), make<stts>, nullptr},
    Row{fourcc("stsc"), make<stsc>, nullptr},
    Row{fourcc("stsz"), make<stsz>, nullptr},
    Row{fourcc("stco"), make<stco>, nullptr},
    Row{fourcc("co64"), make<co64>, nullptr},
    Row{fourcc("ctts"), make<ctts>, nullptr},
    Row{fourcc("stss"), make<stss>, nullptr},
    Row{fourcc("LMCD"), make<VideoSampleDescriptionBox>, nullptr},
    Row{fourcc("colr"), make<colr>, nullptr},
    Row{fourcc("TELM"), make<TELM>, nullptr},
    Row{fourcc("UQID"), make<UQID>, nullptr},
    Row{fourcc("BLDV"), make<BLDV>, nullptr},
    Row{fourcc("MRKS"), make<MRKS>, nullptr},
    Row{fourcc("OPTC"), make<OPTC>, nullptr},
    Row{fourcc("IDNT"), make<IDNT>, nullptr},
    Row{fourcc("CNFG"), make<CNFG>, nullptr},
    Row{fourcc("free"), make<free>, nullptr},
    Row{fourcc("mdat"), make<mdat>, nullptr},
};

constexpr std::array fullBoxCodes = {
    fourcc("co64"), fourcc("ctts"), fourcc("dref"), fourcc("elst"), fourcc("hdlr"),
    fourcc("mdhd"), fourcc("mvhd"), fourcc("stco"), fourcc("stsc"), fourcc("stsd"),
    fourcc("stss"), fourcc("stsz"), fourcc("stts"), fourcc("tkhd"),
};

} // namespace

BoxPtr createBox(type::Fourcc code, std::int8_t version) {
    for (const Row& row : rows) {
        if (row.code != code.value)
            continue;
        if (row.version1 == nullptr)
            return row.version0();
        if (version == 0)
            return row.version0();
        if (version == 1)
            return row.version1();
        return nullptr;
    }
    return make<DataBox>();
}

BoxPtr createQuickTimeMeta() {
    auto made = make<metaQuickTime>();
    made->type.value = fourcc("meta");
    return made;
}

bool isCatalogued(type::Fourcc code) {
    for (const Row& row : rows) {
        if (row.code == code.value)
            return true;
    }
    return false;
}

bool isFullBoxType(type::Fourcc code) {
    for (std::uint32_t fullBox : fullBoxCodes) {
        if (fullBox == code.value)
            return true;
    }
    return false;
}

} // namespace mediafmt::mp4::box
