#!/usr/bin/env bash
# Builds the Debian package from the build tree, installs it, starts both programs from it,
# installs it again, removes it and purges it: one computer identifier survives every step
# but the purge, and nothing of the package is left but the settings store.
#   package_test.sh BUILD_DIR      (needs root and dpkg; exits 77 = skipped otherwise)
set -euo pipefail

build=$(cd "$1" && pwd)
store_dir=/etc/Quillorane
store=$store_dir/Platterscope.conf

skip() { echo "skipped: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v dpkg >/dev/null && command -v cpack >/dev/null || skip "dpkg or cpack is missing"
if dpkg-query -W -f='${Status}' platterscope 2>/dev/null | grep -q "ok installed\|config-files"; then
  skip "a platterscope package is already on this machine; it is left alone"
fi

work=$(mktemp -d)
backup=""
if [ -e "$store" ]; then backup=$work/store.backup; cp -p "$store" "$backup"; fi
had_store_dir=false
if [ -d "$store_dir" ]; then had_store_dir=true; fi

# Whatever happens, the machine is left as it was found.
restore() {
  dpkg --purge platterscope >/dev/null 2>&1 || true
  if [ -n "$backup" ]; then
    mkdir -p "$store_dir" && cp -p "$backup" "$store"
  else
    rm -f "$store"
    $had_store_dir || rmdir "$store_dir" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap restore EXIT
rm -f "$store"

stored_id() { sed -n 's/^Computer_Id\tstring\t//p' "$store" 2>/dev/null || true; }

echo "== package"
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/platterscope_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for path in ./usr/bin/platterscope ./usr/bin/platterscope-bench \
            ./usr/share/applications/example.platterscope.Platterscope.desktop \
            ./usr/share/metainfo/example.platterscope.Platterscope.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/platterscope.svg \
            ./usr/share/icons/hicolor/48x48/apps/platterscope.png \
            ./usr/share/man/man1/platterscope.1.gz ./usr/share/man/man1/platterscope-bench.1.gz; do
  grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || fail "the library dependencies are not declared"

echo "== first install"
dpkg -i "$deb"
first=$(stored_id)
[[ "$first" =~ ^[0-9]{17}$ ]] || fail "the installer stored no 17-digit Computer_Id: '$first'"
[ "$(stat -c %a "$store")" = 644 ] || fail "the settings store is not readable by every user"

echo "== start both programs"
/usr/bin/platterscope-bench --list-drives >"$work/drives" || fail "platterscope-bench --list-drives"
[ -s "$work/drives" ] || fail "platterscope-bench lists no drive"
[ "$(/usr/bin/platterscope-bench --computer-id)" = "$first" ] || fail "platterscope-bench reads another identifier"
# The window as a user starts it, without a display: it saves its picture after start-up and
# quits. The results server is a closed local port, so nothing waits on the network.
mkdir "$work/home"
env QT_QPA_PLATFORM=offscreen PLATTERSCOPE_SERVER=127.0.0.1:9 TMPDIR="$work" HOME="$work/home" \
  timeout 120 /usr/bin/platterscope --screenshot "$work/window.png" || fail "platterscope did not start and quit"
[ -s "$work/window.png" ] || fail "platterscope saved no picture"
[ "$(stored_id)" = "$first" ] || fail "the window changed the identifier"

echo "== second install"
dpkg -i "$deb"
[ "$(stored_id)" = "$first" ] || fail "a second installation changed the identifier to $(stored_id)"

echo "== remove"
# A write of the store cut short leaves its temporary file beside it.
touch "$store_dir/.Platterscope.conf.k3j2h1g0f9e8.tmp"
dpkg-query -L platterscope | sort -r >"$work/files"
dpkg -r platterscope
while read -r path; do
  if [ ! -d "$path" ] && { [ -e "$path" ] || [ -L "$path" ]; }; then fail "removal left $path"; fi
done <"$work/files"
[ "$(ls -A "$store_dir")" = "Platterscope.conf" ] || fail "removal left in $store_dir: $(ls -A "$store_dir")"
[ "$(stored_id)" = "$first" ] || fail "removal changed the identifier"

echo "== purge"
dpkg --purge platterscope
[ ! -e "$store" ] || fail "purging left the settings store"
! ls -A "$store_dir" 2>/dev/null | grep -q '^\.Platterscope\.conf\.' || fail "purging left a copy of the store"
if ! $had_store_dir; then [ ! -e "$store_dir" ] || fail "purging left $store_dir"; fi
echo "passed"
