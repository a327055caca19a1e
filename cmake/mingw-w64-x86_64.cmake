# Cross-compiles the Windows program with mingw-w64 (posix threads: std::thread and std::mutex work).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
find_program(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
if(NOT CMAKE_CXX_COMPILER)
  message(FATAL_ERROR "x86_64-w64-mingw32-g++-posix not found: run scripts/setup.sh "
                      "(or apt-get install g++-mingw-w64-x86-64-posix)")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the test executables through wine.
find_program(WINE_PROGRAM wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
