# What `cmake --install` puts in place: the programs with their manual pages
# and, for other projects, the mediafmt library with its headers and a CMake
# package (find_package(mediafmt CONFIG), target mediafmt::mediafmt).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(BOXMEND_PROGRAMS boxmend boxdump boxmend-all)
install(TARGETS ${BOXMEND_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The Windows build ships its programs with a plain-text guide in Windows'
# line endings beside them: the manual pages and the static library are of
# no use beside a .exe.
if(WIN32)
    configure_file(${PROJECT_SOURCE_DIR}/man/windows-README.txt ${PROJECT_BINARY_DIR}/README.txt
                   @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION ${CMAKE_INSTALL_BINDIR})
    return()
endif()

foreach(program IN LISTS BOXMEND_PROGRAMS)
    install(FILES ${PROJECT_SOURCE_DIR}/man/${program}.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The target's own include directory already names the installed headers.
install(TARGETS mediafmt EXPORT mediafmtTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/mediafmt/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mediafmt
        FILES_MATCHING PATTERN "*.h")

set(BOXMEND_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mediafmt)
install(EXPORT mediafmtTargets NAMESPACE mediafmt:: DESTINATION ${BOXMEND_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/mediafmtConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/mediafmtConfig.cmake
                              INSTALL_DESTINATION ${BOXMEND_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mediafmtConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mediafmtConfig.cmake
              ${PROJECT_BINARY_DIR}/mediafmtConfigVersion.cmake
        DESTINATION ${BOXMEND_PACKAGE_DIR})
