#!/usr/bin/python3
"""The panel in a real browser: panel-sim --web on a loopback port, headless Chromium driven
through chromedriver. Taps through the five screens on the page's canvas and checks its pixels,
switches DO1 on the panel and sees the module's register change on the page, sets it back from
the page, puts a module fault on and off with the page's buttons, and saves a picture of the page.

usage: web_test.py PANEL_SIM OUTPUT_DIR    (exit 77: skipped, no browser on this machine)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77

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


def skip(why):
    print("web_test: SKIPPED: " + why)
    sys.exit(SKIP)


def wait_for(what, condition, timeout=30.0):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("web_test: timed out waiting for " + what)
        time.sleep(0.1)


def main():
    sim, out = sys.argv[1], sys.argv[2]
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
    except ImportError:
        skip("python3-selenium is not installed")
    chromium = shutil.which("chromium")
    driver_path = shutil.which("chromedriver")
    if not chromium or not driver_path:
        skip("chromium and chromium-driver are not installed")

    os.makedirs(out, exist_ok=True)
    profile = tempfile.mkdtemp(prefix="panel-web-test-")
    downloads = os.path.join(profile, "downloads")
    os.makedirs(downloads)
    server = subprocess.Popen([sim, "--web", "0", "--modbus-log", os.path.join(out, "web-modbus.log")],
                              stdout=subprocess.PIPE, text=True)
    browser = None
    try:
        line = server.stdout.readline()
        print(line.strip())
        url = line.split(" on ")[1].split()[0]
        assert url.startswith("http://127.0.0.1:"), url

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
        page = os.path.abspath(os.path.join(out, "web-page.png"))
        browser.save_screenshot(page)
        print("web_test: a picture of the page: " + page)
        print("web_test: passed")
        return 0
    finally:
        if browser is not None:
            browser.quit()
        server.terminate()
        try:
            server.wait(timeout=20)
        except subprocess.TimeoutExpired:
            server.kill()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
