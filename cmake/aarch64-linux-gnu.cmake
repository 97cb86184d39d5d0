# Cross-compiles for 64-bit ARM Linux and runs the built programs under
# qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(BOXMEND_TRIPLE aarch64-linux-gnu)
set(BOXMEND_QEMU_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/LinuxCrossToolchain.cmake)
