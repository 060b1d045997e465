#!/usr/bin/env bash
# Runs the setup program under Wine the way an administrator deploys it, in a
# Wine prefix of its own (a fresh copy of a template made once per build
# tree), so nothing it installs reaches the other tests' prefix.
#
# Usage: installer-test.sh --setup PerimandSetup.exe --agent Perimand.exe
#            --configurator Dellomark.exe --service VandrelService.exe
#            --publisher upsstatus-publish.exe --work DIR SCENARIO
# SCENARIO is one of:
#   silent-install      /S /NUT=... /TLS... /NOTIFY= /SHUTDOWN puts the files, the
#                       service with those settings and its protected password,
#                       the Run value and the uninstall entry in place, the
#                       password on no command line; bad options, or another
#                       setup running, change nothing
#   run-value           the agent starts from the Run value at the next logon,
#                       and only then when setup ran in session 0
#   upgrade             over a running agent and service: new files, both
#                       running again, settings kept (replaced when /NUT= is
#                       given, a relative /TLSCA= or /ONEVENT= from where setup
#                       started, judged over what is stored; /NOTIFY= kept without it, given alone put back
#                       with the rest when the service then fails to start);
#                       programs still in use elsewhere are replaced at
#                       the next restart (3010), protection kept without
#                       /SHUTDOWN; a service that fails to start
#                       gets its settings back, one that will not stop is a 3
#   silent-uninstall    Uninstall.exe /S waits and returns its code; leaves no
#                       file, registry value or service behind
# Exits 77 (a skip) when the setup is a 32-bit program and this kernel cannot
# execute 32-bit code.
set -euo pipefail

die_name=installer-test die_status=2
source "$(dirname "${BASH_SOURCE[0]}")/../../../cmake/shell-kit.sh"   # die, quiet

setup= agent= configurator= service= publisher= work=
while [[ $# -gt 1 ]]; do
    case $1 in
        --setup) setup=$2 ;;
        --agent) agent=$2 ;;
        --configurator) configurator=$2 ;;
        --service) service=$2 ;;
        --publisher) publisher=$2 ;;
        --work) work=$2 ;;
        *) die "unknown option $1" ;;
    esac
    shift 2
done
scenario=${1:?a scenario}
for f in "$setup" "$agent" "$configurator" "$service" "$publisher"; do
    [[ -f $f ]] || die "missing $f"
done

wine64=/usr/lib/wine/wine64
loader=$wine64
pe_offset=$(od -An -tu4 -j60 -N4 "$setup" | tr -d ' ')
if [[ $(od -An -tx2 -j$((pe_offset + 24)) -N2 "$setup" | tr -d ' ') == 010b ]]; then
    if ! wine --version >/dev/null 2>&1 || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "SKIP: $setup is a 32-bit program and this kernel cannot execute 32-bit code;"
        echo "      the x86_64 build tree runs these tests with the same script in a 64-bit setup."
        exit 77
    fi
    loader=wine
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

mkdir -p "$work"
work=$(cd "$work" && pwd)
template=$work/../template
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# --- a fresh prefix ----------------------------------------------------------
# The template is made once (about 15 s) under a lock, by the project's one
# prefix recipe (null display driver, a crash debugger that returns at once);
# each run copies it.
(
    flock 9
    export WINEPREFIX=$template
    source "$(dirname "${BASH_SOURCE[0]}")/../../../cmake/wine-prefix.sh"
    wine_prefix_ready || wine_make_prefix null || die "wineboot failed"
) 9>"$work/../template.lock"

export WINEPREFIX=$work/prefix
quiet wineserver -k || true
rm -rf "$WINEPREFIX"
cp -a "$(cd "$template" && pwd)" "$WINEPREFIX"

