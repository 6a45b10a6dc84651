#!/usr/bin/env bash
# The station's chaos soak: `pxr7 station` on random simulated benches (meters clipped on and
# pulled, leads plugged late and pulled, busy bridges, meters that stop, stay silent, NAK or
# come back with the wrong version, twin serial numbers, other gadgets, factory-fresh leads),
# each run held against the simulator's record of what every meter unit really did.
#   scripts/soak.sh [MINUTES]    random seeds for MINUTES (default 20), then the counts
# Prints a line per run, then the counts and every violation with its seed; the files of each
# run with a violation are kept in build/soak-failed/seed-N. `pxr7_soak --seeds N-N` runs one
# bench again. Exits non-zero if any run broke an invariant.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-20}
bash scripts/setup.sh
# The native tree as it is, if there is one: test.sh configures it with the release flags.
[[ -f build/native/CMakeCache.txt ]] || cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pxr7 ftd2xx_sim pxr7_soak >/dev/null
exec build/native/tests/soak/pxr7_soak --minutes "$minutes" --keep build/soak-failed
