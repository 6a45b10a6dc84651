"""The history's figures and an entry in words, in a browser: a record in which one fixture's
failures rise (10 of 35 in the last week against 1 of 100 on the others), its counts, yield,
reasons and the falling mark held against figures worked out here from the record itself."""

import json
import os
from collections import Counter
from datetime import datetime, timedelta, timezone

from selenium.webdriver.common.by import By

from web_rig import check_widths, wait_for

RISING = "Fixture F"
STEADY = ("Fixture A", "Fixture B")
UNIT_LANE = "Fixture C"
# Lanes named as markup, as what a plain object inherits, right to left, and very long.
HOSTILE = ("<b>bold</b>", "constructor", "\u05de\u05db\u05e9\u05d9\u05e8 \u202e1", "L" * 200)
STOPPED = {"hangup", "interrupted", "quit", "terminated"}
# The words and codes of the exit-code table for the reasons the record holds.
REASONS = {"handshake_timeout": (6, "the meter never answered the reset (handshake not received)"),
           "meter_silent": (15, "the meter did not answer after the upgrade"),
           "busy": (11, None)}
START = datetime(2026, 12, 1, 6, 0, tzinfo=timezone.utc)
LEAST_METERS, POINTS_BELOW = 10, 10


def _time(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def fixture_lines():
    """(lane, result, unit id, operator) of each meter, oldest first."""
    meters = []
    rising = ["handshake_timeout"] * 6 + ["meter_silent"] * 4 + ["ok"] * 25
    for i, result in enumerate(rising):
        meters.append((RISING, result, f"F-{i}", "Ann"))
    for lane in STEADY:
        for i in range(50):
            meters.append((lane, "busy" if (lane, i) == (STEADY[0], 7) else "ok", f"{lane[-1]}-{i}",
                           "Bo"))
    for i, lane in enumerate(HOSTILE):
        meters.append((lane, "ok", f"H-{i}", "<i>Cy</i>"))
    meters += [(STEADY[1], "interrupted", "S-1", "Bo"), (RISING, "terminated", "S-2", "Ann")]
    # One unit on a fixture of its own: failed twice, then upgraded.
    meters += [(UNIT_LANE, "meter_silent", "U-7", "Ann"), (UNIT_LANE, "busy", "U-7", "Bo"),
               (UNIT_LANE, "ok", "U-7", "Bo")]
    return meters


def fixture_records(start, bench="bench-9"):
    """The record's lines as objects, a meter every 40 minutes from start."""
    lines = []
    for seq, (lane, result, unit, operator) in enumerate(fixture_lines(), start=1):
        finished = start + timedelta(minutes=40 * seq)
        line = {"schema": 1, "bench": bench, "seq": seq, "command": "station",
                "started": _time(finished - timedelta(seconds=30 + seq % 7)),
                "finished": _time(finished), "host": "bench-9", "lead_serial": f"PX{seq:06d}",
                "lead_index": 0, "lead_location": None, "lane_name": lane, "unit_id": unit,
                "result": result, "version_before": "PXR7 V1.02",
                "version_after": "PXR7 V1.03" if result in ("ok", "current") else None,
                "attempts": 1, "records_sent": 314, "records_total": 314,
                "duration_s": 30 + seq % 7, "operator": operator}
        lines.append(line)
    return lines


def write_fixture(path):
    """The record, over the week from START; returns the lines as parsed."""
    lines = fixture_records(START)
    with open(path, "w", encoding="utf-8") as file:
        file.write("".join(json.dumps(line, ensure_ascii=False) + "\n" for line in lines))
    return lines


def expected_figures(lines):
    """What the figures must say, from the lines: the contract of docs/json.md, "summary"."""
    counted = [line for line in lines if line["result"] not in STOPPED]
    kinds = Counter(line["result"] if line["result"] in ("ok", "current") else "failed"
                    for line in counted)
    outcomes = sum(kinds.values())
    good = kinds["ok"] + kinds["current"]
    lanes = {}
    for line in counted:
        lanes.setdefault(line["lane_name"], []).append(line["result"] in ("ok", "current"))
    falling = {lane for lane, results in lanes.items()
               if len(results) >= LEAST_METERS and
               100 * sum(results) * outcomes <= 100 * good * len(results) -
               POINTS_BELOW * len(results) * outcomes}
    reasons = Counter(line["result"] for line in counted if line["result"] not in ("ok", "current"))
    order = sorted(reasons, key=lambda word: (-reasons[word], word))
    durations = sorted(line["duration_s"] for line in counted)
    middle = len(durations) // 2
    median = durations[middle] if len(durations) % 2 else (durations[middle - 1] + durations[middle]) / 2
    return {"ok": kinds["ok"], "current": kinds["current"], "failed": kinds["failed"],
            "yield": good / outcomes, "falling": falling, "reasons": [(w, reasons[w]) for w in order],
            "lanes": lanes, "median": median}


def percent(value):
    return f"{value * 100:.1f} %"


def check_figures(rig, expected, screenshots):
    """The figures at the top of the history page are the record's."""
    browser = rig.browser
    shown = wait_for(lambda: browser.execute_script(
        "const f = document.getElementById('figures');"
        "return f.hidden ? null : ['yield', 'ok', 'current', 'failed', 'median'].map("
        "(k) => document.getElementById('fig-' + k).textContent);"), 15, "the figures")
    median = f"{expected['median']:.1f} s"
    assert shown == [percent(expected["yield"]), str(expected["ok"]), str(expected["current"]),
                     str(expected["failed"]), median], (shown, expected)
    marks = browser.execute_script(
        "return [...document.querySelectorAll('#falling li')].map((li) =>"
        " [li.dataset.lane, li.textContent]);")
    assert {lane for lane, _ in marks} == expected["falling"] == {RISING}, marks
    results = expected["lanes"][RISING]
    words = (f"yield falling: {percent(sum(results) / len(results))} against the bench's "
             f"{percent(expected['yield'])}")
    assert words in marks[0][1] and "(10 of 35 failed)" in marks[0][1], marks
    lanes = browser.execute_script(
        "return [...document.querySelectorAll('#lane-chart li[data-lane]')].map((li) =>"
        " [li.dataset.lane, li.hasAttribute('data-falling'),"
        "  li.querySelector('.lane-name').textContent, !!li.querySelector('svg rect.fig-bar')]);")
    assert {lane for lane, *_ in lanes} == set(expected["lanes"]), lanes
    assert all(name == lane and bar for lane, _, name, bar in lanes), lanes
    assert {lane for lane, marked, *_ in lanes if marked} == {RISING}, lanes
    reasons = browser.execute_script(
        "return [...document.querySelectorAll('#reasons li[data-result]')].map((li) =>"
        " [li.dataset.result, li.querySelector('.count').textContent,"
        "  li.querySelector('.words').textContent]);")
    assert [(r, int(c)) for r, c, _ in reasons] == expected["reasons"], reasons
    for result, _, words_shown in reasons:
        assert REASONS[result][1] in (None, words_shown), reasons
    days = browser.execute_script("return document.querySelectorAll('#day-chart rect.fig-bar').length;")
    assert days == len({line["finished"][:10] for line in rig.fixture
                        if line["result"] not in STOPPED}), days
    assert not browser.find_elements(By.CSS_SELECTOR, "main b, main i, main svg:not([data-chart])"), \
        "a name became markup"
    check_widths(rig, screenshots, "#figures dd, #falling li, #lane-chart li, #reasons li")


def check_entry(rig, number_of, expected_lane):
    """The entry of U-7's newest line: in words first, then the unit's other lines."""
    browser = rig.browser
    browser.get(rig.history_url.rstrip("/") + number_of(-1))
    facts = wait_for(lambda: browser.execute_script(
        "return document.getElementById('in-words').hidden ? null :"
        " Object.fromEntries([...document.querySelectorAll('#entry-facts dd')].map((dd) =>"
        " [dd.dataset.fact, dd.textContent]));"), 15, "the entry in words")
    newest = [line for line in rig.fixture if line["unit_id"] == "U-7"][-1]
    assert facts["Fixture (lane)"] == expected_lane and facts["Operator"] == "Bo", facts
    assert facts["Unit id"] == "U-7", facts
    assert facts["When (UTC)"] == newest["finished"].replace("T", " ").rstrip("Z"), facts
    assert facts["Versions before → after"] == "PXR7 V1.02 → PXR7 V1.03", facts
    sentence = browser.find_element(By.ID, "entry-sentence").text
    assert "upgraded and verified" in sentence, sentence
    others = browser.execute_script(
        "return [...document.querySelectorAll('#unit-lines li a')].map((a) =>"
        " [a.getAttribute('href'), a.parentNode.dataset.result]);")
    assert [result for _, result in others] == ["busy", "meter_silent"], others
    assert [href for href, _ in others] == [number_of(-2), number_of(-3)], others
    check_widths(rig, f"{rig.figure_name}-entry", "#entry-facts dd, #unit-lines li", zone=False)
    browser.find_element(By.CSS_SELECTOR, "#unit-lines li a").click()
    sentence = wait_for(lambda: browser.execute_script(
        "return document.getElementById('in-words').hidden ? null :"
        " document.getElementById('entry-sentence').textContent;"), 15, "the older line")
    assert "busy" in sentence and "exit code 11" in sentence, sentence


def record_figures(rig):
    folder = rig.folder("figures")
    path = os.path.join(folder, "record.jsonl")
    rig.fixture = write_fixture(path)
    program = rig.start(folder, ["history", "--serve", "127.0.0.1:0", "--record", path])
    rig.history_url = program.url()
    rig.browser.get(rig.history_url + "history")
    check_figures(rig, expected_figures(rig.fixture), "figures")
    numbers = [i + 1 for i, line in enumerate(rig.fixture) if line["unit_id"] == "U-7"]
    rig.figure_name = "figures"
    check_entry(rig, lambda k: f"/entry?line={numbers[k]}", UNIT_LANE)
    assert not rig.page_errors(), rig.page_errors()
