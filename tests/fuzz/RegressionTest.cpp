// The checks of the fuzz targets, run in the ordinary suite on the inputs
// kept in the repository: the seed corpus, and every input with which a fuzz
// run found a fault.

#include "fuzz/SafetyChecks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using fuzzcheck::checkParse;
using fuzzcheck::checkRepair;
using fuzzcheck::notRun;
using fuzzcheck::RepairReport;
using fuzzcheck::RepairRun;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const fs::path fuzzDir = FUZZ_DIR;
// The seeds of each target, then the inputs fuzz runs found faults with.
const fs::path inputDirs[] = {fuzzDir / "corpus" / "parse", fuzzDir / "corpus" / "repair",
                              fuzzDir / "regressions"};

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file of the directory by name.
std::map<std::string, Bytes> filesIn(const fs::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = readFile(entry.path());
    }
    return files;
}

std::string describe(const RepairRun& run) {
    auto code = [](mediafmt::ResultCode rc) {
        return rc == notRun ? std::string("-") : std::to_string(rc);
    };
    return "parse " + code(run.parse) + ", check " + code(run.check) + ", audio " +
           code(run.audio) + ", video " + code(run.video);
}

} // namespace

TEST(FuzzInputs, EveryKeptInputKeepsEveryProperty) {
    for (const fs::path& inputs : inputDirs) {
        for (const auto& [name, bytes] : filesIn(inputs)) {
            SCOPED_TRACE((inputs / name).string());
            EXPECT_EQ(checkParse(bytes.data(), bytes.size()), "");
            EXPECT_EQ(checkRepair(bytes.data(), bytes.size()), "");
        }
    }
}

// The seeds reach the steps their names promise, so the fuzzer starts from
// every corner of the repair sequence: what a repair corrects, each reason it
// refuses, each step that fails.
TEST(FuzzInputs, SeedsReachTheOutcomesTheirNamesSay) {
    const std::map<std::string, std::string> expected = {
        {"healthy", "parse 0, check 1, audio -, video 1"},
        {"both-defects", "parse 0, check 0, audio 0, video 0"},
        {"audio-defect", "parse 0, check 0, audio 0, video 1"},
        {"audio-defect-constant-size", "parse 0, check 0, audio 0, video 1"},
        {"audio-third-track", "parse 0, check 0, audio 0, video 1"},
        {"video-defect-65535", "parse 0, check 1, audio -, video 0"},
        {"lumacode-with-extension", "parse 0, check 1, audio -, video 0"},
        {"refused-one-size", "parse 0, check 0, audio 4, video -"},
        {"refused-two-time-entries", "parse 0, check 0, audio 4, video -"},
        {"refused-total-overflow", "parse 0, check 0, audio 4, video -"},
        {"refused-long-header-in-stbl", "parse 0, check 0, audio 4, video -"},
        {"refused-short-lumacode", "parse 0, check 1, audio -, video 4"},
        {"check-no-moov", "parse 0, check 8, audio -, video -"},
        {"check-no-stsz", "parse 0, check 8, audio -, video -"},
        {"parse-version-2-header", "parse 8, check -, audio -, video -"},
        {"parse-child-smaller-than-header", "parse 14, check -, audio -, video -"},
        {"parse-child-past-loaded", "parse 15, check -, audio -, video -"},
        {"parse-nesting-refused", "parse 2, check -, audio -, video -"},
        {"nesting-deepest", "parse 0, check 1, audio -, video 1"},
        {"long-headers", "parse 0, check 0, audio 0, video 0"},
        {"media-size-zero-last", "parse 0, check 1, audio -, video 0"},
        {"media-size-beyond-any-disk", "parse 0, check 0, audio 0, video 0"},
        {"catalogue", "parse 0, check 0, audio 0, video 0"},
    };
    const auto seeds = filesIn(fuzzDir / "corpus" / "repair");
    for (const auto& [name, outcome] : expected) {
        SCOPED_TRACE(name);
        auto seed = seeds.find(name);
        ASSERT_NE(seed, seeds.end());
        RepairReport report;
        EXPECT_EQ(checkRepair(seed->second.data(), seed->second.size(), &report), "");
        EXPECT_EQ(describe(report.first), outcome);
    }
}
