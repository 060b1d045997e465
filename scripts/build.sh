#!/usr/bin/env bash
# Configures and builds the two build trees:
#   build/i686    the shipped product, 32-bit: build/i686/Perimand.exe
#   build/x86_64  the same sources for 64-bit Windows, tested too: some
#                 kernels cannot execute 32-bit code
# Usage: scripts/build.sh [--agent-only] [--jobs N]
#   --agent-only  build only the agent and the programs run-agent.sh starts
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

jobs=2
targets=()
while [[ $# -gt 0 ]]; do
    case $1 in
        # The agent and the programs run-agent.sh starts beside it.
        --agent-only) targets=(Perimand Dellomark VandrelService) ;;
        --jobs) jobs=${2:?--jobs needs a number}; shift ;;
        -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
        *) die "unknown option $1 (see --help)" ;;
    esac
    shift
done

build_type=${PERIMAND_BUILD_TYPE:-Release}

# Both trees carry the tests. Where 32-bit code cannot run, the i686 tree
# registers only its static checks (scripts/test.sh runs them).
runs_32bit=OFF
can_run_32bit && runs_32bit=ON
for arch in i686 x86_64; do
    tree=$root/build/$arch
    wine_tests=ON
    [[ $arch == i686 ]] && wine_tests=$runs_32bit
    options=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-mingw.cmake"
             -DCMAKE_BUILD_TYPE="$build_type" -DPERIMAND_TESTS=ON -DPERIMAND_WINE_TESTS=$wine_tests)
    say "configuring $tree"
    cmake -S "$root" -B "$tree" "${options[@]}" >/dev/null

    start=$(now)
    if [[ ${#targets[@]} -gt 0 ]]; then
        # A target this checkout does not have yet is left out.
        known=$(cmake --build "$tree" --target help | sed -n 's/^\.\.\. //p')
        present=()
        for target in "${targets[@]}"; do
            grep -qx -- "$target" <<<"$known" && present+=("$target")
        done
        say "building ${present[*]} in $tree"
        cmake --build "$tree" -j "$jobs" --target "${present[@]}"
    else
        say "building $tree"
        cmake --build "$tree" -j "$jobs"
    fi
    say "built $tree in $(( $(now) - start )) s"
done
say "the shipped agent: $root/build/i686/Perimand.exe"
