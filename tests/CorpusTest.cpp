// Every input kept in the repository (the fuzz seeds: healthy and defective
// recordings, one for each reason a repair refuses or a step fails, odd
// layouts; and every input a fuzz run found a fault with) through the fuzz
// checks, then through both programs. tests/corpus-outcomes.json says for each
// why it is kept ("about") and what matters about how it ends: boxmend's
// status and lines; the bytes it changes, one line per box of the file as it
// was, each run as its offset from the box's start and its new bytes in hex
// ("moov/trak/mdia/minf/stbl/stsc at 537: +22 0400"); boxdump's status and
// verdict; the top-level boxes the library does not write back to their own
// bytes, where there are any; and for a few, a whole listing kept in
// tests/golden/. Each difference fails on its own, naming the input and the
// fact; an input without an entry fails with the entry it would have.

#include "fuzz/SafetyChecks.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "tests/support/Expected.h"
#include "tests/support/FaultyStream.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <tuple>

using namespace testsupport;
namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using mediafmt::mp4::box::Box;

namespace {

// The lines of a run's output, then those of its errors.
Json lines(const std::string& out, const std::string& err) {
    Json said = Json::array();
    std::istringstream in(out), errors(err);
    for (std::string line; std::getline(in, line);)
        said.push_back(line);
    for (std::string line; std::getline(errors, line);)
        said.push_back("stderr: " + line);
    return said;
}

// What boxdump concludes: the result of its diagnosis and the lines that say
// why a check or a repair cannot be made, then its errors.
Json verdict(const std::string& out, const std::string& err) {
    static const std::regex kept("^(result:|cannot be checked|left half-written|stderr:)|refuse:");
    Json said = Json::array();
    for (std::string line :
         lines(out.substr(std::min(out.find("\ndiagnosis\n"), out.size())), err)) {
        line.erase(0, line.find_first_not_of(' '));
        if (std::regex_search(line, kept))
            said.push_back(line);
    }
    return said;
}

// The deepest box of the tree that holds the bytes [at, end).
const Box* holder(const Box* box, std::uint64_t at, std::uint64_t end) {
    for (const auto& child : box->children)
        if (child->offset <= at && end <= child->offset + child->recordedSize)
            return holder(child.get(), at, end);
    return box;
}

// The runs of changed bytes, each with its new bytes, grouped by the box of
// the file as it was (root) that holds them, at offsets from the box's start.
Json changes(const Box& root, const Bytes& before, const Bytes& after) {
    if (before.size() != after.size())
        return Json::array({"the length changed to " + std::to_string(after.size())});
    Json text = Json::array();
    const Box* last = nullptr;
    for (std::size_t at = 0, end = 0; at < before.size(); at = std::max(at + 1, end)) {
        for (end = at; end < before.size() && before[end] != after[end];)
            ++end;
        if (end == at)
            continue;
        const Box* box = holder(&root, at, end);
        const std::string run = "+" + std::to_string(at - box->offset) + " " +
                                toHex(Bytes(after.begin() + static_cast<std::ptrdiff_t>(at),
                                            after.begin() + static_cast<std::ptrdiff_t>(end)));
        if (box == last)
            text.back() = text.back().get<std::string>() + ", " + run;
        else
            text.push_back((box == &root ? std::string("file")
                                         : mediafmt::mp4::box::boxPath(box) + " at " +
                                               std::to_string(box->offset)) +
                           ": " + run);
        last = box;
    }
    return text;
}

// The top-level boxes of a successful parse that do not write back to the
// bytes they were read from (media data writes only its header).
Json writeBack(const Box& root, const Bytes& bytes) {
    Json boxes = Json::array();
    for (const auto& top : root.children) {
        mediafmt::io::Buffer out;
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(top->offset);
        if (top->type.text() != "mdat" &&
            (top->write(&out, true) != 0 ||
             out.bytes() != Bytes(begin, begin + static_cast<std::ptrdiff_t>(top->recordedSize))))
            boxes.push_back(top->type.text() + " at " + std::to_string(top->offset));
    }
    return boxes;
}

// Each fact of the entry that the outcome does not match fails on its own;
// of two lists, only the items that differ are shown.
void expectFacts(const std::string& name, const Json& actual, const Json& entry) {
    Json keys = entry;
    keys.update(actual);
    for (const auto& [key, unused] : keys.items()) {
        Json is = actual.value(key, Json()), was = entry.value(key, Json());
        if (key == "about" || key == "listing" || is == was)
            continue;
        std::string note;
        if (is.is_array() && was.is_array()) {
            Json added = Json::array(), gone = Json::array();
            for (const Json& item : is)
                if (std::find(was.begin(), was.end(), item) == was.end())
                    added.push_back(item);
            for (const Json& item : was)
                if (std::find(is.begin(), is.end(), item) == is.end())
                    gone.push_back(item);
            if (!added.empty() || !gone.empty())
                std::tie(is, was, note) = std::tuple(added, gone, " (the items that differ)");
        }
        ADD_FAILURE() << name << ": " << key << " " << (is.is_null() ? "nothing" : is.dump())
                      << ", expected " << (was.is_null() ? "nothing" : was.dump()) << note;
    }
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

TEST(Corpus, EveryKeptInputEndsAsItsEntrySays) {
    const Bytes file = readFile(fs::u8path(CORPUS_OUTCOMES));
    const Json entries = Json::parse(file.begin(), file.end(), nullptr, false);
    ASSERT_TRUE(entries.is_object()) << CORPUS_OUTCOMES << " is not a JSON object";
    const fs::path fuzz = fs::u8path(FUZZ_DIR);
    std::map<std::string, Bytes> ran;
    for (const fs::path& inputs :
         {fuzz / "corpus" / "parse", fuzz / "corpus" / "repair", fuzz / "regressions"}) {
        for (const auto& input : fs::directory_iterator(inputs)) {
            const std::string name = input.path().filename().u8string();
            const Bytes bytes = readFile(input.path());
            // Each fuzz target keeps its own copy of a seed.
            if (const auto seen = ran.find(name); seen != ran.end() && seen->second == bytes)
                continue;
            ran[name] = bytes;

            EXPECT_EQ(fuzzcheck::checkParse(bytes.data(), bytes.size()), "") << name;
            EXPECT_EQ(fuzzcheck::checkRepair(bytes.data(), bytes.size()), "") << name;
            mediafmt::io::Buffer stream(bytes);
            mediafmt::mp4::File root;
            const bool parsed = root.parse(&stream) == 0;
            TempDir dir;
            const std::string path = dir.write("input.mov", bytes);
            const ProcessResult listing = runProcess(BOXDUMP_PATH, {path});
            const ProcessResult json = runProcess(BOXDUMP_PATH, {"--json", path});
            const ProcessResult mend = runProcess(BOXMEND_PATH, {path});
            Json actual;
            actual["boxmend status"] = mend.status;
            actual["boxmend says"] = lines(anonymous(mend.out, path), anonymous(mend.err, path));
            // A tree cut short by a failure still places the bytes it holds.
            actual["changes"] = changes(root, bytes, dir.read("input.mov"));
            actual["boxdump status"] = listing.status;
            actual["boxdump says"] =
                verdict(anonymous(listing.out, path), anonymous(listing.err, path));
            if (const Json boxes = parsed ? writeBack(root, bytes) : Json::array(); !boxes.empty())
                actual["writes back other bytes"] = boxes;
            // The JSON form ends as the listing does, and says so in its document.
            const Json document = Json::parse(json.out, nullptr, false);
            EXPECT_TRUE(json.status == listing.status && json.err == listing.err &&
                        document.is_object() && document.value("status", -1) == json.status)
                << name << ": boxdump --json ends otherwise than the listing";

            if (!entries.contains(name)) {
                ADD_FAILURE() << name << ": no entry in " << CORPUS_OUTCOMES << "; it would be\n"
                              << Json{{name, actual}}.dump(2);
                continue;
            }
            const Json& entry = entries[name];
            EXPECT_TRUE(entry.contains("about")) << name << ": no about, why it is kept";
            expectFacts(name, actual, entry);
            if (entry.contains("listing")) {
                const fs::path golden =
                    fs::u8path(GOLDEN_DIR) / entry["listing"].get<std::string>();
                expectFile(anonymous(listing.out, path), golden.string() + ".txt");
                expectFile(anonymous(json.out, path), golden.string() + ".json");
            }
        }
    }
    for (const auto& [name, entry] : entries.items())
        EXPECT_TRUE(ran.count(name) != 0) << name << ": an entry for an input no longer kept";
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
