#pragma once

// The walk behind findMovies, shared by its portable part (MovieWalk.cpp)
// and the parts of each operating system (MovieWalkPosix.cpp,
// MovieWalkWin32.cpp).

#include "tool/boxmend-all/MovieWalk.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>

namespace boxmend::batch::walk {

// The separator the walk puts between a folder and its names.
#ifdef _WIN32
inline constexpr wchar_t separator = L'\\';
#else
inline constexpr char separator = '/';
#endif

using console::shownName;
NativePath joined(const NativePath& folder, const NativePath& name);
std::string shownJoined(const std::string& folder, const std::string& name);
// The last name of a path, for its extension.
std::string lastName(const std::string& shown);
// A folder given as "." shows its files by their names alone.
std::string shownRoot(const NativePath& path);

class Walker {
public:
    void given(const NativePath& path);
    MovieWalk found;

private:
    struct Entry {
        std::string shown;
        NativePath name;
        bool operator<(const Entry& other) const { return shown < other.shown; }
    };

    void folder(const NativePath& path, const std::string& shown);
    // A folder met in a folder. Each level of the walk takes stack, so a tree
    // deeper than any card's is reported as unreadable rather than walked.
    void subfolder(const NativePath& path, const std::string& shown) {
        if (depth_ == deepestFolder) {
            found.unreadable.push_back(
                {shown, "more than " + std::to_string(deepestFolder) + " levels deep"});
            return;
        }
        ++depth_;
        folder(path, shown);
        --depth_;
    }
    // A regular file, whose identity is known: a movie, found once, or another file.
    void file(const NativePath& path, const std::string& shown, bool followLink);
    bool firstSeen(std::uint64_t device, std::uint64_t index) {
        return seen_.insert({device, index}).second;
    }
    bool firstSeenFolder(std::uint64_t device, std::uint64_t index) {
        return seenFolders_.insert({device, index}).second;
    }

    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> seenFolders_;
    int depth_ = 0;
};

} // namespace boxmend::batch::walk
