#!/usr/bin/env bash
# Runs a Windows executable under Wine so ctest can treat it like a native
# test program (CMAKE_CROSSCOMPILING_EMULATOR).
#
#   wine-run.sh --state-dir DIR program.exe [args...]   run it, pass its exit code through
#   wine-run.sh --state-dir DIR --setup                 make the prefix and start the server
#   wine-run.sh --state-dir DIR --shutdown              end the server and every process in the prefix
#
# DIR (normally <build>/wine) holds the Wine prefix, generated locales and a
# lock file. The prefix is made once, with Wine's null graphics driver so no
# display is needed. The server is started persistent and Wine's helper
# processes (services, explorer, plugplay...) are started detached from our
# output: otherwise they inherit ctest's pipe and ctest waits for them, and a
# non-persistent server would take registered services down between tests.
#
# PERIMAND_LOCALE=ja_JP.UTF-8 (any name of the form lang_TERRITORY.CHARSET)
# runs the program in that locale, generated into DIR without touching the
# system. PERIMAND_WINESERVER_LINGER: seconds the server stays up after the
# last program ends (default 600), so an interrupted run cannot leave it
# behind for ever.
set -euo pipefail

die() { echo "wine-run.sh: $*" >&2; exit 125; }

state_dir=${PERIMAND_WINE_STATE_DIR:-}
if [[ ${1:-} == --state-dir ]]; then
    [[ $# -ge 2 ]] || die "--state-dir needs a directory"
    state_dir=$2
    shift 2
fi
[[ -n $state_dir ]] || die "no state directory (use --state-dir DIR or PERIMAND_WINE_STATE_DIR)"
[[ $# -ge 1 ]] || die "usage: wine-run.sh --state-dir DIR (--setup | --shutdown | program.exe [args...])"


mkdir -p "$state_dir"
state_dir=$(cd "$state_dir" && pwd)
export WINEPREFIX=$state_dir/prefix
unset WINEARCH   # a 32-bit-only prefix could not run the 64-bit test build
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts while the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
linger=${PERIMAND_WINESERVER_LINGER:-600}

# Every helper below runs with fd 9 (the lock) closed: a wineserver that
# inherited it would hold the lock for its whole life.
quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }

source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
[[ -x $wine64 ]] || die "$wine64 not found; run scripts/setup.sh"

make_prefix() {
    wine_make_prefix null || die "could not make the Wine prefix $WINEPREFIX"
}

# Starts a persistent server when none runs for the prefix, then one small
# program with no pipe attached, which brings up Wine's helper processes.
start_server() {
    if quiet wineserver "-p$linger"; then
        quiet "$wine64" cmd /c exit || die "could not start a Wine session in $WINEPREFIX"
    fi
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
    020b) exec env "${locale_env[@]}" "$wine64" "$program" "$@" ;;
    010b)
        wine_can_run_32bit \
            || die "$program is a 32-bit program and this machine cannot execute 32-bit code; test the x86_64 build"
        exec env "${locale_env[@]}" "$wine32" "$program" "$@"
        ;;
    *) die "$program is not a Windows executable" ;;
esac
