#!/usr/bin/env bash
# The records VandrelService's console mode leaves in the Event Log. Wine's
# ReportEventW prints each record's string on the eventlog channel, by the
# record's type (trace: information, warn: warning, err: error), on the
# process's own Unix stderr: a test program under Wine cannot catch that from
# a child, so this runs the console from outside. The console runs the
# service's protection too, against the real upsd of tests/rigs/nut.
# Usage: console-eventlog.sh <wine-run.sh and its options...> VandrelService.exe
set -uo pipefail

service=("$@")
out=$(mktemp)
err=$(mktemp)
console_pid=
trap 'end_console; rm -f "$out" "$err"' EXIT
failures=0

start_console() {
    : >"$out"
    : >"$err"
    WINEDEBUG=+eventlog "${service[@]}" console "$@" >"$out" 2>"$err" &
    console_pid=$!
}

end_console() {
    [[ -n $console_pid ]] || return 0
    kill "$console_pid" 2>/dev/null
    wait "$console_pid" 2>/dev/null
    console_pid=
}

# Waits up to 15 s for a line matching `pattern` in `file`; says which.
expect() {
    local file=$1 pattern=$2
    for _ in $(seq 150); do
        grep -qE "$pattern" "$file" && break
        sleep 0.1
    done
    if grep -qE "$pattern" "$file"; then
        echo "ok:   $pattern"
    else
        echo "FAIL: no $pattern in:"
        sed 's/^/      /' "$file"
        failures=$((failures + 1))
    fi
}

record() { expect "$err" "$1"; }

# The start, an information record, with the settings it runs on.
start_console --simulate --status 2
record 'trace:eventlog:ReportEventW L"simulate --status 2"'
end_console

# With no options the console takes the service's key, as the service does;
# with none there, the record is an error naming why.
"${service[@]}" uninstall >/dev/null 2>&1
start_console
record 'err:eventlog:ReportEventW L"there is no Parameters key"'
end_console

# The UPS walks OL -> OB -> OB LB -> OL. Under Wine, InitiateShutdownW
# refuses (error 120): the refusal is the sign that Windows was asked. A
# low battery waits HOSTSYNC (1 s here) for the primary, then is critical.
peer() { bash "$PERIMAND_NUT_PEER_SCRIPT" "$1" "$PERIMAND_NUT_PEER_DIR" "${@:2}"; }
peer reset
start_console --nut "testups@127.0.0.1:$PERIMAND_NUT_PEER_PORT" --poll-ms 500 --shutdown critical --hostsync 1
expect "$out" '^shutdown: armed \(critical, no login\)'
peer set-status 'OB DISCHRG' 80
record 'warn:eventlog:ReportEventW L"OB DISCHRG"'
sleep 1.5  # three polls on battery alone
if grep -q '^shutdown: initiated' "$out"; then
    echo "FAIL: a shutdown on battery alone"
    failures=$((failures + 1))
fi
peer set-status 'OB DISCHRG LB' 20
record 'warn:eventlog:ReportEventW L"OB DISCHRG LB"'
expect "$out" '^shutdown: armed, battery low: waiting up to 1 s'
record 'err:eventlog:ReportEventW L"battery low: '
expect "$out" '^shutdown: initiated \(battery low\), Windows refused: error 120'
peer set-status OL 90
record 'trace:eventlog:ReportEventW L"OL"'
end_console

# A server whose certificate is not the pinned one is refused, and the
# record names the certificate it showed.
peer serve-tls
start_console --nut "testups@127.0.0.1:$PERIMAND_NUT_PEER_PORT" --poll-ms 500 --tls-name localhost \
    --tls-pin "$(head -c 64 "$PERIMAND_NUT_PEER_DIR/tls/forged-server.sha256")"
record 'err:eventlog:ReportEventW L"fingerprint does not match \(certificate CN=localhost, SHA-256 fingerprint'
end_console
peer reset

# The event command, written as for upsmon's NOTIFYCMD, while the simulated
# UPS walks OL -> OB -> OB LB -> OL: it gets NUT's event names and the
# message, and its failure is an error record.
events_dir=$(mktemp -d)
windows_dir="Z:${events_dir//\//\\}"
printf '@echo %%NOTIFYTYPE%% %%UPSNAME%% %%*>>"%s\\events.txt"\r\n@if "%%NOTIFYTYPE%%"=="LOWBATT" exit /b 3\r\n' \
    "$windows_dir" >"$events_dir/on-event.cmd"
start_console --simulate --script 3,1,2,3@1500 --on-event "$windows_dir\\on-event.cmd"
expect "$events_dir/events.txt" '^ONBATT simulation "The mains power failed: the UPS runs on battery. OB"'
expect "$events_dir/events.txt" '^LOWBATT simulation "'
record 'err:eventlog:ReportEventW L".*on-event.cmd: ended with exit code 3"'
expect "$events_dir/events.txt" '^ONLINE simulation "'
end_console
rm -rf "$events_dir"
exit $((failures > 0))
