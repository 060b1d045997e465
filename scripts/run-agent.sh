#!/usr/bin/env bash
# Installs what is missing, builds the agent and runs it under Wine so you can
# watch it: a virtual desktop with a taskbar (on a private Xvfb display, or on
# $DISPLAY when set), the agent's icon in its notification area, and a
# screenshot of the whole screen. Stops the agent with "Perimand.exe stop" on
# Ctrl+C or when the time is up, and cleans up after itself.
#
# Usage: scripts/run-agent.sh [--seconds N] [--no-build]
#   --seconds N  how long the agent runs (default: until Ctrl+C on a terminal,
#                otherwise 30 s; 0 means until Ctrl+C)
#   --no-build   use what build/ holds
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds=
build=1
while [[ $# -gt 0 ]]; do
    case $1 in
        --seconds) seconds=${2:?--seconds needs a number}; shift ;;
        --no-build) build=0 ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
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

# The stand-in monitoring service ("Vandrel Service") runs beside the agent
# with a simulated UPS that goes round on line, AC fail, battery low and
# communication lost, five seconds each, so the icon changes while you watch.
# Agent Stop and Agent Start in the tray menu stop and start it.
service_exe=
start_monitoring_service() {
    local built=$tree/companions/vandrel-service/VandrelService.exe
    if [[ ! -f $built ]]; then
        say "no stand-in monitoring service built: the agent shows Agent Stop"
        return
    fi
    mkdir -p "$work/service"
    cp "$built" "$work/service/"
    service_exe=$work/service/VandrelService.exe
    quiet "$loader" "$service_exe" uninstall || true
    "$loader" "$service_exe" install --script 3,1,2,4@5000 </dev/null >/dev/null ||
        die "cannot install the stand-in monitoring service"
    quiet "$loader" sc start "Vandrel Service" || say "the stand-in monitoring service did not start"
    say "the stand-in monitoring service runs (status words 3, 1, 2, 4, five seconds each)"
}
stop_monitoring_service() {
    [[ -n $service_exe ]] || return 0
    quiet "$loader" "$service_exe" uninstall || true
    service_exe=
}

xvfb_pid=
agent_pid=
folder=
cleanup() {
    trap - EXIT INT TERM
    if [[ -n $agent_pid ]] && kill -0 "$agent_pid" 2>/dev/null; then
        say "stopping the agent: Perimand.exe stop"
        quiet "$loader" "$folder/Perimand.exe" stop || true
        for _ in $(seq 50); do kill -0 "$agent_pid" 2>/dev/null || break; sleep 0.2; done
        wait "$agent_pid" 2>/dev/null && say "the agent ended with code 0" \
            || say "the agent ended with code $?"
    fi
    stop_monitoring_service
    quiet wineserver -k || true
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- display: the caller's, or a private Xvfb on the first free number ------
if [[ -n ${DISPLAY:-} ]]; then
    say "using the display $DISPLAY"
else
    command -v Xvfb >/dev/null || die "Xvfb missing; run scripts/setup.sh"
    display_file=$work/xvfb.display
    rm -f "$display_file"
    # -displayfd picks a free display and writes its number once it is ready.
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$display_file" \
        </dev/null >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $display_file ]] && break; sleep 0.1; done
    [[ -s $display_file ]] || die "Xvfb did not start (see $work/xvfb.log)"
    export DISPLAY=:$(tr -dc 0-9 <"$display_file")
    say "started Xvfb on $DISPLAY"
fi

# --- a prefix of our own, with a virtual desktop that has a taskbar ---------
if [[ ! -f $WINEPREFIX/.perimand-ready ]]; then
    say "creating the Wine prefix $WINEPREFIX (once, about 15 s)"
    rm -rf "$WINEPREFIX"
    start=$(now)
    quiet "$wine64" wineboot -i || die "wineboot failed"
    # No window manager on Xvfb: without this, hiding a window waits for one.
    quiet "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # The default desktop as an 800x600 window with a taskbar, so the
    # notification area exists and FindWindow/broadcasts reach the agent.
    quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
    quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f
    quiet "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1 /f
    quiet wineserver -w || true
    touch "$WINEPREFIX/.perimand-ready"
    say "prefix ready in $(( $(now) - start )) s"
fi
quiet wineserver -p || true
quiet "$wine64" cmd /c exit || die "cannot start a Wine session"

# --- what a Windows user copies: the agent and Dellomark.exe in one folder --
folder=$work/$arch
rm -rf "$folder"
mkdir -p "$folder"
cp "$tree/Perimand.exe" "$folder/"
if [[ -f $tree/companions/dellomark/Dellomark.exe ]]; then
    cp "$tree/companions/dellomark/Dellomark.exe" "$folder/"
fi

start_monitoring_service

say "starting $folder/Perimand.exe"
"$loader" "$folder/Perimand.exe" </dev/null >"$work/agent.log" 2>&1 &
agent_pid=$!

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
