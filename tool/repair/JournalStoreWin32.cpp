// The journal's place on Windows: names in UTF-16, the long name of the
// file, the journal hidden and put in place by MoveFileEx.

#ifdef _WIN32

#include "tool/repair/JournalStore.h"

#include "mediafmt/io/WindowsApi.h"
#include "mediafmt/io/WindowsPath.h"

namespace boxmend::repair {

using namespace mediafmt;

std::size_t fileNameLength(const std::string& name) {
    // UTF-8 in, UTF-16 on disk: one unit per character, two from 4-byte ones.
    std::size_t units = 0;
    for (const char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

namespace {

constexpr char separator = '\\';

// Empty for a name that is not well-formed, which then opens nothing.
std::wstring wide(const std::string& utf8) {
    std::u16string units;
    if (!mediafmt::io::toUtf16(utf8, units))
        return std::wstring();
    return std::wstring(units.begin(), units.end());
}

std::string narrow(const std::u16string& units) {
    std::string out;
    return mediafmt::io::toUtf8(units, out) ? out : std::string();
}

// The path as the file API takes it, in the extended-length form where it
// is too long for the usual one.
std::wstring apiPath(const std::string& path) {
    return mediafmt::io::openablePath(wide(path));
}

// The long form of a path, so that every alias of a file finds one journal.
std::string longForm(const std::string& path) {
    bool extended = false;
    const std::wstring given = mediafmt::io::openablePath(wide(path), &extended);
    const DWORD needed = GetLongPathNameW(given.c_str(), nullptr, 0);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetLongPathNameW(given.c_str(), full.data(), needed);
    if (length == 0 || length >= needed)
        return path;
    const std::u16string units(full.begin(), full.begin() + length);
    return narrow(extended ? mediafmt::io::withoutExtendedPrefix(units) : units);
}

// What a failed call's error says of the place, if anything.
void noteTrouble(SaveTrouble& trouble, DWORD error) {
    if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
        trouble = SaveTrouble::refused;
    else if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        trouble = SaveTrouble::noRoom;
}

// Writes all of bytes and forces them to the device: ERROR_SUCCESS, or the
// error of the call that failed (ERROR_WRITE_FAULT for a write that takes
// nothing).
DWORD writeDurably(HANDLE file, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put,
                       nullptr))
            return GetLastError();
        if (put == 0)
            return ERROR_WRITE_FAULT;
        done += put;
    }
    return FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
}

} // namespace

DirectoryJournal::DirectoryJournal(const std::string& recordingPath) {
    const std::string path = longForm(recordingPath);
    const std::size_t cut = path.find_last_of("\\/");
    directory_ = cut == std::string::npos ? "." : path.substr(0, cut);
    path_ = directory_ + separator +
            journalNameFor(cut == std::string::npos ? path : path.substr(cut + 1));
}

ResultCode DirectoryJournal::load(std::vector<std::uint8_t>& bytes) {
    // A link is opened as itself, and only a plain file is a journal:
    // anything else of that name is left alone.
    HANDLE file =
        CreateFileW(apiPath(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A name too long to exist holds no journal.
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_FILENAME_EXCED_RANGE
                   ? result::noOp
                   : result::openError;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        CloseHandle(file);
        return result::openError;
    }
    bytes.assign(largestJournal + 1, 0);
    std::size_t done = 0;
    ResultCode rc = result::none;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                      nullptr)) {
            rc = result::readError;
            break;
        }
        if (got == 0)
            break;
        done += got;
    }
    CloseHandle(file);
    bytes.resize(done);
    return rc;
}

ResultCode DirectoryJournal::save(const std::vector<std::uint8_t>& bytes, SaveTrouble& trouble) {
    const std::wstring temp = apiPath(path_ + journalTempSuffix);
    DeleteFileW(temp.c_str());
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        noteTrouble(trouble, GetLastError());
        return result::openError;
    }
    const DWORD error = writeDurably(file, bytes);
    CloseHandle(file);
    if (error != ERROR_SUCCESS) {
        noteTrouble(trouble, error);
        DeleteFileW(temp.c_str());
        return result::writeError;
    }
    if (!MoveFileExW(temp.c_str(), apiPath(path_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        noteTrouble(trouble, GetLastError());
        DeleteFileW(temp.c_str());
        return result::error;
    }
    return result::none;
}

ResultCode DirectoryJournal::remove() {
    if (DeleteFileW(apiPath(path_).c_str()))
        return result::none;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? result::none
                                                                          : result::error;
}

JournalPlace DirectoryJournal::place() const {
    JournalPlace place;
    std::wstring directory = apiPath(directory_);
    if (directory.empty())
        return place;
    if (directory.back() != L'\\')
        directory += L'\\';
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(directory.c_str(), &available, nullptr, nullptr))
        place.freeBytes = available.QuadPart;
    // The flags are the volume's, asked of its root.
    std::wstring root(MAX_PATH + 1, L'\0');
    DWORD flags = 0;
    if (GetVolumePathNameW(directory.c_str(), root.data(), static_cast<DWORD>(root.size())) &&
        GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        place.readOnly = (flags & FILE_READ_ONLY_VOLUME) != 0;
    return place;
}

} // namespace boxmend::repair

#endif // _WIN32
