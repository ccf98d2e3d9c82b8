#!/usr/bin/python3
"""The cockpit panel in a real browser, flying the stand-in simulator.

tarvos-simhost runs the real plugin with its scripted flight, tarvos-web
serves the panel and talks to the plugin over TARNET, and headless Chromium
(through WebDriver) opens the panel: the readings move while the aircraft
flies, the heading knob and the heading-hold button reach the simulator's
autopilot and the aircraft turns to the selected heading, and after the
plugin is disabled and enabled the same page shows live values again.

Usage: panel_browser_test.py SIMHOST WEB OUTPUT_DIR (the screenshot goes
into OUTPUT_DIR). Exits 77 (skipped) without Chromium, its driver or
selenium, and when another program's plugin holds port 5193 (other
stand-ins may run on a developer's machine)."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SKIPPED = 77
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "client", "python"))

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    webdriver = None

from tarvos_client import TcpClient  # noqa: E402

SIMHOST = WEB = OUTPUT = None
if len(sys.argv) >= 4:
    SIMHOST, WEB, OUTPUT = (sys.argv.pop(1) for _ in range(3))

# Frames run at once before the browser opens: the take-off, so that the
# aircraft climbs under its autopilot when the page first shows it.
CLIMB_FRAMES = 4200


def wait_for(what, condition, timeout=15.0, period=0.1):
    """The first true value of condition() within timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(period)


