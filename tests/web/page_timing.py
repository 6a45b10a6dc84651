#!/usr/bin/python3
"""How fast the dashboard's pages come up, for scripts/benchmark.sh: the live page from
navigation start to its first tile, and the history page to its first page of lines, each
read from the Performance API (marks the pages set) in headless Chromium.

    page_timing.py --pxr7 PATH --sim PATH/libftd2xx.so [--record FILE] [--runs N]

Without --record the history is a generated record of 10,000 lines. Exits 77 without a
browser."""

import argparse
import os
import shutil
import statistics
import sys
import tempfile

# Its modules are run from the source tree: no bytecode left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import history_record  # noqa: E402
import web_rig  # noqa: E402

MARK = "return (performance.getEntriesByName(arguments[0])[0] || {}).startTime;"


def first_mark(browser, url, mark, runs):
    """The median time of the mark over runs fresh loads of url, in ms."""
    times = []
    for _ in range(runs):
        browser.get(url)
        times.append(web_rig.wait_for(lambda: browser.execute_script(MARK, mark), 30, mark))
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pxr7", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--record")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    chromium, chromedriver = web_rig.browser_or_skip()
    scratch = tempfile.mkdtemp(prefix="pxr7-timing-")
    watchdog = web_rig.Watchdog(120 + 20 * args.runs)
    browser = watchdog.watch_browser(
        web_rig.start_browser(chromium, chromedriver, os.path.join(scratch, "profile")))
    rig = web_rig.Rig(args.pxr7, args.sim, scratch, scratch, browser, watchdog)
    try:
        # Two leads whose meters never come: the station only waits.
        scenario = "[bridge 0]\nmeter_windows = 900000-900001\n[bridge 1]\n" \
                   "meter_windows = 900000-900001\n"
        station = rig.start(rig.folder("live"), ["station", "--serve", "127.0.0.1:0",
                                                 "--record", "record.jsonl"], scenario)
        live = first_mark(browser, station.url(), "first-tile", args.runs)
        station.stop()
        print(f"live page, navigation start to first tile: {live:.0f} ms", flush=True)
        record = args.record or os.path.join(rig.folder("history"), "record.jsonl")
        if not args.record:
            history_record.write_record(record, 10000)
        lines = sum(1 for _ in open(record, "rb"))
        history = rig.start(rig.folder("serve"), ["history", "--serve", "127.0.0.1:0",
                                                  "--record", os.path.abspath(record)])
        first_page = first_mark(browser, history.url() + "history", "history-rows", args.runs)
        print(f"history page, first page of {lines} lines: {first_page:.0f} ms")
    finally:
        rig.close()
        browser.quit()
        watchdog.cancel()
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
