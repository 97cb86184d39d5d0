#include "bench/LongRecording.h"

#include <cstddef>
#include <string_view>

namespace bench {

namespace {

constexpr std::uint32_t framesPerSecond = 60;
constexpr std::uint32_t videoTimescale = 60000;
constexpr std::uint32_t frameDuration = videoTimescale / framesPerSecond;
constexpr std::uint32_t framesPerKeyframe = 60;
constexpr std::uint32_t audioRate = 48000;
constexpr std::uint32_t framesPerChunk = 1024;
constexpr std::uint32_t audioChunkBytes = 16 * framesPerChunk;
constexpr std::uint32_t movieTimescale = 1000;

// Appends big-endian values and boxes whose sizes are patched when they close.
class Writer {
public:
    std::vector<std::uint8_t> bytes;

    void u8(std::uint32_t value) { bytes.push_back(static_cast<std::uint8_t>(value)); }
    void u16(std::uint32_t value) { be(value, 2); }
    void u32(std::uint64_t value) { be(value, 4); }
    void u64(std::uint64_t value) { be(value, 8); }
    void zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void text(std::string_view chars) { bytes.insert(bytes.end(), chars.begin(), chars.end()); }

    void open(std::string_view code) {
        starts_.push_back(bytes.size());
        u32(0);
        text(code);
    }
    void openFull(std::string_view code, std::uint32_t flags = 0) {
        open(code);
        u8(0);
        be(flags, 3);
    }
    void close() {
        const std::size_t start = starts_.back();
        starts_.pop_back();
        const std::uint64_t size = bytes.size() - start;
        for (std::size_t i = 0; i < 4; ++i)
            bytes[start + i] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
    }

private:
    std::vector<std::size_t> starts_;

    void be(std::uint64_t value, std::uint32_t n) {
        for (std::uint32_t i = 0; i < n; ++i)
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * (n - 1 - i))));
    }
};

void matrix(Writer& w) {
    for (std::uint32_t value : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
        w.u32(value);
}

// A fixed date, so that every run makes the same bytes.
constexpr std::uint32_t created = 3786912000u;

void mvhd(Writer& w, std::uint32_t duration) {
    w.openFull("mvhd");
    w.u32(created);
    w.u32(created);
    w.u32(movieTimescale);
    w.u32(duration);
    w.u32(0x10000);
    w.u16(0x100);
    w.zeros(10);
    matrix(w);
    w.zeros(24);
    w.u32(3);
    w.close();
}

void trackHead(Writer& w, std::uint32_t trackId, std::uint32_t movieDuration, bool audio) {
    w.openFull("tkhd", 0xF);
    w.u32(created);
    w.u32(created);
    w.u32(trackId);
    w.u32(0);
    w.u32(movieDuration);
    w.zeros(8);
    w.u16(0);
    w.u16(audio ? 1 : 0);
    w.u16(audio ? 0x100 : 0);
    w.u16(0);
    matrix(w);
    w.u32(audio ? 0 : 3840u << 16);
    w.u32(audio ? 0 : 2160u << 16);
    w.close();
}

void mediaHead(Writer& w, std::uint32_t timescale, std::uint32_t duration) {
    w.openFull("mdhd");
    w.u32(created);
    w.u32(created);
    w.u32(timescale);
    w.u32(duration);
    w.u16(0x55C4);
    w.u16(0);
    w.close();
}

void handler(Writer& w, std::string_view type, std::string_view name) {
    w.openFull("hdlr");
    w.text("mhlr");
    w.text(type);
    w.zeros(12);
    w.u8(static_cast<std::uint32_t>(name.size()));
    w.text(name);
    w.close();
}

void dataInformation(Writer& w) {
    w.open("dinf");
    w.openFull("dref");
    w.u32(1);
    w.openFull("url ", 1);
    w.close();
    w.close();
    w.close();
}

// The Lumacode entry with the defective data reference index 0.
void lumacodeEntry(Writer& w) {
    w.open("LMCD");
    w.zeros(6);
    w.u16(0);
    w.u16(0);
    w.u16(0);
    w.text("CAMR");
    w.u32(0);
    w.u32(512);
    w.u16(3840);
    w.u16(2160);
    w.u32(72u << 16);
    w.u32(72u << 16);
    w.u32(0);
    w.u16(1);
    w.u8(8);
    w.text("Lumacode");
    w.zeros(23);
    w.u16(24);
    w.u16(0xFFFF);
    w.u16(0);
    w.close();
}

void ambisonicEntry(Writer& w) {
    w.open("in32");
    w.zeros(6);
    w.u16(1);
    w.u16(0);
    w.u16(0);
    w.u32(0);
    w.u16(4);
    w.u16(32);
    w.u16(0);
    w.u16(0);
    w.u32(std::uint64_t{audioRate} << 16);
    w.close();
}

void chunkOffsets(Writer& w, const std::vector<std::uint64_t>& offsets) {
    w.openFull("co64");
    w.u32(offsets.size());
    for (std::uint64_t offset : offsets)
        w.u64(offset);
    w.close();
}

// One chunk per sample, the whole table.
void onePerChunk(Writer& w) {
    w.openFull("stsc");
    w.u32(1);
    w.u32(1);
    w.u32(1);
    w.u32(1);
    w.close();
}

void videoTables(Writer& w, const std::vector<std::uint32_t>& sizes,
                 const std::vector<std::uint64_t>& offsets) {
    const auto frames = static_cast<std::uint32_t>(sizes.size());
    w.open("stbl");
    w.openFull("stsd");
    w.u32(1);
    lumacodeEntry(w);
    w.close();

    w.openFull("stts");
    w.u32(1);
    w.u32(frames);
    w.u32(frameDuration);
    w.close();

    // Groups of I, P, B, B in decoding order: the two B frames share an
    // offset, so a group takes three entries.
    constexpr std::uint32_t pattern[] = {1, 3, 0, 0};
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const std::uint32_t offset = pattern[i % 4] * frameDuration;
        if (!runs.empty() && runs.back().second == offset)
            ++runs.back().first;
        else
            runs.emplace_back(1, offset);
    }
    w.openFull("ctts");
    w.u32(runs.size());
    for (const auto& [count, offset] : runs) {
        w.u32(count);
        w.u32(offset);
    }
    w.close();

    w.openFull("stss");
    w.u32((frames + framesPerKeyframe - 1) / framesPerKeyframe);
    for (std::uint32_t i = 0; i < frames; i += framesPerKeyframe)
        w.u32(i + 1);
    w.close();

    onePerChunk(w);

    w.openFull("stsz");
    w.u32(0);
    w.u32(frames);
    for (std::uint32_t size : sizes)
        w.u32(size);
    w.close();

    chunkOffsets(w, offsets);
    w.close();
}

