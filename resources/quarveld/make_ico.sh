#!/bin/sh
# Packs the drawn icons (16, 32 and 48 pixels) into the .ico files that
# QUARVELD.exe's resource script takes. Run by hand when the PNGs change:
#   resources/quarveld/make_ico.sh
set -eu
cd "$(dirname "$0")"
for n in 101 102 103; do
    convert "icon${n}_16.png" "icon${n}_32.png" "icon${n}_48.png" "icon${n}.ico"
done
