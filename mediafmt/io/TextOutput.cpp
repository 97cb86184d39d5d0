#include "mediafmt/io/TextOutput.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace mediafmt::io {

ResultCode writeText(Io* stream, const char* format, ...) {
    if (stream == nullptr || format == nullptr)
        return result::nullObject;
    std::va_list args;
    va_start(args, format);
    std::va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        va_end(args);
        return result::error;
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    int written = std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    if (written < 0)
        return result::error;
    std::uint64_t put = 0;
    return stream->write(text.data(), static_cast<std::uint64_t>(length), put);
}

ResultCode writeIndent(Io* stream, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
        if (ResultCode rc = writeText(stream, " "); rc != 0)
            return rc;
    }
    return result::none;
}

} // namespace mediafmt::io
