#!/bin/bash
# Runs one bench script by name, whichever room it is in: `bench/run.sh NAME [ARGS...]` runs
# bench/*/run_NAME.sh with ARGS, exactly as that script alone would. Without a name, lists them.
#   bench/run.sh bench build/windows 3      # bench/console/run_bench.sh build/windows 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
names() {
    for script in "$here"/*/run_*.sh; do
        name=${script##*/run_}
        echo "  ${name%.sh}  (bench/${script#"$here"/})"
    done
}
if [ $# -eq 0 ]; then
    echo "usage: bench/run.sh NAME [ARGS...], NAME one of:"
    names
    exit 2
fi
name=$1
shift
scripts=("$here"/*/run_"$name".sh)
if [ ! -f "${scripts[0]}" ]; then
    echo "bench/run.sh: no bench named '$name'; there are:" >&2
    names >&2
    exit 2
fi
# The bench programs are not in a tree's default build: bring those of every configured tree
# of this machine up to date first (nothing to do when they are).
root=$(dirname "$here")
for tree in "$root/build/host" "$root/build/$("$root/scripts/windows-test-preset")"; do
    if [ -f "$tree/build.ninja" ]; then
        cmake --build "$tree" --target benches >/dev/null || {
            echo "bench/run.sh: the benches of $tree do not build: cmake --build $tree --target benches" >&2
            exit 2
        }
    fi
done
exec bash "${scripts[0]}" "$@"
