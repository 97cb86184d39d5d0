#pragma once

// The header of a long camera recording, built byte by byte independently of
// the library: a 60 fps Lumacode video track with per-frame sizes,
// composition offsets, sync samples and 64-bit chunk offsets, and the 48 kHz
// 4-channel in32 ambisonic track in the defective layout (one 1024-frame
// sample per chunk, a size listed per chunk, 64-bit chunk offsets). Both
// defects are present. Only the header is built: the media data is a hole.

#include <cstdint>
#include <vector>

namespace bench {

struct LongRecording {
    // ftyp and the 16-byte mdat header, written at offset 0.
    std::vector<std::uint8_t> head;
    // Where moov goes: right after the media data.
    std::uint64_t moovOffset = 0;
    std::vector<std::uint8_t> moov;
};

// A recording of the given length in seconds (at most 64800, 18 hours, so
// every duration fits the 32-bit header fields).
LongRecording makeLongRecording(std::uint32_t seconds);

} // namespace bench
