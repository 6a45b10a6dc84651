"""The collector's fleet soak: pxr7 collect over a random fleet of 2-5 stations while things go
wrong, each run held against the stations' own record files.

Each run, from its seed: stations that serve themselves (pxr7 station --serve) and record files
that a serving-less pxr7 station writes and pxr7 history --serve serves, all growing on the
simulator with the program's own writer, so stream, seq and prev are as in the field. Then
faults at random times: the collector killed (-9) and started again, the database stopped (fast
or immediate) and started again, a station restarted or paused (SIGSTOP for a few seconds), a
station's counter lost (its state folder removed: a new stream), a hand-made line appended (a
4,000-character unit id, chained right; a line with a foreign prev) or the last line edited
after it was stored, and two collectors at once.

At the end, once the collectors have caught up: every line of the files (as first written) is
in record_lines exactly once, byte for byte, in seq order per stream; every foreign or edited
line is in record_quarantine with a reason and not in record_lines, and nothing else is there;
no collector died on its own; and no line of an undisturbed station took longer than
DELAY_BOUND_S from its append to its row.

  fleet_soak.py --pxr7 P --sim S --rig pg_rig.sh --state STATE (--seeds 1,4-6 | --minutes M)
One line per run, then the totals and every violation with its seed; exit status 1 on any."""

import argparse
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "web"))
sys.path.insert(0, HERE)
from collect_test import METER, database_or_skip, free_port, psql  # noqa: E402
from web_rig import Program, Watchdog, wait_for  # noqa: E402

# The guide promises a live station's line within about two seconds; a database restart adds
# the collector's first retry waits (1 s, then 2 s) and the server's own start, and a collector
# killed -9 adds a start and a connect. 10 s holds all of these with room for a loaded 2-core
# machine, and is still far below the 30 s a backed-off collector would take.
DELAY_BOUND_S = 10.0
RUN_SECONDS = 20
FAULTS = ("collector_kill", "database_restart", "station_restart", "station_pause",
          "counter_reset", "long_unit_id", "edited_line", "foreign_prev", "two_collectors")
STATION_FAULTS = {"station_restart", "station_pause", "counter_reset", "long_unit_id",
                  "edited_line", "foreign_prev"}


def digest(line):
    return hashlib.sha256(line.encode("utf-8")).hexdigest()


def file_lines(path):
    try:
        with open(path, encoding="utf-8") as file:
            return file.read().split("\n")[:-1]
    except FileNotFoundError:
        return []


def key_of(line):
    entry = json.loads(line)
    return entry.get("stream"), entry["seq"]


class Plan:
    """The fleet and the faults of one seed: (time, fault, station index, detail)."""

    def __init__(self, seed):
        rng = random.Random(seed)
        self.seed = seed
        self.kinds = [rng.choice(("live", "file")) for _ in range(rng.randint(2, 5))]
        chosen = rng.sample(FAULTS, rng.randint(2, 4))
        self.two_collectors = "two_collectors" in chosen
        self.faults = []
        for fault in chosen:
            if fault == "two_collectors":
                continue
            detail = rng.choice(("fast", "immediate")) if fault == "database_restart" else ""
            self.faults.append((rng.uniform(3, RUN_SECONDS - 5), fault,
                                rng.randrange(len(self.kinds)), detail))
        self.faults.sort()

    def words(self):
        faults = [f"{fault}{':' + detail if detail else ''}"
                  f"{'@' + str(station) if fault in STATION_FAULTS else ''}"
                  for _, fault, station, detail in self.faults]
        if self.two_collectors:
            faults.append("two_collectors")
        return f"{len(self.kinds)} stations ({','.join(self.kinds)}), faults {' '.join(faults)}"


class SeedWatchdog(Watchdog):
    """The run's watchdog, which names the seed that hung."""

    def __init__(self, seed, seconds):
        self.seed = seed
        super().__init__(seconds)

    def fire(self):
        print(f"seed {self.seed}: hung", flush=True)
        super().fire()


