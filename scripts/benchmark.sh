#!/usr/bin/env bash
# Prints the program's figures against the simulated meter. Figures, not pass/fail: a busy
# machine moves them, and a run that fails prints a note instead of figures.
#  - The upgrade: wall time against its floor (the 1 s reset pulse plus one 10 ms tick per
#    poll the transfer needed), CPU time and peak memory, with the bridge's latency timer at
#    the simulator's default 16 ms, off (0 ms), and at 16 ms behind a library without
#    FT_SetLatencyTimer; and which timer the program set, if any.
#  - `list` time per answering meter, with 1 and 4 meters.
#  - The Windows program's upgrade under Wine, when tests/e2e/run.sh has measured it.
#  - `upgrade --all` with 4 meters against one, when the program has --all.
#  - The station: eight leads each getting meters at staggered times, its time per meter
#    against one plain upgrade (goal: at most 1.1 times); its CPU use while eight lanes wait
#    for meters (goal: under 2% of one core); its memory and open descriptors over a longer
#    run with meters coming and going (goal: flat).
#  - `history` and `history --last 10` on a record of 100,000 lines, each of another lead
#    (goal: under 2 s each, so the summing up grows only with the record's size).
#  - The dashboard: the station's time per meter with ten event streams and one client that
#    reads nothing (goal: at most 1.1 times one plain upgrade, as without them); its CPU while
#    eight lanes wait with ten streams open (goal: under 3% of one core); the live page's first
#    load and the history's first page of a 100,000-line record, over HTTP and in headless
#    Chromium when it is there (goals: under 200 ms and under 300 ms).
#  - The dashboard's server on the same record: the CSV of all of it, its first byte (goal:
#    under 1 s), the server's peak memory (goal: under 100 MB), HEAD, and a reader held to
#    2 MB/s that must get every byte; a page's worst delay beside 80 connections from another
#    address that each send a byte every 3 s and come back when cut (goal: under 1 s).
#  - The dashboard's history on the same record: the index's first refresh (goal: under 1.5 s)
#    and one with nothing new, a query (goal: under 50 ms), the first page through the
#    history API (goal: under 300 ms once the record is indexed), and 60 JSON Lines exports of
#    the whole record taken at once, a part of each in turn (goal: peak memory flat).
#  - `collect --once`: three stations' records of 100,000 lines in all (two of them chained
#    streams, one of lines from before streams), served by `history --serve`, into a fresh
#    database of tests/db/pg_rig.sh: lines per second (goal: at least 1,000/s) and the
#    catch-up time, against PostgreSQL's own COPY of the same rows into the same table in the
#    same run (goal: at least a third of COPY's lines per second).
#  - The collector's fairness: the delay a live station's new line sees before it is stored
#    while another station has a 100,000-line backlog and a third is paused with SIGSTOP
#    (goal: under 2 s).
#  - The collector's peak memory when a station offers a 200 MB answer, with its length
#    declared and chunked without one (goal: under 100 MB).
#  - `pxr7 serve` over a database of 1,000,000 lines of eight benches (tests/db/pg_rig.sh, when
#    PostgreSQL is installed): the history's first page over HTTP and in headless Chromium
#    (goal: under 300 ms), a page far back, and a filter on a result and a bench; the CSV of all
#    of them: its first byte (goal: under 1 s), its whole time and the server's peak memory
#    (goal: under 100 MB), against psql's \copy of the same rows; the same CSV made in
#    process, without HTTP; and the delay of /api/overview while a history request waits on a
#    table lock held by psql (goal: under 100 ms).
# scripts/benchmark.sh --collector prints the collector's figures alone.
# scripts/benchmark.sh --test-loop prints the figures of the test loop instead (about 20
# minutes): in a fresh clone of HEAD with a compiler cache of its own, each preset's build
# from nothing with the cache empty and again with it full (goal: a quarter of the first or
# less), then scripts/test.sh --quick after a one-line change in bench/ (goal: under 3
# minutes). The whole of scripts/test.sh on a fresh clone is timed by CI (goal: under 20
# minutes; a second run after a one-line change, under 8).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

if [[ "${1:-}" == "--test-loop" ]]; then
    exec bash scripts/benchmark-test-loop.sh
fi
collector_only=no
[[ "${1:-}" == "--collector" ]] && collector_only=yes

bash scripts/setup.sh || exit 1
# The native tree as it is, if there is one: test.sh configures it with the release flags.
[[ -f build/native/CMakeCache.txt ]] || cmake --preset native >/dev/null || exit 1
cmake --build --preset native -j2 --target pxr7 ftd2xx_sim ftd2xx_sim_nolatency >/dev/null ||
    exit 1

pxr7=build/native/cli/pxr7
driver=build/native/sim/libftd2xx.so
driver_without_timer=build/native/sim/libftd2xx_nolatency.so
wine_figure=build/windows/e2e/upgrade-wall-ms.txt
rig=$(mktemp -d)
trap 'rm -rf "$rig"' EXIT

