// The journal's place on POSIX systems: names as bytes, links resolved, the
// journal given the recording's owner and put in place by rename.

#include "tool/repair/JournalStore.h"

#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace boxmend::repair {

using namespace mediafmt;

std::size_t fileNameLength(const std::string& name) {
    return name.size();
}

namespace {

constexpr char separator = '/';

// What a failed call's errno says of the place, if anything.
SaveTrouble troubleOf(int error) {
    if (error == EACCES || error == EPERM || error == EROFS)
        return SaveTrouble::refused;
    if (error == ENOSPC || error == EDQUOT)
        return SaveTrouble::noRoom;
    return SaveTrouble::none;
}

void noteTrouble(SaveTrouble& trouble, int error) {
    if (const SaveTrouble found = troubleOf(error); found != SaveTrouble::none)
        trouble = found;
}

// A rename or removal in the directory is on the device once its entry is.
ResultCode flushDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return result::writeError;
    // Some file systems cannot flush a directory at all (EINVAL); their
    // renames are then as durable as they make them.
    const bool flushed = io::syncToDevice(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return flushed ? result::none : result::writeError;
}

// 0, or the errno of the write or flush that failed (EIO for a write that
// takes nothing).
int writeDurably(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = io::posixCalls().write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        if (put == 0)
            return EIO;
        done += static_cast<std::size_t>(put);
    }
    return io::syncToDevice(fd) == 0 ? 0 : errno;
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
        mode_ = static_cast<unsigned>(info.st_mode & 0666) | S_IRUSR | S_IWUSR;
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
        const ssize_t got = io::posixCalls().read(fd, bytes.data() + done, bytes.size() - done);
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

ResultCode DirectoryJournal::save(const std::vector<std::uint8_t>& bytes, SaveTrouble& trouble) {
    const std::string temp = path_ + journalTempSuffix;
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode_));
    if (fd < 0) {
        noteTrouble(trouble, errno);
        return result::openError;
    }
    // The recording's owner and group where the system allows; a group the
    // recording does not have gets no access at all.
    if (owner_ >= 0 && ::fchown(fd, static_cast<uid_t>(owner_), static_cast<gid_t>(group_)) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group_)) != 0)
        (void)::fchmod(fd, static_cast<mode_t>(mode_ & 0606));
    int error = writeDurably(fd, bytes);
    // Some file systems only find out at the close that the data has no room.
    if (::close(fd) != 0 && error == 0)
        error = errno == EINTR ? EIO : errno;
    if (error != 0) {
        noteTrouble(trouble, error);
        ::unlink(temp.c_str());
        return result::writeError;
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        noteTrouble(trouble, errno);
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

JournalPlace DirectoryJournal::place() const {
    JournalPlace place;
    struct statvfs info {};
    if (::statvfs(directory_.c_str(), &info) != 0)
        return place;
    place.readOnly = (info.f_flag & ST_RDONLY) != 0;
    // The blocks kept for the superuser count only for the superuser.
    const auto blocks = ::geteuid() == 0 ? info.f_bfree : info.f_bavail;
    place.freeBytes = static_cast<std::uint64_t>(blocks) * info.f_frsize;
    return place;
}

} // namespace boxmend::repair