# A persistent server for the session (services die with a server that
# exits), and Wine's helper processes started with no pipe to hold.
start_session() {
    quiet wineserver -p120 || true
    quiet "$wine64" cmd /c exit || die "cannot start a Wine session"
}
end_session() { quiet wineserver -k || true; }   # a logoff and shutdown: writes the registry
trap end_session EXIT
start_session

unix_of() { "$wine64" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
win_of() { "$wine64" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
folder='C:\Program Files\Perimand'
# The session's first programs may fail to start under a busy Wine: once
# more before giving up, and a message either way (set -e alone says nothing).
unix_folder=$(unix_of "$folder") || unix_folder=$(unix_of "$folder") || true
[[ -n $unix_folder ]] || die "winepath failed"

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Perimand'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
parameters_key='HKLM\SYSTEM\CurrentControlSet\Services\Vandrel Service\Parameters'

# The data of one registry value, or nothing (reg prints "NAME  TYPE  DATA").
reg_value() {
    "$wine64" reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' \
        | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
reg_has_key() { "$wine64" reg query "$1" </dev/null >/dev/null 2>&1; }
# The service's state word from sc (RUNNING, STOPPED...), or nothing.
service_state() {
    "$wine64" sc query "Vandrel Service" </dev/null 2>/dev/null | tr -d '\r' \
        | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'
}
service_binary_path() { reg_value 'HKLM\SYSTEM\CurrentControlSet\Services\Vandrel Service' ImagePath; }
# Wine shows a process's path as its first argument, as it was started:
# start ours by their Windows paths.
agent_pids() { pgrep -fx 'C:\\Program Files\\Perimand\\Perimand\.exe.*' || true; }
agent_running() { [[ -n $(agent_pids) ]]; }
not() { ! "$@"; }
wait_until() {   # bounded: a hang guard, not a speed check
    local tries=$1; shift
    for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.2; done
    "$@"
}

# Runs a Windows program and prints its whole exit code (a Unix status keeps
# the low byte: 1618 reads 82), written by a batch file, where a quoted path
# is not escaped as on cmd's own command line. $start_in: the folder it
# starts in, when given.
run_windows() {   # "program (Windows path)" options...
    local temp=$WINEPREFIX/drive_c/windows/temp
    rm -f "$temp/exit-code"
    {
        [[ -z ${start_in:-} ]] || printf '@cd /d "%s"\r\n' "$start_in"
        printf '@%s\r\n@echo %%errorlevel%% >C:\\windows\\temp\\exit-code\r\n' "$*"
    } >"$temp/run.bat"
    "$wine64" cmd /c 'C:\windows\temp\run.bat' </dev/null >/dev/null 2>&1 || true
    tr -d '\r\n ' <"$temp/exit-code" 2>/dev/null || echo "none"
}
run_setup() { run_windows "\"$(win_of "$setup")\"" "$@"; }
run_uninstaller() { run_windows "\"$folder\\Uninstall.exe\"" "$@"; }

same_file() { cmp -s "$1" "$2"; }
installed_matches_build() {
    same_file "$unix_folder/Perimand.exe" "$agent" &&
    same_file "$unix_folder/Dellomark.exe" "$configurator" &&
    same_file "$unix_folder/VandrelService.exe" "$service"
}
no_staging_left() { ! compgen -G "$unix_folder/*.new" >/dev/null && ! compgen -G "$unix_folder/*.old" >/dev/null; }
nut_settings_are() {   # ups host port
    [[ $(reg_value "$parameters_key" Source) == nut &&
       $(reg_value "$parameters_key" UpsName) == "$1" &&
       $(reg_value "$parameters_key" Host) == "$2" &&
       $(( $(reg_value "$parameters_key" Port) )) -eq $3 ]]
}
# Shutdown protection as setup turns it on, the password from a file.
password=Pw-not-in-clear-4711
password_file='C:\secret\login.txt'
write_password_file() {
    mkdir -p "$WINEPREFIX/drive_c/secret"
    printf '%s\r\n' "$password" >"$WINEPREFIX/drive_c/secret/login.txt"
}
protection=(/SHUTDOWN /LOGIN=mon "/PASSWORDFILE=$password_file")
protection_is_on() {
    [[ $(reg_value "$parameters_key" Shutdown) == critical && $(reg_value "$parameters_key" Login) == mon ]]
}
# A server certificate's SHA-256, as the service stores it.
pin=3f2a9c04b1d7e8f6a5c3b2019e8d7c6b5a4f3e2d1c0b9a8f7e6d5c4b3a291807
service_runs() { [[ $(service_state) == RUNNING ]]; }
service_stopped() { [[ $(service_state) == STOPPED ]]; }
configurator_running() { pgrep -fx 'C:\\Program Files\\Perimand\\Dellomark\.exe.*' >/dev/null; }

# A setup left open on its first page, in the background. Its first plug-in
# call takes the one-setup mutex: a moment after its plug-ins' folder appears,
# it holds it. Killed, it leaves that folder behind.
setup_plugins=$WINEPREFIX/drive_c/users/*/Temp/ns*.tmp
open_setup_window() {
    "$loader" "$setup" </dev/null >/dev/null 2>&1 &
    open_setup=$!
    wait_until 100 compgen -G "$setup_plugins" >/dev/null || fail "the open setup unpacked no plug-in"
    sleep 1
}
close_setup_window() {
    kill "$open_setup" || true
    wait "$open_setup" || true
    compgen -G "$setup_plugins" | xargs -r -d '\n' rm -rf
}

install_silently() {
    local status
    status=$(run_setup /S "$@")
    if [[ $status != 0 ]]; then
        fail "setup /S $* ended with $status"
        ps -eo pid,args | grep -F 'C:\Program Files\Perimand' | grep -v grep | sed 's/^/      running: /' || true
        return 1
    fi
    pass "setup /S $* ended with 0"
}

# --- scenarios ----------------------------------------------------------------
scenario_silent_install() {
    local status
    write_password_file
    # Bad options: a message, exit code 2 and nothing installed.
    for options in "/NUT=ups@" "/NUT=ups@host:99999" "/NUT=host-only" "/NUT=test#ups@host" "/NUT=ups@host:1 /SIMULATE" "" \
            "/NUT=ups@host:1 /SHUTDOWN /PASSWORDFILE=$password_file" "/SIMULATE ${protection[*]}" \
            "/NUT=ups@host:1 /SHUTDOWN /LOGIN=mon /PASSWORDFILE=C:\secret\missing.txt" \
            "/NUT=ups@host:1 ${protection[*]} /CHARGEBELOW=101" "/NUT=ups@host:1 /RUNTIMEBELOW=600" \
            "/NUT=ups@host:1 /TLSPIN=xyz" "/NUT=ups@host:1 /TLSCA=missing.pem" "/SIMULATE /TLS=require" \
            "/NUT=ups@host:1 /TLS=off /TLSPIN=$pin" "/SIMULATE /NOTIFY=loud"; do
        # shellcheck disable=SC2086
        status=$(run_setup /S $options)
        check "setup /S $options is refused with code 2 (got $status)" [ "$status" = 2 ]
    done
    open_setup_window
    status=$(run_setup /S /SIMULATE)
    check "setup /S while another setup is open ends with code 1618 (got $status)" [ "$status" = 1618 ]
    close_setup_window
    check "nothing was installed by refused options" test ! -e "$unix_folder"
    check "no service was registered by refused options" [ -z "$(service_state)" ]

    # Every command line while setup runs, as any user could read them (the
    # patterns are not what they find, which grep's own command line holds).
    touch "$work/sampling"
    while [[ -e $work/sampling ]]; do
        cat /proc/[0-9]*/cmdline 2>/dev/null | tr '\0' '\n' | grep -a -e "${password:0:10}" -e 'password-std[i]n' || true
        sleep 0.02
    done >"$work/command-lines" &
    local sampler=$!
    install_silently /NUT=ups@127.0.0.1:34969 /TLS=require "/TLSPIN=$pin" /NOTIFY=all "${protection[@]}" \
        /RUNTIMEBELOW=600 || { rm "$work/sampling"; return; }
    rm "$work/sampling"
    wait "$sampler"
    check "setup's protection command was seen running" grep -qF -- --password-stdin "$work/command-lines"
    check "the password was on no command line" not grep -qF "$password" "$work/command-lines"
    check "setup left the password in no file of its temp folders" not grep -rqF "$password" \
        "$WINEPREFIX"/drive_c/users/*/Temp "$WINEPREFIX/drive_c/windows/temp"
    check "the service has protection on, logging in as mon" protection_is_on
    check "the service shuts down below the runtime given" \
        [ "$(( $(reg_value "$parameters_key" RuntimeBelowSeconds) ))" -eq 600 ]
    # How it is stored is the service's tests'.
    check "the password reached the service" eval \
        '"$wine64" reg query "${parameters_key%Parameters}Credentials" </dev/null 2>/dev/null | grep -q REG_BINARY'
    check "the three programs are the built ones" installed_matches_build
    check "the uninstaller is in place" test -f "$unix_folder/Uninstall.exe"
    check "no staged copies are left" no_staging_left
    check "the service runs the installed VandrelService.exe" \
        grep -qiF "$folder\\VandrelService.exe" <<<"$(service_binary_path)"
    check "the service runs" wait_until 50 service_runs
    check "the service has the NUT settings given" nut_settings_are ups 127.0.0.1 34969
    check "the service requires TLS from that server" [ "$(reg_value "$parameters_key" Tls)" = require ]
    check "the service checks the server's certificate by the fingerprint given" \
        [ "$(reg_value "$parameters_key" TlsPin)" = "$pin" ]
    check "the service tells the people logged on of every event" [ "$(reg_value "$parameters_key" Notify)" = all ]
    check "the Run value is the quoted agent path" \
        [ "$(reg_value "$run_key" Perimand)" = "\"$folder\\Perimand.exe\"" ]
    check "the uninstall entry names Perimand" [ "$(reg_value "$uninstall_key" DisplayName)" = Perimand ]
    check "the uninstall entry names the publisher" \
        [ "$(reg_value "$uninstall_key" Publisher)" = "Vandrel Power Systems" ]
    check "the uninstall entry has the version" [ -n "$(reg_value "$uninstall_key" DisplayVersion)" ]
    check "the uninstall entry has a size" [ -n "$(reg_value "$uninstall_key" EstimatedSize)" ]
    check "the uninstall entry has the agent's icon" \
        grep -qiF "$folder\\Perimand.exe" <<<"$(reg_value "$uninstall_key" DisplayIcon)"
    check "the quiet uninstall string runs Uninstall.exe /S" \
        [ "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$folder\\Uninstall.exe\" /S" ]
    check "the uninstaller will speak the system's language (English, 1033)" \
        [ "$(reg_value "$uninstall_key" "Installer Language")" = 1033 ]
    check "setup started the agent" wait_until 50 agent_running

    open_setup_window
    status=$(run_uninstaller /S)
    check "Uninstall.exe /S while a setup is open ends with code 1618 (got $status)" [ "$status" = 1618 ]
    close_setup_window
    check "that uninstaller touched nothing" installed_matches_build
}

scenario_run_value() {
    # As a deployment tool runs it, as SYSTEM in session 0: no agent there.
    PERIMAND_SETUP_SESSION=0 install_silently /SIMULATE || return
    sleep 3   # what it would have started would be running by now
    check "setup in session 0 started no agent" not agent_running
    # Log off, then log on: plain wineboot is Wine's start-up, which runs
    # the Run values' command lines as Explorer does at logon.
    end_session
    check "no agent runs after the logoff" wait_until 50 not agent_running
    start_session
    quiet "$wine64" wineboot || true
    check "the agent runs after the next logon" wait_until 100 agent_running
    check "the service started with Windows" wait_until 100 service_runs
    check "it ran from the Run value, the quoted installed path" \
        [ "$(reg_value "$run_key" Perimand)" = "\"$folder\\Perimand.exe\"" ]
}

# Appends a byte to each installed program, so an upgrade is visible as the
# files becoming the built ones again. Needs them stopped.
age_installed_files() {
    local name
    for name in Perimand.exe Dellomark.exe VandrelService.exe; do
        printf 'x' >>"$unix_folder/$name"
    done
}

# Makes the installed copy an "older" one, then runs it as a user has it.
run_older_installation() {
    quiet "$wine64" "$folder\\Perimand.exe" stop || true
    wait_until 50 not agent_running || true
    quiet "$wine64" sc stop "Vandrel Service" || true
    wait_until 50 service_stopped || true
    age_installed_files
    check "the installed files differ from the build before the upgrade" not installed_matches_build
    quiet "$wine64" sc start "Vandrel Service" || true
    "$wine64" "$folder\\Perimand.exe" </dev/null >/dev/null 2>&1 &
    check "the old service runs" wait_until 50 service_runs
    check "the old agent runs" wait_until 50 agent_running
}

scenario_upgrade() {
    install_silently /NUT=ups@127.0.0.1:34969 || return
    wait_until 50 agent_running || true
    run_older_installation
    local old_agent status
    old_agent=$(agent_pids)

    # Programs of ours that "stop" does not close: another user's agent (here
    # one on a desktop of its own, which this desktop's "stop" cannot reach)
    # and the configuration program. They are replaced at the next restart.
    "$wine64" explorer /desktop=OtherUser,640x480 "$folder\\Perimand.exe" </dev/null >/dev/null 2>&1 &
    local other_desktop=$!
    wait_until 50 eval '[[ $(agent_pids | wc -w) -ge 2 ]]' || fail "no second agent started on another desktop"
    "$wine64" "$folder\\Dellomark.exe" </dev/null >/dev/null 2>&1 &
    local configurator_pid=$!
    wait_until 50 configurator_running || true
    status=$(run_setup /S)
    check "an upgrade with programs in use elsewhere ends with code 3010 (got $status)" [ "$status" = 3010 ]
    check "the agent in use is replaced at the next restart" grep -qi 'Perimand\.exe\.new' <<<"$(reg_value \
        'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations)"
    check "the service runs after that upgrade" wait_until 50 service_runs
    kill "$other_desktop" "$configurator_pid" || true
    end_session   # a restart: Windows' start-up performs the pending renames
    start_session
    quiet "$wine64" wineboot -r || true
    check "after the restart the new programs are in place" installed_matches_build
    check "after the restart no staged copies are left" no_staging_left

    write_password_file
    install_silently /NUT=ups@127.0.0.1:34969 "${protection[@]}" /NOTIFY=all || return
    wait_until 50 agent_running || true
    run_older_installation
    old_agent=$(agent_pids)

    # As if first registered from the portable zip, in a folder users can write to.
    mkdir -p "$work/portable"
    cp "$unix_folder/VandrelService.exe" "$work/portable/"
    quiet "$wine64" "$(win_of "$work/portable")\\VandrelService.exe" config || true
    check "a portable copy's config points the service at that copy" \
        grep -qi 'portable' <<<"$(service_binary_path)"
    install_silently || return   # no /NUT: keep the settings
    check "the upgrade points the service at the installed copy" \
        [ "$(service_binary_path)" = "\"$folder\\VandrelService.exe\"" ]
    check "the upgrade put the new files in place" installed_matches_build
    check "the upgrade left no staged copies" no_staging_left
    # (pgrep skips a process that has ended but is not reaped yet.)
    check "the old agent has ended" not grep -qw "$old_agent" <<<"$(agent_pids)"
    check "the service runs after the upgrade" wait_until 50 service_runs
    check "the agent runs after the upgrade" wait_until 50 agent_running
    check "the service's settings were kept" nut_settings_are ups 127.0.0.1 34969
    check "its protection was kept" protection_is_on
    check "whom it tells of events was kept" [ "$(reg_value "$parameters_key" Notify)" = all ]

    # New settings given on an upgrade replace the old ones.
    # The service judges the address: NUT's own IPv6 form, stored bare.
    # A relative /TLSCA= or /ONEVENT= is the file in the folder setup was
    # started in, not in the one the service is set up from. Under Wine a
    # folder's DACL follows its mode: 0755, only its owner (an administrator)
    # writes there, as the service demands of an event command's folder.
    local deploy=$WINEPREFIX/drive_c/deploy
    mkdir -p "$deploy"
    printf '%s\r\n' -----BEGIN\ CERTIFICATE----- MAMCAQU= -----END\ CERTIFICATE----- >"$deploy/ca.pem"
    printf '@exit /b 0\r\n' >"$deploy/on-event.cmd"
    chmod 0755 "$deploy" && chmod 0644 "$deploy/on-event.cmd"
    start_in='C:\deploy' install_silently /NUT=other@[::1]:3493 /TLSCA=ca.pem /ONEVENT=on-event.cmd || return
    check "an upgrade with /NUT= gives the service the new settings" nut_settings_are other ::1 3493
    check "a relative /TLSCA= gave the service the certificate in the folder setup started in" \
        grep -qF MAMCAQU= <<<"$("$wine64" reg query "$parameters_key" /v TlsCa </dev/null 2>/dev/null)"
    check "a relative /ONEVENT= gave the service the program in the folder setup started in" \
        [ "$(reg_value "$parameters_key" OnEvent)" = 'C:\deploy\on-event.cmd' ]
    check "an upgrade with /NUT= and no /SHUTDOWN keeps protection on" protection_is_on
    # Options are judged over what is stored: encryption off beside the CA
    # now stored is refused before anything changes.
    status=$(run_setup /S /NUT=other@[::1]:3493 /TLS=off)
    check "an upgrade's /TLS=off beside a stored CA ends with code 2 (got $status)" [ "$status" = 2 ]
    check "and the service keeps its CA" \
        grep -qF MAMCAQU= <<<"$("$wine64" reg query "$parameters_key" /v TlsCa </dev/null 2>/dev/null)"
    check "the service runs after that upgrade" wait_until 50 service_runs

    # A service that cannot start after "config" (another publisher holds its
    # status block): code 3, and the settings it had are back.
    quiet "$wine64" sc stop "Vandrel Service" || true
    wait_until 50 service_stopped || true
    "$wine64" "$publisher" 3 --seconds 120 </dev/null >/dev/null 2>&1 &
    local publisher_pid=$!
    sleep 2
    status=$(run_setup /S /NUT=third@127.0.0.1:1234)
    check "an upgrade whose service will not start ends with code 3 (got $status)" [ "$status" = 3 ]
    check "the failed upgrade put the service's settings back" nut_settings_are other ::1 3493
    # Event options alone change settings an upgrade otherwise keeps untouched.
    status=$(run_setup /S /NOTIFY=off)
    check "an upgrade with /NOTIFY= alone whose service will not start ends with code 3 (got $status)" \
        [ "$status" = 3 ]
    check "that failed upgrade put back whom the service tells" [ "$(reg_value "$parameters_key" Notify)" = all ]
    kill "$publisher_pid" || true

    # A service that will not stop within setup's 30 s: code 3 (the
    # service), not 4 (a program in use), and nothing changed.
    quiet "$wine64" "$folder\\VandrelService.exe" config --simulate --stop-delay-ms 50000 || true
    run_older_installation
    status=$(run_setup /S)
    check "an upgrade whose service will not stop ends with code 3 (got $status)" [ "$status" = 3 ]
    check "that upgrade changed no file" not same_file "$unix_folder/Perimand.exe" "$agent"
}

# Every file under drive_c, and every registry value as "key<TAB>value", with
# Wine's own timestamps left out.
snapshot() {
    local out=$1
    end_session   # writes the registry files
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows/temp -prune -o -print | LC_ALL=C sort) >"$out.files"
    awk '/^#/ || /^$/ || /^WINE REGISTRY/ { next }
         /^\[/  { key = $0; sub(/\] [0-9]+$/, "]", key); print key; next }
                { print key "\t" $0 }' "$WINEPREFIX"/system.reg "$WINEPREFIX"/user.reg \
        | LC_ALL=C sort -u >"$out.reg"
    start_session
}

# What a snapshot has that the first one did not; the product's leftovers fail.
compare_with_before() {
    local after=$1 when=$2 added_files added_reg
    added_files=$(comm -13 "$work/before.files" "$after.files")
    added_reg=$(comm -13 "$work/before.reg" "$after.reg")
    check "no file or folder is left $when" [ -z "$added_files" ]
    [[ -z $added_files ]] || sed 's/^/      left: /' <<<"$added_files"
    check "no registry key or value of the product is left $when" \
        not grep -qiE 'perimand|vandrel|dellomark|34969' <<<"$added_reg"
    # Wine rewrites some keys of its own (console defaults, driver dates):
    # show every difference so a new one can be judged.
    [[ -z $added_reg ]] || sed 's/^/      registry now has: /' <<<"$added_reg"
}

scenario_silent_uninstall() {
    snapshot "$work/before"
    install_silently /NUT=ups@127.0.0.1:34969 || return
    wait_until 50 agent_running || true
    local status

    # Exactly what the entry says, as a deployment tool runs it; it waits and
    # returns its code: 4 while a program of ours is in use.
    local quiet_uninstall
    quiet_uninstall=$(reg_value "$uninstall_key" QuietUninstallString)
    "$wine64" "$folder\\Dellomark.exe" </dev/null >/dev/null 2>&1 &
    local configurator_pid=$!
    wait_until 50 configurator_running || true
    status=$(run_windows "$quiet_uninstall")
    check "the quiet uninstall with Dellomark.exe open ends with code 4 (got $status)" [ "$status" = 4 ]
    check "... and leaves Perimand installed" installed_matches_build
    kill "$configurator_pid" || true
    wait_until 50 not configurator_running || true
    status=$(run_windows "$quiet_uninstall")
    check "the quiet uninstall ends with code 0 (got $status)" [ "$status" = 0 ]
    check "the uninstall entry is gone when it returns" not reg_has_key "$uninstall_key"
    check "the agent was stopped" not agent_running
    check "the service is gone" [ -z "$(service_state)" ]
    # (Uninstall.exe itself, and with it the folder, goes once it has ended.)
    check "the install folder is gone" wait_until 25 test ! -e "$unix_folder"

    # That copy cannot delete itself: it is marked for removal at the next
    # start of Windows, as every NSIS uninstaller's is. Restart, then
    # nothing at all may be left.
    end_session
    start_session
    quiet "$wine64" wineboot -r || true
    snapshot "$work/after"
    compare_with_before "$work/after" "after the next restart"
}

case $scenario in
    silent-install) scenario_silent_install ;;
    run-value) scenario_run_value ;;
    upgrade) scenario_upgrade ;;
    silent-uninstall) scenario_silent_uninstall ;;
    *) die "unknown scenario $scenario" ;;
esac

end_session
trap - EXIT
if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed; the prefix is kept in $WINEPREFIX"
    exit 1
fi
rm -rf "$WINEPREFIX"
echo "all checks passed"
