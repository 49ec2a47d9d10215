#!/usr/bin/python3
"""The panel in a real browser: panel-sim --web on a loopback port, headless Chromium driven
through chromedriver. Taps through the five screens on the page's canvas and checks its pixels,
switches DO1 on the panel and sees the module's register change on the page, sets it back from
the page, puts a module fault on and off with the page's buttons, sees a refused value shown,
fits the page to a phone's width, sees the page say so when panel-sim stops, and saves pictures
of the page (web-page.png, web-refused.png, web-phone.png, web-stopped.png).

Before the browser, the server alone: a port already taken is refused, 40 viewers waiting for a
frame leave it answering and free their places when they go, a POST without a body is answered
at once, a refused register value is said, and the Modbus counters count each exchange once.

usage: web_test.py PANEL_SIM OUTPUT_DIR    (fails, naming it, where the browser is missing)
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

# The tour: (screen, pixels that tell it from the others, the tap that leads on).
TOUR = [
    ("welcome", {(100, 150): (0x18, 0x55, 0x8C), (224, 198): (0, 0, 0)}, (158, 171)),
    ("DIODY", {(150, 40): (0x18, 0x55, 0x8C), (100, 150): (255, 255, 255),
               (140, 82): (255, 255, 255), (300, 140): (255, 255, 255)}, (120, 208)),
    ("WEJSCIA", {(100, 102): (0xDE, 0xDF, 0xDE), (300, 140): (255, 255, 255)}, (193, 208)),
    ("WYJSCIA", {(140, 82): (0xDE, 0xDF, 0xDE), (100, 102): (255, 255, 255),
                 (40, 70): (0x18, 0x55, 0x8C)}, None),
    ("SMS/MAIL", {(300, 140): (0xDE, 0xDF, 0xDE), (140, 82): (0x18, 0x55, 0x8C)}, None),
]


def missing(why):
    print("web_test: FAILED: " + why + " (./panel test installs it)")
    sys.exit(1)


def wait_for(what, condition, timeout=30.0):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("web_test: timed out waiting for " + what)
        time.sleep(0.1)


def start_server(sim, *options):
    server = subprocess.Popen([sim, "--web", "0"] + list(options), stdout=subprocess.PIPE,
                              text=True)
    line = server.stdout.readline()
    print(line.strip())
    url = line.split(" on ")[1].split()[0]
    assert url.startswith("http://127.0.0.1:"), url
    return server, url


def stop_server(server):
    server.terminate()
    try:
        server.wait(timeout=20)
    except subprocess.TimeoutExpired:
        server.kill()


def request(url, method="GET", timeout=5.0):
    """(status, body, seconds taken) of one request; a refusal is a status, not an exception."""
    start = time.monotonic()
    try:
        with urllib.request.urlopen(urllib.request.Request(url, method=method),
                                    timeout=timeout) as response:
            return response.status, response.read(), time.monotonic() - start
    except urllib.error.HTTPError as error:
        return error.code, error.read(), time.monotonic() - start


def raw_request(port, text):
    """A request written by hand on a new connection, left open."""
    connection = socket.create_connection(("127.0.0.1", port), timeout=5)
    connection.sendall(text.encode())
    return connection


def answered(connection, within):
    connection.settimeout(within)
    try:
        return connection.recv(200)
    except socket.timeout:
        return b""


def server_checks(sim):
    server, url = start_server(sim)
    port = int(url.rstrip("/").rsplit(":", 1)[1])
    try:
        # A second simulator on the same port would take every other request.
        second = subprocess.run([sim, "--web", str(port)], capture_output=True, text=True,
                                timeout=30)
        lines = second.stderr.strip().splitlines()
        assert second.returncode == 2 and len(lines) == 1 and str(port) in lines[0], \
            (second.returncode, second.stderr)
        print("web_test: a second panel-sim on the same port is refused: " + lines[0])

        # A POST with neither a body nor a Content-Length has an empty body.
        start = time.monotonic()
        connection = raw_request(port, "POST /release HTTP/1.1\r\nHost: x\r\n\r\n")
        reply = answered(connection, 3.0)
        took = time.monotonic() - start
        connection.close()
        assert reply.startswith(b"HTTP/1.1 200") and took < 1.0, (reply[:40], took)
        print("web_test: a POST without a body answered %s in %.3f s" % (reply[:12].decode(), took))

        # The page's commands are the bench's: checked as a script's line is, with its message.
        for path, expected, said in [
                ("register?address=108&value=70000", 400, b"70000"),
                ("register?address=dev_1_ao10&value=0", 200, b""),
                ("register?address=DO9&value=1", 400, b"no module register 'DO9'"),
                ("fault?kind=quiet", 400, b"no fault 'quiet' (none, silence"),
                ("fault?kind=none&answers=2", 400, b"fault none takes no number of answers"),
                ("touch?x=320&y=0", 400, b"X needs a whole number from 0 to 319"),
        ]:
            status, body, _ = request(url + path, "POST")
            assert status == expected and said in body, (path, status, body)
            print("web_test: POST /%s: %d %s" % (path, status, body.decode().strip()))

        # Viewers on a still screen, each waiting for the next frame.
        state = json.loads(request(url + "state")[1])
        wait_frame = "GET /frame?after=%d HTTP/1.1\r\nHost: x\r\n\r\n" % (state["frame"] + 10**9)
        for round_ in ("first", "second"):
            start = time.monotonic()
            viewers = [raw_request(port, wait_frame) for _ in range(40)]
            connected = time.monotonic() - start
            assert connected < 1.0, "40 viewers took %.1f s to connect" % connected
            time.sleep(0.2)
            status, _, took = request(url, timeout=5)
            assert status == 200 and took < 1.0, (round_, status, took)
            # A viewer may have been answered that no frame came in time, not that it was busy.
            refused = [v for v in viewers if answered(v, 0.01).startswith(b"HTTP/1.1 503")]
            assert not refused, "%d of 40 viewers refused in the %s round" % (len(refused), round_)
            print("web_test: 40 viewers wait for a frame (%s round); GET / answered in %.3f s"
                  % (round_, took))
            for viewer in viewers:
                viewer.close()
            time.sleep(2.5)  # a viewer that went away holds its place no longer than this

        # Each exchange counted once: a late answer is not also a time-out.
        request(url + "fault?kind=late", "POST")
        time.sleep(2.0)
        request(url + "fault?kind=none", "POST")
        time.sleep(1.0)
        c = json.loads(request(url + "state")[1])["counters"]
        ended = c["good"] + c["crcErrors"] + c["timeouts"] + c["exceptions"] + c["late"] + c["other"]
        assert c["late"] > 0 and c["requests"] - 1 <= ended <= c["requests"], c
        print("web_test: Modbus counters %s: %d exchanges ended of %d requests"
              % (c, ended, c["requests"]))
    finally:
        stop_server(server)


def main():
    sim, out = sys.argv[1], sys.argv[2]
    server_checks(sim)
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
    except ImportError:
        missing("python3-selenium is not installed")
    chromium = shutil.which("chromium")
    driver_path = shutil.which("chromedriver")
    if not chromium or not driver_path:
        missing("chromium and chromium-driver are not installed")

    os.makedirs(out, exist_ok=True)
    profile = tempfile.mkdtemp(prefix="panel-web-test-")
    downloads = os.path.join(profile, "downloads")
    os.makedirs(downloads)
    server, url = start_server(sim, "--modbus-log", os.path.join(out, "web-modbus.log"))
    browser = None
    try:

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                         "--no-first-run", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + os.path.join(profile, "user-data"),
                         "--window-size=1280,1400"]:
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"download.default_directory": downloads})
        browser = webdriver.Chrome(service=Service(driver_path), options=options)
        browser.get(url)
        canvas = browser.find_element(By.ID, "screen")

        def pixel(x, y):
            return tuple(browser.execute_script(
                "return Array.from(arguments[0].getContext('2d')"
                ".getImageData(arguments[1], arguments[2], 1, 1).data.slice(0, 3));",
                canvas, x, y))

        def showing(expected):
            return all(pixel(x, y) == colour for (x, y), colour in expected.items())

        def tap(x, y):
            # The canvas shows the panel at scale 2 inside an 8-pixel border; offsets are from
            # its centre.
            size = canvas.size
            dx = 8 + 2 * x + 1 - size["width"] // 2
            dy = 8 + 2 * y + 1 - size["height"] // 2
            ActionChains(browser).move_to_element_with_offset(canvas, dx, dy).click_and_hold() \
                .pause(0.4).release().perform()

        def register(address):
            return browser.find_element(By.ID, "reg-%d" % address).text

        def status():
            return browser.find_element(By.ID, "status").text

        def frames():
            return browser.execute_script("return window.panelFrame;")

        for number, (name, expected, onward) in enumerate(TOUR, 1):
            wait_for("the %s screen" % name, lambda: showing(expected))
            print("web_test: screen %d (%s) shown on the page's canvas" % (number, name))
            if name == "welcome":
                # A still screen: the page is sent nothing new.
                time.sleep(1.0)
                before = frames()
                time.sleep(1.5)
                assert frames() == before, "frames sent while the screen stood still"
                print("web_test: no frame sent in 1.5 s while the screen stood still")
            if name == "WYJSCIA":
                wait_for("DO1 off at the module", lambda: register(108) == "0")
                tap(50, 80)
                wait_for("DO1 on at the module", lambda: register(108) == "1")
                print("web_test: DO1 tapped on the page; the module's register 108 is 1")
                field = browser.find_element(By.ID, "set-108")
                field.send_keys("0", Keys.ENTER)
                wait_for("DO1 set off from the page", lambda: register(108) == "0")
                print("web_test: register 108 set to 0 from the page")
                tap(265, 208)
            elif onward:
                if name == "WEJSCIA":
                    start, count = time.monotonic(), frames()
                    time.sleep(2.0)
                    rate = (frames() - count) / (time.monotonic() - start)
                    print("web_test: %.1f frames/s reached the page while the inputs moved "
                          "(the panel redraws them once a cycle)" % rate)
                tap(*onward)

        browser.find_element(By.ID, "fault-silence").click()
        wait_for("Dev_1_ERROR under a silent module", lambda: "Dev_1_ERROR=1" in status())
        print("web_test: " + status())
        browser.find_element(By.ID, "fault-none").click()
        wait_for("the module back",
                 lambda: "Dev_1_ERROR=0" in status() and "fault=none" in status())
        print("web_test: " + status())
        monitor = browser.find_element(By.ID, "monitor").text
        assert "read holding 98-119 (22) | good" in monitor and "| timeout" in monitor, monitor[-500:]
        print("web_test: the page's Modbus monitor shows good reads and the time-outs")

        browser.find_element(By.ID, "shot").click()
        shot = wait_for("the screenshot download",
                        lambda: [f for f in os.listdir(downloads) if f.endswith(".png")], 15)
        print("web_test: the screenshot button saved " + shot[0])
        def picture(name):
            path = os.path.abspath(os.path.join(out, name))
            browser.save_screenshot(path)
            print("web_test: a picture of the page: " + path)

        picture("web-page.png")

        # A value the server refuses is shown, and stays in its field, marked.
        field = browser.find_element(By.ID, "set-108")
        field.send_keys("70000", Keys.ENTER)
        refusal = browser.find_element(By.ID, "refused")
        wait_for("the refusal shown", lambda: refusal.is_displayed() and "70000" in refusal.text)
        assert "refused" in field.get_attribute("class") and field.get_attribute("value") == "70000"
        assert register(108) == "0"
        print("web_test: the page shows: " + refusal.text)
        picture("web-refused.png")
        field.clear()

        # A phone's width: nothing wider than the screen, the panel's picture whole.
        browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                {"width": 412, "height": 915, "deviceScaleFactor": 1,
                                 "mobile": True})
        time.sleep(0.5)
        fit = browser.execute_script(
            "const box = document.getElementById('screen').getBoundingClientRect();"
            "return [window.innerWidth, document.documentElement.scrollWidth, box.left, box.right];")
        assert fit[0] == 412 and fit[1] <= 412 and fit[2] >= 0 and fit[3] <= 412, fit
        print("web_test: at 412 px wide the page is %d px wide, the panel from %.0f to %.0f px"
              % (fit[1], fit[2], fit[3]))
        picture("web-phone.png")
        browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

        # The simulator stops: the page says so, turns its controls off, marks the frame stale.
        stop_server(server)
        wait_for("the stopped banner",
                 lambda: "stopped" in browser.find_element(By.TAG_NAME, "body").get_attribute("class"))
        banner = browser.find_element(By.ID, "banner")
        assert banner.is_displayed() and "stopped" in banner.text, banner.text
        assert browser.find_element(By.ID, "stale").is_displayed()
        enabled = [e.get_attribute("id") for e in browser.find_elements(By.CSS_SELECTOR, "button, input")
                   if e.is_enabled()]
        assert not enabled, enabled
        print("web_test: after panel-sim stopped the page says: " + banner.text)
        picture("web-stopped.png")
        print("web_test: passed")
        return 0
    finally:
        if browser is not None:
            browser.quit()
        stop_server(server)
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
