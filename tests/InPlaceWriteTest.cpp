// The streamed comparison of a box's encoding with the bytes stored for it
// must plan exactly what comparing two whole copies plans, across the pieces
// it reads in and around a fill, and refuse what verifying a copy refuses.

#include "tool/repair/InPlaceWrite.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/box/BaseBoxes.h"

#include <gtest/gtest.h>

#include <memory>

namespace result = mediafmt::result;

TEST(InPlaceWrite, StreamedComparisonPlansAsWholeCopiesDo) {
    // A box of three pieces' worth of bytes, 100 bytes into the stream.
    auto box = std::make_shared<mediafmt::mp4::box::free>();
    box->data.elements.resize(700 * 1024);
    for (std::size_t i = 0; i < box->data.elements.size(); ++i)
        box->data.elements[i] = static_cast<std::uint8_t>(i * 7 + 1);
    std::vector<std::uint8_t> before;
    ASSERT_EQ(boxmend::encodeBox(*box, before), 0u);
    std::vector<std::uint8_t> stored(100, 0xEE);
    stored.insert(stored.end(), before.begin(), before.end());
    box->offset = 100;
    box->recordedSize = before.size();
    mediafmt::io::Buffer stream(stored);
    EXPECT_EQ(boxmend::encodesToStored(*box, stream), 0u);

    // Runs across a piece boundary, against either edge of the fill, and
    // one run cut by a fill of no bytes.
    const std::uint64_t fills[][2] = {{300000, 400000}, {600000, 600000}};
    for (const auto& fill : fills) {
        auto& data = box->data.elements;
        const auto original = data;
        for (std::size_t at : {5u, 262130u, 262140u, 262150u, 299990u, 400000u, 599990u})
            for (std::size_t i = at; i < at + 20; ++i)
                data[i] ^= 0x5A;
        std::fill(data.begin() + static_cast<std::ptrdiff_t>(fill[0] - 8),
                  data.begin() + static_cast<std::ptrdiff_t>(fill[1] - 8), 0);
        std::vector<std::uint8_t> after;
        ASSERT_EQ(boxmend::encodeBox(*box, after), 0u);
        const boxmend::RepairPlan whole =
            boxmend::planChanges(100, before, after, fill[0], fill[1]);
        boxmend::RepairPlan streamed;
        ASSERT_EQ(boxmend::planEncodedChanges(*box, stream, fill[0], fill[1], streamed), 0u);
        EXPECT_EQ(boxmend::encodesToStored(*box, stream), result::invalidOperation);
        data = original;

        ASSERT_EQ(streamed.changes.size(), whole.changes.size());
        for (std::size_t i = 0; i < whole.changes.size(); ++i) {
            EXPECT_EQ(streamed.changes[i].offset, whole.changes[i].offset);
            EXPECT_EQ(streamed.changes[i].bytes, whole.changes[i].bytes);
            EXPECT_EQ(streamed.changes[i].original, whole.changes[i].original);
            // No run reaches across where a fill begins, even a fill of no bytes.
            const std::uint64_t end = whole.changes[i].offset + whole.changes[i].bytes.size();
            EXPECT_FALSE(whole.changes[i].offset < 100 + fill[0] && end > 100 + fill[0]);
        }
        EXPECT_EQ(streamed.fillOffset, whole.fillOffset);
        EXPECT_EQ(streamed.fillLength, whole.fillLength);
    }

    // A stream that ends before the box, and a box that no longer has its
    // recorded length.
    stored.pop_back();
    mediafmt::io::Buffer cut(stored);
    EXPECT_EQ(boxmend::encodesToStored(*box, cut), result::invalidOperation);
    box->data.elements.pop_back();
    EXPECT_EQ(boxmend::encodesToStored(*box, stream), result::invalidOperation);
}
