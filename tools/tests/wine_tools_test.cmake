# The Windows build of quarveld-write under Wine: the dry run prints the
# frames, bad usage and a missing image give status 2.
#   cmake -DWINE=... -DTOOL=...exe -DWORK=dir -P wine_tools_test.cmake
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/image.mot "S00600004844521B\r\nS1061000010203E3\r\nS9030000FC\r\n")

function(run_tool out status)
  execute_process(COMMAND ${WINE} ${TOOL} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE text ERROR_VARIABLE ignored RESULT_VARIABLE code)
  string(REPLACE "\r" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
  set(${status} "${code}" PARENT_SCOPE)
endfunction()

run_tool(frames code --dry-run image.mot)
set(expected "02 00 00 00 00 00 03 01 40\n02 03 00 00 10 00 01 02 03 03 AD F6\n")
if(NOT code EQUAL 0 OR NOT frames STREQUAL expected)
  message(FATAL_ERROR "--dry-run: status ${code}, printed:\n${frames}")
endif()

run_tool(text code --baud 1234 image.mot)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "--baud 1234: status ${code}, expected 2")
endif()
run_tool(text code --port COM2 missing.mot)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "missing image: status ${code}, expected 2")
endif()
run_tool(text code --help)
if(NOT code EQUAL 0 OR NOT text MATCHES "Exit status: 0 written")
  message(FATAL_ERROR "--help: status ${code}, printed:\n${text}")
endif()
