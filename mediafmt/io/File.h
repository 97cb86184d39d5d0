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
    // Forces written data to the storage device.
    [[nodiscard]] ResultCode flush() override;
    // On Linux through a second descriptor that bypasses the page cache
    // (O_DIRECT), in whole 4096-byte blocks; where the file system refuses
    // that, after asking the kernel to drop its cached pages of the range.
    // Elsewhere through this handle, after flushing it. A file opened for
    // reading is read as it stands, nothing flushed or dropped.
    [[nodiscard]] ResultCode readBack(std::uint64_t offset, void* buffer,
                                      std::uint64_t count) override;
    bool canReadOnDemand() const override { return true; }

private:
    // Measures the length of a file just opened; false when it cannot be.
    bool measure();

    bool writable_ = false;
#ifdef _WIN32
    void* handle_ = nullptr; // HANDLE
    std::uint64_t length_ = 0;
    std::uint32_t flagsAndAttributes_ = 0x80; // FILE_ATTRIBUTE_NORMAL
#else
    int handle_ = -1;
    std::uint64_t length_ = 0;
#endif
};

} // namespace mediafmt::io
