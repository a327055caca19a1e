# calidra_add_program(NAME [WIN32] [NARROW_MAIN] SOURCES src... [LIBS lib...] [OUTPUT_DIR dir]): a helper
# program of the build (tool, probe, simulator, benchmark) that lands in OUTPUT_DIR (the tests' folder unless
# given). Programs start at wmain (or wWinMain), as the product's do; NARROW_MAIN keeps a plain main.
function(calidra_add_program name)
  cmake_parse_arguments(P "WIN32;NARROW_MAIN" "OUTPUT_DIR" "SOURCES;LIBS" ${ARGN})
  if(NOT P_OUTPUT_DIR)
    set(P_OUTPUT_DIR ${CALIDRA_TEST_DIR})
  endif()
  if(P_WIN32)
    add_executable(${name} WIN32 ${P_SOURCES})
  else()
    add_executable(${name} ${P_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${P_LIBS} calidra_warnings)
  if(NOT P_NARROW_MAIN)
    target_link_options(${name} PRIVATE -municode)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${P_OUTPUT_DIR})
endfunction()
