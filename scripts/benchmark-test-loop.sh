#!/usr/bin/env bash
# The test loop's figures, for scripts/benchmark.sh --test-loop: each preset's build from
# nothing, first with an empty compiler cache and then with it full, and scripts/test.sh
# --quick after a one-line change in bench/. In a fresh clone of HEAD, with a cache of its
# own: the developer's cache and build folders are left as they are. Figures, not pass/fail.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

bash scripts/setup.sh --packages >/dev/null || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone -q . "$scratch/tree" || exit 1
export CCACHE_DIR=$scratch/ccache
cd "$scratch/tree" || exit 1

# build_seconds PRESET: a build from nothing; prints its wall time, or "failed".
build_seconds() {
    local start end
    rm -rf "build/$1"
    start=$(date +%s.%N)
    if ! { cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j2 >/dev/null; }; then
        echo failed
        return
    fi
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", e - s }'
}

for preset in native asan tsan windows; do
    cold=$(build_seconds "$preset")
    cached=$(build_seconds "$preset")
    echo "build of preset $preset from nothing: ${cold} s with an empty compiler cache," \
        "${cached} s with it full (goal: a quarter or less)"
done

# The quick loop on the tree test.sh builds, after a one-line change in bench/.
bash scripts/test.sh --quick >"$scratch/quick-first.log" 2>&1
sed -i 's/^namespace pxr7 {$/namespace pxr7 {\nstatic_assert(sizeof(Phase) > 0);/' bench/phase.cpp
start=$(date +%s)
if bash scripts/test.sh --quick >"$scratch/quick.log" 2>&1; then
    echo "test.sh --quick after a one-line change in bench/: $(($(date +%s) - start)) s" \
        "(goal: under 180 s)"
else
    echo "test.sh --quick failed, no figure:"
    tail -n 20 "$scratch/quick.log"
fi
