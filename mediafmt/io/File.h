#pragma once

#include "mediafmt/io/Io.h"

#include <cstdint>
#include <string>

namespace mediafmt::io {

// The smallest run of whole blocks of the given size that covers count bytes
// from offset: the ranges a read that bypasses the cache may ask for.
struct AlignedRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
AlignedRange alignToBlocks(std::uint64_t offset, std::uint64_t count, std::uint64_t block);

// One value per call, never combined.
enum class OpenMode : std::uint32_t { read = 1, write = 2, readWrite = 4, update = 8 };

// A file of the operating system, opened by a path: on Windows UTF-8, made
// UTF-16 for the system; elsewhere the bytes as they are, whatever their
// encoding. Only a regular file whose length can be measured opens, and
// opening never waits (on a FIFO, say).
//
// read      existing file, read only, others may read too
// write     created or truncated, write only, not shared
// readWrite existing file, read and write, not shared
// update    opened or created, write only, not shared
//
// "Not shared" is enforced between processes: on Windows by the share mode,
// elsewhere by an exclusive advisory lock taken at open (read takes a shared
// one), so a file already in use fails to open with 12.
//
// eof and size use the length measured when the file was opened.
class File final : public Io {
public:
    File();
    ~File() override;

    [[nodiscard]] ResultCode open(std::string path, OpenMode mode);
    // Closes the file if one is open; always 0.
    ResultCode close();
    bool isOpen() const;
    // Which file this is while it exists: device and inode, or volume serial
    // number and file index.
    [[nodiscard]] ResultCode identity(std::uint64_t& device, std::uint64_t& index) const;

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override;
    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override;
    [[nodiscard]] ResultCode seek(std::int64_t offset, SeekOrigin origin) override;
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override;
    [[nodiscard]] ResultCode eof(bool& atEnd) override;
    [[nodiscard]] ResultCode size(std::uint64_t& length) override;
    // Forces written data to the storage device: on macOS past the drive's
    // own cache (F_FULLFSYNC), with fsync where the file system refuses that.
    [[nodiscard]] ResultCode flush() override;
    // On Linux through a second descriptor that bypasses the page cache
    // (O_DIRECT), in whole 4096-byte blocks, opened once for all the calls;
    // where the file system refuses that, after asking the kernel to drop its
    // cached pages of the range. On macOS through a second descriptor that
    // does not cache (F_NOCACHE), after the cached pages of the range are
    // dropped; where that cannot be had, 17 rather than a read that may have
    // come from the cache.
    // On Windows through this handle, after flushing it. A file opened for
    // reading is read as it stands, nothing flushed or dropped.
    [[nodiscard]] ResultCode readBack(std::uint64_t offset, void* buffer,
                                      std::uint64_t count) override;
    bool canReadOnDemand() const override { return true; }

private:
    // The platform's handle of path opened in mode, into handle_; false when
    // it cannot be had or is not a regular file.
    bool openHandle(const std::string& path, OpenMode mode);
    // The length the file system records for the open file.
    bool recordedLength(std::uint64_t& length) const;
    // Measures the length of a file just opened; false when it cannot be.
    bool measure();

    bool writable_ = false;
    std::uint64_t length_ = 0;
#ifdef _WIN32
    void* handle_ = nullptr; // HANDLE
#else
    // readBack of a file opened for writing, count > 0, from the device.
    [[nodiscard]] ResultCode readFromDevice(std::uint64_t offset, std::uint8_t* out,
                                            std::uint64_t count);

    int handle_ = -1;
    // readBack's descriptor past the page cache, opened at its first call
    // and kept until close; directRefused_ once the file system refused it.
    int direct_ = -1;
    bool directRefused_ = false;
#endif
};

} // namespace mediafmt::io
