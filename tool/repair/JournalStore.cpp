#include "tool/repair/JournalStore.h"

#include "mediafmt/io/WindowsPath.h"

#include <zlib.h>

#include <cstdio>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace boxmend::repair {

using namespace mediafmt;

namespace {

constexpr const char* suffix = ".boxmend-journal";
constexpr const char* tempSuffix = ".new";
// Far more than any journal takes; a larger file of that name is not one.
constexpr std::size_t largestJournal = 16 * 1024 * 1024;
// The longest name of one directory entry most file systems allow: 255
// bytes, on Windows 255 UTF-16 units.
constexpr std::size_t longestName = 255;

// The length of a name as the file system limits it.
std::size_t nameLength(const std::string& name) {
#ifdef _WIN32
    // UTF-8 in, UTF-16 on disk: one unit per character, two from 4-byte ones.
    std::size_t units = 0;
    for (const char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
#else
    return name.size();
#endif
}

// The longest start of name no longer than room that ends at a character
// boundary: a UTF-8 lead byte and at most three continuation bytes after it
// stay together (other bytes on their own).
std::string prefixWithin(const std::string& name, std::size_t room) {
    std::size_t cut = 0;
    std::size_t used = 0;
    while (cut < name.size()) {
        std::size_t end = cut + 1;
        while (end < name.size() && end - cut < 4 &&
               (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
            ++end;
        const std::size_t length = nameLength(name.substr(cut, end - cut));
        if (used + length > room)
            break;
        used += length;
        cut = end;
    }
    return name.substr(0, cut);
}

} // namespace

#ifdef _WIN32

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

bool deniedByPlace(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

// Writes all of bytes and forces them to the device.
bool writeDurably(HANDLE file, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put,
                       nullptr) ||
            put == 0)
            return false;
        done += put;
    }
    return FlushFileBuffers(file) != 0;
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

ResultCode DirectoryJournal::save(const std::vector<std::uint8_t>& bytes, bool& refused) {
    const std::wstring temp = apiPath(path_ + tempSuffix);
    DeleteFileW(temp.c_str());
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (deniedByPlace(GetLastError()))
            refused = true;
        return result::openError;
    }
    const bool written = writeDurably(file, bytes);
    CloseHandle(file);
    if (!written) {
        DeleteFileW(temp.c_str());
        return result::writeError;
    }
    if (!MoveFileExW(temp.c_str(), apiPath(path_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (deniedByPlace(GetLastError()))
            refused = true;
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

#else

namespace {

constexpr char separator = '/';

bool deniedByPlace(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// A rename or removal in the directory is on the device once its entry is.
ResultCode flushDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return result::writeError;
    // Some file systems cannot flush a directory at all (EINVAL); their
    // renames are then as durable as they make them.
    const bool flushed = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return flushed ? result::none : result::writeError;
}

bool writeDurably(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return ::fsync(fd) == 0;
}

// The path with links resolved, so that every name of a file finds one
// journal; the path as given when it cannot be resolved.
std::string resolved(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return path;
    std::string out(real);
    std::free(real);
    return out;
}

} // namespace

DirectoryJournal::DirectoryJournal(const std::string& path) {
    const std::string recordingPath = resolved(path);
    const std::size_t cut = recordingPath.rfind('/');
    directory_ = cut == std::string::npos ? "." : cut == 0 ? "/" : recordingPath.substr(0, cut);
    path_ =
        (cut == 0 ? "" : directory_) + separator +
        journalNameFor(cut == std::string::npos ? recordingPath : recordingPath.substr(cut + 1));
    // The journal holds the recording's own header bytes. Whoever runs the
    // repair can read and write the recording, so the owner's bits are no
    // wider than what that user has already.
    struct stat info {};
    if (::stat(recordingPath.c_str(), &info) == 0) {
        mode_ = (info.st_mode & 0666) | S_IRUSR | S_IWUSR;
        owner_ = info.st_uid;
        group_ = info.st_gid;
    }
}

ResultCode DirectoryJournal::load(std::vector<std::uint8_t>& bytes) {
    // Never a link followed, a device opened or a wait on a FIFO: only a
    // regular file of that name is a journal, and anything else there is
    // left alone. A name too long to exist holds no journal.
    struct stat info {};
    if (::lstat(path_.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENAMETOOLONG ? result::noOp : result::openError;
    if (!S_ISREG(info.st_mode))
        return result::openError;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? result::noOp : result::openError;
    // Replaced by something else since the look above.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return result::openError;
    }
    bytes.assign(largestJournal + 1, 0);
    std::size_t done = 0;
    ResultCode rc = result::none;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            rc = result::readError;
            break;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(done);
    return rc;
}

ResultCode DirectoryJournal::save(const std::vector<std::uint8_t>& bytes, bool& refused) {
    const std::string temp = path_ + tempSuffix;
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode_));
    if (fd < 0) {
        refused = refused || deniedByPlace(errno);
        return result::openError;
    }
    // The recording's owner and group where the system allows; a group the
    // recording does not have gets no access at all.
    if (owner_ >= 0 && ::fchown(fd, static_cast<uid_t>(owner_), static_cast<gid_t>(group_)) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group_)) != 0)
        (void)::fchmod(fd, static_cast<mode_t>(mode_ & 0606));
    const bool written = writeDurably(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(temp.c_str());
        return result::writeError;
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        refused = refused || deniedByPlace(errno);
        ::unlink(temp.c_str());
        return result::error;
    }
    if (ResultCode rc = flushDirectory(directory_); rc != 0) {
        // Not known to be on the device: taken away again, so that nothing
        // is written on its strength.
        ::unlink(path_.c_str());
        return rc;
    }
    return result::none;
}

ResultCode DirectoryJournal::remove() {
    if (::unlink(path_.c_str()) != 0)
        return errno == ENOENT ? result::none : result::error;
    return flushDirectory(directory_);
}

#endif

std::string journalNameFor(const std::string& fileName) {
    const std::string name = "." + fileName + suffix;
    if (nameLength(name + tempSuffix) <= longestName)
        return name;
    // The CRC-32 of the name, then of the name twice over: 64 bits.
    const auto* bytes = reinterpret_cast<const Bytef*>(fileName.data());
    const auto length = static_cast<uInt>(fileName.size());
    const uLong first = crc32(crc32(0L, Z_NULL, 0), bytes, length);
    const uLong second = crc32(first, bytes, length);
    char hash[18];
    std::snprintf(hash, sizeof hash, "~%08lx%08lx", first, second);
    const std::size_t room =
        longestName - nameLength(std::string(".") + hash + suffix + tempSuffix);
    return "." + prefixWithin(fileName, room) + hash + suffix;
}

} // namespace boxmend::repair
