#!/usr/bin/env bash
# Installs what is missing, builds the agent and runs it under Wine so you can
# watch it: a virtual desktop with a taskbar (on a private Xvfb display, or on
# $DISPLAY when set), the agent's icon in its notification area, Dellomark
# beside it showing the UPS's numbers, and a screenshot of the whole screen. Stops the agent with "Perimand.exe stop" on
# Ctrl+C or when the time is up, and cleans up after itself.
#
# The monitoring service runs beside it. By default it reads a real NUT
# server started here: Debian's upsd serving a dummy UPS that walks through
# on line, on battery, battery low and back, five seconds each, on port
# 34990, or the next free one when another program holds it.
#
# Usage: scripts/run-agent.sh [--seconds N] [--no-build] [--nut ups@host[:port] | --simulate]
#   --seconds N      how long the agent runs (default: until Ctrl+C on a
#                    terminal, otherwise 30 s; 0 means until Ctrl+C)
#   --no-build       use what build/ holds
#   --nut UPS        read that NUT server instead of the local dummy UPS
#   --simulate       the service's own simulation instead of any NUT server
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds=
build=1
source_kind=peer
nut_ups=
while [[ $# -gt 0 ]]; do
    case $1 in
        --seconds) seconds=${2:?--seconds needs a number}; shift ;;
        --no-build) build=0 ;;
        --nut) source_kind=nut; nut_ups=${2:?--nut needs ups@host[:port]}; shift ;;
        --simulate) source_kind=simulate ;;
        -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
        *) die "unknown option $1 (see --help)" ;;
    esac
    shift
done
if [[ -z $seconds ]]; then
    if [[ -t 0 ]]; then seconds=0; else seconds=30; fi
fi
[[ $seconds =~ ^[0-9]+$ ]] || die "--seconds wants a whole number, not '$seconds'"

if [[ $build -eq 1 ]]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" --agent-only
fi

arch=$(runnable_arch)
tree=$root/build/$arch
[[ $arch == i686 ]] || say "this kernel cannot execute 32-bit programs: running the x86_64 build"
[[ -f $tree/Perimand.exe ]] || die "$tree/Perimand.exe is missing; run scripts/build.sh"
loader=$wine64
[[ $arch == i686 ]] && loader=wine

work=$root/build/run-agent
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

# The monitoring service ("Vandrel Service") runs beside the agent; Agent
# Stop and Agent Start in the tray menu stop and start it.
service_exe=
peer_dir=$work/nut-peer
peer_port=34990
peer_script=$root/tests/rigs/nut/nut-peer.sh
walker_pid=
# A port taken by another program (or another tree's peer) would answer for ours.
port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
first_free_port() {
    local port
    for port in $(seq "$1" $(( $1 + 99 ))); do
        port_taken "$port" || { echo "$port"; return 0; }
    done
    return 1
}
start_nut_peer() {
    local wanted=$peer_port
    peer_port=$(first_free_port "$wanted") || die "ports $wanted to $(( wanted + 99 )) are all taken"
    [[ $peer_port == "$wanted" ]] || say "port $wanted is taken: the local NUT server takes $peer_port instead"
    say "starting a local NUT server (upsd with a dummy UPS) on 127.0.0.1:$peer_port"
    "$peer_script" start "$peer_dir" "$peer_port" OL 100 || die "the local NUT server did not start"
    # The dummy UPS walks through the states the agent shows, five seconds each.
    (
        while true; do
            for state in "OL:100" "OB DISCHRG:80" "OB DISCHRG LB:20" "OL CHRG:40"; do
                "$peer_script" set-status "$peer_dir" "${state%%:*}" "${state##*:}" || exit 0
                sleep 5
            done
        done
    ) </dev/null >/dev/null 2>&1 &
    walker_pid=$!
}
start_monitoring_service() {
    local built=$tree/service/VandrelService.exe
    [[ -f $built ]] || die "$built is missing; run scripts/build.sh"
    mkdir -p "$work/service"
    cp "$built" "$work/service/"
    service_exe=$work/service/VandrelService.exe
    quiet "$loader" "$service_exe" uninstall || true
    local options
    if [[ $source_kind == peer && $(id -u) -ne 0 ]]; then
        say "the local NUT server runs as root only: the service simulates the UPS instead"
        source_kind=simulate
    fi
    case $source_kind in
        peer) start_nut_peer; options=(--nut "testups@127.0.0.1:$peer_port" --poll-ms 1000) ;;
        nut) options=(--nut "$nut_ups" --poll-ms 1000) ;;
        simulate) options=(--simulate --script 3,1,2,4@5000) ;;
    esac
    "$loader" "$service_exe" install "${options[@]}" </dev/null || die "cannot install the monitoring service"
    quiet "$loader" sc start "Vandrel Service" || say "the monitoring service did not start"
    say "the monitoring service runs: ${options[*]}"
}
stop_monitoring_service() {
    if [[ -n $service_exe ]]; then
        quiet "$loader" "$service_exe" uninstall || true
        service_exe=
    fi
    if [[ -n $walker_pid ]]; then
        kill "$walker_pid" 2>/dev/null || true
        wait "$walker_pid" 2>/dev/null || true
        walker_pid=
    fi
    [[ $source_kind == peer ]] && quiet "$peer_script" stop "$peer_dir" || true
}

