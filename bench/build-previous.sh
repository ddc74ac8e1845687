#!/usr/bin/env bash
# Builds the optimised `glyphwell` of an earlier commit, for the benchmark to compare with, and
# prints the path of the program. The commit is GLYPHWELL_BENCH_BASE, else the one before HEAD.
# Each commit gets its own git worktree and build folder under BUILD/previous/HASH, so a second
# run for the same commit builds nothing.
#
# usage: bench/build-previous.sh [BUILD]   (BUILD defaults to build; progress goes to stderr)
set -euo pipefail

cd "$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
build_root=$(realpath -m "${1:-build}")
base=${GLYPHWELL_BENCH_BASE:-HEAD~1}
commit=$(git rev-parse --verify --quiet "$base^{commit}") || {
    echo "build-previous: no commit $base" >&2
    exit 1
}
folder="$build_root/previous/$commit"
program="$folder/build/glyphwell"

if [ ! -x "$program" ] && [ ! -x "$folder/build/src/entry/glyphwell" ]; then
    echo "build-previous: building glyphwell of $base ($commit) in $folder" >&2
    if [ ! -d "$folder/source" ]; then
        git worktree prune
        git worktree add --detach "$folder/source" "$commit" >&2
    fi
    cmake -S "$folder/source" -B "$folder/build" -G Ninja -DCMAKE_CXX_COMPILER="${CXX:-clang++}" \
        -DCMAKE_BUILD_TYPE=Release -DGLYPHWELL_TESTS=OFF >&2
    cmake --build "$folder/build" --target glyphwell >&2
fi
# Commits of before 8c08b6b built it in src/entry/.
[ -x "$program" ] || program="$folder/build/src/entry/glyphwell"
echo "$program"
