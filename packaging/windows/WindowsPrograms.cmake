# What every Windows program of the release carries: a version resource with
# the package's version, its icon, and what lets it run on Windows XP SP3.
#   windows_program(TARGET DESCRIPTION text [ICON file.ico])
set(WINDOWS_PRODUCT "Printer setup tools")
set(WINDOWS_MANUFACTURER "Printer setup tools team")
# What the programs' own version resources say. Windows Vista and later take a
# 32-bit program that requests no execution level for an installer, and start
# it elevated, when its file name or one of these texts holds a word such as
# "setup", "install", "update" or "patch"; the installer's names above are not
# the programs' and may keep theirs. No manifest requests a level either: a
# program without one that is not elevated gets Windows' per-user copy of a
# file it writes in the Windows folder (TORWIN.INI), as every older program does.
set(WINDOWS_PROGRAM_PRODUCT "Printer configuration tools")
set(WINDOWS_PROGRAM_COMPANY "Printer configuration tools team")
# An upgrade test builds a second release with a later version.
set(WINDOWS_VERSION ${PROJECT_VERSION} CACHE STRING "Version of the Windows programs and installer")
# The same as the four numbers of a version resource: 1.0 is 1.0.0.0.
string(REPLACE "." ";" WINDOWS_FILE_VERSION "${WINDOWS_VERSION}.0.0.0")
list(SUBLIST WINDOWS_FILE_VERSION 0 4 WINDOWS_FILE_VERSION)
list(JOIN WINDOWS_FILE_VERSION "." WINDOWS_FILE_VERSION_TEXT)

# The oldest Windows the programs run on is XP SP3 (5.1): the header says so.
add_link_options(-Wl,--major-os-version,5,--minor-os-version,1,--major-subsystem-version,5,--minor-subsystem-version,1)

# Release programs carry no symbols and no code that nothing calls.
add_compile_options($<$<CONFIG:MinSizeRel,Release>:-ffunction-sections> $<$<CONFIG:MinSizeRel,Release>:-fdata-sections>)
add_link_options($<$<CONFIG:MinSizeRel,Release>:-s> $<$<CONFIG:MinSizeRel,Release>:-Wl,--gc-sections>)

# Debian's winpthreads calls GetTickCount64, which XP lacks; our own stands in.
add_library(xp_tick_count OBJECT ${CMAKE_CURRENT_LIST_DIR}/tick_count_xp.cpp)

function(windows_program target)
  cmake_parse_arguments(ARG "" "DESCRIPTION;ICON" "" ${ARGN})
  set(RC_NAME ${target})
  set(RC_DESCRIPTION ${ARG_DESCRIPTION})
  list(JOIN WINDOWS_FILE_VERSION "," RC_NUMBERS)
  set(RC_ICON "")
  if(ARG_ICON)
    # The first icon is the one Explorer shows for the file.
    set(RC_ICON "1 ICON \"${ARG_ICON}\"")
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc} $<TARGET_OBJECTS:xp_tick_count>)
endfunction()
