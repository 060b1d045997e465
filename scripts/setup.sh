#!/usr/bin/env bash
# Installs what building, testing and running the agent need on Debian 12:
# the MinGW-w64 cross compilers, Wine (64-bit, and 32-bit for machines that
# can run it), GoogleTest sources, Xvfb, locales, ImageMagick and NSIS. Safe to run
# again: when everything is installed it returns at once.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

packages=(
    cmake make python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
    wine wine64 wine32:i386
    googletest
    locales                 # localedef, for the Japanese test runs
    xvfb imagemagick        # run-agent.sh: a display to draw on and its screenshot
    fonts-ipafont-gothic    # Japanese text in screenshots
    nsis                    # makensis: the setup program (the zip beside it needs only cmake)
    nut-server              # the real NUT peer of the tests (upsd, dummy-ups)
    clang libclang-rt-14-dev  # tests/host: sanitizers and libFuzzer
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [[ $status == installed ]] || missing+=("$package")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    say "all packages present"
    exit 0
fi

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || die "run as root (or install sudo) to install: ${missing[*]}"
    as_root=(sudo)
fi

say "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"
