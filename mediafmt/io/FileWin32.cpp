// File on Windows: a HANDLE opened by its UTF-16 name, shared as the open
// mode says.

#ifdef _WIN32

#include "mediafmt/io/File.h"

#include "mediafmt/io/WindowsApi.h"
#include "mediafmt/io/WindowsPath.h"

#include <algorithm>
#include <string>

namespace mediafmt::io {

namespace {

// ReadFile and WriteFile take 32-bit counts; larger requests are split.
constexpr std::uint64_t maxChunk = 0x40000000;

struct Access {
    DWORD access = 0;
    DWORD share = 0;
    DWORD disposition = 0;
};

Access accessFor(OpenMode mode) {
    switch (mode) {
    case OpenMode::read:
        return {FILE_READ_DATA, FILE_SHARE_READ, OPEN_EXISTING};
    case OpenMode::write:
        return {FILE_WRITE_DATA, 0, CREATE_ALWAYS};
    case OpenMode::readWrite:
        return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING};
    case OpenMode::update:
        return {FILE_WRITE_DATA, 0, OPEN_ALWAYS};
    }
    return {};
}

} // namespace

bool File::openHandle(const std::string& path, OpenMode mode) {
    std::u16string wide;
    if (!toUtf16(path, wide))
        return false;
    // wchar_t and char16_t are both UTF-16 units here, but distinct types: copied, not cast.
    std::wstring units(wide.begin(), wide.end());
    // A deep path opens only in its extended-length form.
    units = openablePath(units);
    const Access how = accessFor(mode);
    HANDLE handle = CreateFileW(units.c_str(), how.access, how.share, nullptr, how.disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr)
        return false;
    // Only disk files: a device such as NUL, CON or a pipe would block or
    // swallow the data.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return false;
    }
    handle_ = handle;
    return true;
}

bool File::recordedLength(std::uint64_t& length) const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &size))
        return false;
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool File::isOpen() const {
    return handle_ != nullptr;
}

ResultCode File::close() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    return result::none;
}

ResultCode File::flush() {
    if (!isOpen())
        return result::fileNotOpen;
    return FlushFileBuffers(static_cast<HANDLE>(handle_)) ? result::none : result::writeError;
}

ResultCode File::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (!isOpen())
        return result::fileNotOpen;
    std::uint64_t total = 0;
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min(count - total, maxChunk));
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), static_cast<char*>(buffer) + total, chunk, &got,
                      nullptr))
            return result::readError;
        total += got;
        if (got < chunk)
            break;
    }
    bytesRead = total;
    return result::none;
}

ResultCode File::write(const void* buffer, std::uint64_t count, std::uint64_t& bytesWritten) {
    if (!isOpen())
        return result::fileNotOpen;
    std::uint64_t total = 0;
    while (total < count) {
        DWORD chunk = static_cast<DWORD>(std::min(count - total, maxChunk));
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), static_cast<const char*>(buffer) + total,
                       chunk, &put, nullptr))
            return result::writeError;
        total += put;
        if (put < chunk)
            break;
    }
    bytesWritten = total;
    return result::none;
}

ResultCode File::seek(std::int64_t offset, SeekOrigin origin) {
    if (!isOpen())
        return result::fileNotOpen;
    DWORD method = FILE_BEGIN;
    if (origin == SeekOrigin::current)
        method = FILE_CURRENT;
    else if (origin == SeekOrigin::end)
        method = FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(static_cast<HANDLE>(handle_), distance, nullptr, method))
        return result::error;
    return result::none;
}

ResultCode File::tell(std::uint64_t& position) {
    if (!isOpen())
        return result::fileNotOpen;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER now;
    if (!SetFilePointerEx(static_cast<HANDLE>(handle_), zero, &now, FILE_CURRENT))
        return result::error;
    position = static_cast<std::uint64_t>(now.QuadPart);
    return result::none;
}

ResultCode File::identity(std::uint64_t& device, std::uint64_t& index) const {
    if (!isOpen())
        return result::fileNotOpen;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(static_cast<HANDLE>(handle_), &info))
        return result::error;
    device = info.dwVolumeSerialNumber;
    index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return result::none;
}

ResultCode File::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    // The file is not shared, so no second handle can be opened to read
    // past the cache; the flush at least hands every write to the device.
    // A handle opened for reading has written nothing and cannot be flushed.
    if (writable_) {
        if (ResultCode rc = flush(); rc != 0)
            return rc;
    }
    return Io::readBack(offset, buffer, count);
}

} // namespace mediafmt::io

#endif // _WIN32
