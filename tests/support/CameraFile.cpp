#include "tests/support/CameraFile.h"

#include <algorithm>

namespace testsupport {

namespace {

constexpr std::uint32_t audioRate = 48000;
constexpr std::uint32_t videoTimescale = 30000;
constexpr std::uint32_t frameDuration = 1001;
constexpr std::uint32_t videoFrameBytes = 64;
constexpr std::uint32_t movieTimescale = 1000;

// A track's duration in the movie's timescale, as its header and the movie
// header give it.
std::uint32_t inMovieTime(std::uint32_t duration, std::uint32_t timescale) {
    return static_cast<std::uint32_t>(std::uint64_t{duration} * movieTimescale / timescale);
}

Bytes identityMatrix() {
    return concat({u32(0x10000), u32(0), u32(0), u32(0), u32(0x10000), u32(0), u32(0), u32(0),
                   u32(0x40000000)});
}

Bytes mvhdBox(std::uint32_t duration) {
    return fullBox("mvhd", 0, 0,
                   {u32(3786912000), u32(3786912000), u32(movieTimescale), u32(duration),
                    u32(0x10000), u16(0x100), zeros(10), identityMatrix(), u32(0), u32(0), u32(0),
                    u32(0), u32(0), u32(0), u32(3)});
}

Bytes tkhdBox(std::uint32_t trackId, std::uint32_t duration, bool audio) {
    return fullBox("tkhd", 0, 0xF,
                   {u32(3786912000), u32(3786912000), u32(trackId), u32(0), u32(duration), zeros(8),
                    u16(0), u16(audio ? 1 : 0), u16(audio ? 0x100 : 0), u16(0), identityMatrix(),
                    u32(audio ? 0 : 3840u << 16), u32(audio ? 0 : 1920u << 16)});
}

Bytes udtaBox() {
    return box("udta",
               {box("BLDV", {text("v1.2.3-build"), u8(0)}),
                box("UQID", {hex("00112233445566778899aabbccddeeff")}),
                box("MRKS", {u32(2), u32(1000), u32(2000)}), box("TELM", {hex("0102030405")})});
}

} // namespace

std::vector<std::uint32_t> sequence(std::uint32_t first, std::uint32_t step, std::uint32_t n) {
    std::vector<std::uint32_t> values;
    for (std::uint32_t i = 0; i < n; ++i)
        values.push_back(first + i * step);
    return values;
}

Bytes sttsBox(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
    Bytes body = u32(entries.size());
    for (const auto& [count, delta] : entries)
        body = concat({body, u32(count), u32(delta)});
    return fullBox("stts", 0, 0, {body});
}

Bytes stscBox(const std::vector<std::array<std::uint32_t, 3>>& entries) {
    Bytes body = u32(entries.size());
    for (const auto& entry : entries)
        body = concat({body, u32(entry[0]), u32(entry[1]), u32(entry[2])});
    return fullBox("stsc", 0, 0, {body});
}

Bytes stszBox(std::uint32_t sampleSize, std::uint32_t sampleCount,
              const std::vector<std::uint32_t>& sizes) {
    Bytes body = concat({u32(sampleSize), u32(sampleCount)});
    for (std::uint32_t size : sizes)
        body = concat({body, u32(size)});
    return fullBox("stsz", 0, 0, {body});
}

Bytes stcoBox(const std::vector<std::uint32_t>& offsets) {
    Bytes body = u32(offsets.size());
    for (std::uint32_t offset : offsets)
        body = concat({body, u32(offset)});
    return fullBox("stco", 0, 0, {body});
}

Bytes stsdBox(std::initializer_list<Bytes> entries) {
    return fullBox("stsd", 0, 0, {u32(entries.size()), concat(entries)});
}

Bytes in32Entry() {
    return box("in32", {zeros(6), u16(1), u16(0), u16(0), u32(0), u16(4), u16(32), u16(0), u16(0),
                        u32(audioRate << 16)});
}

Bytes lmcdEntry(std::uint16_t dataReferenceIndex, const Bytes& extra) {
    Bytes compressorName = concat({u8(8), text("Lumacode"), zeros(23)});
    return box("LMCD", {zeros(6), u16(dataReferenceIndex), u16(0), u16(0), text("CAMR"), u32(0),
                        u32(512), u16(3840), u16(1920), u32(72u << 16), u32(72u << 16), u32(0),
                        u16(1), compressorName, u16(24), u16(0xFFFF), u16(0), extra});
}

Bytes trakBox(std::uint32_t trackId, std::string_view handler, std::uint32_t timescale,
              std::uint32_t duration, const Bytes& stbl) {
    const bool audio = handler == "soun";
    Bytes mediaHeader = audio ? box("smhd", {zeros(8)}) : box("vmhd", {u32(1), zeros(8)});
    Bytes dinf = box("dinf", {fullBox("dref", 0, 0, {u32(1), fullBox("url ", 0, 1)})});
    Bytes name = concat({u8(12), text(audio ? "SoundHandler" : "VideoHandler")});
    return box("trak",
               {tkhdBox(trackId, inMovieTime(duration, timescale), audio),
                box("mdia", {fullBox("mdhd", 0, 0,
                                     {u32(3786912000), u32(3786912000), u32(timescale),
                                      u32(duration), u16(0x55C4), u16(0)}),
                             fullBox("hdlr", 0, 0, {text("mhlr"), text(handler), zeros(12), name}),
                             box("minf", {mediaHeader, dinf, stbl})})});
}

Bytes videoTrak(const Bytes& entry) {
    return trakBox(1, "vide", 30000, 3003,
                   box("stbl", {stsdBox({entry}), sttsBox({{3, 1001}}), stscBox({{1, 1, 1}}),
                                stszBox(0, 3, {64, 64, 64}), stcoBox({40, 104, 168})}));
}

Bytes defectiveAudioStbl(std::uint32_t chunks, const std::vector<std::uint32_t>& chunkOffsets) {
    return box("stbl",
               {stsdBox({in32Entry()}), sttsBox({{chunks, framesPerChunk}}), stscBox({{1, 1, 1}}),
                stszBox(0, chunks, std::vector<std::uint32_t>(chunks, chunkBytes)),
                stcoBox(chunkOffsets)});
}

Bytes repairedAudioStbl(std::uint32_t chunks, const std::vector<std::uint32_t>& chunkOffsets) {
    // The size list gives up 4 bytes per entry; a free box takes them.
    Bytes filler;
    if (chunks >= 2)
        filler = box("free", {zeros(4 * chunks - 8)});
    return box("stbl",
               {stsdBox({in32Entry()}), sttsBox({{chunks * framesPerChunk, 1}}),
                stscBox({{1, framesPerChunk, 1}}), stszBox(frameBytes, chunks * framesPerChunk, {}),
                filler, stcoBox(chunkOffsets)});
}

Bytes pcmPattern(std::uint32_t chunks) {
    Bytes pcm(static_cast<std::size_t>(chunks) * chunkBytes);
    std::uint32_t state = 0x12345678;
    for (auto& byte : pcm) {
        state = state * 1664525 + 1013904223;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return pcm;
}

Bytes cameraRecording(const Recording& recording) {
    const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});
    const std::uint32_t chunks = recording.audioChunks;

