#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mediafmt::io {

// count bytes of memory for a read to fill, not zeroed first: whoever takes
// it writes every byte before reading it, and zeroing memory only to
// overwrite it costs a pass over it.
//
// A build configured with BOXMEND_STORAGE_CANARY instead fills new storage
// with the byte the environment variable BOXMEND_STORAGE_CANARY gives in
// hexadecimal (such as a5), so that the tests can run with two patterns and
// show that no outcome depends on what fresh memory held.
std::unique_ptr<std::uint8_t[]> allocateForRead(std::size_t count);

} // namespace mediafmt::io
