#!/usr/bin/env bash
# Builds the Debian package from a configured build tree, checks it with lintian, installs it,
# saves from the simulated drive with the installed program as a new user would (from an empty
# folder, no build tree on any path, a clean environment), tests the archive with lha,
# checks the desktop entries and the AppStream metainfo, and removes the package again, leaving
# no registration behind.
#   scripts/test-package.sh [BUILD_DIR]      (default: build; needs root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

fail() { echo "test-package: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' quillon 2>/dev/null | grep -q installed; then
  fail "a quillon package is installed already; remove it first (apt-get purge quillon)"
fi

cmake --build "$build" --target package
deb=$(ls -t "$build"/quillon_*.deb | head -n 1)
echo "test-package: $deb"
dpkg-deb --field "$deb" Package Version Depends

# Errors fail the check; warnings are printed.
lintian_out=$(lintian --tag-display-limit 0 "$deb" || true)
[ -z "$lintian_out" ] || echo "$lintian_out"
if echo "$lintian_out" | grep -q '^E:'; then fail "lintian reports errors"; fi

work=$(mktemp -d /tmp/quillon-package-test.XXXXXX)
chmod 755 "$work"
cleanup() {
  "${as_root[@]}" apt-get purge -y quillon >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"${as_root[@]}" apt-get install -y "$(realpath "$deb")"
system_store=/var/lib/quillon/registry
velkor-module --system list | grep -q "VELKOR.VelkorCtrl.1" || fail "the system-wide store does not name the Velkor control"

# The desktop entries and the AppStream metainfo as installed; the viewer's entry is the one a
# file manager offers for a saved LZH archive.
desktop-file-validate /usr/share/applications/quillon.desktop /usr/share/applications/quillon-view.desktop \
  || fail "a desktop entry does not validate"
for type in application/x-lha application/x-lzh-compressed; do
  grep -q "^MimeType=.*$type;" /usr/share/applications/quillon-view.desktop || fail "the viewer's entry lacks $type"
done
appstreamcli validate --no-net /usr/share/metainfo/org.example.quillon.metainfo.xml || fail "the metainfo does not validate"

# The watch service: shipped disabled, its user made, its settings a conffile. A watch of the
# simulated drive as that user saves into the service's folder and leaves its state there.
[ -f /lib/systemd/system/quillon-watch.service ] || fail "the watch service's unit is not installed"
getent passwd quillon >/dev/null || fail "the package made no user quillon"
grep -q '^documents = /var/lib/quillon/saves' /etc/quillon/watch.conf || fail "watch.conf does not name the saves folder"
dpkg-query --control-show quillon conffiles | grep -q /etc/quillon/watch.conf || fail "watch.conf is no conffile"
if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
  [ "$(systemctl is-enabled quillon-watch.service 2>/dev/null || true)" != enabled ] || fail "the watch service is enabled"
fi
if [ "$(id -u)" -eq 0 ]; then
  port_line=$(mktemp)
  drivesim --port 0 --address 127.0.0.1 >"$port_line" & sim=$!
  sleep 1
  port=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$port_line" | head -n 1)
  setpriv --reuid=quillon --regid=quillon --clear-groups env -i PATH=/usr/bin:/bin LANG=C.UTF-8 \
    timeout -s TERM 8 quillon watch --config /etc/quillon/watch.conf --drive "127.0.0.1:$port" --every 1 | tee "$work/watch.txt" || true
  kill "$sim"; rm -f "$port_line"
  grep -q 'save ended: completed' "$work/watch.txt" || fail "the watch as user quillon saved nothing"
  ls /var/lib/quillon/saves/Quillon/*/watch-state.txt >/dev/null || fail "the watch left no state"
fi

# A user who never built anything: an empty home, no build tree on any path. As root, the run
# goes as nobody, so that nothing installed can be written by it.
mkdir -p "$work/home"
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$work/home"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
(cd "$work/home" && "${run_as[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 \
  quillon --simulate --headless --documents "$work/home/docs") | tee "$work/run.txt"
archive=$(sed -n 's/^Traceback file location = //p' "$work/run.txt")
[ -n "$archive" ] && [ -f "$archive" ] || fail "the run left no archive"
case "$archive" in "$work/home/docs/Quillon/TRBSAVE_"*.lzh) ;; *) fail "archive in an unexpected place: $archive" ;; esac
lha t "$archive"
lha l "$archive" | grep -q 'Set_Sram_.*\.mdb' || fail "the archive holds no setting-parameter workbook"
[ -z "$(ls -A "$work/home/.local/share/quillon/registry" 2>/dev/null)" ] || fail "the run registered something for the user"

"${as_root[@]}" apt-get purge -y quillon
trap 'rm -rf "$work"' EXIT
[ ! -e /usr/bin/quillon ] || fail "quillon is still installed"
[ ! -e "$system_store" ] || fail "the system-wide store is left behind: $(find "$system_store")"
! getent passwd quillon >/dev/null || fail "purge left the user quillon"
if [ "$(id -u)" -eq 0 ]; then
  [ -z "$(find /var/lib/quillon/saves -name watch-state.txt 2>/dev/null)" ] || fail "purge left the watch's state"
  ls /var/lib/quillon/saves/Quillon/*/TRBSAVE_*.lzh >/dev/null || fail "purge removed the saves"
  rm -rf /var/lib/quillon/saves; rmdir /var/lib/quillon 2>/dev/null || true
fi
echo "test-package: installed, saved, tested and removed"
