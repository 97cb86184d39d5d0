# Cross-compiles for IBM Z Linux, a big-endian machine, and runs the built
# programs under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(BOXMEND_TRIPLE s390x-linux-gnu)
set(BOXMEND_QEMU_ARCH s390x)
include(${CMAKE_CURRENT_LIST_DIR}/LinuxCrossToolchain.cmake)
