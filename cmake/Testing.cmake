# calidra_add_test(NAME SOURCES src... LIBS lib... [LOCKS name...] [TIMEOUT s] [FIXTURES name...]
#                  [ENVIRONMENT var=value...] [OUTPUT_DIR dir]): a GoogleTest executable run under wine by
# CTest, one CTest test per test case. Test executables live apart from the install folder (in the tests'
# folder unless OUTPUT_DIR says otherwise); WINEPATH (set by scripts/test.sh) lets them find the product DLLs.
function(calidra_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT;OUTPUT_DIR" "SOURCES;LIBS;LOCKS;FIXTURES;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  calidra_add_program(${name} NARROW_MAIN SOURCES ${T_SOURCES} LIBS ${T_LIBS} GTest::gtest GTest::gtest_main
                      OUTPUT_DIR ${T_OUTPUT_DIR})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})

  # The list-valued properties are set once the tests are discovered: a list of several items does not survive
  # gtest_discover_tests (all but the first would be read as property names).
  set(props "")
  if(T_LOCKS)
    # Tests that share a named object of the prefix (registry key, block, mutex) never run side by side.
    string(APPEND props " RESOURCE_LOCK [==[${T_LOCKS}]==]")
  endif()
  if(T_FIXTURES)
    # Set-up tests (see FIXTURES_SETUP) that must run first, such as ones that generate the test's input.
    string(APPEND props " FIXTURES_REQUIRED [==[${T_FIXTURES}]==]")
  endif()
  if(T_ENVIRONMENT)
    string(APPEND props " ENVIRONMENT [==[${T_ENVIRONMENT}]==]")
  endif()
  if(props)
    set(props_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${props_file} "set_tests_properties(\${${name}_TESTS} PROPERTIES${props})\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props_file})
  endif()
endfunction()

# A helper executable that tests start as a separate process lands beside the tests: calidra_add_program
# (cmake/Programs.cmake) without OUTPUT_DIR.
