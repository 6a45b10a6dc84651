"""pxr7 collect against a real PostgreSQL (pg_rig.sh) and three simulated stations: the
database stopped while lines are written and a station restarted part-way lose and double
nothing; every line of every record ends up in record_lines exactly once, in seq order per
bench; pxr7 serve's overview shows the three stations, and its history and history --database every line;
history --verify finds every chain whole, then names a stored line changed.
Also --once against an empty database, a station away, a login refused, a password libpq
cannot read, and an option value libpq refuses (which ends the collector at once, --once or
not)."""

import argparse
import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
from history_record import write_record  # noqa: E402
from web_rig import SKIPPED, Program, Watchdog, wait_for  # noqa: E402

OLD_SEQ_BASE = 1 << 40
METER = "version = PXR7 V1.03\n"
STARTED = []  # every program a case started, stopped at the end whatever happened


def start(args, watchdog, folder, name, arguments, scenario=None):
    program = Program(args.pxr7, args.sim, folder, name, arguments, scenario)
    watchdog.watch(program.process)
    STARTED.append(program)
    return program


def database_or_skip(rig, state):
    url = ""
    if os.path.exists(state):
        with open(state, encoding="utf-8") as file:
            url = "".join(line[4:].strip() for line in file if line.startswith("url="))
    if not url:
        required = os.environ.get("PXR7_REQUIRE_DATABASE") == "1"
        print(f"{'FAIL' if required else 'SKIP'}: no PostgreSQL in the rig", flush=True)
        sys.exit(1 if required else SKIPPED)
    return lambda name: subprocess.run(["bash", rig, "fresh", state, name], check=True,
                                       capture_output=True, text=True).stdout.strip()


def psql(url, sql):
    result = subprocess.run(["psql", "-X", "-A", "-t", "-q", "-d", url, "-c", sql],
                            capture_output=True, text=True, check=True)
    return result.stdout.rstrip("\n")


def rows(url, sql):
    """(bench, seq, line) rows, the line's own JSON bytes kept as text."""
    out = psql(url, f"SELECT json_agg(json_build_array({sql}) ORDER BY arrival) FROM record_lines")
    return [tuple(row) for row in json.loads(out or "[]")]


def stored_count(url):
    return int(psql(url, "SELECT count(*) FROM record_lines"))


def lines_written(stations):
    """How many whole lines the stations' records hold now."""
    total = 0
    for station in stations:
        with open(station.record, "rb") as file:
            total += file.read().count(b"\n")
    return total


def record_identities(path):
    """(bench, seq, line) of every record line in the file, derived ones for old lines."""
    found = []
    with open(path, encoding="utf-8") as file:
        for number, line in enumerate(file.read().split("\n")[:-1], start=1):
            entry = json.loads(line)
            if "seq" in entry:
                found.append((entry["bench"], entry["seq"], line))
            else:
                found.append((entry["host"], number - OLD_SEQ_BASE, line))
    return found


def free_port():
    with socket.create_server(("127.0.0.1", 0)) as listener:
        return listener.getsockname()[1]


def seed(folder, host, count):
    """An old record (lines without bench and seq) of count lines from host."""
    path = os.path.join(folder, "record.jsonl")
    write_record(path, count)
    with open(path, encoding="utf-8") as file:
        text = file.read().replace('"host":"bench-3"', f'"host":"{host}"')
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


class Station:
    def __init__(self, args, watchdog, scratch, name, bench, old_lines):
        self.args, self.watchdog = args, watchdog
        self.folder = os.path.join(scratch, name)
        os.makedirs(self.folder)
        self.port = free_port()
        self.url = f"http://127.0.0.1:{self.port}"
        self.record = os.path.join(self.folder, "record.jsonl")
        self.arguments = ["station", "--serve", f"127.0.0.1:{self.port}", "--record", self.record]
        if bench:
            with open(os.path.join(self.folder, "bench.conf"), "w", encoding="utf-8") as file:
                file.write(f"bench = {bench}\n")
            self.arguments += ["--bench", "bench.conf"]
        if old_lines:
            seed(self.folder, f"old-{name}", old_lines)
        windows = ",".join(f"{2000 * i + 500}-{2000 * i + 1500}" for i in range(200))
        self.scenario = "".join(f"[bridge {n}]\n{METER}meter_windows = {windows}\n"
                                for n in range(3))
        self.runs = 0

    def start(self):
        self.runs += 1
        self.program = start(self.args, self.watchdog, self.folder, f"run{self.runs}",
                             self.arguments, self.scenario)
        self.program.url()

    def stop(self):
        self.program.stop()

    def serve_history(self):
        """The bench's record served on the same port by history --serve: no new lines."""
        self.runs += 1
        self.program = start(self.args, self.watchdog, self.folder, f"run{self.runs}",
                             ["history", "--serve", f"127.0.0.1:{self.port}", "--record",
                              self.record])
        self.program.url()


