#!/usr/bin/python3
"""pxr7 serve in a real browser (headless Chromium through selenium): the overview of two
stations, a simulated one and one that is away, and the history of three benches filled into
the rig's database, filtered by bench, with hostile names shown as text.

    serve_test.py --pxr7 PATH --sim PATH --fill PATH --rig pg_rig.sh --artefacts FOLDER

Exits 0 on success, 1 on a failure, 77 when no browser or no database is there (unless
PXR7_REQUIRE_BROWSER=1 or PXR7_REQUIRE_DATABASE=1)."""

import argparse
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import traceback
import urllib.parse
from datetime import datetime, timedelta, timezone

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import figure_cases  # noqa: E402
import web_rig  # noqa: E402
from history_record import LANE_TEXT, as_bytes  # noqa: E402
from web_rig import check_widths, wait_for  # noqa: E402

SERVING = re.compile(r"Serving: (http://[^/\s]+/)")
HOSTILE_BENCH = "<img src=x onerror=alert(1)>"
HOSTILE_UNIT = "<svg onload=1>"
BENCHES = ("Bench A", HOSTILE_BENCH, "Prüfbank – Línea")
LIVE_BENCH = "Live bench – Zähler"
RISING_BENCH = "Bench F"

ROWS = """
return [...document.querySelectorAll(arguments[0])].map((row) => [...row.cells].map(
  (cell) => cell.textContent));
"""
# The history's own charts are SVG (data-chart); any other is a value that became markup.
MARKUP = "return document.querySelectorAll('main img, main svg:not([data-chart])').length;"


def database_or_skip(rig_script):
    state = os.environ.get("PXR7_TEST_DATABASE_STATE", "")
    made = subprocess.run(["bash", rig_script, "fresh", state, "pxr7_serve_web"],
                          capture_output=True, text=True)
    url = made.stdout.strip()
    if made.returncode != 0 or not url.startswith("postgresql://"):
        required = os.environ.get("PXR7_REQUIRE_DATABASE") == "1"
        print(f"{'FAIL' if required else 'SKIP'}: no database in the rig", flush=True)
        sys.exit(1 if required else web_rig.SKIPPED)
    return url


def fill(fill_program, url):
    lines = []
    for b, bench in enumerate(BENCHES):
        for seq in range(1, 5):
            finished = f"2026-12-0{seq}T1{b}:00:00Z"
            result = "ok" if seq % 2 else "no_handshake"
            unit = HOSTILE_UNIT if seq == 1 else f"U{b}{seq}"
            # Lines 2 and 3 name their lane with characters beyond U+00FF, written both ways:
            # as its characters, and as its bytes as lines did before names were UTF-8.
            lane = {2: LANE_TEXT, 3: as_bytes(LANE_TEXT)}.get(seq, "L1")
            line = {"finished": finished, "result": result, "lane_name": lane, "unit_id": unit,
                    "bench": bench, "seq": seq}
            # The filler takes each text as its bytes, one per character.
            lines.append(json.dumps({"bench": as_bytes(bench), "seq": seq, "finished": finished,
                                     "lane": as_bytes(lane), "unit": unit, "result": result,
                                     "line": json.dumps(line)}))
    subprocess.run([fill_program, url], input="\n".join(lines) + "\n", text=True, check=True)


def fill_rising(fill_program, url):
    """A bench whose fixture's failures rise, over the days up to now (inside the overview's
    window), put in after the other benches' pages were checked: its lines are the newest."""
    start = datetime.now(timezone.utc).replace(microsecond=0) - timedelta(days=5)
    rising = figure_cases.fixture_records(start, RISING_BENCH)
    lines = [json.dumps({"bench": RISING_BENCH, "seq": line["seq"], "finished": line["finished"],
                         "lane": as_bytes(line["lane_name"]), "unit": line["unit_id"],
                         "result": line["result"], "line": json.dumps(line)})
             for line in rising]
    subprocess.run([fill_program, url], input="\n".join(lines) + "\n", text=True, check=True)
    return rising


def away_url():
    with socket.create_server(("127.0.0.1", 0)) as closed:
        return f"http://127.0.0.1:{closed.getsockname()[1]}"


def overview(rig, url, station):
    rig.browser.get(url)

    def rows_seen():
        rows = rig.browser.execute_script(ROWS, "#stations tbody tr")
        return rows if len(rows) == 2 and "away since" in rows[1][2] and rows[0][2] == "yes" \
            else None
    rows = wait_for(rows_seen, 20, "the station answering and the away one said away")
    assert rows[0][0] == LIVE_BENCH and rows[0][1] == station, rows
    assert rows[1][0] == rows[1][1], rows  # no bench name known: its URL
    link = rig.browser.find_element("css selector", "#stations tbody tr td.bench a")
    assert link.get_attribute("href") == station + "/", link.get_attribute("href")
    rig.screenshot("serve-overview.png")
    check_widths(rig, "serve-overview", "#stations td, #stations th")


