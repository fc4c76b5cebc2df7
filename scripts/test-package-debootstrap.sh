#!/usr/bin/env bash
# Proves that the Debian package installs and runs on a clean Debian 12: makes a fresh minimal
# bookworm root with debootstrap, installs the package there with apt (Depends only, so a
# missing dependency shows), starts the program inside the root on a virtual X display that
# runs outside it, and saves a screenshot of its window.
#
# Usage (as root, needs the Debian mirror): scripts/test-package-debootstrap.sh PACKAGE.deb [OUT.png]
# Not part of `make test`: it downloads about 100 MB and takes several minutes.
# KEEP_ROOT=1 leaves the root in place for a look around; MIRROR picks another Debian mirror.
set -euo pipefail

package=$(realpath "${1:?usage: $0 PACKAGE.deb [OUT.png]}")
output=$(realpath -m "${2:-$(dirname "$package")/debootstrap-screenshot.png}")
mirror=${MIRROR:-http://deb.debian.org/debian}
# The downloaded packages are kept between runs; the root itself is new every time.
cache=/var/cache/pantrovo-debootstrap

[ "$(id -u)" -eq 0 ] || { echo "$0: debootstrap and chroot need root" >&2; exit 1; }
"$(dirname "$0")/install-deps.sh" package-test

root=$(mktemp -d /var/tmp/pantrovo-root.XXXXXX)
display_pid=
cleanup() {
    [ -z "$display_pid" ] || kill "$display_pid" 2>/dev/null || true
    rm -f "$root.debootstrap.log" "$root.xvfb.log"
    for mount in "$root/proc" "$root/dev/pts"; do
        if mountpoint -q "$mount"; then umount "$mount"; fi
    done
    if [ -n "${KEEP_ROOT:-}" ]; then
        echo "Root kept in $root"
    # Never delete through a mount that is still there.
    elif ! grep -q " $root/" /proc/mounts; then
        rm -rf "$root"
    else
        echo "$root still has mounts, not removed" >&2
    fi
}
trap cleanup EXIT

echo "== debootstrap bookworm into $root"
mkdir -p "$cache"
debootstrap --variant=minbase --cache-dir="$cache" bookworm "$root" "$mirror" \
    > "$root.debootstrap.log" 2>&1 || { tail -20 "$root.debootstrap.log"; exit 1; }
mount -t proc proc "$root/proc"

echo "== apt-get install $(basename "$package")"
cp "$package" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update -qq -o APT::Sandbox::User=root
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "/tmp/$(basename "$package")" > "$root/tmp/apt.log" 2>&1 || { cat "$root/tmp/apt.log"; exit 1; }
echo "$(grep -c '^Setting up' "$root/tmp/apt.log") packages set up, among them:"
grep -E '^Setting up (pantrovo|libqt6|qt6|fontconfig|fonts)' "$root/tmp/apt.log"
in_root dpkg-query -W -f='installed: ${Package} ${Version} (${db:Status-Status})\n' \
    pantrovo-importer
if in_root ldd /usr/bin/pantrovo-importer | grep 'not found'; then
    echo "FAIL: libraries missing in the clean root" >&2
    exit 1
fi
for file in /usr/share/applications/pantrovo-importer.desktop \
    /usr/share/metainfo/io.pantrovo.Importer.metainfo.xml \
    /usr/share/icons/hicolor/16x16/apps/pantrovo-importer.png \
    /usr/share/icons/hicolor/scalable/apps/pantrovo-importer.svg; do
    [ -f "$root$file" ] || { echo "FAIL: $file not installed" >&2; exit 1; }
done

echo "== start the program in the root on a virtual display"
# The X server runs outside the root; the program inside reaches it through the abstract
# socket, which a chroot shares, so nothing from outside is mounted into the root.
number=$(for n in $(seq 90 199); do [ -e "/tmp/.X$n-lock" ] || { echo "$n"; break; }; done)
Xvfb ":$number" -screen 0 760x620x24 -nolisten tcp > "$root.xvfb.log" 2>&1 &
display_pid=$!
export DISPLAY=":$number"
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
mkdir -m 700 -p "$root/tmp/runtime-root"
in_root env DISPLAY="$DISPLAY" XDG_RUNTIME_DIR=/tmp/runtime-root \
    /usr/bin/pantrovo-importer > "$root/tmp/program.log" 2>&1 &
program_pid=$!
window=
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"Pantrovo Importer"/ {print $1; exit}')
    [ -n "$window" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "FAIL: no window; the program said:" >&2
    cat "$root/tmp/program.log" >&2
    exit 1
fi
sleep 1
xprop -id "$window" WM_CLASS
mkdir -p "$(dirname "$output")"
import -window "$window" "$output"
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
if [ -s "$root/tmp/program.log" ]; then
    echo "The program wrote:"
    cat "$root/tmp/program.log"
fi
echo "PASS: installed and started in a clean Debian 12 root; screenshot in $output"
