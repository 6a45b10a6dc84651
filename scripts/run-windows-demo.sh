#!/usr/bin/env bash
# Runs the real Windows program (pxr7-upgrade.exe) under Wine against the simulated bridge
# and meter, so the window, its menu and dialogs can be seen on Linux.
#
#   scripts/run-windows-demo.sh [--build DIR] [--scenario FILE] [--seconds N]
#
# Builds the Windows program and the simulator first if needed (default build dir:
# build/windows). The demo scenario has two meters: bridge 0 runs "PXR7 V1.02" and takes the
# upgrade, bridge 1 runs "PXR7 V1.03"; the image bridge 0 receives is written to
# capture.bin in the demo folder. With a display the program runs until you close it.
# Without one (no $DISPLAY) it runs on a private Xvfb screen for --seconds (default 60) and a
# screenshot is saved every 2 s in <build>/windows-demo/screens.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/windows"
scenario=""
seconds=60
while [[ $# -gt 0 ]]; do
    case $1 in
    --build) build=$2; shift 2 ;;
    --scenario) scenario=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

for tool in wine x86_64-w64-mingw32-g++-posix; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/setup.sh --windows" >&2; exit 1; }
done

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
fi
build=$(cd "$build" && pwd)
cmake --build "$build" -j2 --target pxr7-upgrade ftd2xx_sim

demo="$build/windows-demo"
mkdir -p "$demo"
cp "$build/win32/pxr7-upgrade.exe" "$demo/"
cp "$build/sim/Ftd2xx.dll" "$demo/Ftd2xx.dll"
if [[ -n $scenario ]]; then
    cp "$scenario" "$demo/scenario.ini"
else
    cat >"$demo/scenario.ini" <<'EOF'
# Two meters; bridge 0 takes the upgrade and reports V1.03 afterwards.
bridges = 2
[bridge 0]
version = PXR7 V1.02
version_after_upgrade = PXR7 V1.03
capture = capture.bin
[bridge 1]
version = PXR7 V1.03
EOF
fi
rm -f "$demo/capture.bin" "$demo/trace.log"

windows_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

export WINEPREFIX="$demo/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export PXR7_SIM_SCENARIO
export PXR7_SIM_TRACE
PXR7_SIM_SCENARIO=$(windows_path "$demo/scenario.ini")
PXR7_SIM_TRACE=$(windows_path "$demo/trace.log")

source "$root/scripts/xvfb.sh"
headless=no
if [[ -z "${DISPLAY:-}" ]]; then
    start_xvfb || exit 1
    headless=yes
fi
cleanup() {
    timeout 20 wineserver -k >/dev/null 2>&1 || true
    stop_xvfb
}
trap cleanup EXIT

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "creating the Wine prefix in $WINEPREFIX (once)"
    timeout 180 wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
fi

cd "$demo"
if [[ $headless == no ]]; then
    echo "running pxr7-upgrade.exe on $DISPLAY; close its window to end the demo"
    wine pxr7-upgrade.exe
else
    # No window manager on the private screen: Wine draws the frames itself.
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    mkdir -p "$demo/screens"
    rm -f "$demo/screens"/*.png
    echo "no display: running on Xvfb $DISPLAY for $seconds s; screenshots in $demo/screens"
    timeout -k 5 "$seconds" wine pxr7-upgrade.exe &
    program=$!
    shot=0
    while kill -0 "$program" 2>/dev/null; do
        sleep 2
        shot=$((shot + 1))
        if command -v import >/dev/null; then
            import -window root "$demo/screens/$(printf 'screen-%03d' "$shot").png" 2>/dev/null || true
        fi
    done
    wait "$program" || true
fi
[[ -f "$demo/trace.log" ]] && echo "bridge calls: $demo/trace.log"
[[ -f "$demo/capture.bin" ]] && echo "image the meter received: $demo/capture.bin"
exit 0
