#!/usr/bin/env bash
# Builds the NUT client's pure protocol code natively (tests/native, the
# host's clang when present) and runs its unit tests and a short fuzz run
# with ctest. Exits non-zero when a test fails.
# Usage: scripts/host-tests.sh [extra ctest arguments]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

tree=$root/build/host
compiler=()
if command -v clang++ >/dev/null; then
    compiler=(-DCMAKE_CXX_COMPILER=clang++)
fi
say "configuring $tree"
cmake -S "$root/tests/native" -B "$tree" "${compiler[@]}" -DCMAKE_BUILD_TYPE=Debug >/dev/null
say "building $tree"
cmake --build "$tree" -j 2 >/dev/null
ctest --test-dir "$tree" --output-on-failure "$@"
