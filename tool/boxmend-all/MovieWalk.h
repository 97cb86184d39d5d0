#pragma once

#include "tool/console/FileName.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace boxmend::batch {

using console::NativePath;

// A path given, or a folder met, that the walk could not search, and why.
struct Unsearched {
    std::string shown;
    // In plain words: "no such file or folder", "more than 100 levels
    // deep", "the path is too long for the system", "permission denied", or
    // the system's own words.
    std::string reason;
    // A path given that does not exist (or is under something that is not
    // a folder): a mistyped argument rather than a damaged card.
    bool missing = false;
};

struct FoundMovie {
    // The path as it is shown: the argument it was found under, then the
    // names below it, in UTF-8.
    std::string shown;
    NativePath path;
};

// What the walk over the files and folders given found, movies in the
// order they are to be repaired.
struct MovieWalk {
    std::vector<FoundMovie> movies;
    // Files that are not movies, not regular files, or links met in a
    // folder; none of them is opened for more than a look at its first bytes.
    std::uint64_t otherFiles = 0;
    // Files whose data is offline or in the cloud, which reading would fetch.
    std::uint64_t offlineFiles = 0;
    // Paths given, and folders met, that could not be read.
    std::vector<Unsearched> unreadable;
};

// How deep below a folder given the walk goes.
inline constexpr int deepestFolder = 100;

// Whether a name ends in a movie extension (.mov, .mp4, .m4v, any case).
bool hasMovieExtension(const std::string& name);

// Whether a file's first bytes (at least 8 of them) are the header of a box
// that movies start with; an image format built of the same boxes (HEIF,
// AVIF) is not a movie.
bool startsLikeMovie(const std::uint8_t* bytes, std::size_t count);

// The number of bytes startsLikeMovie needs to tell.
inline constexpr std::size_t movieSniffBytes = 12;

// Each path is a file or a folder; a link given is followed. Folders are
// walked recursively in name order, skipping hidden entries, links, files
// that are not regular and offline files; a file with several names is
// found once.
MovieWalk findMovies(const std::vector<NativePath>& paths);

} // namespace boxmend::batch