    // The media: video frames first, then the audio chunks.
    Bytes media;
    const auto mediaStart = static_cast<std::uint32_t>(ftyp.size() + 8);
    std::vector<std::uint32_t> frameOffsets;
    if (recording.withVideo) {
        frameOffsets = sequence(mediaStart, videoFrameBytes, recording.videoFrames);
        for (std::uint32_t i = 0; i < recording.videoFrames; ++i)
            media = concat({media, Bytes(videoFrameBytes, static_cast<std::uint8_t>(0xA0 + i))});
    }
    std::vector<std::uint32_t> chunkOffsets;
    if (recording.withAudio) {
        chunkOffsets =
            sequence(static_cast<std::uint32_t>(mediaStart + media.size()), chunkBytes, chunks);
        media = concat({media, pcmPattern(chunks)});
    }

    // The movie lasts as long as its longest track: players skip a track far
    // shorter than the movie as a preview image.
    Bytes traks;
    std::uint32_t movieDuration = 0;
    if (recording.withVideo) {
        const std::uint32_t frames = recording.videoFrames;
        Bytes stbl =
            box("stbl", {stsdBox({lmcdEntry(recording.videoDataReferenceIndex)}),
                         sttsBox({{frames, frameDuration}}), stscBox({{1, 1, 1}}),
                         stszBox(0, frames, std::vector<std::uint32_t>(frames, videoFrameBytes)),
                         stcoBox(frameOffsets)});
        traks = concat({traks, trakBox(1, "vide", videoTimescale, frames * frameDuration, stbl)});
        movieDuration = inMovieTime(frames * frameDuration, videoTimescale);
    }
    if (recording.withAudio) {
        Bytes stbl = recording.audioDefective ? defectiveAudioStbl(chunks, chunkOffsets)
                                              : repairedAudioStbl(chunks, chunkOffsets);
        traks = concat({traks, trakBox(2, "soun", audioRate, chunks * framesPerChunk, stbl)});
        movieDuration = std::max(movieDuration, inMovieTime(chunks * framesPerChunk, audioRate));
    }
    const Bytes moov = box("moov", {mvhdBox(movieDuration), traks, udtaBox()});
    return concat({ftyp, box("mdat", {media}), moov});
}

Bytes cameraRecording(bool defective, std::uint32_t audioChunks) {
    Recording recording;
    recording.audioChunks = audioChunks;
    recording.audioDefective = defective;
    recording.videoDataReferenceIndex = defective ? 0 : 1;
    return cameraRecording(recording);
}

} // namespace testsupport
