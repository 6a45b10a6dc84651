#!/usr/bin/env bash
# Checks the packages as a user gets them. Builds the .deb and the Windows .zip with
# scripts/package.sh, unpacks the .deb into a scratch root and runs the pxr7 found there
# against the simulated bridge and meter (the native test build's libftd2xx.so), checks what
# the package holds and leaves out (licence, documents, manual page sections, completion),
# runs its maintainer scripts with and without udevadm, runs lintian at its default and
# pedantic levels (errors and warnings fail), checks the .zip's files, licence and sums, and
# runs pxr7.exe from the .zip under Wine.
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

# The program's version as the package numbers it (1.3.0), and the line the About box and
# `pxr7 about` show (PX-R7 Meter V1.03).
version=$(dpkg-deb -f "$deb" Version)
major=${version%%.*}
minor=${version#*.}
minor=${minor%%[^0-9]*}
shown_version=$(printf 'PX-R7 Meter V%d.%02d' "$major" "$minor")

# ---- The .deb, unpacked -----------------------------------------------------------------
root=$run/root
dpkg-deb -x "$deb" "$root"
pxr7=$root/usr/bin/pxr7
doc=$root/usr/share/doc/pxr7

# One program version: the package's is the one --version names, apart from the image's.
status=0
"$pxr7" --version >"$run/version.txt" 2>&1 || status=$?
line=$(head -n 1 "$run/version.txt")
if [[ $status -eq 0 && $line == "pxr7 program $version" ]] &&
    grep -q '^Firmware image: ' "$run/version.txt"; then
    pass "pxr7 --version shows program $version apart from the firmware image"
else
    fail "pxr7 --version" "exit status $status, first line \"$line\", not \"pxr7 program $version\""
fi

bench=$run/bench
mkdir -p "$bench"
printf '[bridge 0]\nversion = PXR7 V1.02\ncapture = capture.bin\n' >"$bench/scenario.txt"
export PXR7_SIM_SCENARIO=$bench/scenario.txt
# The record the upgrade appends goes into the check's own folder.
export XDG_STATE_HOME=$bench/state
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
    usr/lib/udev/rules.d/60-pxr7.rules usr/lib/systemd/system/pxr7-collect.service \
    usr/share/doc/pxr7/guide.md usr/share/doc/pxr7/json.md usr/share/doc/pxr7/copyright usr/share/doc/pxr7/changelog.gz; do
    grep -qxF "$path" "$run/contents.txt" || missing+=("$path")
done
if [[ ${#missing[@]} -eq 0 ]]; then
    pass "the .deb holds the program, manual page, completion, udev rule, collector service and documents"
else
    fail "the .deb's contents" "missing ${missing[*]}"
fi
if grep -i ftd2xx "$run/contents.txt" >"$run/d2xx.txt"; then
    fail "the .deb's contents" "D2XX files: $(tr '\n' ' ' <"$run/d2xx.txt")"
else
    pass "the .deb holds no libftd2xx or Ftd2xx file"
fi

# The licence: MIT in Debian's machine-readable format, with its text, and no placeholder left.
if grep -qx 'License: MIT' "$doc/copyright" &&
    grep -q '^ Permission is hereby granted, free of charge' "$doc/copyright" &&
    ! grep -qiE 'not-yet-chosen|all rights (are )?reserved' "$doc/copyright"; then
    pass "the .deb's copyright file names the MIT licence and carries its text"
else
    fail "the .deb's copyright file" "no MIT licence text, or a placeholder: $(grep License "$doc/copyright")"
fi
# The changelog comes from CHANGELOG.md: its newest entry is this version, and it says
# something about it.
zcat "$doc/changelog.gz" >"$run/changelog.txt"
if [[ "$(head -n 1 "$run/changelog.txt")" == "pxr7 ($version) unstable; urgency=medium" ]] &&
    [[ $(grep -c '^pxr7 (' "$run/changelog.txt") -ge 2 ]] &&
    ! grep -q 'see README' "$run/changelog.txt"; then
    pass "the changelog has an entry for $version and the releases before it"
else
    fail "the changelog" "first line \"$(head -n 1 "$run/changelog.txt")\""
fi

# The page is made by help2man from the program: an empty or failed run shows here, and so do
# the sections the page must have and the help's own wording leaking into it.
page=$root/usr/share/man/man1/pxr7.1.gz
MANWIDTH=100 man -l "$page" 2>/dev/null | col -b >"$run/man.txt" || true
missing=()
for section in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" ENVIRONMENT FILES \
    EXAMPLES "SEE ALSO"; do
    grep -qx "$section" "$run/man.txt" || missing+=("$section")
done
# Every exit code of the help's footer is in EXIT STATUS.
"$pxr7" --help | sed -n '/^Exit codes:/,$p' | awk '$1 ~ /^[0-9]+$/ { print $1 }' >"$run/codes.txt"
sed -n '/^EXIT STATUS$/,/^[A-Z]/p' "$run/man.txt" | awk '$1 ~ /^[0-9]+$/ { print $1 }' \
    >"$run/man-codes.txt"
if [[ ${#missing[@]} -ne 0 ]]; then
    fail "the manual page" "sections missing: ${missing[*]}"
elif [[ ! -s $run/codes.txt ]] || ! cmp -s "$run/codes.txt" "$run/man-codes.txt"; then
    fail "the manual page" "EXIT STATUS lists $(tr '\n' ' ' <"$run/man-codes.txt"), the help $(tr '\n' ' ' <"$run/codes.txt")"
elif ! tail -n 1 "$run/man.txt" | grep -q "pxr7 $version" || grep -q 'show this text' "$run/man.txt" ||
    ! grep -q '60-pxr7.rules' "$run/man.txt"; then
    fail "the manual page" "footer \"$(tail -n 1 "$run/man.txt")\" not pxr7 $version, help wording, or no udev rule"
else
    pass "the manual page has its sections, every exit code, the udev rule and pxr7 $version"
fi

# Completion as bash would ask for it: the words so far, and the word being completed.
complete_words() { # word...
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _pxr7
             echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/pxr7" "$@"
}
# word... then "=>" and the completions expected
completion_cases=(
    "pxr7 --backend '' => d2xx libftdi"
    "pxr7 --backend libftdi upgrade --s => --serial --skip-if-current --setup"
    "pxr7 setup -- => --help --driver --backend --json --verbose --quiet --trace --log --version --serial --index --yes"
    "pxr7 setup - => -h --help --driver --backend --json -v --verbose -q --quiet --trace --log --version --serial --index -y --yes"
    "pxr7 upgrade --all --yes -- => --help --driver --backend --json --verbose --quiet --trace --log --version --skip-if-current --no-verify --setup --record --operator"
    "pxr7 upgrade --serial X -- => --help --driver --backend --json --verbose --quiet --trace --log --version --yes --skip-if-current --no-verify --setup --record --operator"
    "pxr7 list --index 0 -- => --help --driver --backend --json --verbose --quiet --trace --log --version"
    "pxr7 about -- => --help --driver --backend --json --verbose --quiet --trace --log --version"
    "pxr7 station --count 3 -- => --help --driver --backend --json --verbose --quiet --trace --log --version --retries --record --setup --lane-counts --bench --unit-ids --operator --serve --key-file --host-name --tls-cert --tls-key"
    "pxr7 history --record F -- => --help --driver --backend --json --verbose --quiet --trace --log --version --last --unit --bench --serve --key-file --host-name --tls-cert --tls-key --verify"
    "pxr7 collect --station U -- => --help --driver --backend --json --verbose --quiet --trace --log --version --station --database --once --key-file --ca-file"
    "pxr7 '' => list setup upgrade about station history collect serve"
)
completion_ok=yes
for case in "${completion_cases[@]}"; do
    eval "words=(${case% => *})"
    got=$(complete_words "${words[@]}")
    [[ $got == "${case#* => }" ]] || completion_ok="${case% => *}: \"$got\""
done
# --serial from `pxr7 --json list`, through the simulator the line names; nothing from a
# program that cannot list.
printf '[bridge 0]\n[bridge 1]\neeprom = factory\n[bridge 2]\ndescription = "Bench multimeter"\n' \
    >"$run/completion-bench.txt"
serials=$(PXR7_SIM_SCENARIO=$run/completion-bench.txt complete_words "$pxr7" --driver "$simulator" upgrade --serial "")
[[ $serials == "PX7A0000 PX7A0001" ]] || completion_ok="--serial: \"$serials\""
serials=$(complete_words "$pxr7" --driver /nonexistent/libftd2xx.so upgrade --serial "" 2>&1)
[[ -z $serials ]] || completion_ok="--serial without a library: \"$serials\""
if [[ $completion_ok == yes ]]; then
    pass "bash completion: each command's options, exclusions, setup --yes, serial numbers"
else
    fail "bash completion" "$completion_ok"
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

# lintian at its default and pedantic levels: errors and warnings fail, pedantic findings are
# reported. A guard, not a measurement: a lintian that needs over a minute is skipped.
status=0
timeout -k 5 60 lintian --pedantic "$deb" >"$run/lintian.txt" 2>&1 || status=$?
if [[ $status -eq 124 || $status -eq 137 ]]; then
    echo "lintian: took over a minute, skipped"
else
    grep -v 'running with root privileges' "$run/lintian.txt" | sed 's/^/lintian: /' || true
    if grep -qE '^(E|W):' "$run/lintian.txt"; then
        fail "lintian" "errors or warnings above"
    else
        pass "lintian --pedantic: no errors or warnings"
    fi
fi

# ---- The .zip -----------------------------------------------------------------------------
unzip -Z1 "$zip" | sed 's|^[^/]*/||' | grep -v '^$' | LC_ALL=C sort >"$run/zip.txt"
expected="GUIDE.txt JSON.txt LICENSE.txt README.txt SHA256SUMS pxr7-upgrade.exe pxr7.exe "
if [[ "$(tr '\n' ' ' <"$run/zip.txt")" == "$expected" ]]; then
    pass "the .zip holds the programs, README.txt, GUIDE.txt, JSON.txt, LICENSE.txt and SHA256SUMS"
else
    fail "the .zip's contents" "$(tr '\n' ' ' <"$run/zip.txt")"
fi

unzip -q "$zip" -d "$run/zip"
exe=$(find "$run/zip" -name pxr7.exe)
folder=$(dirname "$exe")
# The sums hold, and cover every other file.
if (cd "$folder" && sha256sum --strict -c SHA256SUMS >"$run/sums.txt" 2>&1) &&
    [[ $(wc -l <"$folder/SHA256SUMS") -eq $(($(wc -l <"$run/zip.txt") - 1)) ]]; then
    pass "sha256sum -c accepts the .zip's SHA256SUMS, a line for every other file"
else
    fail "the .zip's SHA256SUMS" "$(grep -v ': OK$' "$run/sums.txt" | head -n 3)"
fi
readme_ok=yes
grep -q 'Permission is hereby granted, free of charge' "$folder/LICENSE.txt" ||
    readme_ok="LICENSE.txt is not the MIT licence"
for word in "pxr7 list" "pxr7 setup" "pxr7 upgrade" "--all" "pxr7 about" "--version" \
    "Program version $version" GUIDE.txt; do
    grep -qF -- "$word" "$folder/README.txt" || readme_ok="README.txt does not mention $word"
done
grep -q 'Reading a failure' "$folder/GUIDE.txt" && ! grep -q '```' "$folder/GUIDE.txt" ||
    readme_ok="GUIDE.txt is not the guide as text"
for text in README.txt GUIDE.txt LICENSE.txt; do
    ! grep -qv $'\r$' "$folder/$text" || readme_ok="$text has lines without Windows line ends"
done
if [[ $readme_ok == yes ]]; then
    pass "the .zip's LICENSE.txt is the MIT licence; README.txt names every command; GUIDE.txt is text"
else
    fail "the .zip's documents" "$readme_ok"
fi
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
