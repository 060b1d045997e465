#!/usr/bin/env bash
# Checks the shipped 32-bit Perimand.exe from its headers and resources,
# without running it (this machine may not execute 32-bit code):
#   - PE32 for i386, Windows GUI subsystem, ASLR and DEP enabled;
#   - it imports system DLLs only (no MinGW runtime DLL to carry along);
#   - the resources exist in English and in Japanese (the resource tests
#     check their contents; this only catches a build that dropped a language);
#   - VandrelService.exe, when given, carries its Event Log message table in
#     both languages, and loads at start only what every poll needs (the
#     rare paths' DLLs are delay-loaded, asked for by their undecorated names).
# Usage: check-shipped.sh path/to/Perimand.exe [path/to/VandrelService.exe]
set -euo pipefail

exe=${1:?usage: check-shipped.sh path/to/Perimand.exe [path/to/VandrelService.exe]}
service=${2:-}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
windres=${WINDRES:-i686-w64-mingw32-windres}

# Windows' own DLLs the agent may import. It uses kernel32, user32, shell32,
# advapi32 and msvcrt (the C runtime MinGW links against); gdi32 and comctl32
# are the ones a dialog might reasonably bring. Anything else is a question.
allowed_dlls="kernel32.dll user32.dll shell32.dll advapi32.dll msvcrt.dll gdi32.dll comctl32.dll"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

[[ -f $exe ]] || { echo "FAIL: $exe does not exist (build the i686 tree first)"; exit 1; }

headers=$("$objdump" -p "$exe" 2>&1) \
    || { echo "FAIL: $objdump cannot read $exe (not a 32-bit Windows executable?)"; exit 1; }

grep -q 'file format pei-i386' <<<"$headers" && grep -qP '^Magic\s+010b\s+\(PE32\)' <<<"$headers" \
    && pass "PE32 for i386" || fail "not a PE32 i386 executable"

grep -qP '^Subsystem\s+00000002\s+\(Windows GUI\)' <<<"$headers" \
    && pass "Windows GUI subsystem" || fail "subsystem is not Windows GUI (2)"

characteristics=$(grep -oP '^DllCharacteristics\s+\K[0-9a-fA-F]+' <<<"$headers" || echo 0)
(( 0x$characteristics & 0x40 )) && pass "DYNAMIC_BASE (ASLR)" || fail "DYNAMIC_BASE missing (link with --dynamicbase)"
(( 0x$characteristics & 0x100 )) && pass "NX_COMPAT (DEP)" || fail "NX_COMPAT missing (link with --nxcompat)"

imports=$(grep -oP '^\s+DLL Name: \K\S+' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
[[ -n $imports ]] || fail "no imports found"
for dll in $imports; do
    if grep -qw -- "$dll" <<<"$allowed_dlls"; then
        pass "imports $dll"
    else
        fail "imports $dll, which is not part of Windows (link it statically)"
    fi
done

# windres prints "LANGUAGE 9, 1" (English) or "LANGUAGE 17, 1" (Japanese)
# before each resource; list what it found as "<kind> <id> <language>".
found=$("$windres" -J coff -i "$exe" -O rc 2>/dev/null | awk '
    /^LANGUAGE/          { gsub(/[ ,]+/, " "); language = $2 "," $3; next }
    /^STRINGTABLE/       { in_strings = 1; next }
    in_strings && /^END/ { in_strings = 0; next }
    in_strings && $1 ~ /^[0-9]+,$/ { id = $1; sub(/,$/, "", id); print "STRING", id, language; next }
    /^[0-9]+ [A-Z_]+/    { print $2, $1, language }
')
expect() {
    local kind=$1 id=$2 language=$3 name=$4
    grep -qx "$kind $id $language" <<<"$found" && pass "$kind $id in $name" \
        || fail "$kind $id missing in $name"
}
for language in "9,1 English" "17,1 Japanese"; do
    set -- $language
    expect STRING 101 "$1" "$2"
    expect STRING 57344 "$1" "$2"
    expect MENU 131 "$1" "$2"
    expect DIALOGEX 141 "$1" "$2"
done

if [[ -n $service ]]; then
    tables=$("$windres" -J coff -i "$service" -O rc 2>/dev/null | awk '
        /^LANGUAGE/          { gsub(/[ ,]+/, " "); language = $2 "," $3; next }
        /RT_MESSAGETABLE/    { print language }') || true   # unreadable: none found
    for language in "9,1 English" "17,1 Japanese"; do
        set -- $language
        grep -qx "$1" <<<"$tables" && pass "message table in $2 in the service" \
            || fail "message table missing in $2 in $service"
    done
    service_imports=$("$objdump" -p "$service" | grep -oP '^\s+DLL Name: \K\S+' | tr 'A-Z' 'a-z' | sort -u | xargs)
    [[ $service_imports == "advapi32.dll kernel32.dll msvcrt.dll ws2_32.dll" ]] \
        && pass "the service loads at start: $service_imports" || fail "the service loads at start: $service_imports"
    ! grep -qaE '(CryptUnprotectData|WTSSendMessageW|SetSuspendState)@[0-9]' "$service" \
        && pass "delay-loaded names undecorated" || fail "a delay-loaded name is decorated in $service"
fi

if (( failures > 0 )); then
    echo "$failures check(s) failed for $exe"
    exit 1
fi
echo "all checks passed for $exe"
