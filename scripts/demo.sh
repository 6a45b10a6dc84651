#!/usr/bin/env bash
# The main job: upgrades a simulated PXR7 meter with the firmware image this program carries,
# then lists the meter to show its new version. Installs what is missing and builds first.
#   scripts/demo.sh            with the command-line program
#   scripts/demo.sh --windows  with the Windows program under Wine (a real window)
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-}" == "--windows" ]]; then
    exec bash scripts/run-windows-demo.sh
fi

bash scripts/setup.sh
# The native tree as it is, if there is one: test.sh configures it with the release flags.
[[ -f build/native/CMakeCache.txt ]] || cmake --preset native >/dev/null
cmake --build --preset native -j2 --target pxr7 ftd2xx_sim

rig=build/native/demo
rm -rf "$rig" && mkdir -p "$rig"
cat >"$rig/scenario.txt" <<'SCENARIO'
# One meter on a correctly configured lead, running firmware V1.02.
state_file = rig-state.txt
[bridge 0]
version = PXR7 V1.02
version_after_upgrade = PXR7 V1.03
capture = received-image.bin
SCENARIO

export PXR7_SIM_SCENARIO="$PWD/$rig/scenario.txt"
export PXR7_SIM_TRACE="$PWD/$rig/trace.txt"
driver=build/native/sim/libftd2xx.so

echo "== pxr7 list (before)"
build/native/cli/pxr7 --driver "$driver" list
echo
echo "== pxr7 upgrade --yes"
build/native/cli/pxr7 --driver "$driver" upgrade --yes
echo
echo "== pxr7 list (after)"
build/native/cli/pxr7 --driver "$driver" list
echo
if cmp -s "$rig/received-image.bin" firmware/pxr7-standin.bin; then
    echo "The simulated meter received the embedded image byte for byte ($(stat -c %s "$rig/received-image.bin") bytes)."
else
    echo "The simulated meter's capture differs from the embedded image." >&2
    exit 1
fi
