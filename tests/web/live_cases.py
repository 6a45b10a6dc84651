"""The live page over real station runs on simulated leads: tiles that follow the leads and
their meters, hostile names shown as text, a failed meter said in words and in red (with the
sound the supervisor allowed), the end said with its time and result, and a stream cut
part-way that greys the board and loses nothing."""

import collections
import json
import os
import re
import subprocess
import time
import urllib.request

from selenium.common.exceptions import NoAlertPresentException

from history_record import LANE_TEXT, label
from web_rig import Proxy, check_widths, wait_for

LOST = "Connection to the station lost: reconnecting…"
# The bench file takes names up to 64 bytes: this one is that long, with markup, right-to-left
# text and a long run without a blank.
HOSTILE_BENCH = "<b>x</b> שולחן בדיקה Prüfstand3OstHalleBLinie07Wing44"
ENDED = re.compile(r"The station ended at \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC: (.*)\. "
                   r"(\d+) ok, (\d+) already current, (\d+) failed\.")
HOSTILE_SERIAL = "<svg onload=1>"
HOSTILE_NAME = "<img src=x onerror=alert(1)>"
METER = "version = PXR7 V1.02\n"

# What the page shows now, in one call: the tiles, the banner, the totals, the outcomes, and
# how many elements a value could have smuggled in as markup.
SAMPLE = r"""
const data = (node, key) => node ? node.dataset[key] || "" : "";
const banner = document.getElementById("banner");
return {
  tiles: [...document.querySelectorAll("#tiles .tile")].map((tile) => ({
    lane: tile.dataset.lane, serial: tile.dataset.serial, state: tile.dataset.state,
    phase: tile.dataset.phase, label: tile.querySelector(".label").textContent,
    fill: parseFloat((tile.querySelector(".fill") || {style: {}}).style.width || "-1"),
    last: data(tile.querySelector(".last"), "result"), tone: tile.dataset.tone,
    progress: (tile.querySelector(".progress-text") || {}).textContent || "",
    attempts: (tile.textContent.match(/attempt \d/g) || []).length})),
  banner: banner.hidden ? "" : banner.textContent,
  kind: banner.hidden ? "" : banner.dataset.kind,
  lost: document.body.classList.contains("lost"),
  grey: getComputedStyle(document.getElementById("tiles")).filter,
  ok: document.getElementById("total-ok").textContent,
  failed: document.getElementById("total-failed").textContent,
  outcomes: [...document.querySelectorAll("#outcomes tbody tr")].map((row) => ({
    label: row.cells[1].textContent, result: row.dataset.result})),
  markup: document.querySelectorAll("#tiles img, #tiles svg, #outcomes img, #outcomes svg, " +
    "header img, header b, #standin b").length,
  codes: codes()};

// A code where words belong: snake_case in a text a person sees (the title too).
function codes() {
  const code = /\b[a-z0-9]+(?:_[a-z0-9]+)+\b/g;
  const found = document.title.match(code) || [];
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) {
    if (node.parentElement && node.parentElement.getClientRects().length)
      found.push(...(node.textContent.match(code) || []));
  }
  return found;
}
"""


# The heading's names and the stand-in banner.
NAMES = """
const standin = document.getElementById("standin");
return {title: document.title, bench: document.getElementById("bench").textContent,
        host: document.getElementById("host").textContent,
        standin: standin.hidden ? null : standin.textContent};
"""


def watch(rig, on_sample, timeout=60):
    """Samples the page every 100 ms until the station has ended; returns the samples."""
    samples = []
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        sample = rig.browser.execute_script(SAMPLE)
        samples.append(sample)
        assert sample["markup"] == 0, f"a value became markup: {sample}"
        assert not sample["codes"], f"codes where words belong: {sample['codes']}"
        assert all(tile["attempts"] <= 1 for tile in sample["tiles"]), f"attempt twice: {sample}"
        on_sample(sample)
        if sample["kind"] == "ended":
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
        file.write(f"bench = Line 3 east\nserial PX7A0001 = {HOSTILE_NAME}\n"
                   f"serial PX7A0002 = {LANE_TEXT}\n")
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
    assert ENDED.fullmatch(last["banner"]).groups() == ("success", "2", "0", "0"), last["banner"]
    assert all(not tile["progress"].endswith(" left") for tile in last["tiles"]), last["tiles"]
    names = rig.browser.execute_script(NAMES)
    assert names["bench"] == "Line 3 east" and names["title"].startswith(
        f"PXR7 station Line 3 east on {names['host']}"), names
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


