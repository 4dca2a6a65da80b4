#!/usr/bin/env bash
# The tools' manual pages as a Debian user reads them, beside their --help:
# the usual sections, no line wider than 80 columns at MANWIDTH=80, and the
# same options named in both. Every tool answers -h as --help, in 80 columns.
#   manual_pages_test.sh BUILD_DIR
set -uo pipefail
build=$1
command -v man >/dev/null || { echo "SKIP: no man (package man-db)"; exit 77; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The options a text lists: from lines that start with them ("  -h, --help").
listed() {
  sed -n 's/^\( *\)\(-.*\)/\2/p' | while read -r line; do
    for word in ${line//,/ }; do
      case $word in -[a-zA-Z] | --[a-z]*) echo "$word" ;; *) break ;; esac
    done
  done | sort -u
}

for tool in quarveld-write quarveld-frames kelvane-send kelvane-decode quarveld-simprinter; do
  program=$build/tools/$tool
  help=$("$program" --help) || fail "$tool --help"
  [ "$("$program" -h)" = "$help" ] || fail "$tool -h is not --help"
  wide=$(awk 'length($0) > 80' <<<"$help")
  [ -z "$wide" ] || fail "$tool --help is wider than 80 columns: $wide"
  [ $tool = quarveld-simprinter ] && continue  # a test helper: no page

  page=$build/packaging/debian/man/$tool.1
  text=$(MANWIDTH=80 MANPAGER=cat man --warnings -l "$page" 2>"$build/man-warnings.txt") || fail "man $tool"
  [ -s "$build/man-warnings.txt" ] && fail "$tool's page: $(cat "$build/man-warnings.txt")"
  wide=$(awk 'length($0) > 80' <<<"$text")
  [ -z "$wide" ] || fail "$tool's page is wider than 80 columns: $wide"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
    grep -qx "$section" <<<"$text" || fail "$tool's page has no $section"
  done
  in_page=$(awk '/^[A-Z]/ { options = ($0 == "OPTIONS") } options && /^       -/' <<<"$text" | listed)
  in_help=$(listed <<<"$help")
  [ "$in_page" = "$in_help" ] ||
    fail "$tool: the page names $(echo $in_page), --help names $(echo $in_help)"
done
[ $failed -eq 0 ] && echo "manual pages and --help agree"
exit $failed
