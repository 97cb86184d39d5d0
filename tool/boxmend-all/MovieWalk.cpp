#include "tool/boxmend-all/MovieWalk.h"

#include "mediafmt/io/WindowsPath.h"
#include "tool/console/FileName.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace boxmend {

bool hasMovieExtension(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return extension == ".mov" || extension == ".mp4" || extension == ".m4v";
}

bool startsLikeMovie(const std::uint8_t* bytes, std::size_t count) {
    if (count < 8)
        return false;
    // 0 runs to the end of the file, 1 has a 64-bit size; anything else
    // smaller than a header is no box.
    const std::uint32_t size = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    if (size > 1 && size < 8)
        return false;
    const std::string code(reinterpret_cast<const char*>(bytes) + 4, 4);
    static const char* const movieCodes[] = {"ftyp", "moov", "mdat", "free", "skip",
                                             "wide", "uuid", "pnot", "junk"};
    if (std::none_of(std::begin(movieCodes), std::end(movieCodes),
                     [&](const char* known) { return code == known; }))
        return false;
    if (code != "ftyp" || count < 12)
        return true;
    // Still images and image sequences are built of the same boxes.
    const std::string brand(reinterpret_cast<const char*>(bytes) + 8, 4);
    static const char* const imageBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                              "mif1", "msf1", "avif", "avis", "avci"};
    return std::none_of(std::begin(imageBrands), std::end(imageBrands),
                        [&](const char* image) { return brand == image; });
}

namespace {

#ifdef _WIN32
constexpr wchar_t separator = L'\\';
// Not in every SDK's headers: the data of such a file is fetched when it is
// opened, or when it is read.
constexpr DWORD recallOnOpen = 0x00040000;
constexpr DWORD recallOnDataAccess = 0x00400000;
constexpr DWORD offline = FILE_ATTRIBUTE_OFFLINE | recallOnOpen | recallOnDataAccess;

std::string shownName(const std::wstring& name) {
    return console::unitsToUtf8(std::u16string(name.begin(), name.end()));
}

// Why a path could not be searched, from the system's error; only a path
// given is missing when it does not exist, a name met in a folder is gone.
Unsearched unsearched(const std::string& shown, DWORD error, bool given = false) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return {shown, "no such file or folder", given};
    case ERROR_FILENAME_EXCED_RANGE:
        return {shown, "the path is too long for the system"};
    case ERROR_ACCESS_DENIED:
        return {shown, "permission denied"};
    default:
        break;
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length != 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    // The system's sentence ends in a full stop and a line end.
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L' ' || words.back() == L'.'))
        words.pop_back();
    return {shown, words.empty() ? "system error " + std::to_string(error) : shownName(words)};
}
#else
constexpr char separator = '/';

std::string shownName(const std::string& name) {
    return name;
}

// Why a path could not be searched, from errno; only a path given is
// missing when it does not exist, a name met in a folder is gone.
Unsearched unsearched(const std::string& shown, int error, bool given = false) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return {shown, "no such file or folder", given};
    case ENAMETOOLONG:
        return {shown, "the path is too long for the system"};
    case EACCES:
    case EPERM:
        return {shown, "permission denied"};
    default:
        return {shown, std::strerror(error)};
    }
}
#endif

NativePath joined(const NativePath& folder, const NativePath& name) {
    if (folder.empty())
        return name;
    const auto last = folder.back();
    return last == '/' || last == separator ? folder + name : folder + separator + name;
}

std::string shownJoined(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const char last = folder.back();
    return last == '/' || last == static_cast<char>(separator)
               ? folder + name
               : folder + static_cast<char>(separator) + name;
}

// The last name of a path, for its extension.
std::string lastName(const std::string& shown) {
    const std::size_t cut = shown.find_last_of("/\\");
    return cut == std::string::npos ? shown : shown.substr(cut + 1);
}

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

    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> seenFolders_;
    int depth_ = 0;
};

// A folder given as "." shows its files by their names alone.
std::string shownRoot(const NativePath& path) {
    const std::string shown = shownName(path);
    return shown == "." ? std::string() : shown;
}

#ifdef _WIN32

