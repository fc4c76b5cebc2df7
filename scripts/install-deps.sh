#!/usr/bin/env bash
# Installs the Debian packages of the named groups, and only those that are missing, so that a
# second run returns at once. Each make target names the groups it needs, so that `make run`
# on a fresh machine does not also bring in the static checkers or the packaging tools.
#
# Usage: scripts/install-deps.sh GROUP...   (the groups below, or "all")
#
# No name carries a compiler version: the same names have to work on Debian 12, Debian 13 and
# Ubuntu 24.04, whose default clang versions differ (14, 19 and 18).
set -euo pipefail

declare -A groups=(
    # Compiler, CMake and Ninja, Qt 6 Widgets with Qt Test, moc and rcc, and the access control
    # list library that Save copies a file's list with: every target builds.
    [build]="g++ make cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libacl1-dev"
    # make run: a font for the window; with no display, a virtual one and a screenshot of it
    # (scripts/screenshot.sh uses xvfb-run, which needs xauth, xwininfo and ImageMagick's import).
    [run]="fonts-dejavu-core xvfb xauth x11-utils imagemagick"
    # make test: the font the tests point Qt at; the offscreen platform comes with Qt itself.
    [test]="fonts-dejavu-core"
    # make bench: the paste through the X clipboard runs on a virtual display of its own, with
    # xclip holding the copied text.
    [bench]="libbenchmark-dev xvfb xauth xclip"
    # make sanitize, make fuzz: ASan, UBSan and libFuzzer are in clang's runtime package, which
    # clang itself does not pull in. libclang-rt-dev follows the default clang's version.
    [sanitize]="clang libclang-rt-dev"
    # make tidy: the tidy tree is compiled with clang, so that clang-tidy reads the same flags.
    [tidy]="clang clang-tidy cppcheck"
    # make package: cpack comes with cmake; dpkg-shlibdeps finds the Qt packages to depend on.
    [package]="dpkg-dev file"
    # make validate
    [validate]="desktop-file-utils appstream"
    # Checking by hand what a screen reader hears: the accessibility bus, its D-Bus session and
    # pyatspi for scripts/screen-reader-view.py. No target installs it.
    [screenreader]="at-spi2-core python3-pyatspi dbus-daemon"
    # make package-test: a fresh root, and a virtual display outside it for the screenshot.
    [package-test]="debootstrap xvfb x11-utils imagemagick"
)

[ $# -gt 0 ] || { echo "usage: $0 GROUP... (all, or: ${!groups[*]})" >&2; exit 2; }
[[ " $* " != *" all "* ]] || set -- "${!groups[@]}"

packages=()
for group in "$@"; do
    [ -n "${groups[$group]+set}" ] || { echo "$0: no group '$group'" >&2; exit 2; }
    read -ra names <<< "${groups[$group]}"
    packages+=("${names[@]}")
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | sort -u)

# One dpkg-query for all of them keeps a run that finds nothing missing instant.
installed=$(dpkg-query -W -f='${db:Status-Status} ${Package}\n' "${packages[@]}" 2>/dev/null |
    awk '$1 == "installed" { print $2 }' | sort -u || true)
mapfile -t missing < <(comm -23 <(printf '%s\n' "${packages[@]}") <(printf '%s\n' "$installed"))
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
