#!/usr/bin/env bash
# Every test: installs what is missing, then builds and runs each test where it catches most.
#   scripts/test.sh          everything, as CI runs it: the end-to-end, browser, database and
#                            timing tests in the release build; the in-process tests, and the
#                            end-to-end cases of signals and of the collector's threads, under
#                            AddressSanitizer + UndefinedBehaviorSanitizer; threads and signals
#                            under ThreadSanitizer; the Windows program under Wine; last the
#                            packages, built and checked
#   scripts/test.sh --quick  the native build of what changed and its in-process tests: the
#                            loop to run while changing code (docs/development.md)
# Builds that only need the processor run niced beside tests that mostly wait on the simulated
# meters' real time. Prints each stage's wall time as it ends and a table of them at the end;
# exits non-zero if anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=full
case "${1:-}" in
"") ;;
--quick) mode=quick ;;
*)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac

jobs=2
# Tests that wait on simulated meters more than they compute share the two cores well.
waiting_jobs=4
logs=build/test-logs
# The end-to-end cases that reach what no in-process test does, kept under the sanitizers: the
# program's signal paths and the collector's threads.
sanitized_end_to_end='^(CliSignals|CliStops|CliStationStops)\.|^collect_end_to_end$'
# ThreadSanitizer: several meters at once, signals, the station's screen, the dashboard, the
# overview.
threaded='CliSignals|CliStops|CliStation|StationScreen|OneFailingMeterFailsTheRun|AllAccounts|'
threaded+='DashboardServer|LiveFeed|StationOverview|StationRow'

