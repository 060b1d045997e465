#!/usr/bin/env bash
# A real NUT server for tests: Debian's dummy-ups driver serving a UPS named
# "testups" from a definition file, and upsd, both started directly as
# root in a private folder (configuration, state and pid files), listening
# on 127.0.0.1 only. upsd.users holds one secondary, "mon" with password
# "secret", that may LOGIN, and the primary "admin" that NUT's own upsmon
# logs in as when start-primary runs it. Prints nothing on success; one
# line on stderr and a non-zero exit on failure.
#
#   nut-peer.sh start DIR PORT [STATUS [CHARGE]]  start both; wait until upsd serves STATUS
#                                                 (default "OL", charge 100; CHARGE "-" for none)
#   nut-peer.sh stop DIR                          end everything started in DIR
#   nut-peer.sh set-status DIR STATUS [CHARGE]    change the UPS; wait until upsd serves it
#   nut-peer.sh kill-driver DIR                   upsd then says ERR DRIVER-NOT-CONNECTED
#   nut-peer.sh start-driver DIR
#   nut-peer.sh freeze DIR | thaw DIR             SIGSTOP/SIGCONT the driver (ERR DATA-STALE after MAXAGE)
#   nut-peer.sh stop-server DIR | start-server DIR
#   nut-peer.sh silent-server DIR PORT            a listener that accepts and never answers but to
#                                                 STARTTLS, which it refuses as a upsd without
#                                                 certificates does, or answers with the bytes of
#                                                 DIR/silent.starttls when there is one (reset
#                                                 removes it); what it receives goes to
#                                                 DIR/silent.received
#   nut-peer.sh serve-tls DIR [forged]            restart upsd offering STARTTLS (DISABLE_WEAK_SSL) with
#                                                 the certificate CN=localhost of "Test CA"; "forged": with
#                                                 one of another CA of the same name and serial. The
#                                                 certificates are made once per DIR, in DIR/tls: ca.pem,
#                                                 forged-ca.pem, server.sha256 and forged-server.sha256
#                                                 (SHA-256 of each server certificate's DER, hex). reset
#                                                 and start-server bring back plain upsd
#   nut-peer.sh wait-status DIR STATUS|ERR-CODE   wait until upsd answers that
#   nut-peer.sh wait-clients DIR COUNT            wait until COUNT clients are logged in to the UPS
#   nut-peer.sh reset DIR                         back to a running driver and upsd serving OL, charge 100,
#                                                 with no primary and no FSD
#   nut-peer.sh start-primary DIR                 (re)start upsmon as the UPS's primary (HOSTSYNC 30, FINALDELAY 0,
#                                                 polling every second); wait until it has logged in. Its
#                                                 shutdown command creates DIR/primary-shutdown; its log
#                                                 (this start's only) is DIR/upsmon.log
#   nut-peer.sh wait-file DIR NAME [SECONDS]      wait until DIR/NAME exists (default 30 s)
#
# NUT_PEER_MAXAGE: upsd's MAXAGE in seconds (default 5).
# Connect to a TLS upsd as "localhost": the certificate names no address.
set -euo pipefail

die_name=nut-peer.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../../cmake/shell-kit.sh"   # die, quiet

driver=/lib/nut/dummy-ups
server=/lib/nut/upsd
monitor=/lib/nut/upsmon   # /sbin/upsmon is a wrapper that wants nut.conf's MODE
ups=testups
primary_password=adminsecret
# upsmon keeps its pid file here whatever the environment says, and will not
# start while the process it names lives: one primary per machine.
monitor_pidfile=/run/nut/upsmon.pid
wait_limit=30   # seconds any state change may take

