#pragma once

#include "mediafmt/ResultCode.h"

#include <string>

namespace boxmend::message {

// The lines boxmend prints, each defined here once; boxdump repeats some of
// them for the trouble it meets.

inline constexpr const char* audioCorrected =
    "Corrected error in Ambisonic Audio Track Format Header";
inline constexpr const char* videoCorrected =
    "Corrected error in Lumacode Video Track Format Header";
inline constexpr const char* videoFine = "No issues found in Lumacode Video Track";

// The steps a failure line names.
inline constexpr const char* opening = "opening file";
inline constexpr const char* parsing = "parsing file";
inline constexpr const char* checkingAudio = "checking audio track";
inline constexpr const char* repairingAudio = "repairing audio track";

// "error N (text) STEP NAME", the code as a signed decimal.
std::string failure(mediafmt::ResultCode code, const char* step, const std::string& fileName);

// A failed video repair names the file, not the code.
std::string videoFailure(const std::string& fileName);

} // namespace boxmend::message
