"""What the dashboard's browser tests share: the browser (or the reason to skip), a watchdog,
the pxr7 program serving a dashboard, and a TCP proxy that can cut its connections."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

SKIPPED = 77
DASHBOARD_LINE = re.compile(r"Dashboard: (https?://[^/\s]+/)")


def browser_or_skip():
    """The selenium webdriver module and chromedriver's path; exits 77 (skipped) when they are
    missing, or fails when PXR7_REQUIRE_BROWSER=1 says they must be there."""
    missing = []
    try:
        from selenium import webdriver  # noqa: F401
    except ImportError:
        missing.append("python3-selenium")
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not chromium:
        missing.append("chromium")
    if not driver:
        missing.append("chromium-driver")
    if missing:
        required = os.environ.get("PXR7_REQUIRE_BROWSER") == "1"
        print(f"{'FAIL' if required else 'SKIP'}: missing {', '.join(missing)}", flush=True)
        sys.exit(1 if required else SKIPPED)
    return chromium, driver


def start_browser(chromium, chromedriver, profile):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--window-size=1440,1000", "--no-first-run", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    browser = webdriver.Chrome(service=Service(chromedriver), options=options)
    browser.set_page_load_timeout(30)
    browser.set_script_timeout(30)
    return browser


class Watchdog:
    """Ends the whole test when it runs too long: a hang fails instead of stalling the suite."""

    def __init__(self, seconds):
        self.processes = []
        self.timer = threading.Timer(seconds, self.fire)
        self.timer.daemon = True
        self.timer.start()

    def watch(self, process):
        self.processes.append(process)
        return process

    def watch_browser(self, browser):
        self.browser = browser
        return browser

    def fire(self):
        print("FAIL: the watchdog ended the test (a hang)", flush=True)
        browser = getattr(self, "browser", None)
        if browser is not None:
            quitting = threading.Thread(target=browser.quit, daemon=True)
            quitting.start()
            quitting.join(5)
            try:
                browser.service.process.kill()
            except (AttributeError, OSError):
                pass
        for process in self.processes:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except OSError:
                pass
        os._exit(1)

    def cancel(self):
        self.timer.cancel()


class Program:
    """pxr7 run against the simulated bridges in a scratch folder, its output kept in files."""

    def __init__(self, pxr7, sim, folder, name, arguments, scenario=None):
        self.folder = folder
        self.lines = []
        self.lock = threading.Condition()
        env = dict(os.environ, XDG_STATE_HOME=os.path.join(folder, "state"),
                   XDG_CONFIG_HOME=os.path.join(folder, "config"), TERM="dumb")
        if scenario is not None:
            env["PXR7_SIM_SCENARIO"] = os.path.join(folder, "scenario.txt")
            with open(env["PXR7_SIM_SCENARIO"], "w", encoding="utf-8") as file:
                file.write(scenario)
        self.log_path = os.path.join(folder, f"{name}.log")
        self.process = subprocess.Popen(
            [pxr7, "--driver", sim, *arguments], cwd=folder, env=env, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        with open(self.log_path, "w", encoding="utf-8", errors="replace") as log:
            for raw in self.process.stdout:
                line = raw.decode("utf-8", "replace")
                log.write(line)
                log.flush()
                with self.lock:
                    self.lines.append(line)
                    self.lock.notify_all()
        with self.lock:
            self.lock.notify_all()

    def url(self, timeout=20):
        """The dashboard's address from the line the program prints."""
        deadline = time.monotonic() + timeout
        with self.lock:
            while True:
                for line in self.lines:
                    found = DASHBOARD_LINE.search(line)
                    if found:
                        return found.group(1)
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise AssertionError(f"no Dashboard line; pxr7 said:\n{self.output()}")
                self.lock.wait(min(left, 0.2))

    def output(self):
        with self.lock:
            return "".join(self.lines)

    def wait(self, timeout):
        """The exit code, once the program has ended and what it printed has all been read:
        its last lines may still be in the pipe when it ends."""
        code = self.process.wait(timeout=timeout)
        self.reader.join(timeout)
        return code

    def stop(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()


class Proxy:
    """A TCP relay from a local port to the server; cut() drops every connection, and while it
    is down new connections are closed at once, as when a network link fails. Like a reverse
    proxy it gives the server its own address in the Host header, which the server checks."""

    def __init__(self, target_port):
        self.target = ("127.0.0.1", target_port)
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.sockets = set()
        self.lock = threading.Lock()
        self.down = False
        self.cuts = 0
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            if self.down:
                client.close()
                continue
            try:
                server = socket.create_connection(self.target, timeout=5)
            except OSError:
                client.close()
                continue
            server.settimeout(None)
            with self.lock:
                self.sockets.update((client, server))
            host = (f"Host: 127.0.0.1:{self.port}\r\n".encode(),
                    f"Host: 127.0.0.1:{self.target[1]}\r\n".encode())
            for source, sink, rewrite in ((client, server, host), (server, client, None)):
                threading.Thread(target=self._pump, args=(source, sink, rewrite),
                                 daemon=True).start()

    def _pump(self, source, sink, rewrite):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                sink.sendall(data.replace(*rewrite) if rewrite else data)
        except OSError:
            pass
        for end in (source, sink):
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def cut(self, down_for):
        """Drops every connection and refuses new ones for down_for seconds."""
        self.down = True
        self.cuts += 1
        with self.lock:
            ends, self.sockets = self.sockets, set()
        for end in ends:
            try:
                end.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            end.close()
        timer = threading.Timer(down_for, lambda: setattr(self, "down", False))
        timer.daemon = True
        timer.start()

    def close(self):
        self.listener.close()


# The page's width and its key cells (arguments[0], a selector) that are not whole on the screen:
# outside the window (off to the side, in a table scrolled past its edge) or cut short. A table
# head hidden for a narrow screen's cards is no cell a person sees.
LAYOUT = """
const seen = (node) => node.getClientRects().length > 0 &&
  !(node.closest("thead") && node.closest("thead").getBoundingClientRect().width <= 1);
const whole = (node) => { const box = node.getBoundingClientRect();
  return box.left >= -0.5 && box.right <= innerWidth + 0.5 &&
         node.scrollWidth <= node.clientWidth + 1; };
const keys = [...document.querySelectorAll(arguments[0])].filter(seen);
return {page: document.documentElement.scrollWidth, window: innerWidth, keys: keys.length,
        cut: keys.filter((node) => !whole(node)).map((node) => node.textContent.slice(0, 40)),
        zone: (document.getElementById("zone") || {}).textContent || ""};
"""
WIDTHS = (390, 1280)


def check_widths(rig, name, keys, zone=True):
    """At a phone's width and a desktop's: the page no wider than the window, its key cells
    there and whole, and its times said to be UTC; a screenshot of each (NAME-WIDTH.png)."""
    try:
        for width in WIDTHS:
            rig.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": 900, "deviceScaleFactor": 1, "mobile": False})
            layout = rig.browser.execute_script(LAYOUT, keys)
            rig.screenshot(f"{name}-{width}.png")
            assert layout["window"] == width, layout
            assert layout["page"] <= width, f"{name} at {width} px: {layout}"
            assert layout["keys"] > 0 and not layout["cut"], f"{name} at {width} px: {layout}"
            assert not zone or layout["zone"] == "Times in UTC", f"{name}: {layout}"
    finally:
        rig.browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def wait_for(check, timeout, what, interval=0.1):
    """Polls check() until it gives a true value, which it returns; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(interval)


class Rig:
    """One browser and the programs a case starts, each in its own scratch folder."""

    def __init__(self, pxr7, sim, scratch, artefacts, browser, watchdog):
        self.pxr7, self.sim = os.path.abspath(pxr7), os.path.abspath(sim)
        self.scratch, self.artefacts = scratch, artefacts
        self.browser, self.watchdog = browser, watchdog
        self.programs = []
        self.history_url = None

    def folder(self, name):
        path = os.path.join(self.scratch, name)
        os.makedirs(path, exist_ok=True)
        return path

    def start(self, folder, arguments, scenario=None):
        program = Program(self.pxr7, self.sim, folder, os.path.basename(folder), arguments,
                          scenario)
        self.watchdog.watch(program.process)
        self.programs.append(program)
        return program

    def screenshot(self, name):
        self.browser.save_screenshot(os.path.join(self.artefacts, name))

    def page_errors(self):
        """Scripts that failed and anything the Content-Security-Policy blocked."""
        return [entry["message"] for entry in self.browser.get_log("browser")
                if "Content Security Policy" in entry["message"] or
                "Uncaught" in entry["message"]]

    def keep_evidence(self, name):
        try:
            self.screenshot(f"{name}.png")
            with open(os.path.join(self.artefacts, f"{name}.html"), "w") as file:
                file.write(self.browser.page_source)
        except Exception as error:  # the browser itself may be what failed
            print(f"no screenshot: {error}")
        for program in self.programs:
            shutil.copy(program.log_path, self.artefacts)

    def close(self):
        for program in self.programs:
            program.stop()
