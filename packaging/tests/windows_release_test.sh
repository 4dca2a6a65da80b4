#!/bin/sh
# Builds the Windows release twice, as this version and as a later one, and
# runs windows_release_tests on them under Wine in a fresh prefix.
#   windows_release_test.sh TESTS_PROGRAM WINDRIVER_EXE WORK
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
tests=$1 driver=$2 work=$3
# Release builds of their own in WORK: kept between runs, so only changes are built.
built=$("$root/packaging/windows/build_release.sh" "$work/release")
set -- $built
msi=$1 zip=$2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/release/CMakeCache.txt")
# Windows Installer compares the first three numbers: raise the third.
next=$(echo "$version.0.0" | awk -F. '{ print $1 "." $2 "." $3 + 1 }')
built=$("$root/packaging/windows/build_release.sh" "$work/release-next" "$next")
set -- $built
next_msi=$1

rm -rf "$work/e2e"
mkdir -p "$work/e2e"
export RELEASE_PROGRAMS="$work/release/packaging/windows/stage/programs" RELEASE_VERSION="$version" \
  RELEASE_MSI="$msi" RELEASE_ZIP="$zip" NEXT_VERSION="$next" NEXT_MSI="$next_msi" \
  QUARVELD_EXE="$work/e2e/portable/QUARVELD.exe" WINDRIVER_EXE="$driver" QUARVELD_E2E_DIR="$work/e2e" \
  HOME="$work/e2e"
exec "$tests"
