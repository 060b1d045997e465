#!/usr/bin/env bash
# A real NUT server for tests: Debian's dummy-ups driver serving a UPS named
# "testups" from a definition file, and upsd, both started directly as
# root in a private folder (configuration, state and pid files), listening
# on 127.0.0.1 only. upsd.users holds one secondary, "mon" with password
# "secret", that may LOGIN. Prints nothing on success; one line on stderr
# and a non-zero exit on failure.
#
#   nut-peer.sh start DIR PORT [STATUS [CHARGE]]  start both; wait until upsd serves STATUS
#                                                 (default "OL", charge 100; CHARGE "-" for none)
#   nut-peer.sh stop DIR                          end everything started in DIR
#   nut-peer.sh set-status DIR STATUS [CHARGE]    change the UPS; wait until upsd serves it
#   nut-peer.sh kill-driver DIR                   upsd then says ERR DRIVER-NOT-CONNECTED
#   nut-peer.sh start-driver DIR
#   nut-peer.sh freeze DIR | thaw DIR             SIGSTOP/SIGCONT the driver (ERR DATA-STALE after MAXAGE)
#   nut-peer.sh stop-server DIR | start-server DIR
#   nut-peer.sh silent-server DIR PORT            a listener that accepts and never answers; what
#                                                 it receives goes to DIR/silent.received
#   nut-peer.sh wait-status DIR STATUS|ERR-CODE   wait until upsd answers that
#   nut-peer.sh wait-clients DIR COUNT            wait until COUNT clients are logged in to the UPS
#   nut-peer.sh reset DIR                         back to a running driver and upsd serving OL, charge 100
#
# NUT_PEER_MAXAGE: upsd's MAXAGE in seconds (default 5).
set -euo pipefail

die() { echo "nut-peer.sh: $*" >&2; exit 1; }

driver=/lib/nut/dummy-ups
server=/lib/nut/upsd
ups=testups
wait_limit=30   # seconds any state change may take

[[ $# -ge 2 ]] || die "usage: nut-peer.sh start|stop|set-status|kill-driver|start-driver|freeze|thaw|stop-server|start-server|silent-server|wait-status DIR [args]"
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

end() {
    local name=$1 pid
    pid=$(pid_of "$name") || return 0
    if alive "$pid"; then
        kill -CONT "$pid" 2>/dev/null || true   # a frozen process would not see TERM
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            alive "$pid" || break
            sleep 0.05
        done
        kill -KILL "$pid" 2>/dev/null || true
        while alive "$pid"; do sleep 0.05; done
    fi
    rm -f "$dir/$name.pid"
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

wait_for() {
    local want=$1 got=""
    for _ in $(seq $((wait_limit * 5))); do
        got=$(ask_status)
        [[ $got == "$want" ]] && return 0
        sleep 0.2
    done
    die "upsd on port $(port) says '${got}', not '$want', after ${wait_limit} s (logs in $dir)"
}

write_definition() {
    local status=$1 charge=${2:-100}
    {
        echo "ups.status: $status"
        [[ $charge == - ]] || echo "battery.charge: $charge"
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

start_server() {
    spawn server "$server" -u root -F
    wait_listening server upsd "$(port)"
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
        cat >"$dir/upsd.conf" <<CONF
LISTEN 127.0.0.1 $1
MAXAGE ${NUT_PEER_MAXAGE:-5}
CONF
        cat >"$dir/upsd.users" <<CONF
[mon]
    password = secret
    upsmon secondary
CONF
        chmod 600 "$dir"/*.conf "$dir/upsd.users"
        start_driver
        start_server
        wait_for "$status"
        ;;
    stop)
        for name in silent server driver; do end "$name"; done
        ;;
    set-status)
        [[ $# -ge 1 ]] || die "set-status needs a status"
        write_definition "$1" "${2:-100}"
        wait_for "$1"
        ;;
    reset)
        running driver && kill -CONT "$(pid_of driver)"
        write_definition OL 100
        running driver || start_driver
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
        start_server
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
    while True:
        data = connection.recv(512)
        if not data:
            return
        with open(sys.argv[2], "ab") as received:
            received.write(data)
while True:
    threading.Thread(target=record, args=(listener.accept()[0],), daemon=True).start()
' "$1" "$dir/silent.received"
        wait_listening silent "the silent server" "$1"
        ;;
    *)
        die "unknown command '$command'"
        ;;
esac