[[ $# -ge 2 ]] || die "usage: nut-peer.sh start|stop|reset|set-status|kill-driver|start-driver|freeze|thaw|stop-server|start-server|silent-server|serve-tls|wait-status|wait-clients|start-primary|wait-file DIR [args]"
command=$1
dir=$2
shift 2
[[ $dir == /* ]] || dir=$PWD/$dir

export NUT_CONFPATH=$dir NUT_STATEPATH=$dir/state NUT_ALTPIDPATH=$dir/state

pid_of() { [[ -f $dir/$1.pid ]] && cat "$dir/$1.pid"; }
# A process that has ended but is not yet reaped (a zombie) does not count.
alive() {
    local state
    state=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null) || return 1
    [[ $state != Z ]]
}
running() { local pid; pid=$(pid_of "$1") && alive "$pid"; }
port() { cat "$dir/port" 2>/dev/null || die "no peer in $dir (start it first)"; }

# Starts a program detached from our output, so a caller reading our
# output (ctest) is not kept waiting by it.
# Descriptors other than 0-2 are closed too: when a test program starts
# this script through Wine, ctest's pipe may be among them.
spawn() {
    local name=$1
    shift
    (
        for fd in /proc/$BASHPID/fd/*; do
            fd=${fd##*/}
            [[ $fd -gt 2 ]] && eval "exec $fd>&-" 2>/dev/null
        done
        exec setsid "$@"
    ) </dev/null >>"$dir/$name.log" 2>&1 &
    echo $! >"$dir/$name.pid"
}

# Whether a process of group $1 lives. spawn makes each program the leader
# of its own group; upsmon's watching half, which it forks at once, stays in
# it and outlives its parent.
group_alive() {
    ps -e -o pgid=,stat= | awk -v group="$1" '$1 == group && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

end() {
    local name=$1 pid
    pid=$(pid_of "$name") || return 0
    if group_alive "$pid"; then
        kill -CONT -- "-$pid" 2>/dev/null || true   # a frozen process would not see TERM
        kill -TERM -- "-$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            group_alive "$pid" || break
            sleep 0.05
        done
        kill -KILL -- "-$pid" 2>/dev/null || true
        while group_alive "$pid"; do sleep 0.05; done
    fi
    rm -f "$dir/$name.pid"
}

# Ends the primary and what its shutdown leaves behind. upsmon leaves its pid
# file when it ends; a stale one, even naming a zombie, would stop the next.
end_primary() {
    local claimed
    end upsmon
    claimed=$(cat "$monitor_pidfile" 2>/dev/null) || claimed=""
    if [[ -n $claimed ]] && ! alive "$claimed"; then rm -f "$monitor_pidfile"; fi
    rm -f "$dir/primary-shutdown" "$dir/killpower"
}

# What upsd says to "GET VAR testups ups.status": the quoted value, or the
# ERR code, or nothing when it does not answer.
ask_status() {
    local reply=""
    exec 3<>"/dev/tcp/127.0.0.1/$(port)" 2>/dev/null || return 0
    printf 'GET VAR %s ups.status\nLOGOUT\n' "$ups" >&3
    IFS= read -r -t 2 reply <&3 || true
    exec 3<&- 3>&-
    reply=${reply%$'\r'}
    case $reply in
        "VAR $ups ups.status \""*\") reply=${reply#"VAR $ups ups.status \""}; echo "${reply%\"}" ;;
        "ERR "*) echo "${reply#ERR }" | cut -d' ' -f1 ;;
    esac
}

# Also accepts ALSO (when given) as the answer.
wait_for() {
    local want=$1 also=${2:-$1} got=""
    for _ in $(seq $((wait_limit * 5))); do
        got=$(ask_status)
        [[ $got == "$want" || $got == "$also" ]] && return 0
        sleep 0.2
    done
    die "upsd on port $(port) says '${got}', not '$want', after ${wait_limit} s (logs in $dir)"
}

write_definition() {
    local status=$1 charge=${2:-100}
    {
        echo "ups.status: $status"
        [[ $charge == - ]] || echo "battery.charge: $charge"
        # What a UPS reports beside its state, for the reading's record.
        printf '%s\n' "battery.runtime: 1800" "ups.load: 23" "input.voltage: 230.4" \
            "output.voltage: 229.8" "ups.mfr: Peer Works" "ups.model: Dummy 1500"
    } >"$dir/$ups.dev.new"
    # The driver re-reads the file when its time stamp moves, which counts
    # whole seconds: two changes within one second must still differ.
    local stamp previous
    stamp=$(date +%s)
    previous=$(stat -c %Y "$dir/$ups.dev" 2>/dev/null || echo 0)
    (( stamp > previous )) || stamp=$((previous + 1))
    touch -d "@$stamp" "$dir/$ups.dev.new"
    # Renamed into place: the driver never reads half a file.
    mv "$dir/$ups.dev.new" "$dir/$ups.dev"
}

start_driver() {
    spawn driver "$driver" -a "$ups" -u root -F
}

# Waits until process NAME (described as WHAT) listens on PORT.
wait_listening() {
    local name=$1 what=$2 port=$3
    for _ in $(seq $((wait_limit * 10))); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        running "$name" || die "$what did not start (see $dir/$name.log)"
        sleep 0.1
    done
    die "$what does not listen on port $port (see $dir/$name.log)"
}

# upsd.conf: in clear, or with the NSS database DIR/tls/$1 ("real" or
# "forged") for STARTTLS.
write_server_config() {
    local certificates=${1:-}
    {
        echo "LISTEN 127.0.0.1 $(port)"
        echo "MAXAGE ${NUT_PEER_MAXAGE:-5}"
        if [[ -n $certificates ]]; then
            echo "CERTPATH $dir/tls/$certificates"
            echo "CERTIDENT \"nutserver\" \"$(cat "$dir/tls/password")\""
            echo "DISABLE_WEAK_SSL true"   # else this upsd also speaks TLS 1.0
        fi
    } >"$dir/upsd.conf"
    chmod 600 "$dir/upsd.conf"
}