# Runs pxr7 on the scenario in $rig/scenario.txt with a fresh trace; sets wall, user, sys, rss.
run_pxr7() {
    rm -f "$rig/trace.txt"
    PXR7_SIM_SCENARIO="$rig/scenario.txt" PXR7_SIM_TRACE="$rig/trace.txt" \
        /usr/bin/time -f '%e %U %S %M' -o "$rig/time.txt" "$pxr7" "$@" >"$rig/out.txt" 2>&1
    local status=$?
    # time puts a line about a failed command first; the figures are always last.
    read -r wall user sys rss < <(tail -n 1 "$rig/time.txt")
    return $status
}

# The latency timer the program set on its last FT_SetLatencyTimer, or "none".
timer_set() {
    local ms
    ms=$(sed -n 's/^FT_SetLatencyTimer .* ms=\([0-9]*\) status=0$/\1/p' "$rig/trace.txt" | tail -n 1)
    echo "${ms:-none}"
}

declare -A upgrade_wall
measure_upgrade() {
    local label=$1 latency=$2 library=$3
    printf 'latency_ms = %s\n[bridge 0]\ncapture = capture.bin\n' "$latency" >"$rig/scenario.txt"
    run_pxr7 --driver "$library" upgrade --yes
    local status=$?
    if [[ $status -ne 0 ]]; then
        printf 'upgrade, %s: failed (exit %d), no figures\n' "$label" "$status"
        return
    fi
    # One one-byte read per tick once the reset pulse has ended.
    local ticks floor
    ticks=$(grep -c '^FT_Read .*wanted=1 ' "$rig/trace.txt")
    floor=$(awk -v t="$ticks" 'BEGIN { printf "%.2f", 1 + t * 0.010 }')
    printf 'upgrade, %-30s wall %6.2f s  floor %6.2f s (1 s + %d ticks x 10 ms)  CPU %.2f s  peak RSS %d KiB  timer set: %s\n' \
        "$label:" "$wall" "$floor" "$ticks" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" \
        "$rss" "$(timer_set)"
    upgrade_wall[$label]=$wall
}

declare -A list_per_meter
measure_list() {
    local meters=$1
    : >"$rig/scenario.txt"
    for ((i = 0; i < meters; i++)); do
        printf '[bridge %d]\nversion = PXR7 V1.0%d\n' "$i" "$i" >>"$rig/scenario.txt"
    done
    run_pxr7 --driver "$driver" list
    local status=$?
    if [[ $status -ne 0 ]]; then
        printf 'list, %d meter(s): failed (exit %d), no figures\n' "$meters" "$status"
        return
    fi
    local answered
    answered=$(grep -c 'meter answered: ' "$rig/out.txt")
    if [[ $answered -eq 0 ]]; then
        printf 'list, %d meter(s): none answered, no figures\n' "$meters"
        return
    fi
    list_per_meter[$meters]=$(awk -v w="$wall" -v m="$answered" 'BEGIN { printf "%.3f", w / m }')
    printf 'list, %d meter(s), %d answered: wall %.3f s, %s s per answering meter  timer set: %s\n' \
        "$meters" "$answered" "$wall" "${list_per_meter[$meters]}" "$(timer_set)"
}

# Wall time of `upgrade --all --yes` with this many meters, each capturing its image.
upgrade_all_wall() {
    local meters=$1
    : >"$rig/scenario.txt"
    for ((i = 0; i < meters; i++)); do
        printf '[bridge %d]\ncapture = capture%d.bin\n' "$i" "$i" >>"$rig/scenario.txt"
    done
    run_pxr7 --driver "$driver" upgrade --all --yes || return
    echo "$wall"
}

measure_upgrade_all() {
    if ! "$pxr7" upgrade --help 2>&1 | grep -q -- '--all'; then
        echo "upgrade --all: skipped, this pxr7 has no --all (not in 'pxr7 upgrade --help')"
        return
    fi
    local one four
    one=$(upgrade_all_wall 1) || { echo "upgrade --all, 1 meter: failed (exit $?), no figures"; return; }
    four=$(upgrade_all_wall 4) || { echo "upgrade --all, 4 meters: failed (exit $?), no figures"; return; }
    printf 'upgrade --all: 4 meters %.2f s, 1 meter %.2f s, ratio %.2f (1 = all at once, 4 = one after the other)\n' \
        "$four" "$one" "$(awk -v f="$four" -v o="$one" 'BEGIN { print f / o }')"
}

side_by_side() {
    printf 'side by side, upgrade wall: %s s at 16 ms | %s s at 0 ms | %s s at 16 ms without FT_SetLatencyTimer\n' \
        "${upgrade_wall["latency 16 ms"]:-?}" "${upgrade_wall["latency 0 ms"]:-?}" \
        "${upgrade_wall["latency 16 ms, no timer entry"]:-?}"
    printf 'side by side, list per answering meter: %s s with 1 meter | %s s with 4 meters\n' \
        "${list_per_meter[1]:-?}" "${list_per_meter[4]:-?}"
}

wine_line() {
    if [[ -s $wine_figure ]]; then
        printf 'Windows program under Wine: %s ms, its timer fires every 20-30 ms there (native, latency 16 ms: %s s)\n' \
            "$(cat "$wine_figure")" "${upgrade_wall["latency 16 ms"]:-?}"
    else
        echo "Windows program under Wine: not measured ($wine_figure is written by tests/e2e/run.sh)"
    fi
}