def collect(args, watchdog, folder, database, stations, *extra):
    return start(args, watchdog, folder, "collect",
                 ["--json", "collect", "--database", database, *extra] +
                 [f"--station={url}" for url in stations])


def serve(args, watchdog, folder, database, stations):
    """pxr7 serve over the database and the stations; its address."""
    program = start(args, watchdog, folder, "serve",
                    ["--json", "serve", "--database", database, "--listen", "127.0.0.1:0"] +
                    [f"--station={station.url}" for station in stations])
    url = wait_for(lambda: next((e["url"] for e in events(program, "serving")), None), 20,
                   "pxr7 serve's address")
    return program, url


def get_json(url):
    with urllib.request.urlopen(url, timeout=10) as answer:
        return json.load(answer)


def events(program, name):
    return [event for event in map(json.loads, filter(None, program.output().splitlines()))
            if event.get("event") == name]


def once_cases(args, watchdog, scratch, fresh):
    """--once into a database without tables; a station away; a refused login, password
    unshown; a URL libpq cannot read."""
    folder = os.path.join(scratch, "once")
    os.makedirs(folder)
    seed(folder, "once-host", 1234)
    history = start(args, watchdog, folder, "history",
                    ["history", "--serve", "127.0.0.1:0", "--record", "record.jsonl"])
    station = history.url().rstrip("/")
    database = fresh("pxr7_collect_once")
    socket_dir = database.split("host=")[1].split("&")[0]
    cases = [([station], database, 0, "--once"), ([station, "http://127.0.0.1:1"], database, 1, "--once"),
             ([station], f"postgresql://nobody:sekret@/pxr7?host={socket_dir}", 20, "--once"),
             # libpq reads "se" as the port and quotes it; the rest as the database's name.
             ([station], f"postgresql://nobody:se/kret@/pxr7?host={socket_dir}", 20, "--once"),
             ([station], "postgresql://[::1", 20, "--once"),
             ([station], database + "&sslmode=bogus", 20)]
    for number, (stations, url, code, *once) in enumerate(cases):
        case_folder = os.path.join(folder, str(number))
        os.makedirs(case_folder)
        program = collect(args, watchdog, case_folder, url, stations, *once)
        assert program.wait(20 if not once else 60) == code, (url, program.output())
        for secret in ("sekret", "kret", '"se"'):
            assert secret not in program.output(), program.output()
        result = events(program, "result")[0]
        assert result["exit_code"] == code, program.output()
        assert result["error"] is None if code == 0 else result["error"], program.output()
    wanted = sorted(record_identities(os.path.join(folder, "record.jsonl")))
    assert sorted(rows(database, "bench, seq, line")) == wanted
    history.stop()
    print(f"PASS: --once ({len(wanted)} lines, a station away, a refused login, URLs refused)",
          flush=True)


def status_of(url, host=None, key=None):
    """The HTTP status of a GET, with the Host and the key given."""
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=10)
    headers = {"Host": host or parts.netloc}
    if key:
        headers["Authorization"] = f"Bearer {key}"
    connection.request("GET", parts.path or "/", headers=headers)
    status = connection.getresponse().status
    connection.close()
    return status


