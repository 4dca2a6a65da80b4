# Tests of the Windows build: the test program runs under Wine, in a
# throwaway prefix of its own inside the build folder, on a virtual screen.
#   add_wine_test(NAME name TARGET target)
# Every test that starts Wine also takes wine_test_environment(TEST): a 64-bit
# build (made where the kernel runs no 32-bit program, scripts/build-windows)
# runs in 64-bit prefixes through wine64, which `wine` does not pick.
find_program(WINE_PROGRAM wine)
find_program(XVFB_RUN xvfb-run)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(WINE_ARCH win64)
  set(wine_loader /usr/lib/wine/wine64)
else()
  set(WINE_ARCH win32)
  set(wine_loader ${WINE_PROGRAM})
endif()
set(WINE_BIN_DIR ${CMAKE_BINARY_DIR}/wine-bin)
file(MAKE_DIRECTORY ${WINE_BIN_DIR})
# A script, not a link: Wine's loader looks at the name it was started by.
if(wine_loader)
  file(CONFIGURE OUTPUT ${WINE_BIN_DIR}/wine CONTENT "#!/bin/sh\nexec ${wine_loader} \"$@\"\n")
  file(CHMOD ${WINE_BIN_DIR}/wine PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
endif()

function(wine_test_environment)
  set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT "WINEARCH=${WINE_ARCH}" "PATH=${WINE_BIN_DIR}:$ENV{PATH}")
endfunction()

function(add_wine_test)
  cmake_parse_arguments(ARG "" "NAME;TARGET" "" ${ARGN})
  if(NOT WINE_PROGRAM OR NOT XVFB_RUN)
    message(FATAL_ERROR "The Windows tests need wine and xvfb-run: scripts/setup --windows")
  endif()
  add_test(NAME ${ARG_NAME}
    COMMAND sh ${PROJECT_SOURCE_DIR}/editor/tests/win32/run_under_wine.sh
            ${CMAKE_CURRENT_BINARY_DIR}/wine-${ARG_NAME} $<TARGET_FILE:${ARG_TARGET}>)
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 300)
  wine_test_environment(${ARG_NAME})
endfunction()