# ---- Stages and their times ------------------------------------------------------------------
# Two lanes: stages in the foreground, one after the other, and one lane of stages in the
# background (niced, its output to a log), each of which leaves a mark that the foreground
# awaits. The background's rows come back through a file.
stage_names=()
stage_seconds=()
stage_results=()
started_at=$SECONDS
mkdir -p "$logs"
rm -f "$logs"/*.done "$logs/background.tsv"
background_pid=""

record_stage() { # name seconds result
    stage_names+=("$1")
    stage_seconds+=("$2")
    stage_results+=("$3")
    printf -- '-- %s: %s (%d s)\n' "$1" "$3" "$2"
}

# stage NAME COMMAND...: runs the command in the foreground and times it.
stage() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    if "$@"; then
        record_stage "$name" $((SECONDS - start)) ok
    else
        record_stage "$name" $((SECONDS - start)) FAILED
        exit 1
    fi
}

mark() { echo "$logs/${1// /-}.done"; }

# background_stage NAME COMMAND...: one stage of the background lane (run inside it).
background_stage() {
    local name=$1 start=$SECONDS result=ok
    shift
    echo "== $name"
    "$@" || result=FAILED
    printf '%s\t%d\t%s\n' "$name (background)" $((SECONDS - start)) "$result" \
        >>"$logs/background.tsv"
    [[ $result == ok ]] || exit 1
    touch "$(mark "$name")"
}

# in_background FUNCTION: starts the background lane.
in_background() {
    echo "== in the background, niced: $1 (log: $logs/background.log)"
    (
        renice -n 10 -p "$BASHPID" >/dev/null
        "$1"
    ) >"$logs/background.log" 2>&1 &
    background_pid=$!
}

# await NAME: waits for a stage of the background lane; fails with the end of its log if the
# lane failed first.
await() {
    local name=$1 start=$SECONDS
    while [[ ! -f $(mark "$name") ]]; do
        if ! kill -0 "$background_pid" 2>/dev/null && [[ ! -f $(mark "$name") ]]; then
            tail -n 40 "$logs/background.log"
            record_stage "waiting for: $name" $((SECONDS - start)) FAILED
            exit 1
        fi
        sleep 1
    done
    record_stage "waiting for: $name" $((SECONDS - start)) ok
}

# finish_background: waits for the whole lane.
finish_background() {
    local status=0
    wait "$background_pid" || status=$?
    background_pid=""
    if [[ $status -ne 0 ]]; then
        tail -n 40 "$logs/background.log"
        record_stage "background lane" 0 FAILED
        exit 1
    fi
}

kill_tree() {
    local child
    for child in $(pgrep -P "$1" || true); do
        kill_tree "$child"
    done
    kill "$1" 2>/dev/null || true
}

summary() {
    local status=$? name seconds result
    [[ -z $background_pid ]] || kill_tree "$background_pid"
    echo
    printf '%-50s %8s  %s\n' "stage" "seconds" "result"
    for i in "${!stage_names[@]}"; do
        printf '%-50s %8d  %s\n' "${stage_names[$i]}" "${stage_seconds[$i]}" "${stage_results[$i]}"
    done
    if [[ -f $logs/background.tsv ]]; then
        while IFS=$'\t' read -r name seconds result; do
            printf '%-50s %8d  %s\n' "$name" "$seconds" "$result"
        done <"$logs/background.tsv"
    fi
    printf '%-50s %8d  %s\n' "all (wall time)" $((SECONDS - started_at)) \
        "$([[ $status -eq 0 ]] && echo ok || echo FAILED)"
}
trap summary EXIT

# ---- Builds --------------------------------------------------------------------------------
# The native tree is a release build with the package's flags (scripts/release-flags.sh).
configure_native() {
    source scripts/release-flags.sh
    cmake --preset native -DPXR7_WARNINGS_AS_ERRORS=ON "${release_flags[@]}" >/dev/null
}
build_native() { configure_native && cmake --build --preset native -j"$jobs"; }
build_preset() { # preset [targets...]
    local preset=$1
    shift
    cmake --preset "$preset" -DPXR7_WARNINGS_AS_ERRORS=ON >/dev/null &&
        cmake --build --preset "$preset" -j"$jobs" ${1:+--target "$@"}
}

# ---- Tests ---------------------------------------------------------------------------------
# The browser and database tests may not skip here: the set-up installed Chromium and
# PostgreSQL.
export PXR7_REQUIRE_BROWSER=1 PXR7_REQUIRE_DATABASE=1
sanitized_ctest() {
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --preset asan "$@"
}
windows_checks() {
    sh sim/check-ordinals.sh build/windows/sim/Ftd2xx.dll &&
        sh sim/check-ordinals.sh build/windows/sim/Ftd2xx_incomplete.dll --missing FT_CyclePort &&
        sh sim/check-ordinals.sh build/windows/sim/Ftd2xx_nolatency.dll \
            --missing FT_SetLatencyTimer &&
        bash tests/e2e/run.sh build/windows
}

if [[ $mode == quick ]]; then
    # The same set-up as the whole run: the database tests are in-process tests too.
    stage "set-up" bash scripts/setup.sh --packages
    stage "native build" build_native
    stage "in-process tests (native)" ctest --preset native -L inprocess -j"$jobs"
    exit 0
fi

# The background lane: the builds that only need the processor, and the in-process tests under
# the sanitizers, beside the foreground's tests that mostly wait.
# In the order the foreground needs them.
background_lane() {
    background_stage "Windows build" build_preset windows
    background_stage "ThreadSanitizer build" \
        build_preset tsan pxr7 ftd2xx_sim pxr7_cli_tests pxr7_dashboard_tests
    background_stage "sanitizer build" build_preset asan
    background_stage "in-process tests (sanitizers)" sanitized_ctest -L inprocess -j"$jobs"
    background_stage "signal and collector cases (sanitizers)" \
        sanitized_ctest -R "$sanitized_end_to_end" -j"$waiting_jobs"
}

stage "set-up" bash scripts/setup.sh --packages
stage "native build" build_native
in_background background_lane
stage "end-to-end, browser, database tests (native)" \
    ctest --preset native -LE inprocess -j"$waiting_jobs"
await "Windows build"
stage "Windows program under Wine" windows_checks
await "ThreadSanitizer build"
stage "threads and signals (ThreadSanitizer)" \
    env TSAN_OPTIONS=halt_on_error=1:exitcode=66 ctest --preset tsan -j"$waiting_jobs" -R "$threaded"
stage "packages" bash tests/package/check.sh
stage "waiting for the background lane" finish_background
