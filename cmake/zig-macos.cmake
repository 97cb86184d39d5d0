# Compiles and links for macOS with zig's clang, its libc++ and its copy of
# the macOS SDK headers, so that a Linux machine can check that the project
# builds there; nothing built can run here. scripts/check-macos installs zig
# and writes, for one target, the wrappers this file names:
#   BOXMEND_ZIG_TOOLS       a folder holding cc, c++, ar, ranlib and a
#                           stand-in install_name_tool for the target
#   CMAKE_SYSTEM_PROCESSOR  arm64 or x86_64
set(CMAKE_SYSTEM_NAME Darwin)

# GoogleTest's project enables C as well.
set(CMAKE_C_COMPILER ${BOXMEND_ZIG_TOOLS}/cc)
set(CMAKE_CXX_COMPILER ${BOXMEND_ZIG_TOOLS}/c++)
set(CMAKE_AR ${BOXMEND_ZIG_TOOLS}/ar CACHE FILEPATH "Archiver for the target")
set(CMAKE_RANLIB ${BOXMEND_ZIG_TOOLS}/ranlib CACHE FILEPATH "Archive indexer for the target")
set(CMAKE_INSTALL_NAME_TOOL ${BOXMEND_ZIG_TOOLS}/install_name_tool
    CACHE FILEPATH "Stand-in for Apple's install_name_tool")
# CMake's checks of the compiler build projects of their own: they need the
# wrappers too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BOXMEND_ZIG_TOOLS)

# Nothing of the host's may stand in for the target's: packages are looked
# for only in the (empty) root of the target, and the build names zlib's
# headers and its stub itself.
set(CMAKE_FIND_ROOT_PATH ${BOXMEND_ZIG_TOOLS}/root)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
