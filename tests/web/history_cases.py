"""The history pages over a long record, filtered, paged and opened line by line; the exports
held against the file itself; and the server's HTTP rules, asked without a browser."""

import csv
import http.client
import io
import json
import math
import os
import urllib.parse
import urllib.request
from collections import Counter

from selenium.webdriver.common.by import By
from selenium.webdriver.support.select import Select

import history_record
from history_record import (FORMULA_UNIT, HOSTILE_LANES, HOSTILE_UNIT, KEYS, LANE_TEXT,
                            UNIT_TEXT, csv_field, label, matches, page_text)
from web_rig import check_widths, wait_for

PER_PAGE = 50
CSP = ("default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
       "connect-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'")
LOADED = ("return !window.pxr7Stale && (performance.getEntriesByName('history-rows').length > 0"
          " || !document.getElementById('error').hidden);")


def act_and_wait(browser, action):
    """Does action (a click, Back) and waits for the page it leads to to show its lines."""
    browser.execute_script("window.pxr7Stale = true;")
    action()
    wait_for(lambda: browser.execute_script(LOADED), 15, "the history page to load")


def expected_view(lines, view, page):
    kept = [line for line in lines if matches(line[2], **view)]
    newest = list(reversed(kept))
    return kept, newest[(page - 1) * PER_PAGE:page * PER_PAGE]


def counts(entries, key):
    totals = {}
    for entry in entries:
        kind = entry["result"] if entry["result"] in ("ok", "current") else "failed"
        totals.setdefault(key(entry), Counter())[kind] += 1
    return {name: (c["ok"], c["current"], c["failed"]) for name, c in totals.items()}


