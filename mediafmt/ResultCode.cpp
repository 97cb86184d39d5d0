#include "mediafmt/ResultCode.h"

#include <array>

namespace mediafmt {

std::string resultCodeText(ResultCode code) {
    static constexpr std::array<const char*, 18> texts = {
        "none",
        "no-op",
        "error",
        "invalid argument",
        "invalid operation",
        "file not open",
        "file not found",
        "end of file",
        "invalid object / null pointer",
        "invalid I/O operation",
        "I/O read error",
        "I/O write error",
        "I/O open error",
        "I/O close error",
        "I/O seek before beginning",
        "I/O seek past end",
        "divide by zero",
        "I/O read could not bypass the cache",
    };
    return code < texts.size() ? texts[code] : "unknown";
}

} // namespace mediafmt