# Eight leads; lead i gets a meter during each of the windows, shifted by i x 300 ms.
station_bench() {
    local windows=$1
    : >"$rig/scenario.txt"
    for ((i = 0; i < 8; i++)); do
        printf '[bridge %d]\nmeter_windows = %s\n' "$i" \
            "$(awk -v w="$windows" -v s=$((i * 300)) 'BEGIN {
                n = split(w, p, ","); for (k = 1; k <= n; k++) { split(p[k], ab, "-");
                printf "%s%d-%d", (k > 1 ? "," : ""), ab[1] + s, ab[2] + s } }')" \
            >>"$rig/scenario.txt"
    done
}

# Samples the station's resident memory and open descriptors every few seconds until it ends.
sample_station() {
    local pid=$1
    while kill -0 "$pid" 2>/dev/null; do
        printf '%s %s\n' "$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null)" \
            "$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)" >>"$rig/samples.txt"
        sleep 3
    done
}

measure_station() {
    if ! "$pxr7" --help 2>&1 | grep -q '^  station'; then
        echo "station: skipped, this pxr7 has no station command"
        return
    fi
    # Time per meter: two meters on each of eight leads, against one plain upgrade.
    station_bench "0-7000,8500-15500"
    rm -f "$rig/record.jsonl"
    if run_pxr7 --driver "$driver" station --count 16 --record "$rig/record.jsonl"; then
        local per_meter
        per_meter=$(sed -n 's/.*"duration_s":\([0-9.]*\).*/\1/p' "$rig/record.jsonl" |
            awk '{ s += $1; n++ } END { if (n) printf "%.2f", s / n }')
        printf 'station, 16 meters on 8 leads: %s s per meter, one plain upgrade %s s, ratio %s (goal <= 1.1)\n' \
            "${per_meter:-?}" "${upgrade_wall["latency 16 ms"]:-?}" \
            "$(awk -v a="${per_meter:-0}" -v b="${upgrade_wall["latency 16 ms"]:-0}" \
                'BEGIN { if (b > 0) printf "%.2f", a / b; else print "?" }')"
    else
        echo "station, 16 meters: failed (exit $?), no figures"
    fi
    # Waiting: eight lanes, no meter for 20 s; one Ctrl+C ends the station.
    station_bench "600000-601000"
    PXR7_SIM_SCENARIO="$rig/scenario.txt" /usr/bin/time -f '%e %U %S' -o "$rig/time.txt" \
        "$pxr7" --driver "$driver" station --record "$rig/idle.jsonl" >/dev/null 2>&1 &
    local timer=$!
    sleep 20
    pkill -INT -P "$timer"
    wait "$timer"
    read -r wall user sys < <(tail -n 1 "$rig/time.txt")
    printf 'station, 8 lanes waiting %.1f s: CPU %.2f s, %.2f%% of one core (goal < 2%%)\n' "$wall" \
        "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" \
        "$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN { print 100 * (u + s) / w }')"
    # A longer run: four meters on each lead, 2 s apart.
    station_bench "0-6500,8500-15000,17000-23500,25500-32000"
    rm -f "$rig/samples.txt"
    PXR7_SIM_SCENARIO="$rig/scenario.txt" "$pxr7" --driver "$driver" station --count 32 \
        --record "$rig/long.jsonl" >/dev/null 2>&1 &
    local station=$!
    sample_station "$station"
    wait "$station"
    printf 'station, 32 meters on 8 leads over %d samples: RSS %s KiB first, %s KiB last; descriptors %s first, %s last\n' \
        "$(wc -l <"$rig/samples.txt")" "$(head -n 2 "$rig/samples.txt" | tail -n 1 | cut -d' ' -f1)" \
        "$(tail -n 1 "$rig/samples.txt" | cut -d' ' -f1)" \
        "$(head -n 2 "$rig/samples.txt" | tail -n 1 | cut -d' ' -f2)" \
        "$(tail -n 1 "$rig/samples.txt" | cut -d' ' -f2)"
}

# A record of that many lines as the station writes them, each line of another lead.
write_history_record() {
    awk -v n="$1" 'BEGIN {
        for (i = 0; i < n; i++)
            printf "{\"schema\":1,\"command\":\"station\",\"started\":\"2026-12-08T09:30:00Z\"," \
                "\"finished\":\"2026-12-08T09:30:05Z\",\"host\":\"bench-3\",\"lead_serial\":\"PX%06d\"," \
                "\"lead_index\":%d,\"lead_location\":\"0x%08X\",\"result\":\"%s\"," \
                "\"version_before\":\"PXR7 V1.02\",\"version_after\":\"PXR7 V1.03\",\"attempts\":1," \
                "\"records_sent\":314,\"records_total\":314,\"duration_s\":4.412," \
                "\"image_sha256\":\"da95\",\"image_version\":\"PXR7 V1.03\"," \
                "\"program_version\":\"1.3.0\",\"backend\":\"D2XX\"}\n",
                i, i % 8, i, (i % 7 ? "ok" : "transfer_stopped")
    }' >"$rig/history.jsonl"
}

