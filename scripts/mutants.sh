#!/usr/bin/env bash
# Proof that the tests catch the faults that matter: applies, one at a time, small faults that
# the suite must catch (a unit recorded twice, an EEPROM written without consent, a page that
# takes a serial number for markup, ...), rebuilds the native tree, runs the in-process tests
# and the end-to-end tests named for that fault, and prints which tests failed. A fault no test
# catches is a hole in the suite.
#   scripts/mutants.sh             every fault
#   scripts/mutants.sh NAME...     only these (names as in the table below)
# Needs the native build of scripts/test.sh (run scripts/test.sh --quick first). Each fault is
# taken back as soon as its tests have run, also when the script is stopped; the tree is built
# again without faults at the end. Exits non-zero if any fault went uncaught.
set -euo pipefail
cd "$(dirname "$0")/.."

# One fault a paragraph: its name, the file, the text as it is, the text with the fault, and the
# end-to-end tests that should catch it too (a ctest regular expression; none: the in-process
# tests alone).
faults=$(
    cat <<'TABLE'
name: unit-recorded-twice
file: bench/unit_rules.cpp
from: return version == lastVersion_ || (!given_.empty() && version == given_);
to: return !given_.empty() && version == given_;
also: ^Cases/CliStation\.

name: record-line-dropped-when-a-retry-fails
file: bench/meter_job.cpp
from: end_.recorded = ledger_.close(ticket_, run, end_.recordProblem);
to: end_.recorded = (run.attempts > 1 && run.code() != Outcome::Ok) || ledger_.close(ticket_, run, end_.recordProblem);
also: ^Cases/CliStation\.

name: own-version-before-a-retry-taken-for-a-new-meter
file: bench/meter_job.cpp
from: if (version == end_.lastVersion && !heardSilence) {
to: if (false) {
also: ^Cases/CliStation\.Runs/(AMeterWhoseResetDoesNotTake|AStoppedTransferToAMeterWhoseBootLoader)

name: a-retry-that-sent-nothing-hides-what-the-first-got-across
file: bench/meter_job.cpp
from: run.furthestRecords == 0) {
to: true) {
also: ^Cases/CliStation\.Runs/ALeadPulledPartWayIsRecorded

name: eeprom-written-without-consent
file: bench/setup_consent.h
from: : SetupConsent::None;
to: : SetupConsent::Given;
also: ^Benches/CliBenchTest\.

name: eeprom-rule-inverted
file: link/eeprom_rules.cpp
from: PXR7_RULE_WHEN_EQUALS(SelfPowered, 1, 0),
to: PXR7_RULE_WHEN_EQUALS(SelfPowered, 0, 1),

name: verification-skipped
file: bench/meter_job.cpp
from: if (code != Outcome::Ok || !settings_.verify) {
to: if (code != Outcome::Ok || true) {
also: ^Bench/CliServiceTest\.

name: byte-on-the-limit-poll-saves-the-handshake
file: upgrade/upgrade.cpp
from: if (state_.pollCount >= kHandshakePollLimit) {
to: if (state_.pollCount >= kHandshakePollLimit && received[0] != kMeterHandshake) {

name: lane-for-a-foreign-adapter
file: bench/station_bus.cpp
from: } else if (isMeterLead(found)) {
to: } else if (true) {
also: ^Cases/CliStation\.

name: serial-inserted-as-markup
file: dashboard/page/common.js
from: node.append(child instanceof Node ? child : String(child));
to: if (child instanceof Node) node.append(child); else node.insertAdjacentHTML("beforeend", String(child));
also: ^dashboard_browser$

name: collector-advances-past-a-page-it-did-not-store
file: store/station_page.cpp
from: if (page.nextSince != last || (page.more && page.lines.empty())) {
to: if (page.nextSince < last || (page.more && page.lines.empty())) {
also: ^collect_end_to_end$

name: record-append-ignores-a-short-write
file: bench/record_file.cpp
from: if (static_cast<std::size_t>(written) < whole.size()) {
to: if (written < 0 && static_cast<std::size_t>(written) < whole.size()) {
also: ^CliRecordFile\.

name: record-checksum-wrong
file: upgrade/wire_record.cpp
from: sum = static_cast<std::uint8_t>(sum + record[i]);
to: sum = static_cast<std::uint8_t>(sum ^ record[i]);
also: ^CliUpgrade\.

name: retry-on-an-outcome-that-is-not-retryable
file: bench/meter_job.cpp
from: if (retry == Retry::Never || stopped() || end_.nextUnit) {
to: if (code == Outcome::Ok || stopped() || end_.nextUnit) {
also: ^Cases/CliStation\.

name: a-reset-that-does-not-take-is-not-listened-for
file: bench/exit_codes.cpp
from: Retry::UnansweredPulse, false,
to: Retry::AfterPulse, false,
also: ^Cases/CliStation\.Runs/AMeterWhoseResetDoesNotTake

name: swapped-meter-keeps-its-place-for-an-id
file: bench/unit_ids.cpp
from: entry.since = ++arrivals_;
to: entry.since = entry.since == 0 ? ++arrivals_ : entry.since;
also: ^CliStationUnitIds\.

name: id-of-a-meter-that-left-handed-to-the-next
file: bench/unit_ids.cpp
from: lane.bound.reset();
to: news.released.pop_back();

name: unit-id-to-the-oldest-not-the-scanned-fixture
file: bench/unit_ids.cpp
from: Lane& lane = lanes_[*chosen_];
to: Lane& lane = lanes_[oldestWaiting().value_or(*chosen_)];
also: ^StationSoakShort\.Seed5$

name: seq-counter-trusted-over-the-record
file: bench/record_seq.cpp
from: const std::int64_t seq = std::max(counted.seq, tail.lastSeq);
to: const std::int64_t seq = counted.seq;

name: collector-reads-a-declared-answer-over-the-cap
file: net/http_get.cpp
from: if (declared && *declared > maxBytes) {
to: if (declared && *declared > maxBytes && false) {

name: password-shown-in-what-libpq-quotes
file: store/password_mask.cpp
from: replaceAll(shown, 0, shown.size(), secret);
to: (void)secret;

name: database-away-said-by-every-station
file: store/collect_shared.cpp
from: if (refused_ || awayOnce_ || (away_ && now < nextTry_)) {
to: if (refused_ || awayOnce_) {

name: page-stored-without-its-streams-locked
file: store/record_store.cpp
from: DbStatus status = lockKeys(connection, lines);
to: DbStatus status = DbStatus{}; (void)lockKeys;

name: record-started-again-read-from-since
file: store/collector.cpp
from: if (page.stream.empty() || page.stream == station.stream || station.nextSince == kFirstSince) {
to: if (page.stream.empty() || page.stream == station.stream || station.nextSince == kFirstSince || true) {
also: ^fleet_soak_short$

name: prev-not-checked-before-the-insert
file: store/line_checks.cpp
from: } else if (before != nullptr && *before != line.prev) {
to: } else if (before != nullptr && before->empty()) {
also: ^fleet_soak_short$
TABLE
)

build=build/native
[[ -f $build/CMakeCache.txt ]] || {
    echo "mutants: no native build: run scripts/test.sh --quick first" >&2
    exit 2
}
export PXR7_REQUIRE_BROWSER=1 PXR7_REQUIRE_DATABASE=1
logs=build/mutants
mkdir -p "$logs"

trim() { sed 's/^ *//; s/ *$//' <<<"$1"; }

# The file being changed and its own bytes, put back on any exit.
changed=""
backup=$logs/original
put_back() {
    if [[ -n $changed ]]; then
        cp "$backup" "$changed"
        changed=""
    fi
}
trap 'put_back' EXIT
trap 'put_back; exit 130' INT TERM

# apply FILE OLD NEW: the one place OLD stands in FILE becomes NEW.
apply() {
    python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1:]
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"mutants: {path} holds {text.count(old)} copies of: {old}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

# The names of the tests that failed in a ctest log.
failed_tests() { sed -En 's/^[[:space:]]*[0-9]+ - ([^ ]+) .*/\1/p' "$1" | sort -u; }

wanted=("$@")
uncaught=()

# try_fault NAME FILE FROM TO ALSO: one fault, its row of the table.
try_fault() {
    local name=$1 file=$2 from=$3 to=$4 also=$5 log=$logs/$1.log verdict=yes failures=""
    if [[ ${#wanted[@]} -gt 0 && " ${wanted[*]} " != *" $name "* ]]; then
        return 0
    fi
    cp "$file" "$backup"
    changed=$file
    apply "$file" "$from" "$to"
    : >"$log"
    if ! cmake --build "$build" -j2 >>"$log" 2>&1; then
        verdict="no (it does not build)"
    else
        ctest --test-dir "$build" -L inprocess -j2 >>"$log" 2>&1 || true
        if [[ -n $also ]]; then
            ctest --test-dir "$build" -R "$also" -j4 >>"$log" 2>&1 || true
        fi
        failures=$(failed_tests "$log" | tr '\n' ' ')
        [[ -n $failures ]] || verdict=no
    fi
    put_back
    [[ $verdict == yes ]] || uncaught+=("$name")
    printf '%-48s %-7s %s\n' "$name" "${verdict%% *}" "${failures:-$verdict}"
}

printf '%-48s %-7s %s\n' "fault" "caught" "tests that failed"
name="" file="" from="" to="" also=""
while IFS= read -r line || [[ -n $name ]]; do
    case "$line" in
    name:*) name=$(trim "${line#name:}") ;;
    file:*) file=$(trim "${line#file:}") ;;
    from:*) from=$(trim "${line#from:}") ;;
    to:*) to=$(trim "${line#to:}") ;;
    also:*) also=$(trim "${line#also:}") ;;
    "")
        [[ -z $name ]] || try_fault "$name" "$file" "$from" "$to" "$also"
        name="" file="" from="" to="" also=""
        ;;
    esac
done <<<"$faults"$'\n'

echo "== building the tree again without faults"
cmake --build "$build" -j2 >"$logs/rebuild.log" 2>&1 || {
    tail -n 20 "$logs/rebuild.log"
    exit 1
}
if [[ ${#uncaught[@]} -gt 0 ]]; then
    echo "mutants: no test caught: ${uncaught[*]}" >&2
    exit 1
fi
echo "mutants: every fault was caught"
