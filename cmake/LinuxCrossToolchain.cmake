# Shared by the Linux cross toolchains: Debian's gcc cross compiler for
# BOXMEND_TRIPLE, the target's libraries under /usr/<triple>, and qemu-user to
# run what is built, pointed at that same root for the target's loader and
# shared libraries.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${BOXMEND_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${BOXMEND_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${BOXMEND_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(BOXMEND_QEMU qemu-${BOXMEND_QEMU_ARCH})
if(BOXMEND_QEMU)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BOXMEND_QEMU} -L /usr/${BOXMEND_TRIPLE})
endif()
