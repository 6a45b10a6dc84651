"""The live page over real station runs on simulated leads: tiles that follow the leads and
their meters, hostile names shown as text, and a stream cut part-way that loses nothing."""

import collections
import json
import os
import time
import urllib.request

from selenium.common.exceptions import NoAlertPresentException

from history_record import LANE_TEXT, label
from web_rig import Proxy, check_widths, wait_for

LOST = "Connection to the station lost: reconnecting…"
ENDED = "The station has ended."
HOSTILE_SERIAL = "<svg onload=1>"
HOSTILE_NAME = "<img src=x onerror=alert(1)>"
METER = "version = PXR7 V1.02\n"

# What the page shows now, in one call: the tiles, the banner, the totals, the outcomes, and
# how many elements a value could have smuggled in as markup.
SAMPLE = """
const data = (node, key) => node ? node.dataset[key] || "" : "";
const banner = document.getElementById("banner");
return {
  tiles: [...document.querySelectorAll("#tiles .tile")].map((tile) => ({
    lane: tile.dataset.lane, serial: tile.dataset.serial, state: tile.dataset.state,
    phase: tile.dataset.phase, label: tile.querySelector(".label").textContent,
    fill: parseFloat((tile.querySelector(".fill") || {style: {}}).style.width || "-1"),
    last: data(tile.querySelector(".last"), "result")})),
  banner: banner.hidden ? "" : banner.textContent,
  ok: document.getElementById("total-ok").textContent,
  failed: document.getElementById("total-failed").textContent,
  outcomes: [...document.querySelectorAll("#outcomes tbody tr")].map((row) => ({
    label: row.cells[1].textContent, result: row.dataset.result})),
  markup: document.querySelectorAll(
    "#tiles img, #tiles svg, #outcomes img, #outcomes svg, #summary img").length};
"""


def watch(rig, on_sample, timeout=60):
    """Samples the page every 100 ms until the station has ended; returns the samples."""
    samples = []
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        sample = rig.browser.execute_script(SAMPLE)
        samples.append(sample)
        assert sample["markup"] == 0, f"a value became markup: {sample}"
        on_sample(sample)
        if sample["banner"] == ENDED:
            return samples
        time.sleep(0.1)
    raise AssertionError(f"the page never said the station ended; last: {samples[-1]}")


def tile_of(sample, serial):
    return next((tile for tile in sample["tiles"] if tile["serial"] == serial), None)


def check_served_tile(samples, serial, waits):
    """(waiting ->) sending with the bar moving forward -> ok, in that order."""
    seen = [tile_of(sample, serial) for sample in samples]
    seen = [tile for tile in seen if tile]
    states = [tile["state"] for tile in seen]
    sending = [i for i, tile in enumerate(seen) if tile["phase"] == "sending"]
    assert sending, f"{serial}: never sending: {states}"
    if waits:
        assert "waiting" in states[:sending[0]], f"{serial}: not waiting first: {states}"
    widths = [seen[i]["fill"] for i in sending]
    assert len(set(widths)) >= 2 and widths == sorted(widths), f"{serial}: bar {widths}"
    assert any(tile["last"] == "ok" for tile in seen[sending[-1]:]), f"{serial}: no ok"


def check_headers(url):
    with urllib.request.urlopen(url, timeout=10) as reply:
        assert "script-src 'self'" in reply.headers["Content-Security-Policy"], reply.headers


