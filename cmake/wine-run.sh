#!/usr/bin/env bash
# Runs a Windows executable under Wine so ctest can treat it like a native
# test program (CMAKE_CROSSCOMPILING_EMULATOR).
#
#   wine-run.sh --state-dir DIR program.exe [args...]   run it, pass its exit code through
#   wine-run.sh --state-dir DIR --prefix                make the prefix, start nothing (the build does this)
#   wine-run.sh --state-dir DIR --setup                 make the prefix and start the server
#   wine-run.sh --state-dir DIR --shutdown              end the server and every process in the prefix
#
# DIR (normally <build>/wine) holds the Wine prefix, generated locales, a
# lock file and the pid of the session's server. The prefix is made once,
# with Wine's null graphics driver so no display is needed. The server is
# started persistent and Wine's helper processes (services, explorer,
# plugplay...) are started detached from our output: otherwise they inherit
# ctest's pipe and ctest waits for them, and a non-persistent server would
# take registered services down between tests. The session lasts until
# --shutdown (the last test of every ctest run does it, and scripts/test.sh):
# a server that ends by itself can be winding down just as a program starts.
#
# A program that ends non-zero without printing anything gets one line
# saying how it ended, whether the session was still up, and what Wine says
# when it is run again with its error and exception channels on.
#
# PERIMAND_LOCALE=ja_JP.UTF-8 (any name of the form lang_TERRITORY.CHARSET)
# runs the program in that locale, generated into DIR without touching the
# system.
set -euo pipefail

die_name=wine-run.sh die_status=125
source "$(dirname "${BASH_SOURCE[0]}")/shell-kit.sh"   # die, quiet

state_dir=${PERIMAND_WINE_STATE_DIR:-}
if [[ ${1:-} == --state-dir ]]; then
    [[ $# -ge 2 ]] || die "--state-dir needs a directory"
    state_dir=$2
    shift 2
fi
[[ -n $state_dir ]] || die "no state directory (use --state-dir DIR or PERIMAND_WINE_STATE_DIR)"
[[ $# -ge 1 ]] || die "usage: wine-run.sh --state-dir DIR (--prefix | --setup | --shutdown | program.exe [args...])"

mkdir -p "$state_dir"
state_dir=$(cd "$state_dir" && pwd)
export WINEPREFIX=$state_dir/prefix
unset WINEARCH   # a 32-bit-only prefix could not run the 64-bit test build
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts while the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
server_pid_file=$state_dir/server.pid

source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
[[ -x $wine64 ]] || die "$wine64 not found; run scripts/setup.sh"

make_prefix() {
    wine_make_prefix null || die "could not make the Wine prefix $WINEPREFIX"
}

# Whether process $1 is the prefix's server: it works in a directory named
# after the prefix's device and inode, or in the prefix itself while it
# loads or saves the registry. `wineserver -w` and `-k` work there too but
# are clients.
prefix_server() {
    local comm cwd args tag
    read -r comm 2>/dev/null <"/proc/$1/comm" && [[ $comm == wineserver* ]] || return 1
    cwd=$(readlink "/proc/$1/cwd" 2>/dev/null) || return 1
    printf -v tag 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX")
    [[ $cwd == */"$tag" || $cwd == "$WINEPREFIX" ]] || return 1
    mapfile -d '' args 2>/dev/null <"/proc/$1/cmdline" || return 1
    [[ " ${args[*]} " != *" -w "* && " ${args[*]} " != *" -k"* ]]
}

# Pid of the server that runs for the prefix, if any.
running_server() {
    local dir
    for dir in /proc/[0-9]*; do
        prefix_server "${dir#/proc/}" 2>/dev/null || continue
        echo "${dir#/proc/}"
        return 0
    done
    return 1
}

# True while the server started below for this session still runs.
session_runs() {
    local pid
    [[ -f $server_pid_file ]] && read -r pid <"$server_pid_file" && prefix_server "$pid"
}

# Makes sure the prefix's server is the persistent one started here, with
# Wine's helper processes started by one small program with no pipe
# attached. Any other server refuses a new one too, yet is no session to
# join: one that a program started by itself (after a session ended) leaves
# 1-2 s after its last process, one left by an interrupted run may be
# ending. Wait for it to go (end it if it does not), then start ours.
start_server() {
    local attempt
    for attempt in 1 2 3; do
        session_runs && return 0
        if quiet wineserver -p; then
            running_server >"$server_pid_file" || rm -f "$server_pid_file"
            quiet "$wine64" cmd /c exit || die "could not start a Wine session in $WINEPREFIX"
            return 0
        fi
        quiet timeout 10 wineserver -w || quiet wineserver -k || true
    done
    die "could not start a Wine server of our own for $WINEPREFIX"
}

make_locale() {
    local name=$1 dir=$state_dir/locale
    [[ -f $dir/$name/LC_CTYPE ]] && return 0
    [[ $name =~ ^([A-Za-z_@]+)\.([A-Za-z0-9-]+)$ ]] \
        || die "PERIMAND_LOCALE must look like ja_JP.UTF-8, not '$name'"
    command -v localedef >/dev/null || die "localedef missing; run scripts/setup.sh"
    mkdir -p "$dir"
    # localedef warns (and exits 1) about harmless things; judge by the result.
    localedef -i "${BASH_REMATCH[1]}" -f "${BASH_REMATCH[2]}" "$dir/$name" >/dev/null 2>&1 9>&- || true
    [[ -f $dir/$name/LC_CTYPE ]] || die "localedef could not generate $name"
}

exec 9>"$state_dir/lock"
flock 9

case $1 in
    --shutdown)
        if [[ -d $WINEPREFIX ]]; then
            quiet wineserver -k || true
        fi
        rm -f "$server_pid_file"
        exit 0
        ;;
    --prefix)
        wine_prefix_ready || make_prefix
        exit 0
        ;;
    --setup)
        wine_prefix_ready || make_prefix
        start_server
        exit 0
        ;;
esac

wine_prefix_ready || make_prefix
start_server
locale_env=()
if [[ -n ${PERIMAND_LOCALE:-} ]]; then
    make_locale "$PERIMAND_LOCALE"
    # Set for the program only: this shell need not know the locale.
    locale_env=(LOCPATH="$state_dir/locale" LANG="$PERIMAND_LOCALE" LC_ALL="$PERIMAND_LOCALE")
fi
exec 9>&-

program=$1
shift
[[ -f $program ]] || die "no such program: $program"

# The optional header's magic tells PE32 (0x10b) from PE32+ (0x20b).
pe_offset=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
magic=$(od -An -tx2 -j$((pe_offset + 24)) -N2 "$program" | tr -d ' ')
case $magic in
    020b) loader=$wine64 ;;
    010b)
        wine_can_run_32bit \
            || die "$program is a 32-bit program and this machine cannot execute 32-bit code; test the x86_64 build"
        loader=$wine32
        ;;
    *) die "$program is not a Windows executable" ;;