xvfb_pid=
agent_pid=
dellomark_pid=
folder=
cleanup() {
    trap - EXIT INT TERM
    # Dellomark has no stop command: ending the session below closes it.
    if [[ -n $agent_pid ]] && kill -0 "$agent_pid" 2>/dev/null; then
        say "stopping the agent: Perimand.exe stop"
        quiet "$loader" "$folder/Perimand.exe" stop || true
        for _ in $(seq 50); do kill -0 "$agent_pid" 2>/dev/null || break; sleep 0.2; done
        wait "$agent_pid" 2>/dev/null && say "the agent ended with code 0" \
            || say "the agent ended with code $?"
    fi
    stop_monitoring_service
    quiet wineserver -k || true
    [[ -n $dellomark_pid ]] && { wait "$dellomark_pid" 2>/dev/null || true; }
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- display: the caller's, or a private Xvfb on the first free number ------
# A small screen's desktop: Dellomark's whole dialog and the taskbar fit it.
desktop_size=1024x768
if [[ -n ${DISPLAY:-} ]]; then
    say "using the display $DISPLAY"
else
    command -v Xvfb >/dev/null || die "Xvfb missing; run scripts/setup.sh"
    display_file=$work/xvfb.display
    rm -f "$display_file"
    # -displayfd picks a free display and writes its number once it is ready.
    Xvfb -displayfd 3 -screen 0 ${desktop_size}x24 -nolisten tcp 3>"$display_file" \
        </dev/null >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $display_file ]] && break; sleep 0.1; done
    [[ -s $display_file ]] || die "Xvfb did not start (see $work/xvfb.log)"
    export DISPLAY=:$(tr -dc 0-9 <"$display_file")
    say "started Xvfb on $DISPLAY"
fi

# --- a prefix of our own, with a virtual desktop that has a taskbar ---------
if ! wine_prefix_ready; then
    say "creating the Wine prefix $WINEPREFIX (once, about 15 s)"
    start=$(now)
    wine_make_prefix desktop || die "could not make the Wine prefix $WINEPREFIX"
    say "prefix ready in $(( $(now) - start )) s"
fi
quiet wineserver -p || true
quiet "$wine64" cmd /c exit || die "cannot start a Wine session"
# Set before the first window, which starts the desktop.
quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$desktop_size" /f || true

# --- what a Windows user copies: the agent and Dellomark.exe in one folder --
folder=$work/$arch
rm -rf "$folder"
mkdir -p "$folder"
cp "$tree/Perimand.exe" "$folder/"
if [[ -f $tree/configurator/Dellomark.exe ]]; then
    cp "$tree/configurator/Dellomark.exe" "$folder/"
fi

start_monitoring_service

say "starting $folder/Perimand.exe"
"$loader" "$folder/Perimand.exe" </dev/null >"$work/agent.log" 2>&1 &
agent_pid=$!
if [[ -f $folder/Dellomark.exe ]]; then
    say "opening Dellomark beside the tray icon: the service's last reading at its top"
    "$loader" "$folder/Dellomark.exe" </dev/null >"$work/dellomark.log" 2>&1 &
    dellomark_pid=$!
fi

# Long enough for the desktop to come up and for the first status tick.
sleep 5
kill -0 "$agent_pid" 2>/dev/null || die "the agent ended early (see $work/agent.log)"
screenshot=$work/screenshot.png
if import -display "$DISPLAY" -window root "$screenshot" 2>"$work/import.log"; then
    say "screenshot: $screenshot"
else
    say "no screenshot (see $work/import.log)"
fi

if [[ $seconds -eq 0 ]]; then
    say "the agent runs on $DISPLAY; press Ctrl+C to stop it"
    wait "$agent_pid" || true
else
    say "the agent runs on $DISPLAY for $seconds s (Ctrl+C stops it sooner)"
    for _ in $(seq "$seconds"); do
        kill -0 "$agent_pid" 2>/dev/null || break
        sleep 1
    done
fi
kill -0 "$agent_pid" 2>/dev/null || say "the agent ended by itself"