measure_history() {
    if ! "$pxr7" --help 2>&1 | grep -q '^  history'; then
        echo "history: skipped, this pxr7 has no history command"
        return
    fi
    local lines=100000 all
    write_history_record "$lines"
    if ! run_pxr7 history --record "$rig/history.jsonl"; then
        echo "history, $lines lines: failed (exit $?), no figures"
        return
    fi
    all=$wall
    if ! run_pxr7 history --last 10 --record "$rig/history.jsonl"; then
        echo "history --last 10, $lines lines: failed (exit $?), no figures"
        return
    fi
    printf 'history, %d lines of %d leads: %.2f s, with --last 10 %.2f s (goal < 2 s each)\n' \
        "$lines" "$lines" "$all" "$wall"
}

# The URL a served command printed ("Dashboard: http://..."), waiting up to 10 s for it.
dashboard_url() {
    local out=$1 url=""
    for _ in $(seq 1 100); do
        url=$(sed -n 's/^Dashboard: \(http:[^ ]*\).*/\1/p' "$out" 2>/dev/null | head -n 1)
        [[ -n $url ]] && break
        sleep 0.1
    done
    echo "$url"
}

# Ten browsers' event streams, and one client that asks for its events and never reads them.
open_streams() {
    local url=$1
    for ((i = 0; i < 10; i++)); do
        curl -sN "${url}api/events" >/dev/null 2>&1 &
    done
    python3 - "$url" >/dev/null 2>&1 <<'PY' &
import socket, sys, time, urllib.parse
u = urllib.parse.urlparse(sys.argv[1])
s = socket.create_connection((u.hostname, u.port))
s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
s.sendall(f"GET /api/events HTTP/1.1\r\nHost: {u.netloc}\r\n\r\n".encode())
time.sleep(600)
PY
}

# Milliseconds curl took for the URL's whole answer, best of three.
fetch_ms() {
    for _ in 1 2 3; do
        curl -s -o /dev/null -w '%{time_total}\n' "$1"
    done | sort -n | head -n 1 | awk '{ printf "%.1f", $1 * 1000 }'
}

# The CSV of the record served at $1 by process $2: its first byte, the server's peak memory,
# HEAD, and a reader held to 2 MB/s, which must get every byte: the write wait is for a reader
# that takes nothing, not for one that is slow.
measure_export() {
    local url=$1 pid=$2 whole first head_ms slow peak
    whole=$(curl -s -o /dev/null -w '%{size_download}' "${url}api/history.csv")
    first=$(curl -s -o /dev/null -w '%{time_starttransfer}' "${url}api/history.csv" |
        awk '{ printf "%.1f", $1 * 1000 }')
    head_ms=$(curl -s -I -o /dev/null -w '%{time_total}' "${url}api/history.csv" |
        awk '{ printf "%.1f", $1 * 1000 }')
    slow=$(curl -s --limit-rate 2M -o /dev/null -w '%{size_download}' "${url}api/history.csv")
    peak=$(awk '/^VmHWM/ { printf "%.0f", $2 / 1024 }' "/proc/$pid/status" 2>/dev/null)
    printf 'dashboard, CSV of 100,000 lines, %s bytes: first byte %s ms (goal < 1 s), server peak memory %s MB (goal < 100 MB), HEAD %s ms; at 2 MB/s %s bytes came\n' \
        "$whole" "$first" "${peak:-?}" "$head_ms" "$slow"
}

# 80 connections from 127.0.0.2, as from another PC, each sending a request a byte every 3 s
# and coming back when cut; meanwhile the worst of ten requests for a page from 127.0.0.1.
measure_slow_clients() {
    local url=$1
    python3 - "$url" >/dev/null 2>&1 <<'PY' &
import socket, sys, threading, time, urllib.parse
u = urllib.parse.urlparse(sys.argv[1])
def drip():
    while True:
        try:
            s = socket.socket()
            s.bind(("127.0.0.2", 0))
            s.connect((u.hostname, u.port))
            for byte in b"GET /history HTTP/1.1\r\nX-Slow: " + b"a" * 4000:
                s.send(bytes([byte]))
                time.sleep(3)
        except OSError:
            time.sleep(1)
for _ in range(80):
    threading.Thread(target=drip, daemon=True).start()
time.sleep(600)
PY
    local loris=$! worst=0 failed=0 answer
    sleep 4
    for _ in $(seq 1 10); do
        answer=$(curl -s -o /dev/null -m 30 -w '%{http_code} %{time_total}' "${url}history")
        [[ ${answer% *} == 200 ]] || failed=$((failed + 1))
        worst=$(awk -v a="$worst" -v b="${answer#* }" 'BEGIN { print (b * 1000 > a ? b * 1000 : a) }')
        sleep 1.5
    done
    kill "$loris" 2>/dev/null
    wait "$loris" 2>/dev/null
    printf 'dashboard, a page beside 80 connections sending a byte every 3 s: worst of 10 %.1f ms (goal < 1 s), %d not answered 200\n' \
        "$worst" "$failed"
}

