#!/usr/bin/env bash
# The collector's fleet soak: pxr7 collect over random fleets of 2-5 stations on the simulator
# (stations serving themselves, record files served by history --serve) while the collector is
# killed, the database stopped (fast or immediate), stations restarted, paused, reset or given
# hand-made lines, and two collectors run at once; each run held against the record files.
#   scripts/fleet-soak.sh [MINUTES]    random seeds for MINUTES (default 20), then the counts
# Prints a line per run, then the counts and every violation with its seed; the files of each
# run with a violation are kept in build/fleet-soak-failed/seed-N. tests/db/fleet_soak.py
# --seeds N runs one fleet again. Exits non-zero if any run broke an invariant. It needs
# PostgreSQL's server (scripts/setup.sh --windows installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-20}
bash scripts/setup.sh
[[ -f build/native/CMakeCache.txt ]] || cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pxr7 ftd2xx_sim >/dev/null
# A server of its own, so that stopping it part-way disturbs no test running beside.
state=build/fleet-soak/state
trap 'bash tests/db/pg_rig.sh stop "$state"' EXIT
PXR7_REQUIRE_DATABASE=1 bash tests/db/pg_rig.sh start "$state"
python3 tests/db/fleet_soak.py --pxr7 build/native/cli/pxr7 --sim build/native/sim/libftd2xx.so \
    --rig tests/db/pg_rig.sh --state "$state" --minutes "$minutes" --keep build/fleet-soak-failed
