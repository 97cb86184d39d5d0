// How boxmend-all tells a movie from other files: by the name's extension,
// or by a look at the file's first bytes.

#include "tool/boxmend-all/MovieWalk.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;
using boxmend::batch::hasMovieExtension;
using boxmend::batch::startsLikeMovie;

TEST(WalkSniffing, MovieExtensionsInAnyCase) {
    for (const char* name : {"clip.mov", "CLIP.MOV", "a.Mp4", "x.m4V", "card/DCIM/b.mp4"})
        EXPECT_TRUE(hasMovieExtension(name)) << name;
    for (const char* name : {"", "mov", "clip.mov.txt", "clip_mov", "clip.mkv", "clip.m4a"})
        EXPECT_FALSE(hasMovieExtension(name)) << name;
}

TEST(WalkSniffing, FirstBytesOfABoxThatMoviesStartWith) {
    const auto sniff = [](const std::string& bytes) {
        return startsLikeMovie(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    };
    for (const char* code :
         {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "pnot", "junk"})
        EXPECT_TRUE(sniff("\0\0\0\020"s + code)) << code;
    // 0 runs to the end of the file, 1 has a 64-bit size.
    for (const std::string& movie :
         {"\0\0\0\0mdat"s, "\0\0\0\1mdat"s, "\0\0\0\024ftypqt  "s, "\0\0\0\024ftypisom"s})
        EXPECT_TRUE(sniff(movie)) << testing::PrintToString(movie);
    // HEIF and AVIF still images, sizes smaller than a header, boxes no movie
    // starts with, other formats and too few bytes to hold a box header.
    for (const std::string& other :
         {"\0\0\0\030ftypheic"s, "\0\0\0\030ftypavif"s, "\0\0\0\030ftypmif1"s, "\0\0\0\7moov"s,
          "\0\0\0\020trak"s, "\0\0\0\020MOOV"s, "\x89PNG\r\n\x1A\n"s, "\0\0\0\020moo"s, ""s})
        EXPECT_FALSE(sniff(other)) << testing::PrintToString(other);
}
