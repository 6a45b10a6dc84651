#!/usr/bin/python3
"""The dashboard in a real browser (headless Chromium through selenium), against pxr7 serving a
simulated bench: the live page over a station run, its recovery from a cut connection, the
history pages over a long record with their exports, and the server's HTTP rules.

    dashboard_test.py --pxr7 PATH --sim PATH/libftd2xx.so --artefacts FOLDER

Exits 0 on success, 1 on a failure, 77 when no browser is there (and PXR7_REQUIRE_BROWSER is
not 1). Screenshots and the programs' output go to the artefacts folder."""

import argparse
import os
import shutil
import sys
import tempfile
import traceback

# Its modules are run from the source tree: no bytecode left there.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import web_rig  # noqa: E402
import figure_cases  # noqa: E402
import history_cases  # noqa: E402
import live_cases  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pxr7", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--artefacts", required=True)
    args = parser.parse_args()
    chromium, chromedriver = web_rig.browser_or_skip()
    os.makedirs(args.artefacts, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="pxr7-web-")
    watchdog = web_rig.Watchdog(270)
    browser = watchdog.watch_browser(web_rig.start_browser(chromium, chromedriver,
                                                            os.path.join(scratch, "profile")))
    rig = web_rig.Rig(args.pxr7, args.sim, scratch, args.artefacts, browser, watchdog)
    failed = False
    try:
        for case in (live_cases.live_station, live_cases.failed_meter,
                     live_cases.dropped_connection, history_cases.history_pages,
                     history_cases.http_rules, figure_cases.record_figures):
            print(f"== {case.__name__}", flush=True)
            case(rig)
    except Exception:  # any failure: keep what shows it, then fail
        failed = True
        traceback.print_exc()
        rig.keep_evidence("failure")
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