class Station:
    """A record growing on the simulator and served on a fixed port: by the station itself
    (live) or by history --serve while a serving-less station writes it (file). While the
    writer is stopped, history --serve serves the record in either case."""

    def __init__(self, run, index, kind):
        self.run, self.index, self.kind = run, index, kind
        self.folder = os.path.join(run.scratch, f"station{index}")
        os.makedirs(self.folder)
        with open(os.path.join(self.folder, "bench.conf"), "w", encoding="utf-8") as file:
            file.write(f"bench = fleet-{index}\n")
        self.port = free_port()
        self.url = f"http://127.0.0.1:{self.port}"
        self.record = os.path.join(self.folder, "record.jsonl")
        windows = ",".join(f"{2000 * i + 500}-{2000 * i + 1500}" for i in range(200))
        self.scenario = "".join(f"[bridge {n}]\n{METER}meter_windows = {windows}\n"
                                for n in range(2))
        self.writer = self.server = None
        self.programs = 0
        self.disturbed = []  # (from, to) monotonic times when this station was made to misbehave

    def program(self, arguments, scenario=None):
        self.programs += 1
        return self.run.start(self.folder, f"p{self.programs}", arguments, scenario)

    def serve(self):
        self.server = self.program(["history", "--serve", f"127.0.0.1:{self.port}", "--record",
                                    self.record])
        self.server.url()

    def start_writer(self):
        record = ["--record", self.record, "--bench", "bench.conf"]
        if self.kind == "live":
            if self.server is not None:
                self.server.stop()
            self.writer = self.server = self.program(
                ["station", "--serve", f"127.0.0.1:{self.port}", *record], self.scenario)
            self.server.url()
        else:
            if self.server is None:
                self.serve()
            self.writer = self.program(["station", *record], self.scenario)

    def stop_writer(self):
        """Stops writing; the record is still served."""
        self.writer.stop()
        if self.kind == "live":
            self.serve()
        self.writer = None


