include(GoogleTest)

# calidra_add_test(NAME SOURCES src... LIBS lib... [LOCKS name] [TIMEOUT s] [FIXTURES name] [ENVIRONMENT var=value]):
# a GoogleTest executable run under wine by CTest, one CTest test
# per test case. Test executables live apart from the install folder; WINEPATH (set by scripts/test.sh)
# lets them find the product DLLs.
function(calidra_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LOCKS;FIXTURES;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main calidra_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CALIDRA_TEST_DIR})
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LOCKS)
    # Tests that share a named object of the prefix (registry key, block, mutex) never run side by side.
    list(APPEND props RESOURCE_LOCK ${T_LOCKS})
  endif()
  if(T_FIXTURES)
    # Set-up tests (see FIXTURES_SETUP) that must run first, such as ones that generate the test's input.
    list(APPEND props FIXTURES_REQUIRED ${T_FIXTURES})
  endif()
  if(T_ENVIRONMENT)
    list(APPEND props ENVIRONMENT ${T_ENVIRONMENT})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# A helper executable that tests start as a separate process; it lands beside the tests.
function(calidra_add_test_tool name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} calidra_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CALIDRA_TEST_DIR})
endfunction()
