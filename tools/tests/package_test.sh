#!/usr/bin/env bash
# Installs the Debian package with apt-get, starts the programs offscreen,
# runs each tool's --help, and removes the package again.
#   package_test.sh BUILD_DIR
# Exit 77 (skipped) when this machine cannot take the package: not root, no
# apt-get, or the package already installed by someone (left alone).
set -uo pipefail
build=$1
skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "no apt-get"
if dpkg-query -W -f='${Status}' printer-setup-tools 2>/dev/null | grep -q 'install ok installed'; then
  skip "printer-setup-tools is installed already; this test does not touch it"
fi

work=$(mktemp -d)
installed=false
cleanup() {
  [ -n "${gui_pid:-}" ] && kill "$gui_pid" 2>/dev/null
  $installed && apt-get remove -y -q printer-setup-tools >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/printer-setup-tools_*.deb) || fail "no package was made"

# Every dependency is on this machine already (the build needed them), so
# apt-get fetches nothing.
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
installed=true

menus="/usr/share/applications/kelvane2.desktop /usr/share/applications/quarveld.desktop
       /usr/share/applications/quarveld-station.desktop"
for f in $menus /usr/share/icons/hicolor/64x64/apps/kelvane2.png /usr/share/icons/hicolor/128x128/apps/quarveld.png \
         /usr/share/icons/hicolor/48x48/apps/quarveld-station.png /usr/share/man/man1/quarveld-station.1.gz; do
  [ -f "$f" ] || fail "$f is not installed"
done

# The programs run from the menu's Exec= names; each must come up and stay up.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for program in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' $menus); do
  command -v "$program" >/dev/null || fail "$program is not on the PATH"
  "$program" >"$work/$program.log" 2>&1 &
  gui_pid=$!
  sleep 2
  kill -0 "$gui_pid" 2>/dev/null || { cat "$work/$program.log"; fail "$program ended at start"; }
  kill "$gui_pid"; wait "$gui_pid" 2>/dev/null; gui_pid=
done

for tool in quarveld-write quarveld-frames kelvane-send kelvane-decode quarveld-station; do
  case $tool in
    quarveld-frames) out=$("$tool" 2>&1); [ $? -eq 2 ] && grep -q usage <<<"$out" || fail "$tool without arguments" ;;
    *) out=$("$tool" --help) || fail "$tool --help"; grep -q "usage: $tool" <<<"$out" || fail "$tool --help says: $out" ;;
  esac
done

apt-get remove -y -q printer-setup-tools >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
installed=false
[ ! -e /usr/bin/QUARVELD ] && [ ! -e /usr/bin/kelvane-send ] || fail "files are left after removal"
echo "package installed, programs started, tools answered, package removed"
