# Windows-side unit tests: GoogleTest built from the Debian source package and
# add_win_test(), which makes one console test program and registers it as one
# CTest test run under Wine (scripts/wine-run is the build's emulator).
# Discovering the cases one by one would start Wine once per case, which is far
# too slow; GoogleTest's own output names any failing case.
#
#   add_win_test(NAME x_wintest SOURCES a.cpp b.cpp LIBS common_portable
#                [OBJECTS $<TARGET_OBJECTS:common_win>] [TIMEOUT 300] [ENVIRONMENT "K=V"])
#
# In the host build it does nothing, so a folder may call it unconditionally.

if(SETUP_WIN AND NOT TARGET gtest_main)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Third-party code is not held to the project's warning flags, and its
  # library headers carry characters that have no Shift-JIS form.
  foreach(t gtest gtest_main)
    target_compile_options(${t} PRIVATE -w -fexec-charset=UTF-8)
  endforeach()
endif()

function(add_win_test)
  if(NOT SETUP_WIN)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;OBJECTS;ENVIRONMENT" ${ARGN})
  if(NOT T_NAME OR NOT T_SOURCES)
    message(FATAL_ERROR "add_win_test needs NAME and SOURCES")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES} ${T_OBJECTS}
                 ${CMAKE_SOURCE_DIR}/tests/wintest/quiet_debug_output.cpp)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main ${SETUP_WIN_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS wine)
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()
