#!/usr/bin/env bash
# Checks the packages as a user gets them. Builds the .deb and the Windows .zip with
# scripts/package.sh, unpacks the .deb into a scratch root and runs the pxr7 found there
# against the simulated bridge and meter (the native test build's libftd2xx.so), checks what
# the package holds and leaves out, runs its maintainer scripts with and without udevadm,
# reports lintian's findings (errors fail), and runs pxr7.exe from the .zip under Wine.
#
#   tests/package/check.sh
#
# Ends with "N passed, N failed"; exits non-zero if anything failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD

work=$top/build/package-check
run=$work/run # everything of this run; the Wine prefix beside it is made once and kept
rm -rf "$run"
mkdir -p "$run"

passed=0
failed=0
pass() {
    passed=$((passed + 1))
    echo "PASS $1"
}
fail() {
    failed=$((failed + 1))
    echo "FAIL $1${2:+: $2}"
}
finish() {
    echo "$passed passed, $failed failed"
    if [[ $failed -ne 0 ]]; then
        exit 1
    fi
    exit 0
}

# ---- The packages and the simulator ---------------------------------------------------
echo "== building the packages (log: $run/package.log)"
if ! bash scripts/package.sh >"$run/package.log" 2>&1; then
    tail -n 30 "$run/package.log"
    fail "scripts/package.sh"
    finish
fi
deb=$(tail -n 2 "$run/package.log" | sed -n 1p)
zip=$(tail -n 2 "$run/package.log" | sed -n 2p)
if [[ $deb == *.deb && -f $deb && $zip == *.zip && -f $zip ]]; then
    pass "scripts/package.sh made $(basename "$deb") and $(basename "$zip")"
else
    fail "scripts/package.sh" "its last two lines are not the .deb and the .zip"
    finish
fi

echo "== building the simulator (native test build)"
if ! { [[ -f build/native/CMakeCache.txt ]] || cmake --preset native >/dev/null; } ||
    ! cmake --build --preset native --target ftd2xx_sim >"$run/simulator.log" 2>&1; then
    tail -n 30 "$run/simulator.log"
    fail "building the simulator"
    finish
fi
simulator=$top/build/native/sim/libftd2xx.so

