#!/usr/bin/env bash
# Runs a command with a NUT server of its own up (tests/rigs/nut/nut-peer.sh)
# and stops the server afterwards, whatever the command did.
#
#   run-with-nut-peer.sh [--tls] NUT_PEER_SCRIPT DIR PORT command [args...]
#
# --tls: upsd also offers STARTTLS (nut-peer.sh serve-tls), still serving
# clients in clear; its CA's certificate is DIR/tls/ca.pem.
#
# PERIMAND_BENCH_ARGS (split on spaces) is appended to the command's
# arguments, since a build target takes none: e.g. "--variants --rounds 5".
set -euo pipefail
tls=false
if [[ ${1:-} == --tls ]]; then
    tls=true
    shift
fi
[[ $# -ge 4 ]] || { echo "run-with-nut-peer.sh: usage: [--tls] NUT_PEER_SCRIPT DIR PORT command [args...]" >&2; exit 2; }
peer=$1 dir=$2 port=$3
shift 3
bash "$peer" start "$dir" "$port"
trap 'bash "$peer" stop "$dir"' EXIT
if $tls; then bash "$peer" serve-tls "$dir"; fi
# shellcheck disable=SC2086  # one word per option, on purpose
"$@" ${PERIMAND_BENCH_ARGS:-}