measure_dashboard() {
    if ! "$pxr7" station --help 2>&1 | grep -q -- '--serve'; then
        echo "dashboard: skipped, this pxr7 cannot serve one"
        return
    fi
    station_bench "0-7000,8500-15500"
    rm -f "$rig/served.jsonl" "$rig/served.txt"
    PXR7_SIM_SCENARIO="$rig/scenario.txt" "$pxr7" --driver "$driver" station --count 16 \
        --serve 127.0.0.1:0 --record "$rig/served.jsonl" >"$rig/served.txt" 2>&1 &
    local station=$! url
    url=$(dashboard_url "$rig/served.txt")
    [[ -n $url ]] && open_streams "$url"
    local live_ms snapshot_ms
    live_ms=$(fetch_ms "$url")
    snapshot_ms=$(fetch_ms "${url}api/snapshot")
    wait "$station"
    local status=$?
    pkill -P $$ curl 2>/dev/null
    pkill -P $$ python3 2>/dev/null
    if [[ $status -ne 0 || -z $url ]]; then
        echo "dashboard, 16 meters with 10 streams: failed (exit $status), no figures"
    else
        local per_meter
        per_meter=$(sed -n 's/.*"duration_s":\([0-9.]*\).*/\1/p' "$rig/served.jsonl" |
            awk '{ s += $1; n++ } END { if (n) printf "%.2f", s / n }')
        printf 'dashboard, 16 meters on 8 leads, 10 event streams and 1 stalled client: %s s per meter, ratio %s to one plain upgrade (goal <= 1.1)\n' \
            "${per_meter:-?}" "$(awk -v a="${per_meter:-0}" -v b="${upgrade_wall["latency 16 ms"]:-0}" \
                'BEGIN { if (b > 0) printf "%.2f", a / b; else print "?" }')"
        printf 'dashboard, live page over HTTP: page %s ms, snapshot %s ms\n' "$live_ms" "$snapshot_ms"
    fi
    # Waiting, served: eight lanes, ten streams, no meter for 20 s.
    station_bench "600000-601000"
    rm -f "$rig/served.txt"
    PXR7_SIM_SCENARIO="$rig/scenario.txt" /usr/bin/time -f '%e %U %S' -o "$rig/time.txt" \
        "$pxr7" --driver "$driver" station --serve 127.0.0.1:0 --record "$rig/idle.jsonl" \
        >"$rig/served.txt" 2>&1 &
    local timer=$!
    url=$(dashboard_url "$rig/served.txt")
    [[ -n $url ]] && open_streams "$url"
    if [[ -n $url && -x /usr/bin/chromium ]] && /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
        /usr/bin/python3 tests/web/page_timing.py live "$url" ||
            echo "dashboard, live page in Chromium: not measured"
    fi
    sleep 20
    pkill -INT -P "$timer"
    wait "$timer"
    pkill -P $$ curl 2>/dev/null
    pkill -P $$ python3 2>/dev/null
    read -r wall user sys < <(tail -n 1 "$rig/time.txt")
    printf 'dashboard, 8 lanes waiting %.1f s with 10 event streams: CPU %.2f s, %.2f%% of one core (goal < 3%%)\n' \
        "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" \
        "$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN { print 100 * (u + s) / w }')"
    # The history of 100,000 lines, served alone.
    write_history_record 100000
    rm -f "$rig/served.txt"
    "$pxr7" history --serve 127.0.0.1:0 --record "$rig/history.jsonl" >"$rig/served.txt" 2>&1 &
    local server=$!
    url=$(dashboard_url "$rig/served.txt")
    local first
    first=$(curl -s -o /dev/null -w '%{time_total}' "${url}api/history?page=1" |
        awk '{ printf "%.1f", $1 * 1000 }')
    printf 'dashboard, history of 100,000 lines: first page %s ms the first time, %s ms after, the page itself %s ms (goal < 300 ms)\n' \
        "$first" "$(fetch_ms "${url}api/history?page=1")" "$(fetch_ms "${url}history")"
    printf 'dashboard, history of 100,000 lines: filtered (result, lane) %s ms, CSV of all %s ms\n' \
        "$(fetch_ms "${url}api/history?result=transfer_stopped&lane=PX000007")" \
        "$(fetch_ms "${url}api/history.csv")"
    measure_export "$url" "$server"
    measure_slow_clients "$url"
    if [[ -n $url && -x /usr/bin/chromium ]] && /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
        /usr/bin/python3 tests/web/page_timing.py history "$url" ||
            echo "dashboard, history page in Chromium: not measured"
    fi
    kill -INT "$server" 2>/dev/null
    wait "$server"
}

measure_history_api() {
    local bench=build/native/tests/dashboard/pxr7_history_bench
    if ! cmake --build --preset native -j2 --target pxr7_history_bench >/dev/null 2>&1; then
        echo "history API: skipped, pxr7_history_bench does not build (tests off?)"
        return
    fi
    write_history_record 100000
    if ! "$bench" "$rig/history.jsonl"; then
        echo "history API: failed (exit $?), no figures"
    fi
}

