#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs the whole test suite
# under Wine. Where the kernel executes 32-bit code, the suite runs on the
# shipped i686 build and then on the x86_64 build of the same sources;
# elsewhere it runs on x86_64, and the i686 tree gets its static checks (the
# tests labelled "host", which read files and run nothing under Wine). The
# last line of output reads "N passed, N failed" over everything that ran;
# the exit status is non-zero on any failure. The NUT protocol code is also
# built natively and tested there (scripts/host-tests.sh), when no extra
# ctest arguments narrow the run.
# Usage: scripts/test.sh [extra ctest arguments, e.g. -R StopCommand]
# PERIMAND_RUN_ARCH=i686|x86_64: run the whole suite on that tree alone.
# PERIMAND_TEST_JOBS: tests run side by side (default 1: the agent tests
# share one Wine session, and a quiet machine keeps waits short).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

# Each entry: tree, then "all" or "host".
runs=()
if [[ -n ${PERIMAND_RUN_ARCH:-} ]]; then
    runs=("$PERIMAND_RUN_ARCH all")
elif can_run_32bit; then
    runs=("i686 all" "x86_64 all")
else
    say "this kernel cannot execute 32-bit programs: the suite runs on x86_64, the i686 tree gets its static checks"
    runs=("x86_64 all" "i686 host")
fi

trees=()
for run in "${runs[@]}"; do trees+=("$root/build/${run%% *}"); done
# Each session normally ends with its last test; make sure of it whatever happens.
end_sessions() {
    local tree
    for tree in "${trees[@]}"; do
        quiet "$root/cmake/wine-run.sh" --state-dir "$tree/wine" --shutdown || true
    done
}
trap end_sessions EXIT

# Counts from ctest's own record of each test: skipped and disabled tests
# are neither passed nor failed.
count_results() {
    python3 - "$1" <<'PY' || echo "0 0 0"
import sys, xml.etree.ElementTree as ET
passed = failed = skipped = 0
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    state = case.get("status")
    if state == "run" and case.find("failure") is None:
        passed += 1
    elif state in ("notrun", "disabled") or case.find("skipped") is not None:
        skipped += 1
    else:
        failed += 1
print(passed, failed, skipped)
PY
}

total_passed=0 total_failed=0 total_skipped=0
# Adds one run to the totals and says its figures: NAME RESULTS STATUS START.
tally() {
    local passed failed skipped
    read -r passed failed skipped <<<"$(count_results "$2")"
    if [[ $3 -ne 0 && $failed -eq 0 ]]; then
        failed=1   # the runner itself failed (no results, a discovery error...)
    fi
    say "$1: $passed passed, $failed failed, $skipped skipped in $(( $(now) - $4 )) s"
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
}

for run in "${runs[@]}"; do
    arch=${run%% *} scope=${run##* }
    tree=$root/build/$arch
    results=$tree/test-results.xml
    rm -f "$results"
    selection=()
    [[ $scope == host ]] && selection=(-L host)
    say "running the tests in $tree${selection:+ (static checks only)}"
    start=$(now)
    status=0
    ctest --test-dir "$tree" --output-on-failure --output-junit "$results" \
          -j "${PERIMAND_TEST_JOBS:-1}" "${selection[@]}" "$@" || status=$?
    quiet "$root/cmake/wine-run.sh" --state-dir "$tree/wine" --shutdown || true
    tally "$arch" "$results" "$status" "$start"
done

# The NUT protocol code, built natively with sanitizers: its unit tests and
# a short fuzz run (scripts/host-tests.sh).
if [[ -z ${PERIMAND_RUN_ARCH:-} && $# -eq 0 ]]; then
    results=$root/build/host/test-results.xml
    rm -f "$results"
    say "running the native tests of the NUT protocol code"
    start=$(now)
    status=0
    "$root/scripts/host-tests.sh" --output-junit "$results" || status=$?
    tally native "$results" "$status" "$start"
fi

[[ $total_skipped -eq 0 ]] || echo "($total_skipped skipped)"
echo "$total_passed passed, $total_failed failed"
[[ $total_failed -eq 0 && $total_passed -gt 0 ]]
