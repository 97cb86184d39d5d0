#include "tool/repair/JournalStore.h"

#include "tool/repair/Journal.h"

#include <zlib.h>

#include <cstdio>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

constexpr const char* suffix = ".boxmend-journal";
// The longest name of one directory entry most file systems allow: 255
// bytes, on Windows 255 UTF-16 units.
constexpr std::size_t longestName = 255;

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
        const std::size_t length = fileNameLength(name.substr(cut, end - cut));
        if (used + length > room)
            break;
        used += length;
        cut = end;
    }
    return name.substr(0, cut);
}

} // namespace

std::string journalNameFor(const std::string& fileName) {
    const std::string name = "." + fileName + suffix;
    if (fileNameLength(name + journalTempSuffix) <= longestName)
        return name;
    // The CRC-32 of the name, then of the name twice over: 64 bits.
    const auto* bytes = reinterpret_cast<const Bytef*>(fileName.data());
    const auto length = static_cast<uInt>(fileName.size());
    const uLong first = crc32(crc32(0L, Z_NULL, 0), bytes, length);
    const uLong second = crc32(first, bytes, length);
    char hash[18];
    std::snprintf(hash, sizeof hash, "~%08lx%08lx", first, second);
    const std::size_t room =
        longestName - fileNameLength(std::string(".") + hash + suffix + journalTempSuffix);
    return "." + prefixWithin(fileName, room) + hash + suffix;
}

std::uint64_t journalSize(const std::vector<RepairPlan>& repairs) {
    // The file's length and identity take the same bytes whatever they are.
    Journal journal;
    journal.repairs = repairs;
    return encodeJournal(journal).size();
}

} // namespace boxmend::repair