# The program's version as the package numbers it (1.3) and as the program shows it (V1.03).
version=$(dpkg-deb -f "$deb" Version)
major=${version%%.*}
minor=${version#*.}
minor=${minor%%[^0-9]*}
shown_version=$(printf 'PX-R7 Meter V%d.%02d' "$major" "$minor")

# ---- The .deb, unpacked -----------------------------------------------------------------
root=$run/root
dpkg-deb -x "$deb" "$root"
pxr7=$root/usr/bin/pxr7

# --version where the program has it; before it did, the option was a usage error (2).
status=0
"$pxr7" --version >"$run/version.txt" 2>&1 || status=$?
if [[ $status -eq 0 ]]; then
    if head -n 1 "$run/version.txt" | grep -Eq "(^|[^0-9])$major\.0?$minor([^0-9]|$)"; then
        pass "pxr7 --version shows $version"
    else
        fail "pxr7 --version" "first line \"$(head -n 1 "$run/version.txt")\", not version $version"
    fi
elif [[ $status -eq 2 ]]; then
    line=$("$pxr7" about 2>&1 | head -n 1) || true
    if [[ $line == "$shown_version" ]]; then
        pass "pxr7 about shows \"$shown_version\" (this pxr7 has no --version)"
    else
        fail "pxr7 about" "first line \"$line\", not \"$shown_version\""
    fi
else
    fail "pxr7 --version" "exit status $status: $(head -n 3 "$run/version.txt")"
fi

bench=$run/bench
mkdir -p "$bench"
printf '[bridge 0]\nversion = PXR7 V1.02\ncapture = capture.bin\n' >"$bench/scenario.txt"
export PXR7_SIM_SCENARIO=$bench/scenario.txt
status=0
"$pxr7" --driver "$simulator" list >"$bench/list.txt" 2>&1 || status=$?
if [[ $status -eq 0 ]] && grep -q "PXR7 V1.02" "$bench/list.txt"; then
    pass "pxr7 list finds the simulated meter"
else
    fail "pxr7 list" "exit status $status: $(head -n 3 "$bench/list.txt")"
fi
status=0
"$pxr7" --driver "$simulator" upgrade --yes >"$bench/upgrade.txt" 2>&1 || status=$?
if [[ $status -ne 0 ]]; then
    fail "pxr7 upgrade --yes" "exit status $status: $(tail -n 3 "$bench/upgrade.txt")"
elif ! cmp -s "$bench/capture.bin" firmware/pxr7-standin.bin; then
    fail "pxr7 upgrade --yes" "the meter's capture differs from firmware/pxr7-standin.bin"
else
    pass "pxr7 upgrade --yes: the meter received the image byte for byte"
fi
unset PXR7_SIM_SCENARIO

dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./||' >"$run/contents.txt"
missing=()
for path in usr/bin/pxr7 usr/share/man/man1/pxr7.1.gz usr/share/bash-completion/completions/pxr7 \
    usr/lib/udev/rules.d/60-pxr7.rules usr/share/doc/pxr7/README.md usr/share/doc/pxr7/copyright; do
    grep -qxF "$path" "$run/contents.txt" || missing+=("$path")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    pass "the .deb holds the program, manual page, completion, udev rule and documents"
else
    fail "the .deb's contents" "missing ${missing[*]}"
fi
if grep -i ftd2xx "$run/contents.txt" >"$run/d2xx.txt"; then
    fail "the .deb's contents" "D2XX files: $(tr '\n' ' ' <"$run/d2xx.txt")"
else
    pass "the .deb holds no libftd2xx or Ftd2xx file"
fi

# The page is made by help2man from the program: an empty or failed run shows here.
if zcat "$root/usr/share/man/man1/pxr7.1.gz" 2>/dev/null | grep -q '^\.TH PXR7 ' &&
    zcat "$root/usr/share/man/man1/pxr7.1.gz" | grep -q 'upgrade'; then
    pass "the manual page is pxr7's"
else
    fail "the manual page" "no .TH PXR7 header or no upgrade command in it"
fi

# Completion as bash would ask for it: the words so far, and the word being completed.
complete_words() { # word...
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _pxr7
             echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/pxr7" "$@"
}
backends=$(complete_words pxr7 --backend "")
upgrade_s=$(complete_words pxr7 --backend libftdi upgrade --s)
if [[ $backends == "d2xx libftdi" && $upgrade_s == "--serial --skip-if-current" ]]; then
    pass "bash completion offers backends and upgrade's options"
else
    fail "bash completion" "--backend: \"$backends\"; upgrade --s: \"$upgrade_s\""
fi

# Access and nothing else: unbinding ftdi_sio (RUN) would take the lead's serial port away for
# good; the libftdi1 backend detaches the driver only while it has the bridge open.
grep -v '^#' "$root/usr/lib/udev/rules.d/60-pxr7.rules" >"$run/rule.txt"
if grep -q 'ATTR{idVendor}=="0403".*ATTR{idProduct}=="6001".*TAG+="uaccess"' "$run/rule.txt" &&
    ! grep -q 'RUN' "$run/rule.txt"; then
    pass "the udev rule gives access to 0403:6001 and runs nothing"
else
    fail "the udev rule" "no uaccess tag for 0403:6001, or a RUN key"
fi

# The dependencies are computed: a program linked with libftdi1 must depend on its package.
if readelf -d "$pxr7" | grep -q 'NEEDED.*libftdi1'; then
    if dpkg-deb -f "$deb" Depends | grep -q 'libftdi1'; then
        pass "the .deb depends on libftdi1, which pxr7 links"
    else
        fail "the .deb's dependencies" "pxr7 links libftdi1, Depends: $(dpkg-deb -f "$deb" Depends)"
    fi
fi

# Maintainer scripts: with udevadm they reload the rules (postinst also triggers); without it
# (a chroot, a container) they do nothing and say nothing.
control=$run/control
dpkg-deb -e "$deb" "$control"
mkdir -p "$run/fakebin" "$run/nobin"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$run/udevadm.log" >"$run/fakebin/udevadm"
chmod +x "$run/fakebin/udevadm"
scripts_ok=yes
PATH=$run/fakebin /bin/sh "$control/postinst" configure || scripts_ok="postinst failed"
PATH=$run/fakebin /bin/sh "$control/postrm" remove || scripts_ok="postrm failed"
expected="control --reload
trigger --subsystem-match=usb --attr-match=idVendor=0403
control --reload"
[[ "$(cat "$run/udevadm.log" 2>/dev/null)" == "$expected" ]] ||
    scripts_ok="udevadm calls: $(tr '\n' ';' <"$run/udevadm.log" 2>/dev/null)"
quiet=$(PATH=$run/nobin /bin/sh "$control/postinst" configure 2>&1 &&
    PATH=$run/nobin /bin/sh "$control/postrm" purge 2>&1) || scripts_ok="failed without udevadm"
[[ -z $quiet ]] || scripts_ok="output without udevadm: $quiet"
if [[ $scripts_ok == yes ]]; then
    pass "postinst and postrm reload udev where udevadm exists, silently skip it otherwise"
else
    fail "maintainer scripts" "$scripts_ok"
fi

# lintian's findings are reported; only errors fail. A guard, not a measurement: a lintian
# that needs over a minute is skipped.
status=0
timeout -k 5 60 lintian "$deb" >"$run/lintian.txt" 2>&1 || status=$?
if [[ $status -eq 124 || $status -eq 137 ]]; then
    echo "lintian: took over a minute, skipped"
else
    grep -v 'running with root privileges' "$run/lintian.txt" | sed 's/^/lintian: /' || true
    if grep -q '^E:' "$run/lintian.txt"; then
        fail "lintian" "errors above"
    else
        pass "lintian: no errors"
    fi
fi

# ---- The .zip -----------------------------------------------------------------------------
unzip -Z1 "$zip" | sed 's|^[^/]*/||' | grep -v '^$' | sort >"$run/zip.txt"
if [[ "$(tr '\n' ' ' <"$run/zip.txt")" == "README.txt pxr7-upgrade.exe pxr7.exe " ]]; then
    pass "the .zip holds pxr7-upgrade.exe, pxr7.exe and README.txt, nothing else"
else
    fail "the .zip's contents" "$(tr '\n' ' ' <"$run/zip.txt")"
fi

unzip -q "$zip" -d "$run/zip"
exe=$(find "$run/zip" -name pxr7.exe)
source scripts/xvfb.sh
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() {
    timeout 20 wineserver -k >/dev/null 2>&1 || true
    stop_xvfb
}
trap stop_wine EXIT
if [[ -z "${DISPLAY:-}" ]] && ! start_xvfb; then
    fail "pxr7.exe about under Wine" "no display"
    finish
fi
# Made once: a fresh prefix takes longer than the check itself.
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    timeout -k 5 180 wineboot -i >/dev/null 2>&1 || true
fi
status=0
timeout -k 5 120 wine "$exe" about >"$run/about.txt" 2>&1 || status=$?
line=$(head -n 1 "$run/about.txt" | tr -d '\r')
if [[ $status -eq 0 && $line == "$shown_version" ]]; then
    pass "pxr7.exe about under Wine shows \"$shown_version\""
else
    fail "pxr7.exe about under Wine" "exit status $status, first line \"$line\""
fi

finish
