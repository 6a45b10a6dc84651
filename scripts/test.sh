#!/usr/bin/env bash
# Every test: installs what is missing, then builds and runs the native tests (plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer), the Windows program's end-to-end tests under
# Wine, and last the packages, built and checked. Exits non-zero if anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --windows

jobs=2
echo "== native build and tests"
cmake --preset native -DPXR7_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset native -j"$jobs"
# The browser and database tests may not skip here: setup.sh installed Chromium and PostgreSQL.
export PXR7_REQUIRE_BROWSER=1 PXR7_REQUIRE_DATABASE=1
ctest --preset native -j"$jobs"

echo "== sanitizer build and tests"
cmake --preset asan -DPXR7_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --preset asan -j"$jobs"

echo "== ThreadSanitizer: several meters at once, signals, the station's screen, the dashboard, the overview"
cmake --preset tsan -DPXR7_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset tsan -j"$jobs" --target pxr7 ftd2xx_sim pxr7_cli_tests pxr7_dashboard_tests
TSAN_OPTIONS=halt_on_error=1:exitcode=66 \
    ctest --preset tsan -j"$jobs" -R 'CliSignals|CliStops|CliStation|TheStationScreenFits|OneFailingMeterFailsTheRun|AllAccounts|DashboardServer|LiveFeed|StationOverview|StationRow'

echo "== Windows build and end-to-end tests under Wine"
cmake --preset windows -DPXR7_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build --preset windows -j"$jobs"
sh sim/check-ordinals.sh build/windows/sim/Ftd2xx.dll
sh sim/check-ordinals.sh build/windows/sim/Ftd2xx_incomplete.dll --missing FT_CyclePort
sh sim/check-ordinals.sh build/windows/sim/Ftd2xx_nolatency.dll --missing FT_SetLatencyTimer
bash tests/e2e/run.sh build/windows

echo "== packages"
bash tests/package/check.sh
