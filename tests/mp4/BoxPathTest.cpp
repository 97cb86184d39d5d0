#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
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
        moov = root.find("moov");
        ASSERT_TRUE(moov);
        ASSERT_EQ(moov->children.size(), 4u);
        firstTrack = moov->children[1];
        secondTrack = moov->children[2];
    }

    mp4::File root;
    BoxPtr moov;
    BoxPtr firstTrack;
    BoxPtr secondTrack;
};

TEST_F(BoxPath, FindsTheSampleEntryOfEachTrack) {
    auto video = std::dynamic_pointer_cast<VideoSampleDescriptionBox>(
        root.find("moov/trak[0]/mdia/minf/stbl/stsd/LMCD"));
    ASSERT_TRUE(video);
    EXPECT_EQ(video->dataReferenceIndex.value, 2u);
    EXPECT_EQ(root.find("moov/trak/mdia/minf/stbl/stsd/LMCD"), video);
    EXPECT_FALSE(root.find("moov/trak[1]/mdia/minf/stbl/stsd/LMCD"));

    BoxPtr audio = root.find("moov/trak[1]/mdia/minf/stbl/stsd/in32");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->parent->parent->parent->parent->parent, secondTrack.get());
}

TEST_F(BoxPath, IndexCountsAmongSameCodeSiblings) {
    EXPECT_EQ(root.find("moov/trak[1]"), secondTrack);
    EXPECT_FALSE(root.find("moov/trak[2]"));
    EXPECT_EQ(moov->find("trak", 1), secondTrack);
    // The argument applies to the first segment only, and brackets override it.
    EXPECT_FALSE(root.find("moov/trak", 1));
    EXPECT_EQ(moov->find("trak[0]", 1), firstTrack);
    EXPECT_EQ(moov->find("trak/mdia", 1), secondTrack->find("mdia"));
}

TEST_F(BoxPath, BracketsAreReadLikeAtoi) {
    EXPECT_EQ(moov->find("trak[]"), firstTrack);
    EXPECT_EQ(moov->find("trak[ +1]"), secondTrack);
    EXPECT_EQ(moov->find("trak[1]junk[0]"), secondTrack);
    EXPECT_FALSE(moov->find("trak["));
    EXPECT_FALSE(moov->find("trak[1"));
    EXPECT_FALSE(moov->find("trak[-1]"));
    EXPECT_FALSE(moov->find("trak[4294967296]"));
    EXPECT_FALSE(moov->find("trak]"));
}

TEST_F(BoxPath, NamesMatchExactly) {
    EXPECT_FALSE(moov->find("TRAK"));
    EXPECT_FALSE(moov->find("trak2"));
    EXPECT_FALSE(moov->find("tra"));
    EXPECT_FALSE(moov->find(""));
    EXPECT_FALSE(root.find("/moov"));
    EXPECT_FALSE(root.find("moov/"));
    EXPECT_FALSE(root.find("moov//trak"));
}

TEST_F(BoxPath, ParentSegmentsClimbButNeverToTheRoot) {
    EXPECT_FALSE(root.find(".."));
    EXPECT_FALSE(moov->find(".."));
    EXPECT_FALSE(root.find("moov/.."));
    EXPECT_EQ(firstTrack->find(".."), moov);
    EXPECT_EQ(root.find("moov/trak[1]/../trak[0]"), firstTrack);

    BoxPtr table = secondTrack->find("mdia/minf/stbl/stsd/in32/../..");
    ASSERT_TRUE(table);
    EXPECT_EQ(table, secondTrack->find("mdia/minf/stbl"));
    EXPECT_EQ(table->type.text(), "stbl");
}

TEST_F(BoxPath, RendersThePathFromTheRoot) {
    EXPECT_EQ(boxPath(&root), "");
    EXPECT_EQ(boxPath(nullptr), "");
    EXPECT_EQ(boxPath(moov.get()), "moov");
    EXPECT_EQ(boxPath(secondTrack.get()), "moov/trak[1]");
    EXPECT_EQ(boxPath(root.find("moov/trak[1]/mdia/minf/stbl/stsd/in32").get()),
              "moov/trak[1]/mdia/minf/stbl/stsd/in32");
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