# A record of that many lines of one bench, each with its seq, as new stations write them.
write_bench_record() {
    awk -v n="$1" -v bench="$2" 'BEGIN {
        for (i = 1; i <= n; i++)
            printf "{\"schema\":1,\"bench\":\"%s\",\"seq\":%d,\"command\":\"station\"," \
                "\"started\":\"2026-12-08T09:30:00Z\",\"finished\":\"2026-12-08T09:30:05Z\"," \
                "\"host\":\"%s\",\"lead_serial\":\"PX%06d\",\"lead_index\":%d,\"lane_name\":null," \
                "\"unit_id\":\"U-%d\",\"result\":\"%s\",\"version_before\":\"PXR7 V1.02\"," \
                "\"version_after\":\"PXR7 V1.03\",\"attempts\":1,\"records_sent\":314," \
                "\"records_total\":314,\"duration_s\":4.412,\"backend\":\"D2XX\"}\n",
                bench, i, bench, i % 8, i % 8, i, (i % 7 ? "ok" : "transfer_stopped")
    }' >"$3"
}

# The same lines as write_bench_record, each on one stream with its prev, as a bench writes them
# now.
write_chained_record() {
    python3 - "$1" "$2" "$3" <<'PY'
import hashlib, sys
count, bench, path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
stream = hashlib.sha256(bench.encode()).hexdigest()[:32]
prev = None
with open(path, "w", encoding="ascii") as out:
    for i in range(1, count + 1):
        link = f',"prev":"{prev}"' if prev else ""
        line = (f'{{"schema":1,"bench":"{bench}","seq":{i},"stream":"{stream}"{link},'
                f'"command":"station","started":"2026-12-08T09:30:00Z",'
                f'"finished":"2026-12-08T09:30:05Z","host":"{bench}","lead_serial":"PX{i % 8:06d}",'
                f'"lead_index":{i % 8},"lane_name":null,"unit_id":"U-{i}",'
                f'"result":"{"ok" if i % 7 else "transfer_stopped"}",'
                f'"version_before":"PXR7 V1.02","version_after":"PXR7 V1.03","attempts":1,'
                f'"records_sent":314,"records_total":314,"duration_s":4.412,"backend":"D2XX"}}')
        out.write(line + "\n")
        prev = hashlib.sha256(line.encode()).hexdigest()
PY
}

measure_database_history() {
    local fill=build/native/tests/serve/pxr7_serve_fill state="$rig/database/state" url served
    if ! cmake --build --preset native -j2 --target pxr7_serve_fill >/dev/null 2>&1; then
        echo "database history: skipped, this build has no PostgreSQL client"
        return
    fi
    mkdir -p "$rig/database"
    bash tests/db/pg_rig.sh start "$state" >/dev/null 2>&1
    url=$(sed -n 's/^url=//p' "$state" 2>/dev/null)
    if [[ -z $url ]] || ! "$fill" "$url" </dev/null ||
        ! psql -q -v ON_ERROR_STOP=1 -v rows=1000000 "$url" -f scripts/database-history.sql \
            >/dev/null; then
        echo "database history: skipped, no PostgreSQL server for the rig"
        bash tests/db/pg_rig.sh stop "$state" >/dev/null 2>&1
        return
    fi
    "$pxr7" serve --database "$url" --listen 127.0.0.1:0 >"$rig/serve.txt" 2>&1 &
    local server=$!
    for _ in $(seq 1 100); do
        served=$(sed -n 's/^Serving: \(http:[^ ]*\).*/\1/p' "$rig/serve.txt" | head -n 1)
        [[ -n $served ]] && break
        sleep 0.1
    done
    printf 'database history of 1,000,000 lines, 8 benches: first page %s ms (goal < 300 ms), page 10,000 %s ms, filtered (result, bench) %s ms\n' \
        "$(fetch_ms "${served}api/history?page=1")" "$(fetch_ms "${served}api/history?page=10000")" \
        "$(fetch_ms "${served}api/history?result=no_handshake&bench=Bench%203")"
    printf 'database history of 1,000,000 lines, figures (/api/history/summary): every bench %s ms, one bench %s ms (goal < 5000 ms, half the statement timeout)\n' \
        "$(fetch_ms "${served}api/history/summary")" "$(fetch_ms "${served}api/history/summary?bench=Bench%203")"
    measure_held_history "$url" "$served"
    if [[ -n $served && -x /usr/bin/chromium ]] && /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
        /usr/bin/python3 tests/web/page_timing.py history "$served" |
            sed 's/^dashboard, /database history of 1,000,000 lines, /' ||
            echo "database history, page in Chromium: not measured"
    fi
    measure_database_export "$url" "$served" "$server"
    kill -INT "$server" 2>/dev/null
    wait "$server"
    bash tests/db/pg_rig.sh stop "$state" >/dev/null 2>&1
}

# A history request of the server at $2 waiting on a table lock of the database $1, held by psql;
# meanwhile, the time of /api/overview, which needs no database.
measure_held_history() {
    local url=$1 served=$2 locker held overview
    psql -q "$url" -c "BEGIN; LOCK TABLE record_lines IN ACCESS EXCLUSIVE MODE;
        SELECT pg_sleep(8); COMMIT;" >/dev/null 2>&1 &
    locker=$!
    for _ in $(seq 1 100); do
        psql -qtA "$url" -c "SELECT count(*) FROM pg_locks WHERE granted AND
            relation = 'record_lines'::regclass AND mode = 'AccessExclusiveLock'" 2>/dev/null |
            grep -q '^1$' && break
        sleep 0.05
    done
    curl -s -o /dev/null "${served}api/history?page=7" &
    held=$!
    sleep 0.5
    overview=$(fetch_ms "${served}api/overview")
    wait "$held" "$locker"
    printf 'pxr7 serve, a history request held by a table lock: /api/overview meanwhile %s ms (goal < 100 ms)\n' \
        "$overview"
}

