#!/usr/bin/env bash
# Installs what building, testing and running the agent need on Debian 12:
# the MinGW-w64 cross compilers, Wine (64-bit, and 32-bit where the kernel
# runs 32-bit programs), GoogleTest sources, Xvfb, locales, ImageMagick and NSIS. Safe to run
# again: when everything is installed it returns at once.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

packages=(
    cmake make python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
    wine wine64
    googletest
    locales                 # localedef, for the Japanese test runs
    xvfb imagemagick        # run-agent.sh: a display to draw on and its screenshot
    fonts-ipafont-gothic    # Japanese text in screenshots
    nsis                    # makensis: the setup program (the zip beside it needs only cmake)
    nut-server              # the real NUT peer of the tests (upsd, dummy-ups)
    nut-client              # upsc, and upsmon as the peer's primary
    libnss3-tools           # certutil: the peer's certificates for STARTTLS
    clang libclang-rt-14-dev  # tests/native: sanitizers and libFuzzer
)

# 32-bit Wine only where it can run: elsewhere its i386 libraries are dead
# weight, and a mirror whose i386 index is mid-sync would fail the install.
kernel_runs_32bit && packages+=(wine32:i386)

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
if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in mid-sync fails one index now and then; what the others hold is
# usually enough, and the install below says so plainly when it is not.
for attempt in 1 2 3; do
    "${as_root[@]}" apt-get update -q && break
    [[ $attempt -lt 3 ]] && sleep 10
done || say "apt-get update failed for some indexes; installing from what it has"
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"
