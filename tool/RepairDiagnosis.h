#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"

#include <cstdint>
#include <optional>
#include <string>

namespace boxmend {

using mediafmt::ResultCode;

// What boxmend would do about one defect: write planned bytes, refuse with a
// code and a reason, or nothing when there is nothing to repair.
struct RepairOutlook {
    // 0 when a write is planned, 1 when nothing is to be done, otherwise the
    // code the repair (or the check before it) ends with.
    ResultCode code = mediafmt::result::noOp;
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
    // The path of the box the write falls in.
    std::string target;
    // Why the repair is refused; empty unless code is a failure.
    std::string reason;

    // A planned write or a refusal for the file's layout, as opposed to a
    // failure to work the repair out at all.
    bool settled() const {
        return code == mediafmt::result::none || code == mediafmt::result::invalidOperation;
    }
};

// The ambisonic audio track (the first track with an "in32" sample entry)
// and the figures its table defect is decided by.
struct AudioDiagnosis {
    // Path of the in32 sample entry; empty when no track has one.
    std::string sampleEntry;
    // Whether stts, stsc and stsz were all found, so the figures below hold.
    bool tablesFound = false;
    std::uint64_t sttsEntries = 0;
    // stts entries with a sample delta above 1: samples that last too long.
    std::uint64_t sttsLongEntries = 0;
    std::uint64_t stscEntries = 0;
    // samplesPerChunk of the first stsc entry; 1 is the defective layout.
    std::optional<std::uint32_t> firstSamplesPerChunk;
    std::uint32_t stszSampleSize = 0;
    std::uint32_t stszSampleCount = 0;
    std::uint64_t stszListLength = 0;
    // The check's own verdict: 0 the defect is present, 1 nothing to repair,
    // any other code when the track cannot be checked (repair.code and
    // repair.reason then say why).
    ResultCode check = mediafmt::result::noOp;
    RepairOutlook repair;

    bool checked() const {
        return check == mediafmt::result::none || check == mediafmt::result::noOp;
    }
    bool needsRepair() const { return check == mediafmt::result::none; }
};

// The first track's Lumacode sample entry and its data reference index.
struct VideoDiagnosis {
    // Path of the LMCD entry; empty when the first track has none.
    std::string sampleEntry;
    std::uint16_t dataReferenceIndex = 0;
    RepairOutlook repair;

    bool needsRepair() const { return !sampleEntry.empty() && dataReferenceIndex != 1; }
};

struct Diagnosis {
    AudioDiagnosis audio;
    VideoDiagnosis video;
};

// Examines a parsed tree for both defects and plans each repair that is
// needed from the stream the tree was parsed from, exactly as boxmend would,
// without writing anything. Refusals get a reason derived from the tree and
// the stored bytes.
Diagnosis diagnose(mediafmt::io::Io* stream, mediafmt::mp4::File& tree);

// True when the audio tables have the defect or the video entry's index is
// not 1, whether or not boxmend can repair it.
bool needsRepair(const Diagnosis& diagnosis);

// True when some check or plan could not be completed (a missing box, a
// failed read): neither "nothing to repair" nor "repair needed" is known.
bool isTrouble(const Diagnosis& diagnosis);

} // namespace boxmend