def key_cases(args, watchdog, scratch, fresh):
    """A station with a read key: the collector and pxr7 serve's overview reach it with the same
    key file and not without it; beyond loopback a foreign Host is refused."""
    folder = os.path.join(scratch, "key")
    os.makedirs(folder)
    seed(folder, "key-host", 40)
    key = "k3y-of-the-shop-" + "7" * 16
    key_file = os.path.join(folder, "key")
    with open(key_file, "w", encoding="ascii") as file:
        file.write(key + "\n")
    history = start(args, watchdog, folder, "history",
                    ["history", "--serve", "0.0.0.0:0", "--record", "record.jsonl",
                     "--key-file", key_file])
    served = history.url().rstrip("/")
    station = "http://127.0.0.1:" + served.rsplit(":", 1)[1]
    assert status_of(station + "/api/history") == 401
    assert status_of(station + "/api/history", key=key) == 200
    assert status_of(station + "/api/history", host="evil.example", key=key) == 421
    database = fresh("pxr7_collect_key")
    for number, (extra, code) in enumerate([((), 1), (("--key-file", key_file), 0)]):
        case_folder = os.path.join(folder, str(number))
        os.makedirs(case_folder)
        program = collect(args, watchdog, case_folder, database, [station], "--once", *extra)
        assert program.wait(60) == code, program.output()
        assert key not in program.output(), program.output()
    assert sorted(rows(database, "bench, seq, line")) == sorted(
        record_identities(os.path.join(folder, "record.jsonl")))
    pages = start(args, watchdog, folder, "serve",
                  ["--json", "serve", "--database", database, "--listen", "127.0.0.1:0",
                   "--key-file", key_file, f"--station={station}"])
    url = wait_for(lambda: next((e["url"] for e in events(pages, "serving")), None), 20,
                   "pxr7 serve's address")
    assert status_of(url + "api/overview") == 401

    def past_the_key():
        """A history alone has no snapshot: 404 once the key let the overview in, 401 before."""
        request = urllib.request.Request(url + "api/overview",
                                         headers={"Authorization": f"Bearer {key}"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            problem = json.load(answer)["stations"][0]["problem"] or ""
        assert "401" not in problem, problem
        return "404" in problem
    wait_for(past_the_key, 20, "the overview reaching the station with the key")
    pages.stop()
    history.stop()
    print("PASS: a read key (collector, overview, pages) and a foreign Host refused", flush=True)


def tls_cases(args, watchdog, scratch, fresh):
    """A station over TLS: read by the collector and by pxr7 serve's overview that check its
    certificate against the one given, refused by one that checks against the system's, and
    no answer in plain HTTP on its port."""
    folder = os.path.join(scratch, "tls")
    os.makedirs(folder)
    certificate, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                           "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                           "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                           "-keyout", key, "-out", certificate], capture_output=True, check=False)
    if made.returncode != 0:
        print("SKIP: TLS (no openssl to make a certificate)", flush=True)
        return
    seed(folder, "tls-host", 30)
    history = start(args, watchdog, folder, "history",
                    ["history", "--serve", "127.0.0.1:0", "--record", "record.jsonl",
                     "--tls-cert", certificate, "--tls-key", key])
    station = history.url().rstrip("/")
    assert station.startswith("https://127.0.0.1:"), station
    trusted = ssl.create_default_context(cafile=certificate)
    with urllib.request.urlopen(station + "/api/history", context=trusted, timeout=10) as answer:
        assert answer.status == 200
    try:
        urllib.request.urlopen(station.replace("https:", "http:") + "/api/history", timeout=10)
        raise AssertionError("plain HTTP answered on the TLS port")
    except (urllib.error.URLError, http.client.HTTPException, ConnectionError):
        pass
    database = fresh("pxr7_collect_tls")
    for number, (extra, code) in enumerate([((), 1), (("--ca-file", certificate), 0)]):
        case_folder = os.path.join(folder, str(number))
        os.makedirs(case_folder)
        program = collect(args, watchdog, case_folder, database, [station], "--once", *extra)
        assert program.wait(60) == code, program.output()
        if code:
            away = events(program, "collect_away")
            assert away and "certificate" in away[0]["reason"], program.output()
    assert sorted(rows(database, "bench, seq, line")) == sorted(
        record_identities(os.path.join(folder, "record.jsonl")))
    pages = start(args, watchdog, folder, "serve",
                  ["--json", "serve", "--database", database, "--listen", "127.0.0.1:0",
                   "--ca-file", certificate, f"--station={station}"])
    url = wait_for(lambda: next((e["url"] for e in events(pages, "serving")), None), 20,
                   "pxr7 serve's address")

    def through_tls():
        """A history alone has no snapshot: 404 once the overview got through TLS."""
        problem = get_json(url + "api/overview")["stations"][0]["problem"] or ""
        return "404" in problem
    wait_for(through_tls, 20, "the overview reaching the station over TLS")
    pages.stop()
    history.stop()
    print("PASS: TLS (collector, overview; a certificate not trusted refused)", flush=True)