def wrap180(degrees):
    return (degrees + 180.0) % 360.0 - 180.0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Control:
    """The stand-in's control channel: one command, one answer line."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX)
        self.sock.settimeout(20)
        try:
            self.sock.connect(path)
        except OSError:
            self.sock.close()
            raise
        self.lines = self.sock.makefile("rw")

    def ask(self, command):
        self.lines.write(command + "\n")
        self.lines.flush()
        answer = self.lines.readline().strip()
        if not answer.startswith("ok"):
            raise AssertionError("%s: %s" % (command, answer))
        return answer

    def number(self, dataref):
        return float(self.ask("get " + dataref).split()[1])

    def close(self):
        self.lines.close()
        self.sock.close()


def plugin_folder():
    """The simulator folder of the plugin listening on port 5193, or ""."""
    try:
        with TcpClient("127.0.0.1", timeout=2) as c:
            return c.read("plugin.system_folder")
    except (OSError, ConnectionError):
        return ""


class PanelInBrowserTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.processes = []
        cls.driver = None
        cls.root = tempfile.mkdtemp(prefix="tarvos-panel-")
        try:
            cls.start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start(cls):
        control = os.path.join(cls.root, "ctl")
        cls.processes.append(subprocess.Popen(
            [SIMHOST, "--root", cls.root, "--control", "unix:" + control,
             "--duration", "300"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        cls.control = wait_for("the control channel",
                               lambda: _connect(control))
        # Another stand-in on this machine may hold the plugin's port for a
        # while; ours listens once it is free. The aircraft waits on the
        # ground meanwhile and takes off when the test begins.
        cls.control.ask("flight off")
        deadline = time.monotonic() + 60
        while not (folder := plugin_folder()).startswith(cls.root):
            if time.monotonic() > deadline:
                if folder:
                    raise unittest.SkipTest(
                        "another plugin holds port 5193 (%s)" % folder)
                raise AssertionError(
                    "the plugin in our stand-in does not answer")
            time.sleep(0.2)
        cls.control.ask("flight on")
        cls.control.ask("step %d" % CLIMB_FRAMES)
        cls.control.ask("run")
        port = free_port()
        cls.processes.append(subprocess.Popen(
            [WEB, "--listen", "127.0.0.1:%d" % port],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for("tarvos-web listening", lambda: _accepts(port))
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ["--headless", "--no-sandbox", "--disable-gpu",
                     "--disable-quic", "--no-first-run",
                     "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + os.path.join(cls.root, "browser")]:
            options.add_argument(flag)
        cls.driver = webdriver.Chrome(service=Service(CHROMEDRIVER),
                                      options=options)
        # A tablet's screen: the window made as much larger as its frame.
        inner = cls.driver.execute_script("return [innerWidth, innerHeight]")
        outer = cls.driver.get_window_size()
        cls.driver.set_window_size(1280 + outer["width"] - inner[0],
                                   800 + outer["height"] - inner[1])
        cls.driver.get("http://127.0.0.1:%d/" % port)
        # Set on this page only: a reload would lose it.
        cls.driver.execute_script("window.sameDocument = true;")

    @classmethod
    def tearDownClass(cls):
        if cls.driver is not None:
            cls.driver.quit()
        if hasattr(cls, "control"):
            cls.control.close()
        for p in reversed(cls.processes):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        shutil.rmtree(cls.root, ignore_errors=True)

    def text(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def number(self, element_id):
        """The number an element shows, or None while it shows none."""
        t = self.text(element_id).replace("\u2212", "-").lstrip("+")
        try:
            return float(t)
        except ValueError:
            return None

    def readings_move(self):
        """Waits until the page's altitude read-out changes (the aircraft
        climbs or descends all through these tests)."""
        start_alt = wait_for("an altitude", lambda: self.number("alt-value"))
        wait_for("the altitude to change",
                 lambda: self.number("alt-value") not in (None, start_alt))

    def not_taken_over(self):
        """True unless another program's plugin took port 5193 while ours
        was disabled (other stand-ins may run on this machine): then
        tarvos-web rightly connects to that one, and the test is skipped."""
        folder = plugin_folder()
        if folder and not folder.startswith(self.root):
            self.control.ask("plugin tarvos enable")
            self.skipTest("another plugin took port 5193 (%s)" % folder)
        return True

    def autopilot_state(self):
        return int(self.control.number(
            "sim/cockpit/autopilot/autopilot_state"))

    def test_knob_and_heading_hold_turn_the_aircraft(self):
        self.readings_move()
        wait_for("the heading", lambda: self.number("hdg-value") is not None)
        # The heading-hold button switches the simulator's heading mode
        # off and on again, and shows it.
        button = self.driver.find_element(By.ID, "ap-hdg-mode")
        for _ in range(2):
            before = self.autopilot_state() & 0x2
            button.click()
            wait_for("heading hold switched",
                     lambda: self.autopilot_state() & 0x2 != before)
            wait_for("the button to show it",
                     lambda: button.get_attribute("aria-pressed")
                     == ("false" if before else "true"), timeout=5)
        if not self.autopilot_state() & 0x2:
            button.click()
            wait_for("heading hold on", lambda: self.autopilot_state() & 0x2)
        # Thirty clicks on the knob's right half: thirty degrees more.
        def selected():
            return self.control.number("sim/cockpit/autopilot/heading_mag")

        def heading():
            return self.control.number("sim/flightmodel/position/mag_psi")

        wanted = (round(selected()) + 30) % 360
        knob = self.driver.find_element(By.ID, "ap-hdg-knob-inc")
        for _ in range(30):
            knob.click()
        wait_for("the selected heading in the simulator",
                 lambda: abs(selected() - wanted) < 0.5)
        wait_for("the selected heading on the page",
                 lambda: self.number("ap-hdg-value") == (wanted or 360),
                 timeout=5)
        # The aircraft turns to it at a standard rate (3 degrees a second),
        # and the page's heading follows.
        self.assertGreater(abs(wrap180(wanted - heading())), 15)
        wait_for("the aircraft on the selected heading",
                 lambda: abs(wrap180(heading() - wanted)) < 2,
                 timeout=25, period=0.5)
        wait_for("the page's heading on the selected one",
                 lambda: abs(wrap180(self.number("hdg-value") - wanted)) < 3,
                 timeout=5)
        self.driver.execute_script("window.scrollTo(0, 0)")
        self.driver.save_screenshot(
            os.path.join(OUTPUT, "panel_browser_test.png"))
        errors = [e for e in self.driver.get_log("browser")
                  if e["level"] == "SEVERE"]
        self.assertEqual(errors, [])

    def test_values_resume_after_plugin_restart(self):
        self.readings_move()
        link = self.driver.find_element(By.ID, "link")
        self.control.ask("plugin tarvos disable")
        wait_for("the page to say updates stopped",
                 lambda: self.not_taken_over()
                 and link.get_attribute("data-phase") == "stale", timeout=10)
        frozen = link.get_attribute("data-frame")
        self.control.ask("plugin tarvos enable")
        wait_for("our plugin on its port again",
                 lambda: self.not_taken_over()
                 and plugin_folder().startswith(self.root), timeout=10)
        wait_for("live values again",
                 lambda: link.get_attribute("data-phase") == "open"
                 and link.get_attribute("data-frame") != frozen, timeout=20)
        self.readings_move()
        self.assertTrue(self.driver.execute_script(
            "return window.sameDocument === true"))


def _connect(path):
    try:
        return Control(path)
    except OSError:
        return None


def _accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


if __name__ == "__main__":
    missing = [p for p in (CHROMIUM, CHROMEDRIVER) if not os.path.exists(p)]
    if webdriver is None:
        missing.append("selenium for " + sys.executable)
    if missing:
        print("skipped: no " + ", ".join(missing))
        sys.exit(SKIPPED)
    if SIMHOST is None:
        print(__doc__)
        sys.exit(2)
    result = unittest.main(exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(SKIPPED if result.skipped else 0)
