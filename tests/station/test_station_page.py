"""The station's live page in a headless browser, and its JSON interface and
metrics from a plain client: zelstation (ZELSTATION) run on its simulated
sample chain, started here, on loopback.

The page must list the eight modules of the chain in physical order with
their values moving, and a module restarted in the simulator must show lost
and then back. Skipped, saying why, when the browser, its driver or the
driver's Python package is missing."""

import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

import pytest

CHAIN_ORDER = [
    ("Kalix encoder", "Spindle"),
    ("1 Vpp encoder", "Table X"),
    ("TTL encoder", "Table Y"),
    ("LVDT", "Probes"),
    ("analog", "Pressure"),
    ("I/O", "Clamps"),
    ("pneumatic", "Air valve"),
    ("power supply", "Supply"),
]
RESTARTED = 2  # the TTL module, "Table Y"


@pytest.fixture(scope="module")
def station():
    """zelstation on its simulated sample chain, the page on a free port;
    yields (web port, control port) and stops it with SIGTERM."""
    zelstation = os.environ.get("ZELSTATION")
    if not zelstation:
        pytest.skip("ZELSTATION is not set (the station service to run)")
    folder = tempfile.mkdtemp(prefix="zel-page-")
    settings = os.path.join(folder, "zelstation.conf")
    with open(settings, "w") as f:
        f.write("[station]\nsimulate = yes\nrate = 100\n[http]\nlisten = 127.0.0.1:0\n")
    proc = subprocess.Popen([zelstation, "--settings", settings, "--sim-control", "0"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    ports, told = {}, []
    deadline = time.monotonic() + 60
    while len(ports) < 2 and time.monotonic() < deadline:
        line = proc.stderr.readline()
        if not line:
            break
        told.append(line)
        for key, marker in (("control", "simulator control port 127.0.0.1:"),
                            ("web", "live page at http://127.0.0.1:")):
            if marker in line:
                ports[key] = int(line.split(marker)[1].split("/")[0].split()[0])
    if len(ports) < 2:
        proc.kill()
        pytest.fail("zelstation did not start: " + "".join(told))
    yield ports["web"], ports["control"]
    proc.send_signal(signal.SIGTERM)
    try:
        rest = proc.communicate(timeout=30)[1]
    except subprocess.TimeoutExpired:
        proc.kill()
        pytest.fail("zelstation did not stop on SIGTERM")
    shutil.rmtree(folder, ignore_errors=True)
    assert proc.returncode == 0, "".join(told) + rest


def _get(port, path, method="GET"):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), method=method)
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, answer.headers.get("Content-Type"), answer.read().decode()
    except urllib.error.HTTPError as refused:
        return refused.code, refused.headers.get("Content-Type"), refused.read().decode()


def _control(port, line):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(5)
        s.sendto(line.encode(), ("127.0.0.1", port))
        return s.recv(999).decode()


def test_json_interface_and_metrics(station):
    """What a plain client sees of the same station (the server's own tests
    go through every code and field)."""
    web, _ = station
    status, kind, body = _get(web, "/api/chain")
    assert (status, kind) == (200, "application/json")
    assert [(m["kind"], m["label"]) for m in json.loads(body)["modules"]] == CHAIN_ORDER
    status, kind, body = _get(web, "/api/samples?since=x")
    assert (status, kind) == (400, "application/json")
    assert "since must be a record number" in json.loads(body)["error"]
    count = 'zelstation_module_round_trip_seconds_count{position="0",label="Spindle"}'

    def scraped():
        status, kind, body = _get(web, "/metrics")
        assert status == 200 and kind.startswith("text/plain; version=0.0.4")
        values = dict(line.rsplit(" ", 1) for line in body.splitlines() if not line.startswith("#"))
        return float(values["zelstation_samples_total"]) > 0 and float(values[count]) > 0

    _wait("samples counted in the metrics", scraped, 20)


@pytest.fixture(scope="module")
def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        pytest.skip("python3-selenium is not installed")
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver") or (
        "/usr/bin/chromedriver" if os.path.exists("/usr/bin/chromedriver") else None)
    if not chromium or not driver:
        pytest.skip("headless browser test needs chromium and chromium-driver (Debian packages)")
    profile = tempfile.mkdtemp(prefix="zel-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--user-data-dir=" + profile):
        options.add_argument(argument)
    b = webdriver.Chrome(service=Service(driver), options=options)
    yield b
    b.quit()
    shutil.rmtree(profile, ignore_errors=True)


def _wait(what, condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        got = condition()
        if got:
            return got
        time.sleep(0.1)
    pytest.fail("waited %d s for %s" % (seconds, what))


def test_page_shows_the_chain_live_and_a_restart(browser, station):
    from selenium.webdriver.common.by import By

    web, control = station
    browser.get("http://127.0.0.1:%d/" % web)
    rows = _wait("the eight modules", lambda: (
        lambda r: r if len(r) == 8 else None)(browser.find_elements(By.CSS_SELECTOR, "#chain tbody tr")), 20)
    shown = [(r.find_element(By.CLASS_NAME, "kind").text, r.find_element(By.CLASS_NAME, "label").text)
             for r in rows]
    assert shown == CHAIN_ORDER
    assert [r.get_attribute("data-position") for r in rows] == [str(p) for p in range(8)]

    def values():
        return [e.text for e in browser.find_elements(By.CSS_SELECTOR, "#chain .number")]

    before = _wait("values on the page", lambda: (lambda v: v if v and "-" not in v else None)(values()), 20)
    _wait("values changing", lambda: values() != before, 20)
    units = browser.find_element(By.CSS_SELECTOR, 'tr[data-position="4"] .values').text
    assert "V" in units and "mA" in units

    # A channel picked for the plot is drawn.
    browser.find_element(By.ID, "pick-0-0").click()
    _wait("the legend", lambda: "Spindle 1" in browser.find_element(By.ID, "legend").text, 10)

    def health():
        return browser.find_element(
            By.CSS_SELECTOR, 'tr[data-position="%d"]' % RESTARTED).get_attribute("data-health")

    assert health() == "ok"
    assert _control(control, "restart %d 3000" % RESTARTED).startswith("ok")
    _wait("the restarted module lost", lambda: health() == "lost", 20)
    _wait("the restarted module back", lambda: health() == "ok", 30)
    log = browser.find_element(By.ID, "events").text
    assert "Table Y: lost -> ok (rebooted)" in log or "lost -> back (rebooted)" in log, log
    # The others never left.
    for p in range(5):
        if p != RESTARTED:
            row = browser.find_element(By.CSS_SELECTOR, 'tr[data-position="%d"]' % p)
            assert row.get_attribute("data-health") == "ok"
