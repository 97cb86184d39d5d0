#include "mediafmt/io/ReadStorage.h"

#ifdef BOXMEND_STORAGE_CANARY
#include <cstdlib>
#include <cstring>
#endif

namespace mediafmt::io {

#ifdef BOXMEND_STORAGE_CANARY
namespace {

// The pattern the environment names, or -1 for none.
int canary() {
    static const int value = [] {
        const char* text = std::getenv("BOXMEND_STORAGE_CANARY");
        if (text == nullptr || *text == '\0')
            return -1;
        char* end = nullptr;
        const unsigned long parsed = std::strtoul(text, &end, 16);
        return *end == '\0' && parsed <= 0xFF ? static_cast<int>(parsed) : -1;
    }();
    return value;
}

} // namespace
#endif

std::unique_ptr<std::uint8_t[]> allocateForRead(std::size_t count) {
    // Default-initialised: the bytes are left as the allocator gives them.
    std::unique_ptr<std::uint8_t[]> storage(new std::uint8_t[count]);
#ifdef BOXMEND_STORAGE_CANARY
    if (const int pattern = canary(); pattern >= 0)
        std::memset(storage.get(), pattern, count);
#endif
    return storage;
}

} // namespace mediafmt::io
