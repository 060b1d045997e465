#!/usr/bin/env bash
# Configures and builds the two build trees:
#   build/i686    the shipped product, 32-bit: build/i686/Perimand.exe
#   build/x86_64  the same sources for 64-bit Windows, which the tests run
#                 under Wine where the kernel cannot execute 32-bit code
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

# Only the tree the tests will run in needs them built; the other one
# holds just the programs.
test_arch=$(runnable_arch)

for arch in i686 x86_64; do
    tree=$root/build/$arch
    with_tests=OFF
    [[ $arch == "$test_arch" ]] && with_tests=ON
    options=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-mingw.cmake"
             -DCMAKE_BUILD_TYPE="$build_type" -DPERIMAND_TESTS=$with_tests)
    # The runnable tree also checks the shipped executable's headers.
    [[ $arch == x86_64 ]] && options+=(-DPERIMAND_SHIPPED_EXE="$root/build/i686/Perimand.exe")
    say "configuring $tree"
    cmake -S "$root" -B "$tree" "${options[@]}" >/dev/null

    start=$(now)
    if [[ ${#targets[@]} -gt 0 ]]; then
        # Companions may not exist yet in a given checkout; build those that do.
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
