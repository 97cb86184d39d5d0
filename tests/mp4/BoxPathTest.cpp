#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tests/box/CatalogueBytes.h"

#include <gtest/gtest.h>

#include <functional>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace boxtest;

namespace {

class BoxPath : public ::testing::Test {
protected:
    void SetUp() override {
        io::Buffer in(cameraFileBytes());
        ASSERT_EQ(root.parse(&in), 0u);
    }
    mp4::File root;
};

TEST_F(BoxPath, FindsTheBoxAtEachPath) {
    // ftyp, mdat, moov(mvhd trak trak udta); trak(tkhd edts mdia(mdhd hdlr
    // minf(dinf stbl(stsd(entry) stts stsc stsz stco)))).
    const BoxPtr moov = root.children.at(2);
    const BoxPtr trak0 = moov->children.at(1);
    const BoxPtr trak1 = moov->children.at(2);
    const auto stblOf = [](const BoxPtr& trak) {
        return trak->children.at(2)->children.at(2)->children.at(1);
    };
    const BoxPtr lmcd = stblOf(trak0)->children.at(0)->children.at(0);
    const BoxPtr in32 = stblOf(trak1)->children.at(0)->children.at(0);
    const struct {
        const Box* from;
        const char* path;
        std::uint32_t index;
        BoxPtr expected;
    } cases[] = {
        {&root, "moov/trak[0]/mdia/minf/stbl/stsd/LMCD", 0, lmcd},
        {&root, "moov/trak/mdia/minf/stbl/stsd/LMCD", 0, lmcd},
        {&root, "moov/trak[1]/mdia/minf/stbl/stsd/LMCD", 0, nullptr},
        {&root, "moov/trak[1]/mdia/minf/stbl/stsd/in32", 0, in32},
        // The index counts among same-code siblings; the argument applies to
        // the first segment only, and brackets override it.
        {&root, "moov/trak[1]", 0, trak1},
        {&root, "moov/trak[2]", 0, nullptr},
        {moov.get(), "trak", 1, trak1},
        {&root, "moov/trak", 1, nullptr},
        {moov.get(), "trak[0]", 1, trak0},
        {moov.get(), "trak/mdia", 1, trak1->children.at(2)},
        // Brackets are read like atoi.
        {moov.get(), "trak[]", 0, trak0},
        {moov.get(), "trak[ +1]", 0, trak1},
        {moov.get(), "trak[1]junk[0]", 0, trak1},
        {moov.get(), "trak[", 0, nullptr},
        {moov.get(), "trak[1", 0, nullptr},
        {moov.get(), "trak[-1]", 0, nullptr},
        {moov.get(), "trak[-4294967295]", 0, nullptr}, // not wrapped round to 1
        {moov.get(), "trak[4294967296]", 0, nullptr},
        {moov.get(), "trak]", 0, nullptr},
        // Names match exactly.
        {moov.get(), "TRAK", 0, nullptr},
        {moov.get(), "trak2", 0, nullptr},
        {moov.get(), "tra", 0, nullptr},
        {moov.get(), "", 0, nullptr},
        {&root, "/moov", 0, nullptr},
        {&root, "moov/", 0, nullptr},
        {&root, "moov//trak", 0, nullptr},
        // ".." climbs, but never to the root, which no shared pointer owns.
        {&root, "..", 0, nullptr},
        {moov.get(), "..", 0, nullptr},
        {&root, "moov/..", 0, nullptr},
        {trak0.get(), "..", 0, moov},
        {&root, "moov/trak[1]/../trak[0]", 0, trak0},
        {trak1.get(), "mdia/minf/stbl/stsd/in32/../..", 0, stblOf(trak1)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.from->find(c.path, c.index), c.expected) << c.path << " [" << c.index << "]";

    EXPECT_EQ(boxPath(&root), "");
    EXPECT_EQ(boxPath(nullptr), "");
    EXPECT_EQ(boxPath(trak1.get()), "moov/trak[1]");
    EXPECT_EQ(boxPath(in32.get()), "moov/trak[1]/mdia/minf/stbl/stsd/in32");
    mp4::box::free detached;
    EXPECT_EQ(boxPath(&detached), "free");
}

TEST_F(BoxPath, FindingTheRenderedPathOfEveryBoxGivesTheBoxItself) {
    std::size_t visited = 0;
    std::function<void(const Box&)> walk = [&](const Box& parent) {
        for (const BoxPtr& child : parent.children) {
            ++visited;
            EXPECT_EQ(root.find(boxPath(child.get())), child) << boxPath(child.get());
            walk(*child);
        }
    };
    walk(root);
    EXPECT_GT(visited, 40u);
}

} // namespace