esac

# Runs the program, its output passing straight on; a copy of the standard
# output tells whether it printed anything at all. Sets status and elapsed.
# The program dies with this script, so a time-out that kills the script
# leaves nothing running.
capture=$(mktemp "$state_dir/output.XXXXXX")
trap 'rm -f "$capture"' EXIT
run_program() {
    local started=${EPOCHREALTIME/,/.}
    set +e
    env "${locale_env[@]}" setpriv --pdeathsig KILL -- "$loader" "$program" "$@" | tee -- "$capture"
    status=${PIPESTATUS[0]}
    set -e
    elapsed=$(awk -v a="$started" -v b="${EPOCHREALTIME/,/.}" 'BEGIN { printf "%.2f", b - a }')
}

# Wine loads the smallest program in about 0.1 s, and refuses a missing one
# in 0.03 s with a message. A silent failure faster than that never reached
# the program's own code: now and then Wine's loader gives up a start with
# status 1 like that (seen once on CI, among thousands of starts). That
# start is the rig's, not the program's: it gets one more, and says so.
fastest_start=0.06
run_program "$@"
if [[ $status -ne 0 && ! -s $capture ]] && awk -v e="$elapsed" -v f="$fastest_start" 'BEGIN { exit !(e < f) }'; then
    echo "wine-run.sh: ${program##*/} ended with exit status $status after $elapsed s, before Wine had" \
         "loaded it; starting it once more" >&2
    run_program "$@"
fi
[[ $status -eq 0 || -s $capture ]] && exit "$status"

# Silent and non-zero: say how it ended, whether the session was still up,
# and what Wine itself says when the program runs once more.
{
    echo "wine-run.sh: ${program##*/} ended with exit status $status after $elapsed s, printing nothing on its standard output"
    if [[ $status -gt 128 ]]; then
        echo "wine-run.sh: that is signal $((status - 128)) from outside Wine"
    else
        echo "wine-run.sh: a Windows exit code's low byte (5 for exception 0xC0000005); 1 is also" \
             "what Wine gives a program whose session was ended under it"
    fi
    if session_runs; then
        echo "wine-run.sh: the session's server is still up"
    elif other=$(running_server); then
        echo "wine-run.sh: the session's server is gone; another one (pid $other) runs for the prefix"
    else
        echo "wine-run.sh: the session's server is gone"
    fi
    exec 9>"$state_dir/lock"
    flock 9
    start_server
    exec 9>&-
    echo "wine-run.sh: again, with WINEDEBUG=err+all,warn+seh (its standard error, last 30 lines):"
    set +e
    env "${locale_env[@]}" WINEDEBUG=err+all,warn+seh setpriv --pdeathsig KILL -- "$loader" "$program" "$@" \
        2>&1 >/dev/null </dev/null | tail -n 30 | sed 's/^/    /'
    again=${PIPESTATUS[0]}
    set -e
    echo "wine-run.sh: that run ended with exit status $again"
} >&2
exit "$status"