def check_lost(sample, frozen):
    """While away: the board greyed and said to be as it was, its times left standing still."""
    assert sample["banner"].startswith(LOST + " The lanes show the station as it was at "), sample
    assert sample["lost"] and sample["grey"] == "grayscale(1)", sample
    progress = [tile["progress"] for tile in sample["tiles"]]
    assert any(" left" in line for line in progress), progress
    assert not frozen[-1] or frozen[-1][0] == progress, f"moved while away: {frozen[-1]} {progress}"
    frozen[-1].append(progress)


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
    frozen = []  # per cut: the tiles' progress lines when it went, and each time while away

    # A cut while a meter is nearly done, so that its outcome comes while the page is away.
    def cut_near_the_end(sample):
        if sample["kind"] == "lost" and frozen:
            check_lost(sample, frozen)
        nearly = any(tile["phase"] == "sending" and tile["fill"] > 75 for tile in sample["tiles"])
        if away and len(away[-1]) == 1 and sample["banner"] == "":
            away[-1].append(sum(record_outcomes(record).values()))
        if nearly and proxy.cuts < 2 and time.monotonic() - last_cut[0] > 6:
            away.append([sum(record_outcomes(record).values())])
            proxy.cut(2.5)
            last_cut[0] = time.monotonic()
            frozen.append([])
            wait_for(lambda: rig.browser.execute_script(SAMPLE)["kind"] == "lost", 2,
                     "the banner saying the connection is lost", 0.05)
            rig.screenshot(f"live-lost-{proxy.cuts}.png")
        elif not sample["kind"]:
            assert not sample["lost"] and sample["grey"] == "none", sample

    samples = watch(rig, cut_near_the_end, timeout=75)
    proxy.close()
    # What is checked is that the page lost no outcome: a meter a loaded machine made fail
    # (exit 17) is one of them.
    assert program.wait(20) in (0, 17), program.output()
    assert proxy.cuts == 2, f"only {proxy.cuts} cuts"
    shown = collections.Counter((o["label"], o["result"]) for o in samples[-1]["outcomes"])
    recorded = record_outcomes(record)
    assert any(len(cut) == 2 and cut[1] > cut[0] for cut in away), f"no outcome while away: {away}"
    assert all(len(cut) >= 5 for cut in frozen), f"too few looks while away: {frozen}"
    assert shown == recorded, f"page {shown} record {recorded}"
    assert sum(recorded.values()) == 6, recorded
    assert not rig.page_errors(), rig.page_errors()


# Counts the audio contexts the page makes and the tones it starts, in place of a speaker.
AUDIO_PROBE = """
window.pxr7Audio = {made: 0, tones: 0};
const Real = window.AudioContext;
window.AudioContext = class extends Real {
  constructor(...args) { super(...args); window.pxr7Audio.made += 1; }
  createOscillator() { window.pxr7Audio.tones += 1; return super.createOscillator(); }
};
const control = document.getElementById("sound");
return {checked: control.checked, kept: localStorage.getItem("pxr7.live.sound")};
"""

# A failed tile: red across its width (the state line's band fills the tile inside its border).
RED_TILES = """
return [...document.querySelectorAll("#tiles .tile.tone-bad")].map((tile) => {
  const band = tile.querySelector(".state");
  return {band: getComputedStyle(band).backgroundColor,
          across: Math.abs(band.getBoundingClientRect().width - tile.clientWidth) <= 1};
});
"""


CONTROLS = """
return [...document.querySelectorAll("button, input, select, textarea, [contenteditable]")]
  .map((node) => node.id);
"""


def stand_in_notice(rig):
    """The program's own warning when its image is the stand-in; None for a real image."""
    about = subprocess.run([rig.pxr7, "about"], capture_output=True, text=True, timeout=20)
    return next((line for line in about.stdout.splitlines()
                 if line.startswith("Firmware image: a stand-in")), None)


def check_sound_control(rig):
    """Off until the supervisor allows it; allowing it (the gesture browsers ask for) makes the
    audio context and plays the alarm once, so it is heard to work."""
    before = rig.browser.execute_script(AUDIO_PROBE)
    assert before == {"checked": False, "kept": None}, before
    rig.browser.find_element("id", "sound").click()
    audio = rig.browser.execute_script(
        "return [window.pxr7Audio, localStorage.getItem('pxr7.live.sound')]")
    assert audio == [{"made": 1, "tones": 2}, "on"], audio


def failed_meter(rig):
    """A meter that never answers the reset: tried twice, then failed for good, on a bench with
    a hostile name, and its lane out of service after it; the page says it all in words, the
    tile turns red, the alarm sounds, and the page offers no control to take the lane back."""
    folder = rig.folder("failed")
    assert len(HOSTILE_BENCH.encode()) == 64
    with open(os.path.join(folder, "bench.conf"), "w", encoding="utf-8") as file:
        file.write(f"bench = {HOSTILE_BENCH}\nout_of_service_after = 1\n")
    scenario = f"[bridge 0]\nhandshake = none\n{METER}meter_windows = 3000-60000\n"
    program = rig.start(folder, ["station", "--serve", "127.0.0.1:0", "--record", "record.jsonl",
                                 "--count", "1", "--retries", "1", "--bench", "bench.conf"],
                        scenario)
    rig.browser.get(program.url())
    wait_for(lambda: rig.browser.execute_script(SAMPLE)["tiles"], 10, "the lane's tile")
    check_sound_control(rig)
    # The choice is kept for the next visit, which makes its audio context when it must sound.
    rig.browser.refresh()
    wait_for(lambda: rig.browser.execute_script(SAMPLE)["tiles"], 10, "the tile again")
    assert rig.browser.execute_script(AUDIO_PROBE) == {"checked": True, "kept": "on"}
    samples = watch(rig, lambda sample: None)
    assert program.wait(20) == 17, program.output()
    assert any(tile["attempts"] for sample in samples for tile in sample["tiles"]), \
        "never showed a second attempt"
    last = samples[-1]
    assert [(tile["state"], tile["tone"]) for tile in last["tiles"]] == [
        ("out_of_service", "bad")], last["tiles"]
    assert rig.browser.execute_script(CONTROLS) == ["sound"]
    assert rig.browser.execute_script(RED_TILES) == [
        {"band": "rgb(179, 38, 30)", "across": True}], rig.browser.execute_script(RED_TILES)
    assert rig.browser.execute_script("return window.pxr7Audio.tones") >= 2, "no alarm"
    assert ENDED.fullmatch(last["banner"]).groups() == (
        "the station finished and at least one meter failed for good", "0", "0", "1"), last
    names = rig.browser.execute_script(NAMES)
    assert names["bench"] == HOSTILE_BENCH and HOSTILE_BENCH in names["title"], names
    assert names["standin"] == stand_in_notice(rig), names
    check_widths(rig, "live-failed", "#tiles .tile, h1, #standin")
    assert not rig.page_errors(), rig.page_errors()
