#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/InPlaceWrite.h"
#include "tool/repair/Tracks.h"

#include <memory>
#include <string>

namespace boxmend {

using mediafmt::ResultCode;

// The code of a step the run did not reach.
inline constexpr ResultCode notRun = 0xFFFFFFFF;

// How one step of a run ended: its result code and, when it refused or
// failed, why.
struct StepOutcome {
    ResultCode code = notRun;
    std::string reason;

    bool ran() const { return code != notRun; }
};

struct RunOutcome {
    StepOutcome parse;
    // 0 when the ambisonic track's tables have the defect, 1 when there is
    // nothing to repair in them.
    StepOutcome check;
    // Run only when the check found the defect: 0 when the repair was made
    // (or, planning only, can be made), 4 when it is refused.
    StepOutcome audio;
    // 0 when the Lumacode entry was corrected (or can be), 1 when there is
    // nothing to do, 4 when its repair is refused.
    StepOutcome video;
    // What the check found, the first track's Lumacode entry (empty when it
    // has none), and the write each repair makes.
    AudioTables audioTables;
    std::shared_ptr<mediafmt::mp4::box::VideoSampleDescriptionBox> videoEntry;
    RepairPlan audioPlan;
    RepairPlan videoPlan;
};

enum class RunMode {
    // Works out every repair and writes nothing.
    planOnly,
    // The program's run: a step runs only when the ones before it succeeded,
    // and each repair's write is flushed to the device before the next step.
    apply,
};

// Parses the stream into tree, checks the ambisonic audio track, plans its
// repair when the check found the defect and plans the repair of the first
// track's Lumacode entry; with apply, then writes each planned repair, the
// audio track first. Planning only, every step after a successful parse
// runs, whatever the others gave. The tree is left as parsed.
RunOutcome runRepairs(mediafmt::io::Io& stream, mediafmt::mp4::File& tree, RunMode mode);

} // namespace boxmend
