#!/usr/bin/env bash
# Runs a command with a NUT server of its own up (tests/rigs/nut/nut-peer.sh)
# and stops the server afterwards, whatever the command did.
#
#   run-with-nut-peer.sh NUT_PEER_SCRIPT DIR PORT command [args...]
#
# PERIMAND_BENCH_ARGS (split on spaces) is appended to the command's
# arguments, since a build target takes none: e.g. "--variants --rounds 5".
set -euo pipefail
[[ $# -ge 4 ]] || { echo "run-with-nut-peer.sh: usage: NUT_PEER_SCRIPT DIR PORT command [args...]" >&2; exit 2; }
peer=$1 dir=$2 port=$3
shift 3
bash "$peer" start "$dir" "$port"
trap 'bash "$peer" stop "$dir"' EXIT
# shellcheck disable=SC2086  # one word per option, on purpose
"$@" ${PERIMAND_BENCH_ARGS:-}
