#!/bin/sh
# Packs the drawn icon (16, 32 and 48 pixels) into the .ico file that the
# Windows station's resource script takes. Run by hand when the PNGs change:
#   resources/station/make_ico.sh
set -eu
cd "$(dirname "$0")"
convert quarveld-station_16.png quarveld-station_32.png quarveld-station_48.png quarveld-station.ico