# An NSS database DIR/tls/NAME holding a CA "CN=Test CA" (serial 1001) and
# the server certificate "nutserver", CN=localhost (serial 1002) signed by
# it. Each call makes a new CA key: "forged" shares the real CA's name and
# serial and nothing else, as a forger's would. certutil gives two
# certificates the same serial unless told, and then refuses the second.
make_authority() {
    local db=$dir/tls/$1 prefix=$2
    local common=(-d "$db" -f "$dir/tls/password" -z "$dir/tls/noise")
    mkdir -p "$db"
    chmod 700 "$db"   # upsd warns about a readable key database
    certutil -N -d "$db" -f "$dir/tls/password" || return
    printf 'y\n0\ny\n' | certutil -S -x -n "Test CA" -s "CN=Test CA" -m 1001 -t "CT,," "${common[@]}" \
        -2 --keyUsage certSigning,crlSigning || return
    certutil -S -n nutserver -s CN=localhost -c "Test CA" -m 1002 -t ",," "${common[@]}" \
        --extSAN dns:localhost || return
    certutil -L -d "$db" -n "Test CA" -a >"$dir/tls/${prefix}ca.pem" || return
    local digest
    digest=$(certutil -L -d "$db" -n nutserver -r | sha256sum) || return
    echo "${digest%% *}" >"$dir/tls/${prefix}server.sha256"
}

# Once per peer folder: key generation takes a while.
make_certificates() {
    [[ -f $dir/tls/made ]] && return 0
    command -v certutil >/dev/null || die "certutil missing; install libnss3-tools (scripts/setup.sh)"
    rm -rf "$dir/tls"
    mkdir -p "$dir/tls"
    chmod 700 "$dir/tls"
    echo "peer-db-$RANDOM$RANDOM" >"$dir/tls/password"
    head -c 2048 /dev/urandom >"$dir/tls/noise"
    make_authority real "" >"$dir/tls/certutil.log" 2>&1 || die "certutil failed (see $dir/tls/certutil.log)"
    make_authority forged forged- >>"$dir/tls/certutil.log" 2>&1 || die "certutil failed (see $dir/tls/certutil.log)"
    touch "$dir/tls/made"
}

start_server() {
    spawn server "$server" -u root -F
    wait_listening server upsd "$(port)"
}

# upsd logs each LOGIN of the primary's user; how many so far.
primary_logins() { grep -c "User admin@.* logged into UPS" "$dir/server.log" || true; }

start_primary() {
    local claimed logins
    [[ -x $monitor ]] || die "$monitor missing; install nut-client (scripts/setup.sh)"
    running server || die "no upsd runs in $dir (start the peer first)"
    end_primary
    claimed=$(cat "$monitor_pidfile" 2>/dev/null) || claimed=""
    [[ -n $claimed ]] && die "another upsmon runs (pid $claimed in $monitor_pidfile); upsmon allows one per machine"
    mkdir -p "${monitor_pidfile%/*}"   # a fresh machine without systemd may lack it
    # HOSTSYNC well beyond what a test waits, so a shutdown that comes
    # sooner shows the last secondary logged out; FINALDELAY 0 runs the
    # command at once then.
    cat >"$dir/upsmon.conf" <<CONF
MONITOR $ups@127.0.0.1:$(port) 1 admin $primary_password primary
SHUTDOWNCMD "/bin/touch $dir/primary-shutdown"
POWERDOWNFLAG $dir/killpower
HOSTSYNC 30
FINALDELAY 0
POLLFREQ 1
POLLFREQALERT 1
RUN_AS_USER root
$(for event in ONLINE ONBATT LOWBATT FSD COMMOK COMMBAD SHUTDOWN NOCOMM CAL; do
    echo "NOTIFYFLAG $event SYSLOG"   # not WALL: that writes on every terminal of the machine
done)
CONF
    chmod 600 "$dir/upsmon.conf"
    logins=$(primary_logins)
    : >"$dir/upsmon.log"   # what this primary says, not an earlier one
    spawn upsmon "$monitor" -F -u root
    for _ in $(seq $((wait_limit * 10))); do
        (( $(primary_logins) > logins )) && return 0
        group_alive "$(pid_of upsmon)" || die "upsmon did not start (see $dir/upsmon.log)"
        sleep 0.1
    done
    die "upsmon did not log in to upsd on port $(port) in ${wait_limit} s (see $dir/upsmon.log)"
}

