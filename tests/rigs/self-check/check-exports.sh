#!/usr/bin/env bash
# Checks that a DLL exports each given name exactly as written. The tests
# find hook procedures with GetProcAddress by their plain names; on i686 a
# CALLBACK (stdcall) export is decorated (_Name@12) unless the link strips it,
# and that only shows on a machine that runs the 32-bit tree.
# Usage: check-exports.sh OBJDUMP DLL NAME...
set -euo pipefail
objdump=${1:?usage: check-exports.sh OBJDUMP DLL NAME...}
dll=${2:?usage: check-exports.sh OBJDUMP DLL NAME...}
shift 2
[[ -f $dll ]] || { echo "FAIL: $dll does not exist"; exit 1; }
# The export name table: lines "[ordinal] Name" after "[Ordinal/Name Pointer] Table".
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
          | sed -n 's/^\s*\[\s*[0-9]*\]\s*\(\S*\)$/\1/p')
status=0
for name in "$@"; do
    if grep -qx -- "$name" <<<"$exports"; then
        echo "ok:   $(basename "$dll") exports $name"
    else
        echo "FAIL: $(basename "$dll") does not export $name; it exports: $(tr '\n' ' ' <<<"$exports")"
        status=1
    fi
done
exit $status
