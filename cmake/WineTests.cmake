# Tests of the Windows build: the test program runs under Wine, in a
# throwaway prefix of its own inside the build folder, on a virtual screen.
#   add_wine_test(NAME name TARGET target)
find_program(WINE_PROGRAM wine)
find_program(XVFB_RUN xvfb-run)
function(add_wine_test)
  cmake_parse_arguments(ARG "" "NAME;TARGET" "" ${ARGN})
  if(NOT WINE_PROGRAM OR NOT XVFB_RUN)
    message(FATAL_ERROR "The Windows tests need wine and xvfb-run: scripts/setup --windows")
  endif()
  add_test(NAME ${ARG_NAME}
    COMMAND sh ${PROJECT_SOURCE_DIR}/editor/tests/win32/run_under_wine.sh
            ${CMAKE_CURRENT_BINARY_DIR}/wine-${ARG_NAME} $<TARGET_FILE:${ARG_TARGET}>)
  set_tests_properties(${ARG_NAME} PROPERTIES TIMEOUT 300)
endfunction()