void Walker::given(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(mediafmt::io::openablePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        found.unreadable.push_back(unsearched(shownName(path), GetLastError(), true));
    else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        folder(path, shownRoot(path));
    else if ((attributes & offline) != 0)
        ++found.offlineFiles;
    else
        file(path, shownName(path), true);
}

void Walker::folder(const std::wstring& path, const std::string& shown) {
    WIN32_FIND_DATAW data;
    const std::wstring pattern =
        mediafmt::io::openablePath(joined(path.empty() ? L"." : path, L"*"));
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            found.unreadable.push_back(unsearched(shown.empty() ? "." : shown, error));
        return;
    }
    std::vector<std::pair<Entry, DWORD>> entries;
    do {
        const std::wstring name = data.cFileName;
        if (name.empty() || name[0] == L'.' || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0)
            continue;
        entries.push_back({{shownName(name), name}, data.dwFileAttributes});
    } while (FindNextFileW(search, &data));
    FindClose(search);
    std::sort(entries.begin(), entries.end());
    for (const auto& [entry, attributes] : entries) {
        const std::wstring child = joined(path, entry.name);
        const std::string childShown = shownJoined(shown, entry.shown);
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            ++found.otherFiles;
        else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            subfolder(child, childShown);
        else if ((attributes & offline) != 0)
            ++found.offlineFiles;
        else
            file(child, childShown, false);
    }
}

void Walker::file(const std::wstring& path, const std::string& shown, bool followLink) {
    const bool byName = hasMovieExtension(lastName(shown));
    HANDLE handle =
        CreateFileW(mediafmt::io::openablePath(path).c_str(),
                    byName ? FILE_READ_ATTRIBUTES : FILE_READ_DATA | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // A movie by its name has its failure to open reported by its run.
        if (byName)
            found.movies.push_back({shown, path});
        else
            ++found.otherFiles;
        return;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool movie = false;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        // A device or pipe under a file's name is no movie.
    } else if (GetFileInformationByHandle(handle, &info) &&
               !firstSeen(info.dwVolumeSerialNumber,
                          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow)) {
        CloseHandle(handle);
        return;
    } else if (byName) {
        movie = true;
    } else {
        std::uint8_t bytes[movieSniffBytes];
        DWORD got = 0;
        movie = ReadFile(handle, bytes, sizeof bytes, &got, nullptr) && startsLikeMovie(bytes, got);
    }
    CloseHandle(handle);
    if (movie)
        found.movies.push_back({shown, path});
    else
        ++found.otherFiles;
}

#else

void Walker::given(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        found.unreadable.push_back(unsearched(path, errno, true));
    } else if (S_ISDIR(info.st_mode)) {
        if (seenFolders_.insert({info.st_dev, info.st_ino}).second)
            folder(path, shownRoot(path));
    } else if (S_ISREG(info.st_mode) && firstSeen(info.st_dev, info.st_ino)) {
        file(path, path, true);
    } else if (!S_ISREG(info.st_mode)) {
        ++found.otherFiles;
    }
}

void Walker::folder(const std::string& path, const std::string& shown) {
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        found.unreadable.push_back(unsearched(shown.empty() ? "." : shown, errno));
        return;
    }
    std::vector<Entry> entries;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            entries.push_back({entry->d_name, entry->d_name});
        errno = 0;
    }
    if (errno != 0)
        found.unreadable.push_back(unsearched(shown.empty() ? "." : shown, errno));
    ::closedir(dir);
    std::sort(entries.begin(), entries.end());
    for (const Entry& entry : entries) {
        const std::string child = joined(path, entry.name);
        const std::string childShown = shownJoined(shown, entry.shown);
        struct stat info {};
        if (::lstat(child.c_str(), &info) != 0) {
            found.unreadable.push_back(unsearched(childShown, errno));
        } else if (S_ISDIR(info.st_mode)) {
            // A folder met again (a bind mount inside itself) is not walked twice.
            if (seenFolders_.insert({info.st_dev, info.st_ino}).second)
                subfolder(child, childShown);
        } else if (!S_ISREG(info.st_mode)) {
            ++found.otherFiles;
        } else if (firstSeen(info.st_dev, info.st_ino)) {
            file(child, childShown, false);
        }
    }
}

void Walker::file(const std::string& path, const std::string& shown, bool followLink) {
    if (hasMovieExtension(lastName(shown))) {
        found.movies.push_back({shown, path});
        return;
    }
    // Not blocking, so that a FIFO put in the file's place cannot hold the walk.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
    bool movie = false;
    if (fd >= 0) {
        struct stat info {};
        std::uint8_t bytes[movieSniffBytes];
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
            ssize_t got = -1;
            do
                got = ::pread(fd, bytes, sizeof bytes, 0);
            while (got < 0 && errno == EINTR);
            movie = got > 0 && startsLikeMovie(bytes, static_cast<std::size_t>(got));
        }
        ::close(fd);
    }
    if (movie)
        found.movies.push_back({shown, path});
    else
        ++found.otherFiles;
}

#endif

} // namespace

MovieWalk findMovies(const std::vector<NativePath>& paths) {
    Walker walker;
    for (const NativePath& path : paths)
        walker.given(path);
    return std::move(walker.found);
}

} // namespace boxmend