class Run:
    def __init__(self, args, plan, scratch, database):
        self.args, self.plan, self.scratch, self.database = args, plan, scratch, database
        self.watchdog = SeedWatchdog(plan.seed, RUN_SECONDS + 240)
        self.rng = random.Random(plan.seed + 1)  # the faults' own choices
        self.programs = []
        self.collectors = []  # [program, killed by the soak]
        self.originals = {}  # (stream, seq) -> the line as written, before it was edited
        self.quarantine_due = []  # lines the collector must keep aside
        self.counts = {"collectors": 0}
        self.stations = [Station(self, n, kind) for n, kind in enumerate(plan.kinds)]
        self.problems = []  # what the faults themselves found wrong
        self.delays = []  # (seconds, station index, key)
        self.stop_watching = threading.Event()

    def start(self, folder, name, arguments, scenario=None):
        program = Program(self.args.pxr7, self.args.sim, folder, name, arguments, scenario)
        self.watchdog.watch(program.process)
        self.programs.append(program)
        return program

    def start_collector(self):
        self.counts["collectors"] += 1
        program = self.start(self.scratch, f"collect{self.counts['collectors']}",
                             ["--json", "collect", "--database", self.database] +
                             [f"--station={station.url}" for station in self.stations])
        self.collectors.append([program, False])

    # The faults, each on its own; a station's are marked as its disturbance.
    def collector_kill(self, station, detail):
        live = [entry for entry in self.collectors if not entry[1]]
        entry = self.rng.choice(live)
        os.killpg(entry[0].process.pid, signal.SIGKILL)
        entry[0].process.wait()
        entry[1] = True
        self.start_collector()

    def database_restart(self, station, detail):
        subprocess.run(["bash", self.args.rig, "pause", self.args.state, detail], check=True)
        time.sleep(self.rng.uniform(0.5, 3))
        subprocess.run(["bash", self.args.rig, "resume", self.args.state], check=True)

    def station_restart(self, station, detail):
        station.server.stop()
        if station.kind == "live":
            station.server = None
            station.start_writer()
        else:
            station.serve()

    def station_pause(self, station, detail):
        os.killpg(station.server.process.pid, signal.SIGSTOP)
        time.sleep(self.rng.uniform(2, 5))
        os.killpg(station.server.process.pid, signal.SIGCONT)

    def counter_reset(self, station, detail):
        station.stop_writer()
        shutil.rmtree(os.path.join(station.folder, "state"), ignore_errors=True)
        station.start_writer()

    def long_unit_id(self, station, detail):
        self.append_by_hand(station, lambda line: line.replace(
            '"unit_id":null', '"unit_id":"' + "U" * 4000 + '"'), foreign=False)

    def foreign_prev(self, station, detail):
        self.append_by_hand(station, lambda line: re.sub(
            r'"prev":"[0-9a-f]{64}"', '"prev":"' + digest("not this record") + '"', line),
            foreign=True)

    def edited_line(self, station, detail):
        """The last line changed after the collector stored it; the station then starts a new
        stream, and the collector that reads the record again must not take the edit."""
        station.stop_writer()
        lines = file_lines(station.record)
        # A line that belongs aside (a hand-made one) is never stored: there is no edit of a
        # stored line to make.
        if lines and lines[-1] not in self.quarantine_due:
            key = key_of(lines[-1])
            try:
                wait_for(lambda: self.stored_keys() >= {key}, 30, "the line to edit stored",
                         interval=0.3)
            except AssertionError:
                self.problems.append(f"station{station.index} stream {key[0]} seq {key[1]}:"
                                     " not stored within 30 s while its record was served")
            edited = lines[-1].replace('"result":"', '"result":"x', 1)
            self.originals[key] = lines[-1]
            self.quarantine_due.append(edited)
            with open(station.record, "w", encoding="utf-8") as file:
                file.write("\n".join(lines[:-1] + [edited]) + "\n")
        station.start_writer()

    def append_by_hand(self, station, change, foreign):
        """A line made from the record's last one, as the next of its stream, then changed."""
        station.stop_writer()
        lines = file_lines(station.record)
        if lines and '"stream":"' in lines[-1]:
            last = lines[-1]
            stream, seq = key_of(last)
            line = re.sub(r'"seq":\d+', f'"seq":{seq + 1}', last, count=1)
            line = re.sub(r',"prev":"[0-9a-f]{64}"', "", line)  # a stream's first has none
            line = line.replace(f'"stream":"{stream}"',
                                f'"stream":"{stream}","prev":"{digest(last)}"', 1)
            line = change(line)
            # Chained to an edited line, it follows bytes the collector stored otherwise: its
            # prev matches nothing there, so it belongs aside too. (After a foreign line, whose
            # seq the stream does not hold, it is stored: its prev is that line's.)
            edited = last in self.quarantine_due and key_of(last) in self.originals
            if foreign or edited:
                self.quarantine_due.append(line)
            with open(station.record, "a", encoding="utf-8") as file:
                file.write(line + "\n")
        station.start_writer()

    def stored_keys(self):
        try:
            out = psql(self.database, "SELECT json_agg(json_build_array(stream, seq))"
                                      " FROM record_lines")
        except subprocess.CalledProcessError:
            return set()  # the database away, or no tables yet
        return {tuple(row) for row in json.loads(out or "[]")}

    def watch_delays(self):
        """Every new line's time from first seen in its file to first seen in the database."""
        seen, done = {}, set()
        while not self.stop_watching.wait(0.3):
            now = time.monotonic()
            for station in self.stations:
                for line in file_lines(station.record):
                    try:
                        key = key_of(line)
                    except (ValueError, KeyError):
                        continue
                    seen.setdefault(key, (now, station))
            stored = self.stored_keys()
            now = time.monotonic()
            for key in stored.intersection(seen).difference(done):
                done.add(key)
                first, station = seen[key]
                if not any(a - 1 <= now and first <= b + 1 for a, b in station.disturbed):
                    self.delays.append((now - first, station.index, key))

    def play(self):
        for station in self.stations:
            station.start_writer()
        self.start_collector()
        if self.plan.two_collectors:
            self.start_collector()
        watcher = threading.Thread(target=self.watch_delays, daemon=True)
        watcher.start()
        began = time.monotonic()
        for at, fault, index, detail in self.plan.faults:
            time.sleep(max(0.0, began + at - time.monotonic()))
            station = self.stations[index]
            started = time.monotonic()
            if fault in STATION_FAULTS:
                station.disturbed.append((started, float("inf")))
            getattr(self, fault)(station, detail)
            if fault in STATION_FAULTS:
                station.disturbed[-1] = (started, time.monotonic())
        time.sleep(max(0.0, began + RUN_SECONDS - time.monotonic()))
        for station in self.stations:
            station.stop_writer()
        self.stop_watching.set()
        watcher.join()

    def stop(self):
        for program in self.programs:
            if program.process.poll() is None:  # a paused one ends only once it runs again
                os.killpg(program.process.pid, signal.SIGCONT)
            program.stop()
        self.watchdog.cancel()


