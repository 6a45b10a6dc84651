#!/usr/bin/env bash
# End-to-end tests of the Windows program (pxr7-upgrade.exe) under Wine, against the
# simulated bridge and meter (Ftd2xx.dll from sim/). Each case gets its own folder with the
# program, the simulator and a scenario; e2e-driver.exe works the program through its
# windows and checks what it shows. Screenshots go to <build>/e2e/artefacts as PNG.
#
#   tests/e2e/run.sh [windows build dir]      (default: build/windows)
#
# Installs what it needs when missing (as root on Debian), starts Xvfb when there is no
# display, and uses a throwaway Wine prefix inside the build tree. Every Wine run is under
# `timeout`, and the driver fails a case on any message box it did not expect.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build_arg=${1:-$root/build/windows}
case_filter=${PXR7_E2E_CASES:-} # optional: space-separated case names to run

log() { printf '%s\n' "$*"; }

# ---- Tools ----------------------------------------------------------------------------
need_packages=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need_packages+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null || need_packages+=(wine wine64)
command -v Xvfb >/dev/null || need_packages+=(xvfb)
command -v convert >/dev/null || need_packages+=(imagemagick)
if [[ ${#need_packages[@]} -gt 0 ]]; then
    if [[ $(id -u) -ne 0 ]]; then
        log "e2e: missing ${need_packages[*]}; install them (as root) first" >&2
        exit 1
    fi
    log "e2e: installing ${need_packages[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! { apt-get update -qq &&
        apt-get install -y -qq "${need_packages[@]}" >/dev/null; }; then
        log "e2e: apt-get install failed" >&2
        exit 1
    fi
fi

# ---- Build --------------------------------------------------------------------------
if [[ ! -f "$build_arg/CMakeCache.txt" ]]; then
    log "e2e: configuring the Windows build in $build_arg"
    cmake -S "$root" -B "$build_arg" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
fi
build=$(cd "$build_arg" && pwd)
cmake --build "$build" -j2 --target pxr7-upgrade ftd2xx_sim e2e-driver progress-paint-check resource-check \
    >/dev/null || { log "e2e: build failed" >&2; exit 1; }

program="$build/win32/pxr7-upgrade.exe"
simulator="$build/sim/Ftd2xx.dll"
driver="$build/tests/e2e/e2e-driver.exe"
paint_check="$build/tests/e2e/progress-paint-check.exe"
resource_check="$build/tests/e2e/resource-check.exe"
firmware=$(sed -n 's/^PXR7_FIRMWARE_IMAGE:[A-Z]*=//p' "$build/CMakeCache.txt")
for file in "$program" "$simulator" "$driver" "$paint_check" "$resource_check" "$firmware"; do
    [[ -f "$file" ]] || { log "e2e: missing $file" >&2; exit 1; }
done

out="$build/e2e"
rm -rf "$out"
mkdir -p "$out/artefacts" "$out/cases"
artefacts="$out/artefacts"

# ---- Display and Wine -----------------------------------------------------------------
source "$root/scripts/xvfb.sh"
cleanup() {
    WINEPREFIX="$WINEPREFIX" timeout 20 wineserver -k >/dev/null 2>&1 || true
    stop_xvfb
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]]; then
    start_xvfb || exit 1
fi

export WINEPREFIX="$out/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko prompts
log "e2e: creating the Wine prefix (display $DISPLAY)"
timeout -k 5 180 wineboot -i >/dev/null 2>&1 || { log "e2e: wineboot failed" >&2; exit 1; }
# No window manager under Xvfb: let Wine draw the frames and captions itself.
timeout -k 5 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1 || true

windows_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# ---- Cases ----------------------------------------------------------------------------
passed=0
failed=0

record() { # name, status, detail
    if [[ $2 == PASS ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    log "$2 $1${3:+: $3}"
}

wanted() { [[ -z "$case_filter" || " $case_filter " == *" $1 "* ]]; }

# Sets up the case folder: program, simulator (unless told not to) and scenario text.
prepare() { # name, with_simulator(yes/no), scenario text
    local dir="$out/cases/$1"
    mkdir -p "$dir"
    cp "$program" "$dir/"
    [[ $2 == yes ]] && cp "$simulator" "$dir/Ftd2xx.dll"
    printf '%s\n' "$3" >"$dir/scenario.ini"
    printf '%s' "$dir"
}

# Runs the driver for one case; its output lands in driver.log. Returns its status.
drive() { # name, dir, expected...
    local name=$1 dir=$2
    shift 2
    PXR7_SIM_SCENARIO="$(windows_path "$dir/scenario.ini")" \
        PXR7_SIM_TRACE="$(windows_path "$dir/trace.log")" \
        timeout -k 5 240 wine "$driver" "$name" "$(windows_path "$dir/pxr7-upgrade.exe")" \
        "$(windows_path "$artefacts")" "$@" >"$dir/driver.log" 2>&1
    local status=$?
    tr -d '\r' <"$dir/driver.log" >"$dir/driver.txt"
    if [[ $status -eq 124 || $status -eq 137 ]]; then
        echo "watchdog: the case ran out of time" >>"$dir/driver.txt"
        WINEPREFIX="$WINEPREFIX" timeout 20 wineserver -k >/dev/null 2>&1
    fi
    grep -v '^PASS\|^FAIL' "$dir/driver.txt" | sed 's/^/    /'
    return $status
}

driver_failure() { grep -m1 "^FAIL\|^watchdog" "$1/driver.txt" | sed "s/^FAIL [^:]*: //" || echo "driver exited abnormally"; }

run_driver_case() { # name, with_simulator, scenario, expected...
    local name=$1 with_sim=$2 scenario=$3
    shift 3
    wanted "$name" || return 0
    local dir
    dir=$(prepare "$name" "$with_sim" "$scenario")
    if drive "$name" "$dir" "$@"; then
        post_check_"${name//-/_}" "$dir"
    else
        record "$name" FAIL "$(driver_failure "$dir")"
    fi
}

trace_count() { # dir, pattern: matching lines of the case's bridge trace
    if [[ -f "$1/trace.log" ]]; then
        grep -c "$2" "$1/trace.log"
    else
        echo 0
    fi
}

post_check_main_window() { record main-window PASS; }
post_check_about_keys() { record about-keys PASS; }
post_check_device_list() { record device-list PASS; }

post_check_foreign_bridge() {
    local touched
    touched=$(trace_count "$1" '^FT_\(EE_Read\|EE_Program\|CyclePort\|Write\|SetDtr\|ClrDtr\|SetBaudRate\) bridge=0 ')
    if [[ $touched == 0 ]]; then
        record foreign-bridge PASS "one meter listed; the foreign bridge's EEPROM and line untouched"
    else
        record foreign-bridge FAIL "$touched calls beyond the identity look reached the foreign bridge"
    fi
}
post_check_no_driver() { record no-driver PASS; }

post_check_upgrade() {
    local dir=$1 problems=()
    cmp -s "$dir/capture.bin" "$firmware" ||
        problems+=("the meter's capture differs from the embedded image")
    local records
    records=$(trace_count "$dir" '^FT_Write bridge=0 length=516 ')
    [[ $records == 314 ]] || problems+=("$records wire records written, expected 314")
    [[ $(trace_count "$dir" '^FT_Write bridge=0 length=1 .*data=7B ') == 1 ]] ||
        problems+=("the handshake answer \"{\" was not sent exactly once")
    grep -q '^FT_SetBaudRate bridge=0 baud=1000000 status=0' "$dir/trace.log" ||
        problems+=("bridge 0 never set to 1,000,000 baud")
    local wall
    wall=$(sed -n 's/^upgrade wall time: \([0-9]*\) ms.*/\1/p' "$dir/driver.txt")
    [[ -n $wall ]] && printf '%s\n' "$wall" >"$out/upgrade-wall-ms.txt"
    if [[ ${#problems[@]} -eq 0 ]]; then
        record upgrade PASS "${wall:-?} ms under Wine"
    else
        record upgrade FAIL "${problems[*]}"
    fi
}

post_check_first_use() {
    local dir=$1 problems=()
    cmp -s "$dir/capture.bin" "$firmware" ||
        problems+=("the meter's capture differs from the embedded image")
    local programs
    programs=$(trace_count "$dir" '^FT_EE_Program ')
    [[ $programs == 1 ]] || problems+=("$programs EEPROM programs, expected 1")
    if [[ ${#problems[@]} -eq 0 ]]; then
        record first-use PASS "set up by the warning, then upgraded byte for byte"
    else
        record first-use FAIL "${problems[*]}"
    fi
}

post_check_no_bridge() {
    local dir=$1
    if grep -q '^FT_Open index=0 status=[1-9]' "$dir/trace.log"; then
        record no-bridge PASS
    else
        record no-bridge FAIL "no failed FT_Open of bridge 0 in the trace"
    fi
}

post_check_no_handshake() {
    local dir=$1
    if [[ $(trace_count "$dir" '^FT_Write bridge=0 length=1 ') != 0 ]]; then
        record no-handshake FAIL "the host answered a handshake that never came"
    elif [[ $(trace_count "$dir" '^FT_Write bridge=0 length=516 ') != 0 ]]; then
        record no-handshake FAIL "records were sent without a handshake"
    else
        record no-handshake PASS
    fi
}

post_check_close_during_transfer() {
    local dir=$1
    # Closing mid-transfer makes no further bridge call: nothing after the last transfer
    # read or write, and no close of the bridge.
    local last
    last=$(tail -n 1 "$dir/trace.log" 2>/dev/null | cut -d' ' -f1)
    if [[ -f "$dir/capture.bin" ]]; then
        record close-during-transfer FAIL "the meter received a whole image"
    elif [[ $last != FT_Read && $last != FT_Write ]]; then
        record close-during-transfer FAIL "the last bridge call was $last"
    else
        record close-during-transfer PASS
    fi
}

one_meter="[bridge 0]
version = PXR7 V1.02
capture = capture.bin"

# Only system DLLs may be imported: the C++ runtime is linked in, and the D2XX library is
# bound at run time, never at link time.
check_imports() { # name, exe
    local dlls unexpected subsystem
    dlls=$(x86_64-w64-mingw32-objdump -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p')
    unexpected=$(printf '%s\n' "$dlls" | grep -v -i -x -E \
        'kernel32\.dll|user32\.dll|gdi32\.dll|advapi32\.dll|msvcrt\.dll|ucrtbase\.dll|api-ms-win-crt-.*\.dll|ws2_32\.dll|mswsock\.dll' |
        tr '\n' ' ')
    subsystem=$(x86_64-w64-mingw32-objdump -p "$2" | sed -n 's/^Subsystem[[:space:]]*//p')
    if [[ -z $dlls ]]; then
        record "$1" FAIL "no import table found"
    elif [[ -n $unexpected ]]; then
        record "$1" FAIL "imports $unexpected"
    elif [[ $1 == imports-gui && $subsystem != *"Windows GUI"* ]]; then
        record "$1" FAIL "subsystem $subsystem"
    else
        record "$1" PASS "$(printf '%s' "$dlls" | tr '\n' ' ')"
    fi
}

log "e2e: running the cases"
wanted imports-gui && check_imports imports-gui "$program"
if wanted imports-cli && [[ -f "$build/cli/pxr7.exe" ]]; then
    check_imports imports-cli "$build/cli/pxr7.exe"
fi
check_resources() { # name, exe
    if timeout -k 5 120 wine "$resource_check" "$(windows_path "$2")" \
        "$(windows_path "$firmware")" >"$out/$1.log" 2>&1; then
        record "$1" PASS "$(tr -d '\r' <"$out/$1.log" | tail -n 1)"
    else
        record "$1" FAIL "$(tr -d '\r' <"$out/$1.log" | grep -m3 'FAIL' | tr '\n' ' ')"
    fi
}
wanted resources-gui && check_resources resources-gui "$program"
if wanted resources-cli && [[ -f "$build/cli/pxr7.exe" ]]; then
    check_resources resources-cli "$build/cli/pxr7.exe"
fi
if wanted progress-paint; then
    if timeout -k 5 120 wine "$paint_check" >"$out/progress-paint.log" 2>&1; then
        record progress-paint PASS "off-screen bar at 157 of 314 ends at x = 112"
    else
        record progress-paint FAIL "$(tr -d '\r' <"$out/progress-paint.log" | grep -m1 '^FAIL')"
    fi
    tr -d '\r' <"$out/progress-paint.log" | grep '^note' | sed 's/^/    /'
fi
# The D2XX library is searched beside the program and in the system folders, never in the
# working directory: a planted Ftd2xx.dll there must not be loaded.
if wanted dll-search && [[ -f "$build/cli/pxr7.exe" ]]; then
    search="$out/cases/dll-search"
    mkdir -p "$search/program" "$search/work"
    cp "$build/cli/pxr7.exe" "$search/program/"
    cp "$simulator" "$search/work/Ftd2xx.dll"
    (cd "$search/work" && timeout -k 5 60 wine "$(windows_path "$search/program/pxr7.exe")" list \
        >"$search/planted.log" 2>&1)
    planted=$?
    cp "$simulator" "$search/program/Ftd2xx.dll"
    (cd "$search/work" && timeout -k 5 60 wine "$(windows_path "$search/program/pxr7.exe")" list \
        >"$search/beside.log" 2>&1)
    beside=$?
    if [[ $planted == 3 && $beside == 0 ]]; then
        record dll-search PASS "planted in the working directory: not loaded; beside the program: loaded"
    else
        record dll-search FAIL "exit codes: planted $planted (want 3), beside the program $beside (want 0)"
    fi
fi
# The console program serves the station's dashboard on Windows too: the live snapshot while a
# meter is upgraded, GET only, and the station goes on to its outcome.
if wanted dashboard-cli && [[ -f "$build/cli/pxr7.exe" ]]; then
    served="$out/cases/dashboard-cli"
    mkdir -p "$served"
    cp "$build/cli/pxr7.exe" "$simulator" "$served/"
    printf '%s\nmeter_windows = 0-60000\n' "$one_meter" >"$served/scenario.txt"
    (cd "$served" && PXR7_SIM_SCENARIO="$(windows_path "$served/scenario.txt")" timeout -k 5 90 \
        wine pxr7.exe station --count 1 --serve 127.0.0.1:0 --record record.jsonl \
        >"$served/out.log" 2>&1; echo $? >"$served/exit") &
    station=$!
    url=""
    for _ in $(seq 1 300); do
        url=$(tr -d '\r' <"$served/out.log" 2>/dev/null | sed -n 's/^Dashboard: \(http:[^ ]*\).*/\1/p')
        [[ -n $url ]] && break
        sleep 0.2
    done
    snapshot=$(curl -s --max-time 10 "${url}api/snapshot")
    post=$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 -X POST "${url}api/snapshot")
    wait "$station"
    if [[ -n $url && $snapshot == *'"lanes":[{"lane":1'* && $post == 405 &&
        $(cat "$served/exit") == 0 ]] && grep -q '"result":"ok"' "$served/record.jsonl"; then
        record dashboard-cli PASS "served $url while the meter was upgraded; POST 405"
    else
        record dashboard-cli FAIL "url '$url', POST $post, exit $(cat "$served/exit" 2>/dev/null)"
    fi
fi
# The Windows build as a station of several benches: its record, numbered by the Windows seq
# counter, served by pxr7.exe and gathered by the Linux collector into a throwaway PostgreSQL.
native_pxr7="$root/build/native/cli/pxr7"
if wanted collect-windows && [[ -f "$served/record.jsonl" && -x $native_pxr7 ]]; then
    gathered="$out/cases/collect-windows"
    mkdir -p "$gathered"
    rig_state="$gathered/database-rig"
    bash "$root/tests/db/pg_rig.sh" start "$rig_state" >"$gathered/rig.log" 2>&1 || true
    database=$(sed -n 's/^url=//p' "$rig_state" 2>/dev/null)
    (cd "$served" && timeout -k 5 60 wine pxr7.exe history --serve 127.0.0.1:0 \
        --record record.jsonl >"$gathered/serve.log" 2>&1) &
    history_server=$!
    url=""
    for _ in $(seq 1 300); do
        url=$(tr -d '\r' <"$gathered/serve.log" 2>/dev/null | sed -n 's/^Dashboard: \(http:[^ ]*\).*/\1/p')
        [[ -n $url ]] && break
        sleep 0.2
    done
    status=1
    [[ -n $url && -n $database ]] && {
        timeout -k 5 60 "$native_pxr7" collect --once --station "${url%/}" --database "$database" \
            >"$gathered/collect.log" 2>&1
        status=$?
    }
    kill "$history_server" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
    stored=$(psql -qAt "$database" -c "SELECT count(*), min(seq), string_agg(DISTINCT bench, ',') FROM record_lines" 2>/dev/null)
    bash "$root/tests/db/pg_rig.sh" stop "$rig_state" >>"$gathered/rig.log" 2>&1 || true
    written=$(grep -c '"seq":' "$served/record.jsonl")
    bench=$(sed -n 's/.*"bench":"\([^"]*\)".*/\1/p' "$served/record.jsonl" | head -n 1)
    if [[ -z $database ]]; then
        record collect-windows FAIL "no PostgreSQL for the rig: $(tail -n 1 "$gathered/rig.log")"
    elif [[ $status == 0 && $stored == "$written|1|$bench" ]]; then
        record collect-windows PASS "pxr7.exe served $written numbered line(s) of bench $bench; all stored once"
    else
        record collect-windows FAIL "collect exit $status, stored '$stored', written $written of bench '$bench'"
    fi
fi
run_driver_case main-window yes "$one_meter"
run_driver_case about-keys yes "$one_meter"
run_driver_case device-list yes "bridges = 2
[bridge 0]
version = PXR7 V1.02
[bridge 1]
version = PXR7 V1.10" "PXR7 V1.02" "PXR7 V1.10"
run_driver_case foreign-bridge yes "[bridge 0]
eeprom = factory
description = USB-Serial Gadget
[bridge 1]
version = PXR7 V1.02" "PXR7 V1.02"
run_driver_case upgrade yes "$one_meter" "PXR7 V1.02"
run_driver_case first-use yes "[bridge 0]
eeprom = factory
version = PXR7 V1.02
capture = capture.bin"
run_driver_case no-bridge yes "bridges = 0"
run_driver_case no-handshake yes "$one_meter
handshake = none" "PXR7 V1.02"
run_driver_case no-driver no ""
run_driver_case close-during-transfer yes "$one_meter"

# ---- Artefacts ------------------------------------------------------------------------
for bmp in "$artefacts"/*.bmp; do
    [[ -e $bmp ]] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

log ""
log "e2e: screenshots in $artefacts"
[[ -f "$out/upgrade-wall-ms.txt" ]] &&
    log "e2e: upgrade wall time under Wine: $(cat "$out/upgrade-wall-ms.txt") ms"
log "e2e: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
