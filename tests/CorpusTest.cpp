// Every input kept in the repository (the fuzz seeds: healthy and defective
// recordings, one for each reason a repair refuses or a step fails, odd
// layouts; and every input a fuzz run found a fault with) through the fuzz
// checks, then through both programs. What the programs print, their exit
// statuses and the bytes boxmend changes are compared with
// tests/expected/NAME.txt, as is which top-level boxes the library does not
// write back to their own bytes.
//
// With BOXMEND_UPDATE_EXPECTED set in the environment the expected files are
// written instead: for a deliberate change of output, to be reviewed in the
// diff before it is committed.

#include "fuzz/SafetyChecks.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "tests/support/Bytes.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The output with the file's path replaced by FILE, so that it does not
// depend on where the test runs.
std::string anonymous(std::string text, const std::string& path) {
    for (std::size_t at; (at = text.find(path)) != std::string::npos;)
        text.replace(at, path.size(), "FILE");
    return text;
}

std::string programRun(const std::string& program, const std::vector<std::string>& args,
                       const std::string& path) {
    const ProcessResult run = runProcess(program, args);
    std::string text = "$ " + fs::path(program).stem().string();
    for (const std::string& arg : args)
        text += " " + arg;
    text += "\nstatus " + std::to_string(run.status) + "\n" + run.out;
    if (!run.err.empty())
        text += "stderr:\n" + run.err;
    return anonymous(text, path);
}

// boxdump --json without the file's name.
std::string jsonRun(const std::string& path) {
    const ProcessResult run = runProcess(BOXDUMP_PATH, {"--json", path});
    nlohmann::ordered_json document = nlohmann::ordered_json::parse(run.out, nullptr, false);
    if (document.is_discarded())
        return "$ boxdump --json FILE\nnot JSON:\n" + run.out;
    document.erase("file");
    return anonymous("$ boxdump --json FILE\n" + document.dump(1) + "\n", path);
}

// The runs of changed bytes, each with its new bytes, 32 to a line.
std::string changes(const Bytes& before, const Bytes& after) {
    if (before.size() != after.size())
        return "length changed from " + std::to_string(before.size()) + " to " +
               std::to_string(after.size()) + "\n";
    std::string text = "changed bytes:";
    for (std::size_t at = 0; at < before.size();) {
        if (before[at] == after[at]) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < before.size() && before[end] != after[end])
            ++end;
        text += "\n  " + std::to_string(end - at) + " at " + std::to_string(at) + ":";
        for (std::size_t line = at; line < end; line += 32)
            text +=
                "\n    " +
                toHex(Bytes(after.begin() + static_cast<std::ptrdiff_t>(line),
                            after.begin() + static_cast<std::ptrdiff_t>(std::min(end, line + 32))));
        at = end;
    }
    return text == "changed bytes:" ? "no byte changed\n" : text + "\n";
}

// The top-level boxes of a successful parse that do not write back to the
// bytes they were read from (media data writes only its header).
std::string writeBack(const Bytes& bytes) {
    mediafmt::io::Buffer stream(bytes);
    mediafmt::mp4::File root;
    if (root.parse(&stream) != 0)
        return "";
    std::string text;
    for (const auto& top : root.children) {
        mediafmt::io::Buffer out;
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(top->offset);
        if (top->type.text() != "mdat" &&
            (top->write(&out, true) != 0 ||
             out.bytes() != Bytes(begin, begin + static_cast<std::ptrdiff_t>(top->recordedSize))))
            text += "writes back other bytes: " + top->type.text() + " at " +
                    std::to_string(top->offset) + "\n";
    }
    return text;
}

void compareWithExpected(const std::string& actual, const std::string& name) {
    const fs::path path = fs::u8path(EXPECTED_DIR) / (name + ".txt");
    if (std::getenv("BOXMEND_UPDATE_EXPECTED") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    const Bytes expected = readFile(path);
    EXPECT_EQ(actual, std::string(expected.begin(), expected.end())) << "differs from " << path;
}

} // namespace

TEST(Corpus, EveryKeptInputKeepsTheFuzzPropertiesAndEndsAsExpected) {
    const fs::path fuzz = fs::u8path(FUZZ_DIR);
    std::size_t count = 0;
    for (const fs::path& inputs :
         {fuzz / "corpus" / "parse", fuzz / "corpus" / "repair", fuzz / "regressions"}) {
        for (const auto& entry : fs::directory_iterator(inputs)) {
            SCOPED_TRACE(entry.path().string());
            ++count;
            const Bytes bytes = readFile(entry.path());
            EXPECT_EQ(fuzzcheck::checkParse(bytes.data(), bytes.size()), "");
            EXPECT_EQ(fuzzcheck::checkRepair(bytes.data(), bytes.size()), "");

            TempDir dir;
            const std::string path = dir.write("input.mov", bytes);
            std::string actual = writeBack(bytes);
            actual += programRun(BOXDUMP_PATH, {path}, path);
            actual += jsonRun(path);
            actual += programRun(BOXMEND_PATH, {path}, path);
            actual += changes(bytes, dir.read("input.mov"));
            compareWithExpected(actual, entry.path().filename().u8string());
        }
    }
    EXPECT_GT(count, 60u);
}
