#!/bin/sh
# Kelvane2.exe as a user starts it, driven by windriver.exe: the program's own
# message loop gives the first value box the keyboard, the key filter takes
# "a" as "A" and drops "g", Tab moves on, and the close box ends the program.
#   program_test.sh PREFIX KELVANE2_EXE WINDRIVER_EXE
# KELVANE_XVFB_DISPLAY picks the display number; otherwise a free one.
set -eu
export WINEPREFIX="$1" WINEARCH=${WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export KELVANE2_EXE="$2" WINDRIVER_EXE="$3"
# The windows are laid out for Wine's own "MS Sans Serif".
sh "$(dirname "$0")/../../../scripts/wine-fonts" "$WINEPREFIX"
if [ -n "${KELVANE_XVFB_DISPLAY:-}" ]; then screen="-n $KELVANE_XVFB_DISPLAY"; else screen="-a"; fi
# shellcheck disable=SC2086
exec xvfb-run $screen -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
    [ -f "$WINEPREFIX/system.reg" ] || wine wineboot --init >/dev/null 2>&1 || true
    wineserver -p 2>/dev/null || true
    d() { wine "$WINDRIVER_EXE" "$@" | tr -d "\r\n"; }
    fail() { echo "FAILED: $1" >&2; wineserver -k 2>/dev/null || true; exit 1; }
    wine "$KELVANE2_EXE" &
    program=$!
    d wait "class=formSimple" >/dev/null || fail "no simple window"
    d click "class=formSimple" 1003
    d wait "class=formAdvanced" >/dev/null || fail "no advanced window"
    d key "class=formAdvanced" 0x41
    d key "class=formAdvanced" 0x47
    [ "$(d text "class=formAdvanced" 2010)" = "A" ] || fail "the first value box holds \"$(d text "class=formAdvanced" 2010)\", not A"
    d key "class=formAdvanced" 0x09
    d key "class=formAdvanced" 0x09
    d key "class=formAdvanced" 0x42
    [ "$(d text "class=formAdvanced" 2011)" = "B" ] || fail "Tab did not reach the second value box"
    d close "class=formAdvanced"
    status=0
    wait $program || status=$?
    [ $status -eq 0 ] || fail "the program ended with $status"
    d gone "class=formSimple" 2000 || fail "the simple window stayed"
    wineserver -k 2>/dev/null || true
    wineserver -w' program-test
