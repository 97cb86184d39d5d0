// Micro-benchmarks of the header work boxmend does: parsing a long
// recording's header, from memory and from a file, checking and planning the
// audio repair, and decoding and encoding the large tables.

#include "bench/LongRecording.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Tables.h"
#include "tool/repair/AudioRepair.h"
#include "tool/repair/ReadFingerprint.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace mediafmt;
namespace type = mediafmt::mp4::type;

// A recording held as its header alone: the media data between reads as zeros.
class SparseStream final : public io::Io {
public:
    explicit SparseStream(const bench::LongRecording& recording)
        : head_(recording.head), moov_(recording.moov), moovOffset_(recording.moovOffset),
          length_(recording.moovOffset + recording.moov.size()) {}

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override {
        const std::uint64_t got = position_ < length_ ? std::min(count, length_ - position_) : 0;
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::memset(out, 0, static_cast<std::size_t>(got));
        copy(head_, 0, out, got);
        copy(moov_, moovOffset_, out, got);
        position_ += got;
        bytesRead = got;
        return result::none;
    }
    [[nodiscard]] ResultCode write(const void*, std::uint64_t, std::uint64_t&) override {
        return result::invalidOperation;
    }
    [[nodiscard]] ResultCode seek(std::int64_t offset, io::SeekOrigin origin) override {
        const std::uint64_t from = origin == io::SeekOrigin::begin     ? 0
                                   : origin == io::SeekOrigin::current ? position_
                                                                       : length_;
        position_ = from + static_cast<std::uint64_t>(offset);
        return result::none;
    }
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override {
        position = position_;
        return result::none;
    }
    [[nodiscard]] ResultCode eof(bool& atEnd) override {
        atEnd = position_ >= length_;
        return result::none;
    }
    [[nodiscard]] ResultCode size(std::uint64_t& length) override {
        length = length_;
        return result::none;
    }

private:
    const std::vector<std::uint8_t>& head_;
    const std::vector<std::uint8_t>& moov_;
    std::uint64_t moovOffset_;
    std::uint64_t length_;
    std::uint64_t position_ = 0;

    void copy(const std::vector<std::uint8_t>& region, std::uint64_t at, std::uint8_t* out,
              std::uint64_t got) const {
        const std::uint64_t from = std::max(at, position_);
        const std::uint64_t to = std::min(at + region.size(), position_ + got);
        if (from < to)
            std::memcpy(out + (from - position_), region.data() + (from - at),
                        static_cast<std::size_t>(to - from));
    }
};

// Recordings by length in minutes, made once.
const bench::LongRecording& recording(std::int64_t minutes) {
    static std::map<std::int64_t, bench::LongRecording> made;
    auto found = made.find(minutes);
    if (found == made.end())
        found = made.emplace(minutes,
                             bench::makeLongRecording(static_cast<std::uint32_t>(minutes * 60)))
                    .first;
    return found->second;
}

