#!/usr/bin/env bash
# Runs the NUT protocol fuzzer (libFuzzer, clang) for a number of inputs
# and prints libFuzzer's final figures. A crash stops it with a non-zero
# exit and leaves the input in build/host/fuzz.
# Usage: scripts/fuzz-nut.sh [runs]   (default 1000000)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

runs=${1:-1000000}
[[ $runs =~ ^[0-9]+$ ]] || die "runs must be a number, not '$runs'"
command -v clang++ >/dev/null || die "clang++ missing; run scripts/setup.sh"

tree=$root/build/host
cmake -S "$root/tests/native" -B "$tree" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$tree" -j 2 --target nut_protocol_fuzzer >/dev/null
mkdir -p "$tree/fuzz/corpus"
cd "$tree/fuzz"
say "fuzzing the NUT protocol code for $runs inputs"
status=0
"$tree/nut_protocol_fuzzer" -runs="$runs" -max_len=2048 -print_final_stats=1 corpus >fuzz.log 2>&1 || status=$?
# The final figures, or what went wrong; the whole output stays in fuzz.log.
grep -E '^(#[0-9]+[[:space:]]+DONE|Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY|Test unit written)' fuzz.log || true
[[ $status -eq 0 ]] || die "the fuzzer failed (exit $status); see $tree/fuzz/fuzz.log"