void audioTables(Writer& w, const std::vector<std::uint64_t>& offsets) {
    const auto chunks = static_cast<std::uint32_t>(offsets.size());
    w.open("stbl");
    w.openFull("stsd");
    w.u32(1);
    ambisonicEntry(w);
    w.close();

    // The defect: each chunk one sample lasting 1024 time units.
    w.openFull("stts");
    w.u32(1);
    w.u32(chunks);
    w.u32(framesPerChunk);
    w.close();

    onePerChunk(w);

    w.openFull("stsz");
    w.u32(0);
    w.u32(chunks);
    for (std::uint32_t i = 0; i < chunks; ++i)
        w.u32(audioChunkBytes);
    w.close();

    chunkOffsets(w, offsets);
    w.close();
}

void track(Writer& w, std::uint32_t trackId, bool audio, std::uint32_t seconds,
           const std::vector<std::uint32_t>& sizes, const std::vector<std::uint64_t>& offsets) {
    const std::uint32_t timescale = audio ? audioRate : videoTimescale;
    w.open("trak");
    trackHead(w, trackId, seconds * movieTimescale, audio);
    if (!audio) {
        w.open("edts");
        w.openFull("elst");
        w.u32(1);
        w.u32(seconds * movieTimescale);
        w.u32(0);
        w.u16(1);
        w.u16(0);
        w.close();
        w.close();
    }
    w.open("mdia");
    mediaHead(w, timescale, seconds * timescale);
    handler(w, audio ? "soun" : "vide", audio ? "SoundHandler" : "VideoHandler");
    w.open("minf");
    if (audio) {
        w.openFull("smhd");
        w.zeros(4);
        w.close();
    } else {
        w.openFull("vmhd", 1);
        w.zeros(8);
        w.close();
    }
    dataInformation(w);
    if (audio)
        audioTables(w, offsets);
    else
        videoTables(w, sizes, offsets);
    w.close();
    w.close();
    w.close();
}

void userData(Writer& w) {
    w.open("udta");
    w.open("BLDV");
    w.text("v1.2.3-build");
    w.u8(0);
    w.close();
    w.open("UQID");
    for (std::uint32_t i = 0; i < 16; ++i)
        w.u8(i * 0x11);
    w.close();
    w.open("MRKS");
    w.u32(2);
    w.u32(1000);
    w.u32(2000);
    w.close();
    w.close();
}

} // namespace

LongRecording makeLongRecording(std::uint32_t seconds) {
    const std::uint32_t frames = seconds * framesPerSecond;
    const std::uint32_t chunks =
        static_cast<std::uint32_t>(std::uint64_t{seconds} * audioRate / framesPerChunk);

    Writer head;
    head.open("ftyp");
    head.text("qt  ");
    head.u32(0x20050300);
    head.text("qt  ");
    head.close();
    const std::uint64_t mdatOffset = head.bytes.size();
    const std::uint64_t mediaStart = mdatOffset + 16;

    // Frame sizes of a plausible bit rate, from a fixed pseudo-random sequence.
    std::vector<std::uint32_t> frameSizes(frames);
    std::uint32_t state = 0x12345678;
    for (std::uint32_t i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        frameSizes[i] = (i % framesPerKeyframe == 0 ? 350000u : 70000u) + (state >> 17);
    }

    // Video frames and audio chunks interleaved in time order, each its own chunk.
    std::vector<std::uint64_t> frameOffsets(frames);
    std::vector<std::uint64_t> audioOffsets(chunks);
    std::uint64_t at = mediaStart;
    std::uint32_t frame = 0;
    std::uint32_t chunk = 0;
    while (frame < frames || chunk < chunks) {
        // Start times compared as frame / 60 against chunk * 1024 / 48000.
        const bool videoFirst =
            chunk == chunks ||
            (frame < frames && std::uint64_t{frame} * audioRate <=
                                   std::uint64_t{chunk} * framesPerChunk * framesPerSecond);
        if (videoFirst) {
            frameOffsets[frame] = at;
            at += frameSizes[frame++];
        } else {
            audioOffsets[chunk++] = at;
            at += audioChunkBytes;
        }
    }

    // The media data needs the 64-bit size form.
    head.u32(1);
    head.text("mdat");
    head.u64(at - mdatOffset);

    Writer moov;
    moov.open("moov");
    mvhd(moov, seconds * movieTimescale);
    track(moov, 1, false, seconds, frameSizes, frameOffsets);
    track(moov, 2, true, seconds, {}, audioOffsets);
    userData(moov);
    moov.close();

    return {std::move(head.bytes), at, std::move(moov.bytes)};
}

} // namespace bench
