#include "tool/console/FileName.h"

#include <utf8.h>

#include <cstdint>
#include <iterator>

namespace boxmend::console {

std::string unitsToUtf8(const std::u16string& units) {
    std::string out;
    // Unchecked, so that a surrogate is encoded on its own rather than refused.
    for (char16_t unit : units)
        utf8::unchecked::append(static_cast<std::uint32_t>(unit), std::back_inserter(out));
    return out;
}

} // namespace boxmend::console
