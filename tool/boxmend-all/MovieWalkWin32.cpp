// The walk on Windows: FindFirstFileEx over each folder, attributes for
// links and offline files, the volume serial number and file index for
// identity.

#ifdef _WIN32

#include "tool/boxmend-all/MovieWalker.h"

#include "mediafmt/io/WindowsApi.h"
#include "mediafmt/io/WindowsPath.h"

#include <algorithm>
#include <vector>

namespace boxmend::batch::walk {

namespace {

// Not in every SDK's headers: the data of such a file is fetched when it is
// opened, or when it is read.
constexpr DWORD recallOnOpen = 0x00040000;
constexpr DWORD recallOnDataAccess = 0x00400000;
constexpr DWORD offline = FILE_ATTRIBUTE_OFFLINE | recallOnOpen | recallOnDataAccess;

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

} // namespace

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

} // namespace boxmend::batch::walk

#endif // _WIN32
