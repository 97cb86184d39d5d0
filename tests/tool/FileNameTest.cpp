#include "tool/boxmend/FileName.h"

#include "mediafmt/io/File.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using boxmend::unitsToUtf8;
using mediafmt::io::File;
using mediafmt::io::OpenMode;

TEST(FileName, EveryUtf16UnitIsEncodedOnItsOwn) {
    EXPECT_EQ(unitsToUtf8(u""), "");
    // The edges of the one-, two- and three-byte forms.
    EXPECT_EQ(unitsToUtf8(u"A\u007F"), "A\x7F");
    EXPECT_EQ(unitsToUtf8(u"\u0080\u07FF"), "\xC2\x80\xDF\xBF");
    EXPECT_EQ(unitsToUtf8(u"\u0800\uFFFF"), "\xE0\xA0\x80\xEF\xBF\xBF");
    // U+1F600 is the pair D83D DE00: two three-byte forms, never the four-byte one.
    EXPECT_EQ(unitsToUtf8(u"\U0001F600"), "\xED\xA0\xBD\xED\xB8\x80");
}

// What the driver makes of a short form that still holds a character outside
// the Basic Multilingual Plane, as on a volume without short names: the file
// exists under its well-formed UTF-8 name, yet the unit-by-unit name is
// refused rather than opened.
TEST(FileName, NameHoldingASurrogatePairIsNotOpened) {
    testsupport::TempDir dir;
    const std::string wellFormed = dir.write("smile-\xF0\x9F\x98\x80.mov", {1, 2, 3});
    File file;
    ASSERT_EQ(file.open(wellFormed, OpenMode::readWrite), 0u);
    file.close();

    const std::string unitByUnit = dir.file(unitsToUtf8(u"smile-\U0001F600.mov"));
    EXPECT_EQ(file.open(unitByUnit, OpenMode::readWrite), mediafmt::result::openError);
    EXPECT_FALSE(file.isOpen());
}
