# GoogleTest from Debian's sources (apt-get install googletest), built with the compiler flags in force where
# this file is included, and CMake's gtest_discover_tests.
set(GTEST_SRC /usr/src/googletest)
if(NOT EXISTS ${GTEST_SRC}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${GTEST_SRC}: apt-get install googletest")
endif()
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