case $command in
    start)
        [[ $# -ge 1 ]] || die "start needs a port"
        [[ $(id -u) -eq 0 ]] || die "the NUT programs run as root here (-u root); run the tests as root"
        [[ -x $driver && -x $server ]] || die "$driver or $server missing; install nut-server (scripts/setup.sh)"
        "$0" stop "$dir"
        # Another tree's peer on the same port would answer for ours.
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && die "port $1 is already taken (another peer?)"
        rm -rf "$dir"
        mkdir -p "$dir/state"
        chmod 700 "$dir/state"
        echo "$1" >"$dir/port"
        status=${2:-OL}
        write_definition "$status" "${3:-100}"
        cat >"$dir/ups.conf" <<CONF
[$ups]
    driver = dummy-ups
    port = $ups.dev
    pollinterval = 1
CONF
        write_server_config
        cat >"$dir/upsd.users" <<CONF
[mon]
    password = secret
    upsmon secondary
[admin]
    password = $primary_password
    upsmon primary
CONF
        chmod 600 "$dir"/*.conf "$dir/upsd.users"
        start_driver
        start_server
        wait_for "$status"
        ;;
    stop)
        # The primary first: it would take a server gone on battery for a critical UPS.
        end_primary
        for name in silent server driver; do end "$name"; done
        ;;
    set-status)
        [[ $# -ge 1 ]] || die "set-status needs a status"
        write_definition "$1" "${2:-100}"
        # Once a primary has forced a shutdown, upsd puts FSD first whatever
        # the driver says, until upsd itself restarts.
        wait_for "$1" "FSD $1"
        ;;
    reset)
        end_primary
        rm -f "$dir/silent.starttls"
        running driver && kill -CONT "$(pid_of driver)"
        write_definition OL 100
        running driver || start_driver
        # Only a new upsd forgets a forced shutdown.
        [[ " $(ask_status) " == *" FSD "* ]] && end server
        if grep -q CERTPATH "$dir/upsd.conf"; then
            end server
            write_server_config
        fi
        running server || start_server
        wait_for OL
        ;;
    wait-status)
        [[ $# -ge 1 ]] || die "wait-status needs a status or an ERR code"
        wait_for "$1"
        ;;
    wait-clients)
        [[ $# -ge 1 ]] || die "wait-clients needs a count"
        clients=""
        for _ in $(seq $((wait_limit * 5))); do
            # One address per logged-in client.
            clients=$(upsc -c "$ups@127.0.0.1:$(port)" 2>/dev/null | grep -c . || true)
            [[ $clients == "$1" ]] && exit 0
            sleep 0.2
        done
        die "upsd on port $(port) lists ${clients:-no} logged-in clients, not $1, after ${wait_limit} s"
        ;;
    kill-driver)
        end driver
        wait_for DRIVER-NOT-CONNECTED
        ;;
    start-driver)
        running driver && die "the driver already runs"
        start_driver
        ;;
    freeze)
        kill -STOP "$(pid_of driver)" || die "no driver to freeze"
        ;;
    thaw)
        kill -CONT "$(pid_of driver)" || die "no driver to thaw"
        ;;
    stop-server)
        end server
        ;;
    start-server)
        running server && die "upsd already runs"
        write_server_config
        start_server
        ;;
    serve-tls)
        certificates=real
        [[ ${1:-} == forged ]] && certificates=forged
        make_certificates
        end server
        write_server_config "$certificates"
        start_server
        wait_for OL
        ;;
    silent-server)
        [[ $# -ge 1 ]] || die "silent-server needs a port"
        mkdir -p "$dir"
        end silent
        spawn silent python3 -c '
import socket, sys, threading
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", int(sys.argv[1])))
listener.listen(16)
def record(connection):
    # Never answers; keeps what clients say, so tests can see their goodbye.
    # STARTTLS alone is answered, so a client that requires TLS can be seen
    # to stop there, or be given a handshake that stalls or is garbage.
    pending = b""
    while True:
        data = connection.recv(512)
        if not data:
            return
        with open(sys.argv[2], "ab") as received:
            received.write(data)
        pending += data
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            if line.rstrip(b"\r") == b"STARTTLS":
                try:
                    with open(sys.argv[3], "rb") as answer:
                        connection.sendall(answer.read())
                except FileNotFoundError:
                    connection.sendall(b"ERR FEATURE-NOT-CONFIGURED\n")
while True:
    threading.Thread(target=record, args=(listener.accept()[0],), daemon=True).start()
' "$1" "$dir/silent.received" "$dir/silent.starttls"
        wait_listening silent "the silent server" "$1"
        ;;
    start-primary)
        start_primary
        ;;
    wait-file)
        [[ $# -ge 1 ]] || die "wait-file needs a name"
        limit=${2:-$wait_limit}
        for _ in $(seq $((limit * 10))); do
            [[ -e $dir/$1 ]] && exit 0
            sleep 0.1
        done
        die "no $dir/$1 after $limit s"
        ;;
    *)
        die "unknown command '$command'"
        ;;
esac