// The recording written as a sparse file, removed at exit.
class SparseFile {
public:
    explicit SparseFile(const bench::LongRecording& recording)
        : path_((std::filesystem::temp_directory_path() /
                 ("boxmend-bench-" + std::to_string(recording.moov.size()) + ".mov"))
                    .string()) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        write(out, recording.head);
        out.seekp(static_cast<std::streamoff>(recording.moovOffset));
        write(out, recording.moov);
    }
    ~SparseFile() { std::remove(path_.c_str()); }
    SparseFile(const SparseFile&) = delete;
    SparseFile& operator=(const SparseFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;

    static void write(std::ofstream& out, const std::vector<std::uint8_t>& bytes) {
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

void countBytes(benchmark::State& state, std::uint64_t perIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(perIteration) * state.iterations());
}

void ParseFromMemory(benchmark::State& state) {
    const bench::LongRecording& made = recording(state.range(0));
    SparseStream stream(made);
    for (auto _ : state) {
        mp4::File tree;
        if (tree.parse(&stream) != 0)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(tree.children.data());
    }
    countBytes(state, made.moov.size());
}
BENCHMARK(ParseFromMemory)->Arg(10)->Arg(60)->Unit(benchmark::kMillisecond);

// Whether a parse through a fingerprint covers every block of the header
// whole, as putting it back after a failed repair needs.
bool headerFingerprinted(io::Io& stream, const bench::LongRecording& made) {
    boxmend::repair::ReadFingerprint fingerprint(stream);
    mp4::File tree;
    if (stream.seek(0, io::SeekOrigin::begin) != 0 || tree.parse(&fingerprint) != 0)
        return false;
    const std::uint64_t size = boxmend::repair::ReadFingerprint::blockSize;
    const std::uint64_t begin = made.moovOffset;
    const std::uint64_t end = begin + made.moov.size();
    for (std::uint64_t block = begin / size; block * size < end; ++block) {
        boxmend::repair::ReadFingerprint::Run run;
        if (!fingerprint.run(block, run) || run.begin > std::max(begin, block * size) ||
            run.end < std::min(end, block * size + size))
            return false;
    }
    return true;
}

void ParseFromFile(benchmark::State& state) {
    const bench::LongRecording& made = recording(state.range(0));
    SparseFile file(made);
    io::File stream;
    if (stream.open(file.path(), io::OpenMode::read) != 0) {
        state.SkipWithError("cannot open the file");
        return;
    }
    // With a second argument of 1, through the fingerprint a repair takes of
    // what it parses.
    const bool fingerprinted = state.range(1) != 0;
    for (auto _ : state) {
        mp4::File tree;
        boxmend::repair::ReadFingerprint fingerprint(stream);
        io::Io& source = fingerprinted ? static_cast<io::Io&>(fingerprint) : stream;
        if (stream.seek(0, io::SeekOrigin::begin) != 0 || tree.parse(&source) != 0)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(tree.children.data());
    }
    if (fingerprinted && !headerFingerprinted(stream, made))
        state.SkipWithError("a block of the header was not fingerprinted whole");
    countBytes(state, made.moov.size());
}
BENCHMARK(ParseFromFile)->ArgsProduct({{10, 60, 720}, {0, 1}})->Unit(benchmark::kMillisecond);

// The check and the planned audio rewrite on a parsed tree: both tables of
// the audio track encoded twice and the stored bytes compared once.
void CheckAndPlanAudioRepair(benchmark::State& state) {
    const bench::LongRecording& made = recording(state.range(0));
    SparseStream stream(made);
    for (auto _ : state) {
        state.PauseTiming();
        auto tree = std::make_unique<mp4::File>();
        if (tree->parse(&stream) != 0)
            state.SkipWithError("parse failed");
        state.ResumeTiming();
        boxmend::repair::AudioTables tables;
        boxmend::repair::RepairPlan plan;
        bool torn = false;
        if (!boxmend::repair::checkAudioTrack(*tree, tables, torn)
                 .is(boxmend::repair::PhaseState::needed) ||
            !boxmend::repair::planAudioRepair(tables, torn, stream, plan)
                 .is(boxmend::repair::PhaseState::planned))
            state.SkipWithError("no audio repair planned");
        benchmark::DoNotOptimize(plan.changes.data());
        state.PauseTiming();
        tree.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(CheckAndPlanAudioRepair)->Arg(10)->Arg(60)->Unit(benchmark::kMillisecond);

// n bytes of a pattern; a counted table's count leads them.
std::vector<std::uint8_t> patterned(std::uint64_t n, std::uint64_t count = 0) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    if (count != 0) {
        for (std::size_t i = 0; i < 4; ++i)
            bytes[i] = static_cast<std::uint8_t>(count >> (8 * (3 - i)));
    }
    return bytes;
}

// Decoded from a cache, as the parser reads a table.
template <typename Field> void decode(benchmark::State& state, std::vector<std::uint8_t> bytes) {
    const std::uint64_t n = bytes.size();
    io::Buffer source(std::move(bytes));
    io::CacheBuffer cache;
    if (cache.fill(&source, 0, n) != 0) {
        state.SkipWithError("fill failed");
        return;
    }
    Field field;
    for (auto _ : state) {
        if (cache.seek(0, io::SeekOrigin::begin) != 0 || field.read(&cache, n) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(field.elements.data());
    }
    countBytes(state, n);
}

void DecodeSampleSizes(benchmark::State& state) {
    decode<type::Uint32Array>(state, patterned(4 * static_cast<std::uint64_t>(state.range(0))));
}
BENCHMARK(DecodeSampleSizes)->Arg(1 << 20);

void DecodeChunkOffsets(benchmark::State& state) {
    decode<type::Uint64Array>(state, patterned(8 * static_cast<std::uint64_t>(state.range(0))));
}
BENCHMARK(DecodeChunkOffsets)->Arg(1 << 20);

void DecodeCompositionOffsets(benchmark::State& state) {
    const auto n = static_cast<std::uint64_t>(state.range(0));
    decode<type::CompositionOffsetTable>(state, patterned(4 + 8 * n, n));
}
BENCHMARK(DecodeCompositionOffsets)->Arg(1 << 20);

template <typename Field> void encode(benchmark::State& state, Field& field) {
    io::Buffer out;
    out.reserve(field.size());
    for (auto _ : state) {
        if (out.seek(0, io::SeekOrigin::begin) != 0 || field.write(&out) != 0)
            state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.bytes().data());
    }
    countBytes(state, field.size());
}

void EncodeChunkOffsets(benchmark::State& state) {
    type::Uint64Array field;
    field.elements.resize(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < field.elements.size(); ++i)
        field.elements[i] = 0x1000000000ull + i * 16384;
    encode(state, field);
}
BENCHMARK(EncodeChunkOffsets)->Arg(1 << 20);

void EncodeCompositionOffsets(benchmark::State& state) {
    type::CompositionOffsetTable field;
    field.elements.resize(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < field.elements.size(); ++i)
        field.elements[i] = {1, static_cast<std::uint32_t>(i % 4) * 1000};
    encode(state, field);
}
BENCHMARK(EncodeCompositionOffsets)->Arg(1 << 20);

// The fingerprint's checksum, a block at a time.
void BlockChecksum(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = patterned(64 * 1024 * 1024);
    const std::uint64_t block = boxmend::repair::ReadFingerprint::blockSize;
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += block)
            benchmark::DoNotOptimize(boxmend::repair::blockChecksum(bytes.data() + at, block));
    }
    countBytes(state, bytes.size());
}
BENCHMARK(BlockChecksum)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
