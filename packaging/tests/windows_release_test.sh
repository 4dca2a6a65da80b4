#!/bin/sh
# Builds the Windows release as this version and as a later one, and
# runs windows_release_tests on them under Wine in a fresh prefix.
#   windows_release_test.sh TESTS_PROGRAM WINDRIVER_EXE WORK
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
tests=$1 driver=$2 work=$3
# A release build of its own in WORK, kept between runs, so only changes are
# built. The later version comes from the same tree: only the version
# resources and the links are made again. So this version's files are kept
# aside first.
built=$("$root/packaging/windows/build_release.sh" "$work/release")
set -- $built
rm -rf "$work/this"
mkdir -p "$work/this"
cp "$1" "$2" "$work/this/"
cp -r "$work/release/packaging/windows/stage/programs" "$work/this/programs"
msi=$work/this/$(basename "$1") zip=$work/this/$(basename "$2")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/release/CMakeCache.txt")
# Windows Installer compares the first three numbers: raise the third.
next=$(echo "$version.0.0" | awk -F. '{ print $1 "." $2 "." $3 + 1 }')
built=$("$root/packaging/windows/build_release.sh" "$work/release" "$next")
set -- $built
next_msi=$1

rm -rf "$work/e2e"
mkdir -p "$work/e2e"
export RELEASE_PROGRAMS="$work/this/programs" RELEASE_VERSION="$version" \
  RELEASE_MSI="$msi" RELEASE_ZIP="$zip" NEXT_VERSION="$next" NEXT_MSI="$next_msi" \
  QUARVELD_EXE="$work/e2e/portable/QUARVELD.exe" WINDRIVER_EXE="$driver" QUARVELD_E2E_DIR="$work/e2e" \
  HOME="$work/e2e"
exec "$tests"
