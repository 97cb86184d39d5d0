#include "tool/repair/Tracks.h"

namespace boxmend::repair {

using namespace mediafmt;
using mp4::box::BoxPtr;

ResultCode findAudioTables(const mp4::File& tree, AudioTables& tables, std::string& reason) {
    const BoxPtr moov = tree.find("moov");
    if (!moov) {
        reason = "there is no moov box";
        return result::nullObject;
    }
    for (const BoxPtr& track : moov->children) {
        if ((tables.entry = track->find("mdia/minf/stbl/stsd/in32")))
            break;
    }
    if (!tables.entry)
        return result::none;
    // Two levels up from the entry by its path: the stbl of the entry's stsd.
    const std::string entryPath = mp4::box::boxPath(tables.entry.get());
    tables.stbl = tree.find(entryPath + "/../..");
    if (!tables.stbl) {
        reason = "the sample table of " + entryPath + " cannot be found by its path";
        return result::nullObject;
    }
    tables.stts = std::dynamic_pointer_cast<mp4::box::stts>(tables.stbl->find("stts"));
    tables.stsc = std::dynamic_pointer_cast<mp4::box::stsc>(tables.stbl->find("stsc"));
    tables.stsz = std::dynamic_pointer_cast<mp4::box::stsz>(tables.stbl->find("stsz"));
    const char* missing = !tables.stts   ? "stts"
                          : !tables.stsc ? "stsc"
                          : !tables.stsz ? "stsz"
                                         : nullptr;
    if (missing == nullptr)
        return result::none;
    reason = mp4::box::boxPath(tables.stbl.get()) + " has no " + missing + " box";
    return result::nullObject;
}

std::shared_ptr<mp4::box::VideoSampleDescriptionBox> findLumacodeEntry(const mp4::File& tree) {
    return std::dynamic_pointer_cast<mp4::box::VideoSampleDescriptionBox>(
        tree.find("moov/trak[0]/mdia/minf/stbl/stsd/LMCD"));
}

} // namespace boxmend::repair
