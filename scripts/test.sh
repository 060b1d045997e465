#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs the whole test suite
# under Wine. Where the kernel executes 32-bit code the shipped i686 build is
# tested; elsewhere the x86_64 build of the same sources. The last line of
# output reads "N passed, N failed"; the exit status is non-zero on any
# failure.
# Usage: scripts/test.sh [extra ctest arguments, e.g. -R StopCommand]
# PERIMAND_TEST_JOBS: tests run side by side (default 1: the agent tests
# share one Wine session, and a quiet machine keeps waits short).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

arch=$(runnable_arch)
tree=$root/build/$arch
[[ $arch == i686 ]] || say "this kernel cannot execute 32-bit programs: testing the x86_64 build"
results=$tree/test-results.xml
rm -f "$results"

# The session normally ends with the last test; make sure of it whatever happens.
trap 'quiet "$root/cmake/wine-run.sh" --state-dir "$tree/wine" --shutdown || true' EXIT

say "running the tests in $tree"
start=$(now)
status=0
ctest --test-dir "$tree" --output-on-failure --output-junit "$results" \
      -j "${PERIMAND_TEST_JOBS:-1}" "$@" || status=$?
say "tests ran in $(( $(now) - start )) s"

# Count from ctest's own record of each test: skipped and disabled tests are
# neither passed nor failed.
counts=$(python3 - "$results" <<'PY' || echo "0 0 0"
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
)
read -r passed failed skipped <<<"$counts"
if [[ $status -ne 0 && $failed -eq 0 ]]; then
    failed=1   # ctest itself failed (no results, a discovery error...)
fi
[[ $skipped -eq 0 ]] || echo "($skipped skipped)"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 && $passed -gt 0 ]]
