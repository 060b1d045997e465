# Shared by the scripts in this folder; source it, do not run it.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

say() { echo "==> $*"; }
die() { echo "error: $*" >&2; exit 1; }

# Runs a command with no pipe or terminal attached (Wine's helper processes
# would otherwise keep the caller's output open long after it returned).
quiet() { "$@" </dev/null >/dev/null 2>&1; }

# The Wine prefix recipe and the 32-bit probe, shared with the test runner.
source "$root/cmake/wine-prefix.sh"
can_run_32bit() { wine_can_run_32bit; }

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
