# The part of the mingw-w64 cross toolchains shared by both widths. The including file sets
# CMAKE_SYSTEM_PROCESSOR and TOOLCHAIN_PREFIX first. Posix threads: std::thread and std::mutex work.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
find_program(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
if(NOT CMAKE_CXX_COMPILER)
  string(REPLACE "_" "-" package_arch ${CMAKE_SYSTEM_PROCESSOR})
  message(FATAL_ERROR "${TOOLCHAIN_PREFIX}-g++-posix not found: run scripts/setup.sh "
                      "(or apt-get install g++-mingw-w64-${package_arch}-posix)")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test executables through scripts/wine.sh, which starts wine's loader for the program's width
# as this machine can run it (Debian's `wine` fails on kernels without 32-bit execution). The path is
# recorded at configure time, so it names the script, which decides each time it runs.
get_filename_component(wine_script ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine.sh ABSOLUTE)
set(WINE_PROGRAM ${wine_script} CACHE FILEPATH "Starts the test programs under wine" FORCE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
