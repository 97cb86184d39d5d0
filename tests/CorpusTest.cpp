// Every input kept in the repository (the fuzz seeds: healthy and defective
// recordings, one for each reason a repair refuses or a step fails, odd
// layouts; and every input a fuzz run found a fault with) through the fuzz
// checks, then through both programs. What the programs print, their exit
// statuses and the bytes boxmend changes are compared with
// tests/expected/NAME.txt, as is which top-level boxes the library does not
// write back to their own bytes.
//
// With BOXMEND_UPDATE_EXPECTED set in the environment the expected files are
// written instead.

#include "fuzz/SafetyChecks.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "tests/support/Expected.h"
#include "tests/support/FaultyStream.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

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

// The runs of changed bytes, each with its new bytes.
std::string changes(const Bytes& before, const Bytes& after) {
    if (before.size() != after.size())
        return "the length changed to " + std::to_string(after.size()) + "\n";
    std::string text = "changed bytes:\n";
    for (std::size_t at = 0, end = 0; at < before.size(); at = std::max(at + 1, end)) {
        for (end = at; end < before.size() && before[end] != after[end];)
            ++end;
        if (end > at)
            text += "  at " + std::to_string(at) + ": " +
                    toHex(Bytes(after.begin() + static_cast<std::ptrdiff_t>(at),
                                after.begin() + static_cast<std::ptrdiff_t>(end))) +
                    "\n";
    }
    return text;
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

} // namespace

TEST(Corpus, NoKeptJournalMakesARunWriteWhatTheRepairWouldNot) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(fs::u8path(FUZZ_DIR) / "corpus" / "journal")) {
        SCOPED_TRACE(entry.path().string());
        ++count;
        const Bytes bytes = readFile(entry.path());
        EXPECT_EQ(fuzzcheck::checkJournal(bytes.data(), bytes.size()), "");
    }
    EXPECT_GT(count, 0u);
}

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
            actual += programRun(BOXDUMP_PATH, {"--json", path}, path);
            actual += programRun(BOXMEND_PATH, {path}, path);
            actual += changes(bytes, dir.read("input.mov"));
            expectFile(actual,
                       fs::u8path(EXPECTED_DIR) / (entry.path().filename().u8string() + ".txt"));
        }
    }
    EXPECT_GT(count, 60u);
}

// A field that claims an encoded size but writes nothing, so that the header
// of a box of 4 GiB can be checked without 4 GiB of memory.
class Claimed final : public mediafmt::mp4::type::Type {
public:
    explicit Claimed(std::uint64_t bytes) : bytes_(bytes) {}
    mediafmt::ResultCode write(mediafmt::io::Io*) const override { return 0; }
    mediafmt::ResultCode read(mediafmt::io::Io*, std::uint64_t) override { return 0; }
    std::uint64_t size() const override { return bytes_; }
    mediafmt::ResultCode print(mediafmt::io::Io*, std::uint32_t) const override { return 0; }

private:
    std::uint64_t bytes_;
};

TEST(Corpus, BoxesTakeA64BitSizeOnlyAboveThe32BitRange) {
    for (std::uint64_t total : {0xFFFFFFFFull, 0x100000000ull}) {
        Claimed field(total - 8);
        mediafmt::mp4::box::Box box;
        box.type.value = 0x66726565;
        box.addField(&field, "claimed");
        mediafmt::io::Buffer out;
        ASSERT_EQ(box.write(&out, true), 0u);
        EXPECT_EQ(toHex(out.bytes()),
                  total == 0xFFFFFFFF ? "ffffffff66726565" : "00000001667265650000000100000008");
        // The header's last write failing.
        FaultyStream failing(Bytes(16));
        failing.failAt(FaultyStream::Call::write, out.bytes().size() == 8 ? 2 : 3,
                       mediafmt::result::closeError);
        EXPECT_EQ(box.write(&failing, true), mediafmt::result::closeError);
    }
    auto child = std::make_shared<mediafmt::mp4::box::Box>();
    mediafmt::mp4::box::Box parent;
    ASSERT_EQ(parent.addChild(child), 0u);
    EXPECT_EQ(parent.insertChildAfter(nullptr, child), mediafmt::result::nullObject);
}

// Paths as find reads them, from the catalogue's root: each with the path of
// the box it finds, or nothing; and where list elements were read.
TEST(Corpus, PathsFindTheirBoxOrNothing) {
    mediafmt::io::Buffer stream(readFile(fs::u8path(FUZZ_DIR) / "corpus" / "repair" / "catalogue"));
    mediafmt::mp4::File root;
    ASSERT_EQ(root.parse(&stream), 0u);
    const std::pair<const char*, const char*> paths[] = {
        {"moov/trak[1]/mdia", "moov/trak[1]/mdia"},
        {"moov/trak[]x/mdia", "moov/trak/mdia"},
        {"moov/trak[ +2]", "moov/trak[2]"},
        {"moov/trak[1]/mdia/minf/stbl/stsd/in32/../..", "moov/trak[1]/mdia/minf/stbl"},
        {"moov/trak[3]", ""},
        {"moov/trak[-1]", ""},
        {"moov/trak[4294967296]", ""},
        {"moov/trak[1", ""},
        {"moov/trak]", ""},
        {"moov/trakk", ""},
        {"moov/..", ""},
        {"/moov", ""},
        {"moov//trak", ""},
    };
    for (const auto& [path, found] : paths)
        EXPECT_EQ(mediafmt::mp4::box::boxPath(root.find(path).get()), found) << path;
    EXPECT_EQ(root.find("moov", 1), nullptr);
    // Each brand of a list remembers where it was read.
    const auto brands = std::dynamic_pointer_cast<mediafmt::mp4::box::ftyp>(root.find("ftyp[1]"));
    ASSERT_NE(brands, nullptr);
    for (std::size_t i = 0; i < brands->compatibleBrands.elements.size(); ++i)
        EXPECT_EQ(brands->compatibleBrands.elements[i].offset, brands->offset + 16 + 4 * i);
}
