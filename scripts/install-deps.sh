#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking and running the program
# need, and only those that are missing, so that a second run returns at once.
set -euo pipefail

packages=(
    g++ make cmake ninja-build pkg-config   # compiler and build
    qt6-base-dev qt6-base-dev-tools libgl-dev   # Qt 6 Widgets, Qt Test, moc/rcc
    fonts-dejavu-core                        # a font for the window and the offscreen tests
    xvfb xauth x11-utils imagemagick         # virtual display and screenshots for make run
    libbenchmark-dev                         # make bench
    dpkg-dev file                            # make package (dpkg-shlibdeps finds the Qt packages)
    desktop-file-utils appstream             # make validate
    clang libclang-rt-14-dev                 # make sanitize, make fuzz (ASan, UBSan, libFuzzer)
    clang-tidy cppcheck                      # make tidy
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