def truth(run):
    """(stream, seq) -> the line as its bench wrote it, and the station holding it."""
    want, where = {}, {}
    for station in run.stations:
        for line in file_lines(station.record):
            key = key_of(line)
            if line in run.quarantine_due and key not in run.originals:
                continue  # a foreign line: its key is no line of its bench's
            want[key] = run.originals.get(key, line)
            where[key] = station.index
    return want, where


def table(run, sql):
    return [tuple(row) for row in json.loads(psql(run.database, sql) or "[]")]


def stored_rows(run):
    return table(run, "SELECT json_agg(json_build_array(stream, seq, line) ORDER BY arrival)"
                      " FROM record_lines")


def quarantine_rows(run):
    return table(run, "SELECT json_agg(json_build_array(reason, convert_from(line, 'UTF8')))"
                      " FROM record_quarantine")


def caught_up(run, want):
    try:
        keys = {(stream, seq) for stream, seq, _ in stored_rows(run)}
        kept = {line for _, line in quarantine_rows(run)}
    except subprocess.CalledProcessError:
        return False
    return keys >= set(want) and kept >= set(run.quarantine_due)


def check_lines(run, want, where, got):
    found = []
    seen, last = {}, {}
    for stream, seq, line in got:  # in arrival order
        key = (stream, seq)
        seen[key] = seen.get(key, 0) + 1
        if key not in want:
            found.append(f"stored a line no record holds: stream {stream} seq {seq}")
        elif line != want[key]:
            found.append(f"stored other bytes than station{where[key]} wrote: stream {stream}"
                         f" seq {seq}")
        if seq <= last.get(stream, 0):
            found.append(f"out of order: stream {stream} seq {seq} stored after {last[stream]}")
        last[stream] = max(seq, last.get(stream, 0))
    for key in sorted(want, key=lambda k: (where[k], k[0] or "", k[1])):
        if seen.get(key, 0) != 1:
            word = "lost" if key not in seen else f"stored {seen[key]} times"
            found.append(f"{word}: station{where[key]} stream {key[0]} seq {key[1]}")
    return found


def check_quarantine(run, want, got, kept):
    found = []
    stored = {line for _, _, line in got}
    reasons = {line: reason for reason, line in kept}
    for line in run.quarantine_due:
        if line in stored:
            found.append(f"a foreign or edited line stored: {line[:90]}")
        if not reasons.get(line):
            found.append(f"a foreign or edited line not in record_quarantine: {line[:90]}")
    for reason, line in kept:
        if line not in run.quarantine_due:
            found.append(f"a true line quarantined ({reason}): {line[:90]}")
    return found


def check_collectors(run):
    found = []
    for program, killed in run.collectors:
        if killed:
            continue
        if program.process.poll() is not None:
            found.append(f"a collector ended by itself (exit {program.process.returncode}):"
                         f" {program.output()[-300:]}")
            continue
        program.stop()
        if program.wait(10) != 0:
            found.append(f"a collector ended with {program.process.returncode} on SIGTERM")
    return found


