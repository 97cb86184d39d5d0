// The decisions behind what both programs do on Windows only, tested as
// plain functions on every system: when to keep the console window open,
// and the extended-length form of a deep path.

#include "mediafmt/io/WindowsPath.h"
#include "tool/console/ConsolePause.h"

#include <gtest/gtest.h>

#include <string>

using namespace mediafmt::io;

TEST(ConsolePause, WaitsOnlyInAConsoleOfItsOwn) {
    // Dropped on in Explorer: a new console with this process alone.
    EXPECT_TRUE(boxmend::console::shouldPauseBeforeExit(true, true, 1));
    // From a console window, whose shell is attached too.
    EXPECT_FALSE(boxmend::console::shouldPauseBeforeExit(true, true, 2));
    // Piped or redirected, or no console at all (wine with pipes gives 0).
    EXPECT_FALSE(boxmend::console::shouldPauseBeforeExit(false, true, 1));
    EXPECT_FALSE(boxmend::console::shouldPauseBeforeExit(true, false, 1));
    EXPECT_FALSE(boxmend::console::shouldPauseBeforeExit(false, false, 0));
    EXPECT_FALSE(boxmend::console::shouldPauseBeforeExit(true, true, 0));
}

TEST(WindowsPath, DeepPathsTakeTheExtendedLengthForm) {
    const std::u16string folder = u"C:\\Recordings\\" + std::u16string(230, u'd') + u"\\";
    // MAX_PATH counts the terminating NUL: 259 units still open as they are.
    EXPECT_FALSE(needsExtendedLength(folder + std::u16string(259 - folder.size(), u'f')));
    EXPECT_TRUE(needsExtendedLength(folder + std::u16string(260 - folder.size(), u'f')));
    EXPECT_FALSE(needsExtendedLength(u"\\\\?\\" + folder + std::u16string(300, u'f')));
    EXPECT_FALSE(needsExtendedLength(u"\\\\.\\" + folder + std::u16string(300, u'f')));

    // A full path, its extended-length form, and how boxmend shows a name
    // it looked up in that form.
    const struct {
        std::u16string full;
        std::u16string extended;
        std::u16string shown;
    } cases[] = {
        {u"C:\\a\\clip.mov", u"\\\\?\\C:\\a\\clip.mov", u"C:\\a\\clip.mov"},
        {u"z:/a/clip.mov", u"\\\\?\\z:\\a\\clip.mov", u"z:\\a\\clip.mov"},
        {u"A:\\", u"\\\\?\\A:\\", u"A:\\"},
        {u"\\\\srv\\share\\c.mov", u"\\\\?\\UNC\\srv\\share\\c.mov", u"\\\\srv\\share\\c.mov"},
        {u"//srv/share/c.mov", u"\\\\?\\UNC\\srv\\share\\c.mov", u"\\\\srv\\share\\c.mov"},
        {u"\\\\?\\C:\\a\\clip.mov", u"\\\\?\\C:\\a\\clip.mov", u"C:\\a\\clip.mov"},
        {u"\\\\?\\Volume{1}\\c.mov", u"\\\\?\\Volume{1}\\c.mov", u"\\\\?\\Volume{1}\\c.mov"},
        {u"\\\\.\\C:\\a\\clip.mov", u"\\\\.\\C:\\a\\clip.mov", u"\\\\.\\C:\\a\\clip.mov"},
        // Not full paths: left for the system to resolve.
        {u"clip.mov", u"clip.mov", u"clip.mov"},
        {u"C:clip.mov", u"C:clip.mov", u"C:clip.mov"},
        {u"\\a\\clip.mov", u"\\a\\clip.mov", u"\\a\\clip.mov"},
        {u"\\\\", u"\\\\", u"\\\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extendedLengthPath(c.full), c.extended);
        EXPECT_EQ(withoutExtendedPrefix(c.extended), c.shown);
    }

    // Names cross between UTF-8 and UTF-16 whole or not at all.
    std::u16string units = u"x";
    EXPECT_TRUE(toUtf16("caf\xC3\xA9", units));
    EXPECT_FALSE(toUtf16("caf\xE9", units));
    EXPECT_EQ(units, u"xcaf\u00E9");
    std::string text = "y";
    EXPECT_TRUE(toUtf8(u"\u00E9", text));
    EXPECT_FALSE(toUtf8(std::u16string(1, char16_t(0xD800)), text));
    EXPECT_EQ(text, "y\xC3\xA9");
}
