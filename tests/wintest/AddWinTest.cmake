# add_win_test(NAME x SOURCES a.cpp [LIBS ...] [OBJECTS ...]): one
# GoogleTest console program, registered as one CTest test run under Wine (scripts/wine-run is the
# emulator); one Wine start per program, not per case. Does nothing in the host build.
if(SETUP_WIN AND NOT TARGET gtest_main)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Third-party code is not held to the project's warning flags, and its
  # library headers carry characters that have no Shift-JIS form.
  target_compile_options(gtest PRIVATE -w -fexec-charset=UTF-8)
  target_compile_options(gtest_main PRIVATE -w -fexec-charset=UTF-8)
endif()

function(add_win_test)
  if(NOT SETUP_WIN)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;OBJECTS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${T_OBJECTS}
                 ${CMAKE_SOURCE_DIR}/tests/wintest/quiet_debug_output.cpp)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main ${SETUP_WIN_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 300 LABELS wine)
endfunction()