def history(rig, url):
    rig.browser.get(url + "history")
    rows = wait_for(lambda: rig.browser.execute_script(ROWS, "#history tbody tr"), 20,
                    "the history's rows")
    assert sorted({row[1] for row in rows}) == sorted(BENCHES), rows
    assert HOSTILE_UNIT in {row[3] for row in rows}, rows
    assert rig.browser.execute_script(MARKUP) == 0, "a value became markup"
    back = rig.browser.find_element("id", "live-link")
    assert back.is_displayed() and back.text == "Every bench", back.text
    rig.screenshot("serve-history.png")
    check_widths(rig, "serve-history", "#history tbody tr:first-child td, #history thead th")
    lanes = {row[2] for row in rows}
    assert lanes == {"L1", LANE_TEXT}, lanes
    totals = rig.browser.execute_script(ROWS, "#lane-totals tbody tr")
    assert sorted(row[0] for row in totals) == sorted(["L1", LANE_TEXT]), totals
    options = rig.browser.execute_script(
        "return [...document.querySelectorAll('#lane option')].map((o) => o.textContent);")
    assert sorted(options) == sorted(["any", "L1", LANE_TEXT]), options
    rig.browser.get(url + "history?bench=" + HOSTILE_BENCH.replace(" ", "%20"))
    rows = wait_for(lambda: rig.browser.execute_script(ROWS, "#history tbody tr"), 20,
                    "the filtered rows")
    assert len(rows) == 4 and {row[1] for row in rows} == {HOSTILE_BENCH}, rows
    chosen = rig.browser.execute_script("return document.getElementById('bench').value;")
    assert chosen == HOSTILE_BENCH, chosen
    assert rig.browser.execute_script(MARKUP) == 0, "a value became markup"


def bench_figures(rig, url, rising):
    """The overview's row of each bench from the database: the rising bench's falling fixture
    named with its figures, the figures of the window those of its lines."""
    rig.browser.get(url)
    expected = figure_cases.expected_figures(rising)
    rows = wait_for(lambda: rig.browser.execute_script(
        "const rows = [...document.querySelectorAll('#benches tbody tr')].map((tr) =>"
        " [tr.dataset.bench, tr.cells[1].textContent, tr.cells[4].textContent,"
        "  [...tr.querySelectorAll('.falling-mark')].map((p) => [p.dataset.lane, p.textContent])]);"
        "return rows.some((row) => row[0] === arguments[0]) ? rows : null;", RISING_BENCH),
        25, "the benches' figures with the rising bench")
    found = {row[0]: row for row in rows}
    assert set(found) == set(BENCHES) | {RISING_BENCH}, rows
    _, yield_text, failed, marks = found[RISING_BENCH]
    assert yield_text == figure_cases.percent(expected["yield"]), found[RISING_BENCH]
    assert failed == str(expected["failed"]), found[RISING_BENCH]
    assert [lane for lane, _ in marks] == [figure_cases.RISING], marks
    assert "yield falling: 71.4 % against the bench's" in marks[0][1], marks
    assert all(not row[3] for name, row in found.items() if name != RISING_BENCH), rows
    assert rig.browser.execute_script(MARKUP) == 0, "a value became markup"
    check_widths(rig, "serve-benches", "#benches td, #benches th")


def rising_history(rig, url, rising):
    """The history of the rising bench: its figures, and an entry in words with its unit."""
    rig.fixture = rising
    rig.history_url = url
    rig.browser.get(url + "history?" + urllib.parse.urlencode({"bench": RISING_BENCH}))
    figure_cases.check_figures(rig, figure_cases.expected_figures(rising), "serve-figures")
    seqs = [line["seq"] for line in rising if line["unit_id"] == "U-7"]
    rig.figure_name = "serve-figures"
    figure_cases.check_entry(
        rig, lambda k: "/entry?" + urllib.parse.urlencode({"bench": RISING_BENCH, "seq": seqs[k]}),
        figure_cases.UNIT_LANE)


def run(rig, args):
    database = database_or_skip(args.rig)
    fill(args.fill, database)
    folder = rig.folder("station")
    with open(os.path.join(folder, "bench.conf"), "w", encoding="utf-8") as file:
        file.write(f"bench = {LIVE_BENCH}\n")
    station = rig.start(folder, ["station", "--serve", "127.0.0.1:0", "--record",
                                 "record.jsonl", "--bench", "bench.conf"],
                        "[bridge 0]\nversion = PXR7 V1.02\n")
    station_url = station.url().rstrip("/")
    serve = rig.start(rig.folder("serve"), ["serve", "--database", database, "--station",
                                            station_url, "--station", away_url(), "--listen",
                                            "127.0.0.1:0"])
    url = wait_for(lambda: SERVING.search(serve.output()), 20, "the Serving line").group(1)
    overview(rig, url, station_url)
    history(rig, url)
    rising = fill_rising(args.fill, database)
    rising_history(rig, url, rising)
    bench_figures(rig, url, rising)  # read again within the overview's 10 s
    assert not rig.page_errors(), rig.page_errors()


def main():
    parser = argparse.ArgumentParser()
    for name in ("--pxr7", "--sim", "--fill", "--rig", "--artefacts"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    chromium, chromedriver = web_rig.browser_or_skip()
    os.makedirs(args.artefacts, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="pxr7-serve-web-")
    watchdog = web_rig.Watchdog(120)
    browser = watchdog.watch_browser(web_rig.start_browser(chromium, chromedriver,
                                                            os.path.join(scratch, "profile")))
    rig = web_rig.Rig(args.pxr7, args.sim, scratch, args.artefacts, browser, watchdog)
    failed = False
    try:
        run(rig, args)
    except Exception:  # any failure: keep what shows it, then fail
        failed = True
        traceback.print_exc()
        rig.keep_evidence("serve-failure")
    finally:
        rig.close()
        browser.quit()
        watchdog.cancel()
    if not failed:
        shutil.rmtree(scratch, ignore_errors=True)
    print("FAIL" if failed else "PASS", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
