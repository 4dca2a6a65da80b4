#!/bin/sh
# Makes what Kelvane2.exe's resource script takes from the drawn pictures:
# the program icon (16, 32 and 48 pixels) and Image1 as a 24-bit bitmap.
# Run by hand when the pictures change:  resources/kelvane2/make_win32.sh
set -eu
cd "$(dirname "$0")"
convert kelvane2-64.png -resize 48x48 -define icon:auto-resize=48,32,16 kelvane2.ico
convert Image1.gif -type TrueColor BMP3:Image1.bmp
