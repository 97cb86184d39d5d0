#pragma once

#include "mediafmt/io/Io.h"

#include <cstdint>
#include <vector>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Bytes that stand in for those of a stream at offset.
struct Patch {
    std::uint64_t offset = 0;
    const std::vector<std::uint8_t>* bytes = nullptr;
};

// Reads as the stream under it with the patches over its bytes (a later
// patch over an earlier one), and is never written: what a file looked like
// before a run changed the patched ranges. The patches' bytes must outlive
// it.
class PatchedStream final : public mediafmt::io::Io {
public:
    PatchedStream(mediafmt::io::Io& under, std::vector<Patch> patches);

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override;
    // Refused with 9: a view of a file is only read.
    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override;
    [[nodiscard]] ResultCode seek(std::int64_t offset, mediafmt::io::SeekOrigin origin) override;
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override;
    [[nodiscard]] ResultCode eof(bool& atEnd) override;
    [[nodiscard]] ResultCode size(std::uint64_t& length) override;
    [[nodiscard]] ResultCode flush() override;
    [[nodiscard]] ResultCode readBack(std::uint64_t offset, void* buffer,
                                      std::uint64_t count) override;
    bool canReadOnDemand() const override { return under_.canReadOnDemand(); }

private:
    void patch(std::uint64_t at, std::uint8_t* bytes, std::uint64_t count) const;

    mediafmt::io::Io& under_;
    std::vector<Patch> patches_;
    std::uint64_t position_ = 0;
};

} // namespace boxmend::repair
