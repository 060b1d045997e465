#!/usr/bin/env bash
# Checks the shipped 32-bit setup program and the portable zip beside it
# without running them (this machine may not execute 32-bit code; the
# installer tests run the same script built with a 64-bit stub):
#   - PE32 for i386, Windows GUI subsystem;
#   - its manifest asks for an administrator;
#   - its version block carries the product's version;
#   - the zip holds the three programs and the README in one folder.
# Usage: check-setup.sh path/to/PerimandSetup-<version>.exe <version>
set -euo pipefail

setup=${1:?usage: check-setup.sh PerimandSetup.exe version}
version=${2:?usage: check-setup.sh PerimandSetup.exe version}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

[[ -f $setup ]] || { echo "FAIL: $setup does not exist (build the i686 tree first)"; exit 1; }
headers=$("$objdump" -p "$setup" 2>&1) || { echo "FAIL: $objdump cannot read $setup"; exit 1; }
grep -q 'file format pei-i386' <<<"$headers" && grep -qP '^Magic\s+010b\s+\(PE32\)' <<<"$headers" \
    && pass "PE32 for i386" || fail "not a PE32 i386 executable"
grep -qP '^Subsystem\s+00000002\s+\(Windows GUI\)' <<<"$headers" \
    && pass "Windows GUI subsystem" || fail "subsystem is not Windows GUI (2)"

# The manifest is stored as plain text in the stub's resources.
grep -aq 'level="requireAdministrator"' "$setup" \
    && pass "the manifest asks for an administrator" || fail "the manifest does not ask for an administrator"

# The version strings are UTF-16 in the version block.
strings -el "$setup" | grep -qx "$version" \
    && pass "the version block says $version" || fail "no $version in the version block"

zip=$(dirname "$setup")/Perimand-$version-portable.zip
if [[ -f $zip ]]; then
    listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
    for name in Perimand.exe Dellomark.exe VandrelService.exe README.md; do
        grep -qx "Perimand-$version/$name" <<<"$listing" \
            && pass "the zip holds Perimand-$version/$name" || fail "the zip lacks Perimand-$version/$name"
    done
else
    fail "$zip does not exist"
fi

if [[ $failures -gt 0 ]]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
