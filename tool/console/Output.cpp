#include "tool/console/Output.h"

#include <cstdio>
#include <iostream>

namespace boxmend::console {

bool outputLost() {
    std::cout.flush();
    return std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout;
}

} // namespace boxmend::console