def live_station(rig):
    folder = rig.folder("live")
    with open(os.path.join(folder, "bench.conf"), "w", encoding="utf-8") as file:
        file.write(f"serial PX7A0001 = {HOSTILE_NAME}\nserial PX7A0002 = {LANE_TEXT}\n")
    scenario = (f'[bridge 0]\nserial = "{HOSTILE_SERIAL}"\n{METER}meter_windows = 4500-60000\n'
                f"[bridge 1]\nappear_ms = 6000\n{METER}"
                f"[bridge 2]\nleave_ms = 8000\n{METER}meter_windows = 50000-60000\n")
    program = rig.start(folder, ["station", "--serve", "127.0.0.1:0", "--record", "record.jsonl",
                                 "--count", "2", "--bench", "bench.conf"], scenario)
    url = program.url()
    check_headers(url)
    rig.browser.get(url)
    shot = []

    def screenshot_while_sending(sample):
        if not shot and any(tile["phase"] == "sending" and tile["fill"] > 30
                            for tile in sample["tiles"]):
            rig.screenshot("live.png")
            shot.append(True)

    samples = watch(rig, screenshot_while_sending)
    rig.screenshot("live-ended.png")
    assert program.wait(20) == 0, program.output()
    check_served_tile(samples, HOSTILE_SERIAL, True)
    check_served_tile(samples, "PX7A0001", False)
    assert tile_of(samples[0], "PX7A0001") is None, "the late lead was there from the start"
    assert any(tile_of(sample, "PX7A0002") for sample in samples), "the pulled lead never shown"
    last = samples[-1]
    assert tile_of(last, "PX7A0002") is None, f"the pulled lead's tile stayed: {last['tiles']}"
    labels = {tile["serial"]: tile["label"] for sample in samples for tile in sample["tiles"]}
    assert labels[HOSTILE_SERIAL] == HOSTILE_SERIAL and labels["PX7A0001"] == HOSTILE_NAME, labels
    assert labels["PX7A0002"] == LANE_TEXT, labels
    assert (last["ok"], last["failed"]) == ("2", "0"), last
    assert sorted(o["label"] for o in last["outcomes"]) == sorted([HOSTILE_SERIAL, HOSTILE_NAME])
    try:
        rig.browser.switch_to.alert.dismiss()
        raise AssertionError("a value ran as script: an alert came up")
    except NoAlertPresentException:
        pass
    check_widths(rig, "live", "#outcomes tbody td, #tiles .tile")
    assert not rig.page_errors(), rig.page_errors()


def record_outcomes(path):
    if not os.path.exists(path):
        return collections.Counter()
    with open(path, encoding="utf-8") as file:
        entries = [json.loads(line) for line in file if line.strip()]
    return collections.Counter((label(entry), entry["result"]) for entry in entries)


def dropped_connection(rig):
    """Two leads, three meters each, each clipped on for 7 s (room for a slow run, as under the
    sanitizers), 3 s apart; a cut in each of the first two rounds, and the third round leaves
    the page time to come back before the station ends (and with it the server)."""
    folder = rig.folder("reconnect")
    scenario = "".join(f"[bridge {n}]\n{METER}meter_windows = {500 + 700 * n}-{7500 + 700 * n},"
                       f"{10500 + 700 * n}-{17500 + 700 * n},{20500 + 700 * n}-60000\n"
                       for n in range(2))
    program = rig.start(folder, ["station", "--serve", "127.0.0.1:0", "--record", "record.jsonl",
                                 "--count", "6"], scenario)
    server_port = int(program.url().rstrip("/").rsplit(":", 1)[1])
    proxy = Proxy(server_port)
    rig.browser.get(f"http://127.0.0.1:{proxy.port}/")
    last_cut = [0.0]
    record = os.path.join(folder, "record.jsonl")
    away = []  # per cut: the record's lines when the page lost the stream, and when it was back

    # A cut while a meter is nearly done, so that its outcome comes while the page is away.
    def cut_near_the_end(sample):
        nearly = any(tile["phase"] == "sending" and tile["fill"] > 75 for tile in sample["tiles"])
        if away and len(away[-1]) == 1 and sample["banner"] == "":
            away[-1].append(sum(record_outcomes(record).values()))
        if nearly and proxy.cuts < 2 and time.monotonic() - last_cut[0] > 6:
            away.append([sum(record_outcomes(record).values())])
            proxy.cut(2.5)
            last_cut[0] = time.monotonic()
            wait_for(lambda: rig.browser.execute_script(SAMPLE)["banner"] == LOST, 2,
                     "the banner saying the connection is lost", 0.05)

    samples = watch(rig, cut_near_the_end, timeout=75)
    proxy.close()
    # What is checked is that the page lost no outcome: a meter a loaded machine made fail
    # (exit 17) is one of them.
    assert program.wait(20) in (0, 17), program.output()
    assert proxy.cuts == 2, f"only {proxy.cuts} cuts"
    shown = collections.Counter((o["label"], o["result"]) for o in samples[-1]["outcomes"])
    recorded = record_outcomes(record)
    assert any(len(cut) == 2 and cut[1] > cut[0] for cut in away), f"no outcome while away: {away}"
    assert shown == recorded, f"page {shown} record {recorded}"
    assert sum(recorded.values()) == 6, recorded
    assert not rig.page_errors(), rig.page_errors()