# The CSV of every line from `pxr7 serve` as curl receives it: its first byte and its end, the
# server's peak memory over the whole run, against psql's \copy of the same rows to a file;
# and the same CSV made in process (pxr7_export_bench), without HTTP.
measure_database_export() { # url served server-pid
    local first total bytes peak copy_start copy_end
    if cmake --build --preset native -j2 --target pxr7_export_bench >/dev/null 2>&1; then
        build/native/tests/serve/pxr7_export_bench "$1" ||
            echo "database export in process: failed (exit $?), no figures"
    fi
    read -r first total bytes < <(curl -s -o /dev/null \
        -w '%{time_starttransfer} %{time_total} %{size_download}\n' "${2}api/history.csv")
    peak=$(awk '/^VmHWM/ { printf "%.0f", $2 / 1024 }' "/proc/$3/status" 2>/dev/null)
    copy_start=$(date +%s.%N)
    psql -X -q -d "$1" -c "\\copy (SELECT line FROM record_lines ORDER BY finished, bench, seq) TO '$rig/export.copy'" \
        >/dev/null 2>&1
    copy_end=$(date +%s.%N)
    if [[ -z ${bytes:-} || ${bytes:-0} -eq 0 ]]; then
        echo "database history, CSV of 1,000,000 lines: failed, no figures"
        return
    fi
    awk -v f="$first" -v t="$total" -v b="$bytes" -v p="${peak:-?}" -v cs="$copy_start" \
        -v ce="$copy_end" 'BEGIN {
        printf "database history, CSV of 1,000,000 lines (%.0f MB): first byte %.0f ms (goal < 1 s), all %.1f s, server peak memory %s MB (goal < 100 MB); psql \\copy of the same rows %.1f s\n",
            b / 1e6, f * 1000, t, p, ce - cs
    }'
}

# Starts `history --serve` over the record $1 on a free port; sets served_pid, served_url.
serve_record() {
    "$pxr7" history --serve 127.0.0.1:0 --record "$1" >"$1.out" 2>&1 &
    served_pid=$!
    served_url=$(dashboard_url "$1.out")
}

# A fresh rig database for the collector's figures; sets url, or says why not and fails.
collector_database() { # state file, name of the figure
    if ! bash tests/db/pg_rig.sh start "$1" 2>/dev/null || ! grep -q '^url=' "$1"; then
        echo "$2: skipped, no PostgreSQL server here"
        return 1
    fi
    url=$(sed -n 's/^url=//p' "$1")
}

stored_lines() { # url [bench]
    local where=""
    [[ -n ${2:-} ]] && where=" WHERE bench = '$2'"
    psql -X -A -t -d "$1" -c "SELECT count(*) FROM record_lines$where" 2>/dev/null
}

# The collector's lines/s, then PostgreSQL's COPY of the same rows into the same table.
measure_collector() {
    local state=$rig/pg/state url stations=() servers=() start end stored copy_start copy_end
    collector_database "$state" "collect" || return
    # Two benches on streams, one with lines from before streams.
    for bench in east:34000 west:33000 north:33000; do
        if [[ ${bench%%:*} == north ]]; then
            write_bench_record "${bench#*:}" "${bench%%:*}" "$rig/${bench%%:*}.jsonl"
        else
            write_chained_record "${bench#*:}" "${bench%%:*}" "$rig/${bench%%:*}.jsonl"
        fi
        serve_record "$rig/${bench%%:*}.jsonl"
        servers+=("$served_pid")
        stations+=(--station "$served_url")
    done
    start=$(date +%s.%N)
    "$pxr7" collect --once --quiet --database "$url" "${stations[@]}" >"$rig/collect.out" 2>&1
    local status=$?
    end=$(date +%s.%N)
    stored=$(stored_lines "$url")
    kill -INT "${servers[@]}" 2>/dev/null
    wait "${servers[@]}" 2>/dev/null
    local columns="bench, seq, finished, day, lane, unit_id, lead_serial, result, host, line, station"
    psql -X -q -d "$url" -c "\\copy (SELECT $columns FROM record_lines) TO '$rig/lines.copy'" \
        -c "TRUNCATE record_lines" >/dev/null 2>&1
    copy_start=$(date +%s.%N)
    psql -X -q -d "$url" -c "\\copy record_lines ($columns) FROM '$rig/lines.copy'" >/dev/null 2>&1
    copy_end=$(date +%s.%N)
    local copied
    copied=$(stored_lines "$url")
    bash tests/db/pg_rig.sh stop "$state"
    if [[ $status -ne 0 || $stored != 100000 ]]; then
        echo "collect: failed (exit $status, $stored lines stored), no figures"
        return
    fi
    awk -v s="$start" -v e="$end" -v cs="$copy_start" -v ce="$copy_end" -v copied="$copied" 'BEGIN {
        printf "collect --once, 3 stations, 100,000 lines: %.0f lines/s (goal >= 1,000/s), caught up in %.1f s\n",
            100000 / (e - s), e - s
        if (copied == 100000)
            printf "collect against COPY of the same 100,000 rows into record_lines: %.0f lines/s against %.0f lines/s, %.2f of it (goal >= 0.33)\n",
                100000 / (e - s), 100000 / (ce - cs), (ce - cs) / (e - s)
        else
            print "collect against COPY: COPY failed, no figure"
    }'
}

