#include "mediafmt/io/File.h"

#include <cstring>
#include <string>

namespace mediafmt::io {

namespace {

bool isValidMode(OpenMode mode) {
    return mode == OpenMode::read || mode == OpenMode::write || mode == OpenMode::readWrite ||
           mode == OpenMode::update;
}

} // namespace

AlignedRange alignToBlocks(std::uint64_t offset, std::uint64_t count, std::uint64_t block) {
    const std::uint64_t first = offset - offset % block;
    const std::uint64_t end = offset + count;
    const std::uint64_t last = end % block == 0 ? end : end - end % block + block;
    return {first, last - first};
}

File::File() = default;

File::~File() {
    close();
}

ResultCode File::open(std::string path, OpenMode mode) {
    path.resize(std::strlen(path.c_str()));
    // Closed before anything can fail, so a failed open leaves the File closed.
    close();
    if (!isValidMode(mode))
        return result::openError;
    writable_ = mode != OpenMode::read;
    if (!openHandle(path, mode))
        return result::openError;
    if ((mode == OpenMode::read || mode == OpenMode::readWrite) && !measure()) {
        close();
        return result::openError;
    }
    return result::none;
}

// The length is taken from the file system's record of the file and by
// seeking to its end; both must agree. A file that only looks regular, as
// those of /proc (a length of 0, or no end to seek to, yet content to
// read), fails here rather than be read as something it is not.
bool File::measure() {
    std::uint64_t recorded = 0;
    if (!recordedLength(recorded))
        return false;
    return seek(0, SeekOrigin::end) == 0 && tell(length_) == 0 && length_ == recorded &&
           seek(0, SeekOrigin::begin) == 0;
}

ResultCode File::eof(bool& atEnd) {
    std::uint64_t position = 0;
    if (ResultCode rc = tell(position); rc != 0)
        return rc;
    atEnd = length_ <= position;
    return result::none;
}

ResultCode File::size(std::uint64_t& length) {
    if (!isOpen())
        return result::fileNotOpen;
    length = length_;
    return result::none;
}

} // namespace mediafmt::io