def shown_totals(browser, table):
    rows = browser.find_elements(By.CSS_SELECTOR, f"#{table} tbody tr")
    cells = [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")] for row in rows]
    return {c[0]: tuple(int(n) for n in c[1:]) for c in cells}


def check_view(browser, lines, view, page):
    """The lines, paging and totals the page shows are those of the record for the filter."""
    kept, shown = expected_view(lines, view, page)
    rows = browser.find_elements(By.CSS_SELECTOR, "#history tbody tr")
    numbers = [int(row.get_attribute("data-line")) for row in rows]
    assert numbers == [n for n, _, _ in shown], (view, browser.current_url, numbers[:5])
    pages = max(1, math.ceil(len(kept) / PER_PAGE))
    text = tuple(browser.find_element(By.ID, name).text for name in ("page-of", "line-count"))
    words = "line" if len(kept) == 1 else "lines"
    assert text == (f"page {page} of {pages}", f"{len(kept)} {words}"), (text, view)
    entries = [entry for _, _, entry in kept]
    assert shown_totals(browser, "lane-totals") == counts(entries, label), view
    days = shown_totals(browser, "day-totals")
    assert days == counts(entries, lambda e: e["finished"][:10]), view
    assert list(days) == sorted(days, reverse=True), "days newest first"
    for name in ("result", "lane"):
        assert Select(browser.find_element(By.ID, name)).first_selected_option \
            .get_attribute("value") == view.get(name, ""), name
    return kept


def submit(browser):
    act_and_wait(browser, browser.find_element(By.CSS_SELECTOR, "#filters button").click)


def fetch(url):
    with urllib.request.urlopen(url, timeout=30) as reply:
        return reply.headers, reply.read()


def check_csv(url, kept, exact):
    headers, body = fetch(url + ("&exact=1" if "?" in url else "?exact=1") if exact else url)
    assert headers["Content-Type"] == "text/csv; charset=utf-8", headers
    assert 'filename="pxr7-record.csv"' in headers["Content-Disposition"], headers
    assert not body.startswith(b"\xef\xbb\xbf") and body.endswith(b"\r\n")
    rows = list(csv.reader(io.StringIO(body.decode("utf-8"), newline="")))
    assert rows[0] == KEYS, rows[0]
    assert len(rows) - 1 == len(kept), (len(rows), len(kept))
    for row, (number, _, entry) in zip(rows[1:], kept):
        assert row == [csv_field(entry.get(key), exact) for key in KEYS], (number, row)


def check_exports(browser, kept):
    """The export links carry the filter; CSV equals the lines field by field (a formula
    quoted, unless asked for exactly), JSON Lines byte for byte."""
    for exact in (False, True):
        check_csv(browser.find_element(By.ID, "export-csv").get_attribute("href"), kept, exact)
    headers, body = fetch(browser.find_element(By.ID, "export-jsonl").get_attribute("href"))
    assert headers["Content-Type"] == "application/jsonl", headers
    assert body == b"".join(raw + b"\n" for _, raw, _ in kept), "JSON Lines differ"


def open_hostile_entry(rig, lines):
    """The hostile unit id shows as text in the table and on its entry page, with every key."""
    browser = rig.browser
    browser.find_element(By.ID, "unit").send_keys(HOSTILE_UNIT)
    submit(browser)
    check_view(browser, lines, {"unit": HOSTILE_UNIT}, 1)
    cell = browser.find_element(By.CSS_SELECTOR, "#history tbody tr td:nth-child(3)")
    assert cell.text == HOSTILE_UNIT and not browser.find_elements(By.CSS_SELECTOR, "main img")
    browser.find_element(By.CSS_SELECTOR, "#history tbody tr a").click()
    number, _, entry = next(line for line in lines if line[2]["unit_id"] == HOSTILE_UNIT)
    wait_for(lambda: len(browser.find_elements(By.CSS_SELECTOR, "#entry tbody tr")) == len(entry),
             15, "the entry's keys")
    assert browser.find_element(By.ID, "entry-title").text == f"Record line {number}"
    shown = {row.find_element(By.TAG_NAME, "th").text: row.find_element(By.TAG_NAME, "td").text
             for row in browser.find_elements(By.CSS_SELECTOR, "#entry tbody tr")}
    assert shown == {k: page_text(v) for k, v in entry.items()}, shown
    check_widths(rig, "entry", "#entry td, #entry th", zone=False)
    assert not browser.find_elements(By.CSS_SELECTOR, "main img")
    act_and_wait(browser, browser.back)
    assert browser.find_element(By.ID, "unit").get_attribute("value") == HOSTILE_UNIT


def texts_as_typed(rig, lines):
    """A name written as its characters and as its bytes is one lane and one unit id, shown as
    typed; a meter's versions as their bytes spell them; lanes named as what a plain object
    inherits listed as their names; a formula of a unit id quoted in the CSV."""
    browser = rig.browser
    # Far from UTC: the page's times are the record's, in UTC, whatever the browser's zone.
    browser.execute_cdp_cmd("Emulation.setTimezoneOverride", {"timezoneId": "Pacific/Auckland"})
    lanes = [option.text for option in Select(browser.find_element(By.ID, "lane")).options]
    assert lanes.count(LANE_TEXT) == 1 and all(lane in lanes for lane in HOSTILE_LANES), lanes
    for view in ({"lane": LANE_TEXT}, {"unit": UNIT_TEXT}):
        query = urllib.parse.urlencode(view)
        act_and_wait(browser, lambda: browser.get(f"{rig.history_url}history?{query}"))
        kept = check_view(browser, lines, view, 1)
        assert len(kept) == 2, view
        cells = browser.execute_script(
            "return [...document.querySelectorAll('#history tbody tr')].map((row) =>"
            " [...row.cells].map((cell) => cell.textContent));")
        assert {tuple(row[1:3]) for row in cells} == {(LANE_TEXT, UNIT_TEXT)}, cells
        assert {row[4] for row in cells} == {"PXR7 V1.02 µ → PXR7 V1.03 – ü"}, cells
        times = {entry["finished"].replace("T", " ").rstrip("Z") for _, _, entry in kept}
        assert {row[0] for row in cells} == times, (cells, times)
        check_exports(browser, kept)
    for lane in HOSTILE_LANES:
        act_and_wait(browser, browser.find_element(By.ID, "clear").click)
        Select(browser.find_element(By.ID, "lane")).select_by_visible_text(lane)
        submit(browser)
        check_view(browser, lines, {"lane": lane}, 1)
    query = urllib.parse.urlencode({"unit": FORMULA_UNIT})
    act_and_wait(browser, lambda: browser.get(f"{rig.history_url}history?{query}"))
    check_exports(browser, check_view(browser, lines, {"unit": FORMULA_UNIT}, 1))
    browser.execute_cdp_cmd("Emulation.setTimezoneOverride", {"timezoneId": ""})


def page_through(browser, lines, view):
    act_and_wait(browser, browser.find_element(By.ID, "older").click)
    check_view(browser, lines, view, 2)
    act_and_wait(browser, browser.find_element(By.ID, "older").click)
    check_view(browser, lines, view, 3)
    act_and_wait(browser, browser.back)
    check_view(browser, lines, view, 2)
    act_and_wait(browser, browser.find_element(By.ID, "newer").click)
    check_view(browser, lines, view, 1)


def history_pages(rig):
    folder = rig.folder("history")
    path = os.path.join(folder, "record.jsonl")
    lines = history_record.write_record(path, 10000)
    program = rig.start(folder, ["history", "--serve", "127.0.0.1:0", "--record", path])
    rig.history_url = program.url()
    browser = rig.browser
    act_and_wait(browser, lambda: browser.get(rig.history_url + "history"))
    check_view(browser, lines, {}, 1)
    options = {option.get_attribute("value")
               for option in Select(browser.find_element(By.ID, "result")).options}
    assert options == {"", "failed"} | {e["result"] for _, _, e in lines}, options
    rig.screenshot("history.png")
    check_widths(rig, "history", "#history tbody tr:first-child td, #history thead th")
    Select(browser.find_element(By.ID, "result")).select_by_value("failed")
    submit(browser)
    lane = history_record.LEADS[2][3]
    Select(browser.find_element(By.ID, "lane")).select_by_value(lane)
    submit(browser)
    view = {"result": "failed", "lane": lane}
    check_view(browser, lines, view, 1)
    page_through(browser, lines, view)
    check_exports(browser, [line for line in lines if matches(line[2], **view)])
    act_and_wait(browser, browser.find_element(By.ID, "clear").click)
    open_hostile_entry(rig, lines)
    texts_as_typed(rig, lines)
    act_and_wait(browser, browser.find_element(By.ID, "clear").click)
    Select(browser.find_element(By.ID, "result")).select_by_value("ok")
    browser.execute_script("document.getElementById('from').value = '2026-11-30';"
                           "document.getElementById('to').value = '2026-12-02';")
    submit(browser)
    check_exports(browser, check_view(browser, lines, {"result": "ok", "since": "2026-11-30",
                                                       "until": "2026-12-02"}, 1))
    act_and_wait(browser, browser.find_element(By.ID, "clear").click)
    check_exports(browser, lines)
    assert not rig.page_errors(), rig.page_errors()


def ask(url, method="GET", path="/", host=None):
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=10)
    headers = {"Host": host} if host else {}
    connection.request(method, path, headers=headers)
    reply = connection.getresponse()
    body = reply.read()
    connection.close()
    return reply.status, reply.headers, body


