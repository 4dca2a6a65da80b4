#!/bin/sh
# Builds the Windows release into BUILD, a cross-build of its own (optimised
# for size, stripped): the five programs, the MSI and the zip; prints the MSI's and the
# zip's paths.   build_release.sh BUILD [VERSION]
# VERSION (default: the project's) stands in for the package's version.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
if [ -n "${2:-}" ]; then version="-DWINDOWS_VERSION=$2"; else version="-UWINDOWS_VERSION"; fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel "$version" >/dev/null
# Only this version's packages stay, so that the paths printed are the new ones.
rm -f "$build"/packaging/windows/*.msi "$build"/packaging/windows/*.zip
cmake --build "$build" --target windows_packages >&2
ls "$build"/packaging/windows/*.msi "$build"/packaging/windows/*.zip
