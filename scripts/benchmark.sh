#!/usr/bin/env bash
# Prints the upgrade's figures against the simulated meter: wall time against its floor
# (the 1 s reset pulse plus one 10 ms tick per poll the transfer needed), CPU time and peak
# memory, with the bridge's latency timer off and at its default 16 ms; and `list` time per
# meter. Figures, not pass/fail: a busy machine moves them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pxr7 ftd2xx_sim >/dev/null

pxr7=build/native/cli/pxr7
driver=build/native/sim/libftd2xx.so
rig=$(mktemp -d)
trap 'rm -rf "$rig"' EXIT

measure_upgrade() {
    local latency=$1
    printf 'latency_ms = %s\n[bridge 0]\ncapture = capture.bin\n' "$latency" >"$rig/scenario.txt"
    rm -f "$rig/trace.txt"
    PXR7_SIM_SCENARIO="$rig/scenario.txt" PXR7_SIM_TRACE="$rig/trace.txt" \
        /usr/bin/time -f '%e %U %S %M' -o "$rig/time.txt" \
        "$pxr7" --driver "$driver" upgrade --yes >/dev/null
    read -r wall user sys rss <"$rig/time.txt"
    # One one-byte read per tick once the reset pulse has ended.
    ticks=$(grep -c '^FT_Read .*wanted=1 ' "$rig/trace.txt")
    floor=$(awk -v t="$ticks" 'BEGIN { printf "%.2f", 1 + t * 0.010 }')
    printf 'upgrade, latency %2s ms: wall %6.2f s  floor %6.2f s (1 s + %d ticks x 10 ms)  CPU %.2f s  peak RSS %d KiB\n' \
        "$latency" "$wall" "$floor" "$ticks" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$rss"
}

measure_list() {
    local meters=$1
    : >"$rig/scenario.txt"
    for ((i = 0; i < meters; i++)); do
        printf '[bridge %d]\nversion = PXR7 V1.0%d\n' "$i" "$i" >>"$rig/scenario.txt"
    done
    PXR7_SIM_SCENARIO="$rig/scenario.txt" \
        /usr/bin/time -f '%e' -o "$rig/time.txt" "$pxr7" --driver "$driver" list >/dev/null
    wall=$(cat "$rig/time.txt")
    printf 'list, %d meters: wall %.3f s, %.3f s per meter\n' "$meters" "$wall" \
        "$(awk -v w="$wall" -v m="$meters" 'BEGIN { print w / m }')"
}

measure_upgrade 0
measure_upgrade 16
measure_list 1
measure_list 4
