#!/usr/bin/env bash
# The Debian package as Debian's own checker sees it: no error and no
# warning from lintian, and .desktop files that desktop-file-validate accepts.
#   lintian_test.sh BUILD_DIR
set -uo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/printer-setup-tools_*.deb) || fail "no package was made"

# Root is warned about, not refused; --fail-on makes a warning fail too.
lintian --fail-on error,warning --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1
status=$?
grep -v '^running with root privileges' "$work/lintian.log"
[ $status -eq 0 ] || fail "lintian found errors or warnings"

# Every program has its page, and the tools' pages carry their usage.
dpkg-deb -x "$deb" "$work/root"
for program in "$work"/root/usr/bin/*; do
  name=$(basename "$program")
  page=$work/root/usr/share/man/man1/$name.1.gz
  [ -f "$page" ] || fail "no manual page for $name"
done
for tool in quarveld-write quarveld-frames kelvane-send kelvane-decode; do
  zcat "$work/root/usr/share/man/man1/$tool.1.gz" | grep -q '^\.SH SYNOPSIS' || fail "the page of $tool has no synopsis"
done

out=$(desktop-file-validate "$work"/root/usr/share/applications/*.desktop 2>&1)
[ -z "$out" ] || fail "desktop-file-validate: $out"
echo "lintian: clean; $(ls "$work"/root/usr/bin | wc -l) programs with pages; desktop files valid"
