"""zelstation as a user runs it, against a Mosquitto broker each test starts
on loopback, on the built-in simulated chain at 100 Hz: a broker restart
loses no sample and repeats none, a stop on SIGTERM hands every sample taken
to the broker and the recording, a station killed with -9 is told offline
by its last will, and wrong settings or a dead broker are told, not crashed
on. ZELSTATION names the program; MOSQUITTO the broker."""

import json
import os
import pwd
import signal
import socket
import sqlite3
import subprocess
import time

import paho.mqtt.client as mqtt
import pytest

ZELSTATION = os.environ.get("ZELSTATION", "")
MOSQUITTO = os.environ.get("MOSQUITTO", "/usr/sbin/mosquitto")

pytestmark = pytest.mark.skipif(not ZELSTATION, reason="ZELSTATION is not set")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def eventually(done, seconds=15.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if done():
            return True
        time.sleep(0.05)
    return done()


class Broker:
    """mosquitto with persistence in the test's folder, so a subscriber's
    session outlives a restart."""

    def __init__(self, folder, port):
        self.folder, self.port, self.process = folder, port, None
        user = pwd.getpwuid(os.getuid()).pw_name
        (folder / "mosquitto.conf").write_text(
            f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence true\n"
            f"persistence_location {folder}/\nautosave_interval 1\nuser {user}\n")

    def start(self):
        log = open(self.folder / "mosquitto.log", "a")
        self.process = subprocess.Popen([MOSQUITTO, "-c", str(self.folder / "mosquitto.conf")],
                                        stdout=log, stderr=log)
        assert eventually(self.accepts, 10), "the broker did not start"

    def accepts(self):
        try:
            socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
            return True
        except OSError:
            return False

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(10)
            self.process = None


class Subscriber:
    """A session the broker keeps (QoS 1); every message kept in order."""

    def __init__(self, port, topic, client_id):
        self.messages, self.subscribed = [], False
        self.client = mqtt.Client(client_id=client_id, clean_session=False)
        self.client.on_connect = lambda c, u, f, rc: c.subscribe(topic, qos=1)
        self.client.on_subscribe = lambda *a: setattr(self, "subscribed", True)
        self.client.on_message = lambda c, u, m: self.messages.append((m.topic, m.payload, m.retain))
        self.client.reconnect_delay_set(0.1, 0.5)
        self.client.connect("127.0.0.1", port, 30)
        self.client.loop_start()
        assert eventually(lambda: self.subscribed, 10)

    def close(self):
        self.client.disconnect()
        self.client.loop_stop()

    def batches(self):
        return [json.loads(p) for t, p, _ in list(self.messages) if t.endswith("/samples")]

    def last(self, topic):
        found = [json.loads(p) for t, p, _ in list(self.messages) if t == topic]
        return found[-1] if found else None


def delivered(batches):
    """The batches as a subscriber takes them: QoS 1 delivers at least once,
    so a batch that comes again when a connection broke before its
    acknowledgement is told by its range and dropped. Returns the batches
    taken and the repeats, each of which must equal the batch it repeats."""
    taken, repeats, seen = [], 0, {}
    for b in batches:
        if "last" in b and b["run"] in seen and b["last"] <= seen[b["run"]]["last"]:
            earlier = [t for t in taken if t.get("first") == b["first"] and t["run"] == b["run"]]
            assert earlier and earlier[0] == b, "a repeated batch differs from the first"
            repeats += 1
            continue
        taken.append(b)
        if "last" in b:
            seen[b["run"]] = b
    return taken, repeats


def accounted(batches):
    """Sample sequences in the order they came, and the deadlines the
    station said it missed or lost to a full queue."""
    samples, skipped = [], set()
    for b in delivered(batches)[0]:
        samples += [s["sequence"] for s in b["samples"]]
        for e in b["events"]:
            if e["kind"] in ("missed", "overflow"):
                skipped.update(range(e["sequence"], e["sequence"] + e["count"]))
    return samples, skipped


def settings(folder, port, **extra):
    text = ("[station]\nname = cell3\nsimulate = yes\nrate = 100\n"
            f"[record]\nfile = {folder}/run.zelrec\n"
            f"[mqtt]\nhost = 127.0.0.1\nport = {port}\nbatch_samples = 10\n"
            f"backlog_file = {folder}/backlog.db\n")
    text += "".join(f"{line}\n" for line in extra.get("lines", []))
    path = folder / "zelstation.conf"
    path.write_text(text)
    return path


def start(folder, *args):
    err = open(folder / "zelstation.err", "w")
    return subprocess.Popen([ZELSTATION, *args], stdout=subprocess.DEVNULL, stderr=err)


def recorded_samples(folder):
    with sqlite3.connect(folder / "run.zelrec") as db:
        return [row[0] for row in db.execute("SELECT sequence FROM samples ORDER BY sequence")]


def test_broker_restart_loses_and_repeats_no_sample(tmp_path):
    port = free_port()
    broker = Broker(tmp_path, port)
    broker.start()
    sub = Subscriber(port, "zel/cell3/#", "restart-watch")
    station = start(tmp_path, "--settings", str(settings(tmp_path, port)))
    try:
        assert eventually(lambda: len(sub.batches()) >= 10), (tmp_path / "zelstation.err").read_text()
        broker.stop()
        time.sleep(10)
        broker.start()
        before = len(sub.batches())
        assert eventually(lambda: len(sub.batches()) >= before + 100), \
            (tmp_path / "zelstation.err").read_text()
    finally:
        station.send_signal(signal.SIGTERM)
        status = station.wait(30)
    err = (tmp_path / "zelstation.err").read_text()
    assert status == 0, err
    assert eventually(lambda: (sub.last("zel/cell3/state") or {}).get("reason") == "stopped")
    sub.close()
    broker.stop()

    samples, skipped = accounted(sub.batches())
    repeats = delivered(sub.batches())[1]
    assert repeats <= 2, f"{repeats} batches repeated; {err}"  # only at broken connections
    assert samples == sorted(set(samples)), f"a sample came twice or out of order; {err}"
    missing = set(range(samples[-1] + 1)) - set(samples) - skipped
    assert not missing, f"samples missing: {sorted(missing)[:20]}; {err}"
    # Everything the station acquired reached the broker and the recording.
    recorded = recorded_samples(tmp_path)
    assert samples == recorded, f"{len(samples)} delivered, {len(recorded)} recorded; {err}"
    assert "0 left in the backlog" in err, err
    assert len(samples) > 1000  # the 10 s outage's samples among them


def test_sigterm_hands_every_sample_on_and_kill_leaves_the_last_will(tmp_path):
    port = free_port()
    broker = Broker(tmp_path, port)
    broker.start()
    sub = Subscriber(port, "zel/cell3/#", "will-watch")
    config = settings(tmp_path, port)
    station = start(tmp_path, "--settings", str(config))
    assert eventually(lambda: len(sub.batches()) >= 5), (tmp_path / "zelstation.err").read_text()
    station.send_signal(signal.SIGTERM)
    assert station.wait(30) == 0, (tmp_path / "zelstation.err").read_text()
    samples, _ = accounted(sub.batches())
    assert eventually(lambda: accounted(sub.batches())[0] == recorded_samples(tmp_path), 5)

    os.remove(tmp_path / "run.zelrec")
    station = start(tmp_path, "--settings", str(config))
    assert eventually(lambda: (sub.last("zel/cell3/state") or {}).get("state") == "online")
    station.kill()
    station.wait(10)
    assert eventually(lambda: sub.last("zel/cell3/state")["state"] == "offline")
    assert sub.last("zel/cell3/state")["reason"] == "connection lost"
    sub.close()
    # A subscriber that comes later learns it from the retained messages.
    late = Subscriber(port, "zel/cell3/#", "late-watch")
    assert eventually(lambda: len([m for m in late.messages if m[2]]) >= 6)
    retained = {t: json.loads(p) for t, p, r in late.messages if r}
    assert retained["zel/cell3/state"]["state"] == "offline"
    assert retained["zel/cell3/module/0/state"]["label"] == "Spindle"
    assert retained["zel/cell3/module/0/state"]["channels"][0]["unit"] == "deg"  # a rotary channel
    late.close()
    broker.stop()


@pytest.mark.parametrize("lines, told", [
    (["rate = fast"], "zelstation.conf:3: rate = 'fast': expected samples a second, 0.01 to 100000"),
    (["[mqtt]", "port = 0"], "zelstation.conf:4: port = '0': expected a port, 1 to 65535"),
    (["[mqtt]", "host = 127.0.0.1", "ca_file = /nonexistent/ca.pem"],
     "MQTT: the TLS files cannot be used (ca_file /nonexistent/ca.pem"),
    (["chain = /nonexistent/cell.xml"], "/nonexistent/cell.xml: cannot be simulated"),
])
def test_wrong_settings_are_told_and_nothing_runs(tmp_path, lines, told):
    path = tmp_path / "zelstation.conf"
    path.write_text("[station]\nsimulate = yes\n" + "".join(f"{l}\n" for l in lines))
    result = subprocess.run([ZELSTATION, "--settings", str(path)], capture_output=True,
                            text=True, timeout=30)
    assert result.returncode == 3, result.stderr
    assert told in result.stderr


def test_a_dead_broker_keeps_the_samples_in_the_backlog(tmp_path):
    port = free_port()  # nobody listens there
    station = start(tmp_path, "--settings", str(settings(tmp_path, port)), "--drain", "0.5")
    time.sleep(2)
    station.send_signal(signal.SIGTERM)
    assert station.wait(30) == 0
    err = (tmp_path / "zelstation.err").read_text()
    assert "0 samples acknowledged" in err
    with sqlite3.connect(tmp_path / "backlog.db") as db:
        kept = db.execute("SELECT sum(samples) FROM backlog").fetchone()[0]
    assert kept == len(recorded_samples(tmp_path)), err
    assert f"{kept} left in the backlog (sent at the next start)" in err
