# `cpack`: a Debian package and a tarball on Linux, a zip of the programs
# from the Windows build.
set(CPACK_PACKAGE_NAME boxmend)
set(CPACK_PACKAGE_VENDOR "boxmend")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Repairs two header defects of camera MP4/QuickTime recordings in place")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(BOXMEND_PACKAGE_CONTACT "boxmend maintainers"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGE_CONTACT "${BOXMEND_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    # CPack would say win32 for any compiler but 64-bit MSVC.
    set(CPACK_SYSTEM_NAME win64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION video)
    find_program(BOXMEND_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(CMAKE_CROSSCOMPILING)
        # CPack names the host's architecture, and dpkg-shlibdeps can only
        # read the libraries of architectures installed on the host: name
        # both for the target. zlib is linked in, so the C and C++ runtimes
        # are all there is to depend on (the versions Debian 12 ships).
        if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
            set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
        else()
            set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR})
        endif()
        set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 11), libgcc-s1 (>= 3.0)")
        # The tarball says which machine it is for, beside the host's own.
        set(CPACK_SYSTEM_NAME Linux-${CMAKE_SYSTEM_PROCESSOR})
    elseif(BOXMEND_DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    else()
        set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
    endif()
endif()

include(CPack)