# The delay a live station's new line sees while another has a 100,000-line backlog and a
# third is paused (SIGSTOP): appended to the live record, then waited for in the database.
measure_collector_fairness() {
    local state=$rig/pg-fair/state url collector worst=0 seq
    collector_database "$state" "collect fairness" || return
    write_bench_record 100000 backlog "$rig/backlog.jsonl"
    write_bench_record 3 live "$rig/live.jsonl"
    write_bench_record 3 paused "$rig/paused.jsonl"
    local servers=() stations=()
    for name in live backlog paused; do
        serve_record "$rig/$name.jsonl"
        servers+=("$served_pid")
        stations+=(--station "$served_url")
    done
    kill -STOP "${servers[2]}"
    "$pxr7" collect --quiet --database "$url" "${stations[@]}" >"$rig/fair.out" 2>&1 &
    collector=$!
    for _ in $(seq 1 100); do
        [[ $(stored_lines "$url" live) == 3 ]] && break
        sleep 0.1
    done
    for seq in 4 5 6 7 8; do
        write_bench_record "$seq" live "$rig/next.jsonl"
        local start waited
        start=$(date +%s.%N)
        tail -n 1 "$rig/next.jsonl" >>"$rig/live.jsonl"
        for _ in $(seq 1 200); do
            [[ $(stored_lines "$url" live) == "$seq" ]] && break
            sleep 0.05
        done
        waited=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.2f", e - s }')
        worst=$(awk -v a="$worst" -v b="$waited" 'BEGIN { print (b > a ? b : a) }')
        sleep 0.5
    done
    local backlog
    backlog=$(stored_lines "$url" backlog)
    kill -CONT "${servers[2]}"
    kill -INT "$collector" "${servers[@]}" 2>/dev/null
    wait "$collector" "${servers[@]}" 2>/dev/null
    bash tests/db/pg_rig.sh stop "$state"
    printf 'collect, a live station beside a 100,000-line backlog and a paused station: a new line stored within %s s at worst of 5 (goal < 2 s; %s backlog lines in meanwhile)\n' \
        "$worst" "$backlog"
}

# A station that answers every request with 200 MB, declared or chunked ($1), read as long as
# the collector reads it; prints its port.
huge_station() {
    python3 -u - "$1" <<'EOF' &
import socket, sys, threading
chunked = sys.argv[1] == "chunked"
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
def answer(conn):
    with conn:
        conn.recv(65536)
        head = b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n"
        head += b"Transfer-Encoding: chunked\r\n\r\n" if chunked else b"Content-Length: 209715200\r\n\r\n"
        piece = b" " * 65536
        piece = b"10000\r\n" + piece + b"\r\n" if chunked else piece
        try:
            conn.sendall(head + piece)
            for _ in range(3199):
                conn.sendall(piece)
        except OSError:
            pass
while True:
    threading.Thread(target=answer, args=(listener.accept()[0],), daemon=True).start()
EOF
}

# The collector's peak memory with a 200 MB answer offered, with and without its length.
measure_collector_memory() {
    local state=$rig/pg-huge/state url figures=""
    collector_database "$state" "collect memory" || return
    for kind in declared chunked; do
        local port="" station
        huge_station "$kind" >"$rig/huge.port"
        station=$!
        for _ in $(seq 1 50); do
            port=$(head -n 1 "$rig/huge.port")
            [[ -n $port ]] && break
            sleep 0.1
        done
        /usr/bin/time -f '%M' -o "$rig/huge.time" "$pxr7" collect --once --quiet --database "$url" \
            --station "http://127.0.0.1:$port" >"$rig/huge.out" 2>&1
        kill "$station" 2>/dev/null
        wait "$station" 2>/dev/null
        # The last line: a non-zero exit (the station is away) comes first in the file.
        figures+="$(tail -n 1 "$rig/huge.time" | awk '{ printf "%.0f MB", $1 / 1024 }') $kind, "
    done
    bash tests/db/pg_rig.sh stop "$state"
    printf 'collect --once offered a 200 MB answer: peak memory %s(goal < 100 MB each)\n' "$figures"
}

if [[ $collector_only == yes ]]; then
    measure_collector
    measure_collector_fairness
    measure_collector_memory
    exit 0
fi

measure_upgrade "latency 16 ms" 16 "$driver"
measure_upgrade "latency 0 ms" 0 "$driver"
measure_upgrade "latency 16 ms, no timer entry" 16 "$driver_without_timer"
measure_list 1
measure_list 4
side_by_side
wine_line
measure_upgrade_all
measure_station
measure_history
measure_history_api
measure_dashboard
measure_database_history
measure_collector
measure_collector_fairness
measure_collector_memory
