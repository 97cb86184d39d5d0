#pragma once

// Camera-like recordings built byte by byte: a video track with a Lumacode
// sample entry, an ambisonic 4-channel 32-bit PCM track, the camera's
// user-data boxes and real media data at the offsets the tables give.

#include "tests/support/BoxBuilder.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace testsupport {

// Bytes per PCM frame (4 channels of 32 bits) and frames per chunk.
inline constexpr std::uint32_t frameBytes = 16;
inline constexpr std::uint32_t framesPerChunk = 1024;
inline constexpr std::uint32_t chunkBytes = frameBytes * framesPerChunk;

// n values from first, each step more than the one before.
std::vector<std::uint32_t> sequence(std::uint32_t first, std::uint32_t step, std::uint32_t n);

Bytes sttsBox(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries);
Bytes stscBox(const std::vector<std::array<std::uint32_t, 3>>& entries);
Bytes stszBox(std::uint32_t sampleSize, std::uint32_t sampleCount,
              const std::vector<std::uint32_t>& sizes);
Bytes stcoBox(const std::vector<std::uint32_t>& offsets);
Bytes stsdBox(std::initializer_list<Bytes> entries);
// The ambisonic sample entry: 4 channels of 32-bit PCM at 48 kHz.
Bytes in32Entry();
// An 88-byte Lumacode entry; extra bytes are appended inside it.
Bytes lmcdEntry(std::uint16_t dataReferenceIndex, const Bytes& extra = {});
// A track around a sample table; handler is "vide" or "soun".
Bytes trakBox(std::uint32_t trackId, std::string_view handler, std::uint32_t timescale,
              std::uint32_t duration, const Bytes& stbl);

// A video track of three 64-byte frames at offsets 40, 104 and 168 whose
// sample description holds entry.
Bytes videoTrak(const Bytes& entry);

// The sample tables of the ambisonic track in the defective layout (one
// chunk-sized sample of duration 1024 per chunk) and as the repair leaves
// them, each built independently of the library.
Bytes defectiveAudioStbl(std::uint32_t chunks, const std::vector<std::uint32_t>& chunkOffsets);
Bytes repairedAudioStbl(std::uint32_t chunks, const std::vector<std::uint32_t>& chunkOffsets);

struct Recording {
    std::uint32_t audioChunks = 4;
    bool audioDefective = true;
    bool withAudio = true;
    bool withVideo = true;
    std::uint16_t videoDataReferenceIndex = 0;
    std::uint32_t videoFrames = 3;
};

// ftyp, mdat with the media, then moov with the video track, the audio
// track and the camera's user data.
Bytes cameraRecording(const Recording& recording = {});

// A camera recording with both defects, or with neither.
Bytes cameraRecording(bool defective, std::uint32_t audioChunks = 4);

// The deterministic big-endian PCM of cameraRecording's audio chunks.
Bytes pcmPattern(std::uint32_t chunks);

} // namespace testsupport
