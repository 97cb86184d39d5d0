#include "tool/repair/JournalStore.h"

#include "mediafmt/io/WindowsPath.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace boxmend {

using namespace mediafmt;

namespace {

constexpr const char* suffix = ".boxmend-journal";
constexpr const char* tempSuffix = ".new";
// Far more than any journal takes; a larger file of that name is not one.
constexpr std::size_t largestJournal = 16 * 1024 * 1024;

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
    path_ = journalPathFor(directory_, cut == std::string::npos ? path : path.substr(cut + 1));
}

ResultCode DirectoryJournal::load(std::vector<std::uint8_t>& bytes) {
    HANDLE file = CreateFileW(apiPath(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? result::noOp
                                                                              : result::openError;
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
        journalPathFor(cut == 0 ? "" : directory_,
                       cut == std::string::npos ? recordingPath : recordingPath.substr(cut + 1));
}

ResultCode DirectoryJournal::load(std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? result::noOp : result::openError;
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
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        refused = refused || deniedByPlace(errno);
        return result::openError;
    }
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

std::string journalPathFor(const std::string& directory, const std::string& fileName) {
    return directory + separator + "." + fileName + suffix;
}

} // namespace boxmend
