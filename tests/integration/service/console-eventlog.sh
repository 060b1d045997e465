#!/usr/bin/env bash
# The records VandrelService's console mode leaves in the Event Log. Wine's
# ReportEventW prints each record's string on the eventlog channel, by the
# record's type (trace: information, warn: warning, err: error), on the
# process's own Unix stderr: a test program under Wine cannot catch that from
# a child, so this runs the console from outside.
# Usage: console-eventlog.sh <wine-run.sh and its options...> VandrelService.exe
set -uo pipefail

service=("$@")
err=$(mktemp)
trap 'rm -f "$err"' EXIT
failures=0

# Runs `console <options...>` until a line matching `pattern` appears (at
# most 15 s), ends it, and fails when the line never came.
expect_record() {
    local pattern=$1 pid
    shift
    WINEDEBUG=+eventlog "${service[@]}" console "$@" >/dev/null 2>"$err" &
    pid=$!
    for _ in $(seq 150); do
        grep -qE "$pattern" "$err" && break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    if grep -qE "$pattern" "$err"; then
        echo "ok:   console $*: $pattern"
    else
        echo "FAIL: console $*: no $pattern in:"
        sed 's/^/      /' "$err"
        failures=$((failures + 1))
    fi
}

# The start, an information record, with the settings it runs on.
expect_record 'trace:eventlog:ReportEventW L"simulate --status 2"' --simulate --status 2
# With no options the console takes the service's key, as the service does;
# with none there, the record is an error naming why.
"${service[@]}" uninstall >/dev/null 2>&1
expect_record 'err:eventlog:ReportEventW L"there is no Parameters key"'
exit $((failures > 0))
