#!/bin/sh
# Runs a Win32 GUI test program under Wine on a virtual screen of its own,
# in a throwaway prefix:   run_under_wine.sh PREFIX PROGRAM [ARGS...]
# LPT1 is mapped to the file PREFIX.lpt1, named to the program in KELVANE_LPT1.
# KELVANE_XVFB_DISPLAY picks the display number; otherwise a free one.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=${WINEARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export KELVANE_LPT1="$prefix.lpt1"
# The windows are laid out for Wine's own "MS Sans Serif".
sh "$(dirname "$0")/../../../scripts/wine-fonts" "$WINEPREFIX"
if [ -n "${KELVANE_XVFB_DISPLAY:-}" ]; then screen="-n $KELVANE_XVFB_DISPLAY"; else screen="-a"; fi
# shellcheck disable=SC2086
exec xvfb-run $screen -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
    [ -f "$WINEPREFIX/system.reg" ] || wine wineboot --init >/dev/null 2>&1
    : > "$KELVANE_LPT1"
    wine reg add "HKLM\\Software\\Wine\\Ports" /v LPT1 /d "$KELVANE_LPT1" /f >/dev/null 2>&1
    # Wine draws the captions and frames itself: Xvfb has no window manager.
    wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w
    wineserver -p
    status=0
    wine "$@" || status=$?
    wineserver -k 2>/dev/null || true
    wineserver -w
    exit $status' run-under-wine "$@"
