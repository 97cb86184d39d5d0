# Installs a build tree into a fresh prefix, checks what was installed, and
# builds and runs the consumer project against that prefix alone.
#
#   cmake -D BUILD_DIR=... -D WORK_DIR=... -D GENERATOR=... -D CXX_COMPILER=...
#         [-D CXX_FLAGS=...] [-D LINK_FLAGS=...] -P RunConsumer.cmake

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                    ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(installed IN ITEMS
        bin/boxmend
        bin/boxdump
        bin/boxmend-all
        share/man/man1/boxmend.1
        share/man/man1/boxdump.1
        share/man/man1/boxmend-all.1
        include/mediafmt/ResultCode.h
        include/mediafmt/io/Buffer.h
        include/mediafmt/mp4/File.h
        lib/cmake/mediafmt/mediafmtConfig.cmake
        lib/cmake/mediafmt/mediafmtConfigVersion.cmake)
    if(NOT EXISTS ${prefix}/${installed})
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
file(GLOB_RECURSE sources RELATIVE ${prefix} ${prefix}/*.cpp)
if(sources)
    message(FATAL_ERROR "sources installed: ${sources}")
endif()

run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}" -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)
if(NOT out STREQUAL "ftyp 16\nfree 48\n")
    message(FATAL_ERROR "unexpected output from the consumer:\n${out}")
endif()
message(STATUS "the consumer built against ${prefix} and parsed its boxes")
