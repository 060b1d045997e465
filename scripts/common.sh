# Shared by the scripts in this folder; source it, do not run it.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

say() { echo "==> $*"; }
source "$root/cmake/shell-kit.sh"   # die, quiet

# The Wine prefix recipe and the 32-bit probe, shared with the test runner.
source "$root/cmake/wine-prefix.sh"
can_run_32bit() { wine_can_run_32bit; }

# True when this kernel executes 32-bit x86 programs at all, asked before
# Wine is installed: a 93-byte ELF32 program that only exits 0.
kernel_runs_32bit() {
    local probe
    probe=$(mktemp) || return 1
    python3 - "$probe" <<'PY' && chmod +x "$probe" && quiet "$probe"
import struct, sys
code = bytes.fromhex("b801000000" "31db" "cd80")  # mov eax,1; xor ebx,ebx; int 0x80
base, size = 0x08048000, 52 + 32 + len(code)
header = b"\x7fELF\x01\x01\x01" + bytes(9) + struct.pack(
    "<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
program = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(header + program + code)
PY
    local status=$?
    rm -f "$probe"
    return $status
}

# The build tree whose programs can run here: the shipped i686 build where
# 32-bit code executes, else the x86_64 build of the same sources.
# PERIMAND_RUN_ARCH=i686|x86_64 overrides.
runnable_arch() {
    if [[ -n ${PERIMAND_RUN_ARCH:-} ]]; then
        echo "$PERIMAND_RUN_ARCH"
    elif can_run_32bit; then
        echo i686
    else
        echo x86_64
    fi
}

# Seconds since the epoch, for timing steps.
now() { date +%s; }
