#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"

#include <memory>
#include <string>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Where the repairs find what they repair. Both lookups work on a parsed
// tree and change nothing in it.

// The ambisonic track's sample description entry and sample tables.
struct AudioTables {
    // The first "in32" sample entry of the first track that has one.
    mediafmt::mp4::box::BoxPtr entry;
    // The sample table box that holds the entry's sample descriptions.
    mediafmt::mp4::box::BoxPtr stbl;
    std::shared_ptr<mediafmt::mp4::box::stts> stts;
    std::shared_ptr<mediafmt::mp4::box::stsc> stsc;
    std::shared_ptr<mediafmt::mp4::box::stsz> stsz;
};

// Finds the ambisonic track, the first track of moov with an "in32" sample
// entry, and its tables. 0 when all were found, or when no track has such an
// entry (entry then empty); 8 when moov or a box on the way is missing or of another class,
// with reason saying which. The members found before a failure stay set.
[[nodiscard]] ResultCode findAudioTables(const mediafmt::mp4::File& tree, AudioTables& tables,
                                         std::string& reason);

// The Lumacode sample entry of the first track; empty when there is none,
// or when the box there is not a video sample entry.
std::shared_ptr<mediafmt::mp4::box::VideoSampleDescriptionBox>
findLumacodeEntry(const mediafmt::mp4::File& tree);

} // namespace boxmend::repair