def check_run(run):
    want, where = truth(run)
    try:
        wait_for(lambda: caught_up(run, want), 60, "the collectors to catch up", interval=0.5)
    except AssertionError:
        pass  # what is missing is named below
    found = run.problems + check_collectors(run)
    got, kept = stored_rows(run), quarantine_rows(run)
    found += check_lines(run, want, where, got)
    found += check_quarantine(run, want, got, kept)
    for seconds, index, key in run.delays:
        if seconds > DELAY_BOUND_S:
            found.append(f"station{index} stream {key[0]} seq {key[1]} stored after"
                         f" {seconds:.1f} s, over {DELAY_BOUND_S:.0f} s")
    return found, len(got), len(kept)


def soak_once(args, seed, fresh):
    plan = Plan(seed)
    scratch = tempfile.mkdtemp(prefix=f"pxr7-fleet-{seed}-")
    database = fresh("pxr7_fleet")
    # The rig's server acknowledges commits before they are on disk, so an immediate shutdown
    # would take back lines the collector had been told were stored; a real server keeps them.
    psql(database, "ALTER DATABASE pxr7_fleet SET synchronous_commit = on")
    run = Run(args, plan, scratch, database)
    try:
        run.play()
        violations, stored, kept = check_run(run)
    except Exception as error:  # a fault that could not be played is a violation too
        traceback.print_exc()
        violations, stored, kept = [f"the run broke off: {error!r}"], 0, 0
    finally:
        run.stop()
    delay = max((seconds for seconds, _, _ in run.delays), default=0.0)
    verdict = "ok" if not violations else f"{len(violations)} violations"
    print(f"seed {seed}: {plan.words()}; {stored} lines stored, {kept} quarantined,"
          f" {run.counts['collectors']} collector starts, slowest line {delay:.1f} s; {verdict}",
          flush=True)
    if violations and args.keep:
        shutil.copytree(scratch, os.path.join(args.keep, f"seed-{seed}"), dirs_exist_ok=True)
        print(f"  files kept in {os.path.join(args.keep, f'seed-{seed}')}", flush=True)
    shutil.rmtree(scratch, ignore_errors=True)
    return {"violations": [f"seed {seed}: {v}" for v in violations], "stored": stored,
            "kept": kept, "delay": delay, "faults": [f for _, f, _, _ in plan.faults] +
            (["two_collectors"] if plan.two_collectors else [])}


def read_seeds(text):
    seeds = []
    for item in text.split(","):
        first, _, last = item.partition("-")
        seeds += range(int(first), int(last or first) + 1)
    return seeds


def print_totals(results):
    faults = {}
    for result in results:
        for fault in result["faults"]:
            faults[fault] = faults.get(fault, 0) + 1
    violations = [v for result in results for v in result["violations"]]
    print(f"{len(results)} runs, {sum(r['stored'] for r in results)} lines stored,"
          f" {sum(r['kept'] for r in results)} quarantined, slowest line"
          f" {max((r['delay'] for r in results), default=0):.1f} s (bound {DELAY_BOUND_S:.0f} s),"
          f" {len(violations)} violations", flush=True)
    print("faults: " + ", ".join(f"{name} {count}" for name, count in sorted(faults.items())))
    for violation in violations:
        print(f"  {violation}")
    return violations


def main():
    parser = argparse.ArgumentParser()
    for option in ("--pxr7", "--sim", "--rig", "--state"):
        parser.add_argument(option, required=True)
    parser.add_argument("--seeds", type=read_seeds)
    parser.add_argument("--minutes", type=float)
    parser.add_argument("--keep", help="keep the files of each run with a violation here")
    args = parser.parse_args()
    if not args.seeds and not args.minutes:
        parser.error("--seeds or --minutes")
    for name in ("pxr7", "sim", "rig", "state"):  # the programs run in folders of their own
        setattr(args, name, os.path.abspath(getattr(args, name)))
    fresh = database_or_skip(args.rig, args.state)
    results = []
    if args.seeds:
        results = [soak_once(args, seed, fresh) for seed in args.seeds]
    else:
        end = time.monotonic() + args.minutes * 60
        while time.monotonic() < end:
            results.append(soak_once(args, random.randrange(1000, 1000000), fresh))
    sys.exit(1 if print_totals(results) else 0)


if __name__ == "__main__":
    main()