def main_case(args, watchdog, scratch, fresh):
    database = fresh("pxr7_collect")
    stations = [Station(args, watchdog, scratch, "east", "east", 0),
                Station(args, watchdog, scratch, "west", "west", 0),
                Station(args, watchdog, scratch, "host", None, 1100)]
    for station in stations:
        station.start()
    collector = collect(args, watchdog, scratch, database, [s.url for s in stations])
    wait_for(lambda: len(events(collector, "collect_caught_up")) >= 3, 30, "the first catch-up")
    caught_up = stored_count(database)
    wait_for(lambda: stored_count(database) > caught_up, 30, "a line stored as it comes",
             interval=0.3)
    subprocess.run(["bash", args.rig, "pause", args.state], check=True)
    # Away until the collector has met it and the stations have written on meanwhile.
    written = lines_written(stations)
    wait_for(lambda: events(collector, "collect_database_away"), 40, "the database away")
    wait_for(lambda: lines_written(stations) > written, 30, "a line written while it is away")
    subprocess.run(["bash", args.rig, "resume", args.state], check=True)
    wait_for(lambda: events(collector, "collect_database_back"), 40, "the database back")
    stations[1].stop()
    wait_for(lambda: any(e["station"] == stations[1].url for e in events(collector, "collect_away")),
             15, "the station away")
    before_restart = lines_written(stations[1:2])
    stations[1].start()
    pages, pages_url = serve(args, watchdog, scratch, database, stations)

    def every_station_answers():
        rows = get_json(pages_url + "api/overview")["stations"]
        return all(row["answers"] for row in rows) and [row["bench"] for row in rows]
    overview = wait_for(every_station_answers, 20, "the overview of every station")
    assert overview[:2] == ["east", "west"] and overview[2], overview
    wait_for(lambda: lines_written(stations[1:2]) > before_restart, 30,
             "a line of the restarted station")
    for station in stations:  # the last lines are fetched from the records as they stay
        station.stop()
        station.serve_history()
    wanted = set()
    for station in stations:
        wanted.update(record_identities(station.record))

    def stored():
        got = rows(database, "bench, seq, line")
        return got if len(got) >= len(wanted) else None
    try:
        got = wait_for(stored, 40, "every line stored", interval=0.5)
    except AssertionError:
        print(collector.output()[-3000:], flush=True)
        raise
    collector.stop()
    for station in stations:
        station.stop()
    assert collector.wait(10) == 0, collector.output()
    assert len(got) == len(set(got)) == len(wanted), (len(got), len(wanted))
    assert set(map(tuple, got)) == wanted, "the lines stored are not the records' lines"
    benches = {}
    for bench, seq, _ in got:  # in arrival order
        assert seq > benches.get(bench, -(1 << 63)), f"bench {bench}: seq {seq} out of order"
        benches[bench] = seq
    totals = psql(database, "SELECT sum(ok + current + failed) FROM record_totals")
    assert int(totals) == len(wanted), (totals, len(wanted))
    assert events(collector, "collect_database_away"), collector.output()
    # Every bench in one summary and in the history pages.
    summary = subprocess.run([args.pxr7, "--json", "history", "--database", database],
                             capture_output=True, text=True, check=True)
    summed = json.loads(summary.stdout)
    assert summed["entries"] == len(wanted), summary.stdout[:300]
    per_bench = {bench["bench"]: bench["ok"] + bench["current"] + bench["failed"]
                 for bench in summed["benches"]}
    assert per_bench == {bench: sum(1 for b, _, _ in got if b == bench) for bench in benches}, \
        per_bench
    east = subprocess.run([args.pxr7, "--json", "history", "--database", database, "--bench",
                           "east"], capture_output=True, text=True, check=True)
    assert json.loads(east.stdout)["entries"] == per_bench["east"], east.stdout[:300]
    page = get_json(pages_url + "api/history?per_page=1")
    assert page["total"] == len(wanted), page["total"]
    assert sorted(page["choices"]["benches"]) == sorted(benches), page["choices"]["benches"]
    pages.stop()
    verify_stored_chain(args, database)
    print(f"PASS: {len(wanted)} lines of {len(benches)} benches, each once, in order", flush=True)


def verify_stored_chain(args, database):
    """history --verify over what was collected: every chain holds; a stored line changed
    afterwards is named."""
    def verify():
        done = subprocess.run([args.pxr7, "--json", "history", "--verify", "--database", database],
                              capture_output=True, text=True)
        return done.returncode, [json.loads(line) for line in done.stdout.splitlines()]
    code, found = verify()
    assert code == 0 and found[-1]["holds"] and found[-1]["streams"] >= 2, found
    seq = psql(database, "SELECT min(seq) FROM record_lines WHERE bench = 'east'"
                         " AND stream IS NOT NULL")
    psql(database, "UPDATE record_lines SET line = replace(line, '\"result\":\"',"
                   f" '\"result\":\"x') WHERE bench = 'east' AND seq = {seq}"
                   " AND stream IS NOT NULL")
    code, found = verify()
    breaks = [event for event in found if event["event"] == "verify_break"]
    assert code == 22 and len(breaks) == 1, found
    assert breaks[0]["break"] == "changed" and breaks[0]["seq"] == int(seq), breaks


def main():
    parser = argparse.ArgumentParser()
    for option in ("--pxr7", "--sim", "--rig", "--state"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    fresh = database_or_skip(args.rig, args.state)
    watchdog = Watchdog(240)
    with tempfile.TemporaryDirectory(prefix="pxr7-collect-") as scratch:
        try:
            once_cases(args, watchdog, scratch, fresh)
            key_cases(args, watchdog, scratch, fresh)
            tls_cases(args, watchdog, scratch, fresh)
            main_case(args, watchdog, scratch, fresh)
        finally:
            for program in STARTED:
                program.stop()
    watchdog.cancel()


if __name__ == "__main__":
    main()
