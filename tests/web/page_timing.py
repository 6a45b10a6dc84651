#!/usr/bin/python3
"""How fast the dashboard's pages come up in headless Chromium, for scripts/benchmark.sh,
against a pxr7 already serving them:

    page_timing.py live URL [--runs N]      navigation start to the live page's first tile
    page_timing.py history URL [--runs N]   navigation start to the history's first page

Each figure is the median of N fresh loads, read from the Performance API (marks the pages
set). Exits 77 without a browser."""

import argparse
import os
import shutil
import statistics
import sys
import tempfile

# Its modules are run from the source tree: no bytecode left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import web_rig  # noqa: E402

MARK = "return (performance.getEntriesByName(arguments[0])[0] || {}).startTime;"
PAGES = {"live": ("", "first-tile", "live page in Chromium, navigation start to first tile"),
         "history": ("history", "history-rows",
                     "history page in Chromium, navigation start to its first page")}


def median_mark(browser, url, mark, runs):
    times = []
    for _ in range(runs):
        browser.get(url)
        times.append(web_rig.wait_for(lambda: browser.execute_script(MARK, mark), 30, mark))
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page", choices=sorted(PAGES))
    parser.add_argument("url", help="the dashboard's address, e.g. http://127.0.0.1:8080/")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    chromium, chromedriver = web_rig.browser_or_skip()
    profile = tempfile.mkdtemp(prefix="pxr7-timing-")
    watchdog = web_rig.Watchdog(60 + 30 * args.runs)
    browser = watchdog.watch_browser(web_rig.start_browser(chromium, chromedriver, profile))
    path, mark, words = PAGES[args.page]
    try:
        figure = median_mark(browser, args.url.rstrip("/") + "/" + path, mark, args.runs)
        print(f"dashboard, {words}: {figure:.0f} ms (median of {args.runs})", flush=True)
    finally:
        browser.quit()
        watchdog.cancel()
        shutil.rmtree(profile, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