def http_rules(rig):
    url = rig.history_url
    assert url, "the history server did not start"
    for method in ("POST", "PUT", "DELETE"):
        for path in ("/", "/history", "/api/history"):
            status, headers, _ = ask(url, method, path)
            assert (status, headers["Allow"]) == (405, "GET, HEAD"), (method, path, status)
    for host in ("evil.example", "evil.example:80"):
        assert ask(url, host=host, path="/history")[0] == 421, host
    status, headers, _ = ask(url, path="/")
    assert status in (301, 302, 303, 307, 308) and headers["Location"].endswith("/history")
    for path in ("/api/snapshot", "/api/events"):
        assert ask(url, path=path)[0] == 404, path
    for path in ("/history", "/entry?line=1", "/static/app.css", "/static/history.js",
                 "/api/history"):
        status, headers, _ = ask(url, path=path)
        assert status == 200 and headers["Content-Security-Policy"] == CSP, (path, headers)
        assert (headers["X-Content-Type-Options"], headers["Referrer-Policy"],
                headers["Cache-Control"]) == ("nosniff", "no-referrer", "no-store"), path
    status, _, body = ask(url, "HEAD", "/history")
    assert status == 200 and body == b"", "HEAD"
    status, _, body = ask(url, path="/api/history?from=yesterday")
    assert status == 400 and "error" in json.loads(body), body
    for line in ("0", "10001", "x"):
        assert ask(url, path=f"/api/entry?line={line}")[0] in (400, 404), line
