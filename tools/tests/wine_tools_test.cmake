# The Windows builds of the tools under Wine: quarveld-write prints the dry run's
# frames, bad usage and a missing image give status 2; kelvane-send saves and
# sends to several devices with a log, kelvane-decode reads; all of them with
# folders and files named in scripts that Windows' ANSI code page cannot hold.
#   cmake -DWINE=... -DTOOL=...exe -DKSEND=...exe -DKDECODE=...exe -DWORK=dir -P wine_tools_test.cmake
file(MAKE_DIRECTORY ${WORK})
set(QWRITE ${TOOL})
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

# The editor's tools: a saved session holds the bytes the windows would
# save, and kelvane-decode reads them back.
set(TOOL ${KSEND})
run_tool(text code --save saved.prn A=8000 2=0123)
file(READ ${WORK}/saved.prn saved HEX)
set(expected "1b1d232c32303132330a001b1d232c41383030300a001b1d235430303030300a00")
if(NOT code EQUAL 0 OR NOT saved STREQUAL expected)
  message(FATAL_ERROR "kelvane-send --save: status ${code}, file ${saved}")
endif()
run_tool(text code 3=12345)
if(NOT code EQUAL 2)
  message(FATAL_ERROR "kelvane-send with a five-digit value: status ${code}, expected 2")
endif()
# Several destinations: the job to each in turn, the failing one named in
# the summary, one log line per destination.
file(REMOVE ${WORK}/a.bin ${WORK}/b.bin ${WORK}/runs.jsonl)  # left by an earlier run
run_tool(text code --device a.bin --device no-folder/c.bin --device b.bin --log runs.jsonl 3=0005)
set(expected "1b1d232c33303030350a001b1d235430303030300a00")
file(READ ${WORK}/a.bin first HEX)
file(READ ${WORK}/b.bin second HEX)
if(NOT code EQUAL 1 OR NOT first STREQUAL expected OR NOT second STREQUAL expected
   OR NOT text MATCHES "device no-folder/c.bin +error +- +Cannot open")
  message(FATAL_ERROR "kelvane-send to three devices: status ${code}, files ${first} ${second}, printed:\n${text}")
endif()
file(SHA256 ${WORK}/a.bin digest)
file(STRINGS ${WORK}/runs.jsonl lines)
set(results "")
foreach(line IN LISTS lines)
  string(JSON result GET "${line}" result)
  string(JSON sha GET "${line}" job_sha256)
  list(APPEND results ${result})
  if(NOT sha STREQUAL digest)
    message(FATAL_ERROR "kelvane-send --log: job_sha256 ${sha}, the job's is ${digest}")
  endif()
endforeach()
if(NOT results STREQUAL "sent;error;sent")
  message(FATAL_ERROR "kelvane-send --log: results ${results}, log:\n${lines}")
endif()

# A port's name is never a file: com10: opens the system's COM10 (here
# Wine's port map leads it to a file), and COM11, which is not there, is an
# error; neither leaves a file named like a port behind.
file(WRITE ${WORK}/com10.out "")
file(REMOVE ${WORK}/COM10 ${WORK}/COM11 ${WORK}/com10 ${WORK}/com10:)  # left by an earlier run
execute_process(COMMAND ${WINE} reg add "HKLM\\Software\\Wine\\Ports" /v COM10 /d ${WORK}/com10.out /f
                OUTPUT_QUIET ERROR_QUIET)
execute_process(COMMAND wineserver -k OUTPUT_QUIET ERROR_QUIET)
execute_process(COMMAND wineserver -w OUTPUT_QUIET ERROR_QUIET)
run_tool(text code --device com10: 3=0005)
file(READ ${WORK}/com10.out port HEX)
if(NOT code EQUAL 0 OR NOT port STREQUAL expected)
  message(FATAL_ERROR "kelvane-send --device com10: status ${code}, the port got ${port}, printed:\n${text}")
endif()
execute_process(COMMAND ${WINE} ${TOOL} --device COM11 3=0005 WORKING_DIRECTORY ${WORK}
                OUTPUT_QUIET ERROR_VARIABLE why RESULT_VARIABLE code)
file(GLOB files RELATIVE ${WORK} ${WORK}/*)
set(ports "${files}")
list(FILTER ports INCLUDE REGEX "^[Cc][Oo][Mm]1[01]:?$")
if(NOT code EQUAL 1 OR NOT why MATCHES "Cannot open COM11: this PC has no such port" OR ports)
  message(FATAL_ERROR "kelvane-send --device COM11: status ${code}, files ${ports}, said:\n${why}")
endif()

set(TOOL ${KDECODE})
run_tool(text code saved.prn)
set(expected "Memory Switch 2 = 0123 (bits 0, 1, 5, 8)\nMemory Switch A = 8000 (bit F)\nClosing command\n")
if(NOT code EQUAL 0 OR NOT text STREQUAL expected)
  message(FATAL_ERROR "kelvane-decode: status ${code}, printed:\n${text}")
endif()

# Folders and files in other scripts: Unix names reach Wine as UTF-8, and the
# ANSI code page (a Western one here, as on most PCs) cannot hold them. The
# tools take them from the wide command line and open them by the wide calls.
set(ENV{LC_ALL} C.UTF-8)
foreach(folder "Прошивка Ивана" "ファームウェア")
  file(REMOVE_RECURSE "${WORK}/${folder}")
  file(MAKE_DIRECTORY "${WORK}/${folder}")
  file(COPY_FILE ${WORK}/image.mot "${WORK}/${folder}/образ.mot")

  set(TOOL ${QWRITE})
  run_tool(frames code --dry-run "${folder}/образ.mot")
  if(NOT code EQUAL 0 OR NOT frames STREQUAL "02 00 00 00 00 00 03 01 40\n02 03 00 00 10 00 01 02 03 03 AD F6\n")
    message(FATAL_ERROR "--dry-run ${folder}/образ.mot: status ${code}, printed:\n${frames}")
  endif()

  file(COPY_FILE ${WORK}/saved.prn "${WORK}/${folder}/顧客.prn")
  set(TOOL ${KSEND})
  file(REMOVE ${WORK}/a.bin)
  run_tool(text code --device a.bin --log "${folder}/журнал.jsonl" 3=0005)
  file(STRINGS "${WORK}/${folder}/журнал.jsonl" line)
  string(JSON result GET "${line}" result)
  if(NOT code EQUAL 0 OR NOT result STREQUAL "sent")
    message(FATAL_ERROR "kelvane-send --log ${folder}/журнал.jsonl: status ${code}, log ${line}, printed:\n${text}")
  endif()

  set(TOOL ${KDECODE})
  run_tool(text code "${folder}/顧客.prn")
  if(NOT code EQUAL 0 OR NOT text STREQUAL "Memory Switch 2 = 0123 (bits 0, 1, 5, 8)\nMemory Switch A = 8000 (bit F)\nClosing command\n")
    message(FATAL_ERROR "kelvane-decode ${folder}/顧客.prn: status ${code}, printed:\n${text}")
  endif()
endforeach()
