#!/usr/bin/python3
"""zelstation end to end on this machine, against a Mosquitto broker of its
own on loopback and a paho subscriber, on the built-in simulated chain:

  latency   a sample's request (the station's monotonic clock) to its
            delivery at the subscriber (the same clock), p50 / p99, at
            100 Hz, with batches of 1 and of 10 samples; beside it a bare
            paho publisher's messages through the same broker (baseline)
  cpu       the service's processor share at 100 Hz, with and without MQTT
  rates     the largest rate at which every sample taken reaches the
            subscriber (deadlines the sampling missed are told beside it)
  outage    the backlog after the broker is away OUTAGE seconds at 100 Hz,
            and the time from its return until the subscriber is live again

  bench/station_service_bench.py --zelstation build/tools/zelstation/zelstation \\
      [--seconds 20] [--outage 60] [--rates 100,200,500,1000,2000]
"""

import argparse
import json
import os
import pwd
import signal
import socket
import sqlite3
import subprocess
import tempfile
import threading
import time
from pathlib import Path

import paho.mqtt.client as mqtt

TICK = os.sysconf("SC_CLK_TCK")


def now_us():
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 1000


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(done, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end and not done():
        time.sleep(0.02)
    return done()


class Broker:
    def __init__(self, folder, mosquitto):
        self.folder, self.mosquitto, self.port, self.process = folder, mosquitto, free_port(), None
        (folder / "mosquitto.conf").write_text(
            f"listener {self.port} 127.0.0.1\nallow_anonymous true\npersistence true\n"
            f"persistence_location {folder}/\nautosave_interval 1\nmax_queued_messages 0\n"
            f"user {pwd.getpwuid(os.getuid()).pw_name}\n")

    def start(self):
        log = open(self.folder / "mosquitto.log", "a")
        self.process = subprocess.Popen([self.mosquitto, "-c", str(self.folder / "mosquitto.conf")],
                                        stdout=log, stderr=log)

        def accepts():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return True
            except OSError:
                return False
        assert wait_for(accepts, 10)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Subscriber:
    """Every sample's sequence, request time and arrival time."""

    def __init__(self, port, topic, name):
        self.arrivals, self.runs, self.lock = {}, set(), threading.Lock()
        self.client = mqtt.Client(client_id=name, clean_session=False)
        self.client.on_connect = lambda c, u, f, rc: c.subscribe(topic, qos=1)
        self.client.on_message = self.take
        self.client.reconnect_delay_set(0.05, 0.2)
        self.client.connect("127.0.0.1", port, 30)
        self.client.loop_start()

    def take(self, client, user, message):
        arrived = now_us()
        if message.topic.endswith("/bare"):
            with self.lock:
                self.arrivals[len(self.arrivals)] = (int(message.payload), arrived)
            return
        batch = json.loads(message.payload)
        with self.lock:
            for s in batch["samples"]:
                self.arrivals.setdefault(s["sequence"], (s["request_us"], arrived))

    def close(self):
        self.client.disconnect()
        self.client.loop_stop()

    def latencies_ms(self):
        with self.lock:
            return sorted((a - r) / 1000.0 for r, a in self.arrivals.values())


def percentile(values, p):
    return values[min(len(values) - 1, int(len(values) * p / 100.0))] if values else float("nan")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def station(args, folder, port, rate, batch, name, mqtt_on=True):
    conf = folder / f"{name}.conf"
    text = f"[station]\nname = {name}\nsimulate = yes\nrate = {rate}\n"
    if mqtt_on:
        text += (f"[mqtt]\nhost = 127.0.0.1\nport = {port}\nbatch_samples = {batch}\n"
                 f"batch_interval_ms = {0 if batch == 1 else 100}\n"
                 f"backlog_file = {folder}/{name}.db\nbacklog_samples = 100000000\n")
    conf.write_text(text)
    err = open(folder / f"{name}.err", "w")
    return subprocess.Popen([args.zelstation, "--settings", str(conf), "--drain", "60"],
                            stdout=subprocess.DEVNULL, stderr=err)


def stop(process):
    process.send_signal(signal.SIGTERM)
    return process.wait(120)


def bare_latency(port, rate, seconds):
    """A paho publisher's monotonic time stamps through the same broker."""
    sub = Subscriber(port, "bench/bare", "bare-sub")
    time.sleep(0.5)
    pub = mqtt.Client(client_id="bare-pub")
    pub.connect("127.0.0.1", port, 30)
    pub.loop_start()
    period, start = 1.0 / rate, time.monotonic()
    for k in range(int(rate * seconds)):
        delay = start + k * period - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        pub.publish("bench/bare", str(now_us()), qos=1)
    time.sleep(1)
    pub.loop_stop()
    pub.disconnect()
    sub.close()
    return sub.latencies_ms()


def latency(args, folder, broker):
    print(f"latency at 100 Hz ({args.seconds} s each):")
    bare = bare_latency(broker.port, 100, args.seconds)
    print(f"  bare paho publisher -> broker -> subscriber: p50 {percentile(bare, 50):.2f} ms, "
          f"p99 {percentile(bare, 99):.2f} ms ({len(bare)} messages)")
    for batch in (1, 10):
        name = f"lat{batch}"
        sub = Subscriber(broker.port, f"zel/{name}/samples", name + "-sub")
        process = station(args, folder, broker.port, 100, batch, name)
        time.sleep(2)
        cpu0, t0 = cpu_seconds(process.pid), time.monotonic()
        time.sleep(args.seconds)
        cpu = (cpu_seconds(process.pid) - cpu0) / (time.monotonic() - t0)
        stop(process)
        time.sleep(0.5)
        sub.close()
        lat = sub.latencies_ms()
        print(f"  zelstation, batches of {batch:2}: p50 {percentile(lat, 50):.2f} ms, "
              f"p99 {percentile(lat, 99):.2f} ms ({len(lat)} samples); "
              f"service CPU {100 * cpu:.1f} % of a core")
    process = station(args, folder, broker.port, 100, 10, "nomqtt", mqtt_on=False)
    time.sleep(2)
    cpu0, t0 = cpu_seconds(process.pid), time.monotonic()
    time.sleep(args.seconds)
    cpu = (cpu_seconds(process.pid) - cpu0) / (time.monotonic() - t0)
    stop(process)
    print(f"  zelstation without MQTT (baseline): service CPU {100 * cpu:.1f} % of a core")


def counts(folder, name):
    text = (folder / f"{name}.err").read_text()
    line = [l for l in text.splitlines() if "zelstation: stopped:" in l][0]
    words = line.split()
    return int(words[2]), int(words[4])  # samples, missed deadlines


def rates(args, folder, broker):
    print(f"rates ({args.rate_seconds} s each, batches of 10): samples taken and delivered")
    best = None
    for rate in args.rates:
        name = f"rate{rate}"
        sub = Subscriber(broker.port, f"zel/{name}/samples", name + "-sub")
        process = station(args, folder, broker.port, rate, 10, name)
        time.sleep(args.rate_seconds)
        stop(process)
        taken, missed = counts(folder, name)
        wait_for(lambda: len(sub.arrivals) >= taken, 30)
        sub.close()
        got = len(sub.arrivals)
        whole = got == taken
        print(f"  {rate:6} Hz: {taken} samples, {missed} missed deadlines, {got} delivered"
              f"{'  (every sample)' if whole else ''}")
        if whole:
            best = rate
    print(f"  largest rate with every sample delivered: {best} Hz")


def outage(args, folder, broker):
    print(f"outage of {args.outage} s at 100 Hz:")
    name = "outage"
    sub = Subscriber(broker.port, f"zel/{name}/samples", name + "-sub")
    process = station(args, folder, broker.port, 100, 10, name)
    time.sleep(3)
    broker.stop()
    time.sleep(args.outage)
    with sqlite3.connect(folder / f"{name}.db") as db:
        backlog, batches = db.execute("SELECT sum(samples), count(*) FROM backlog").fetchone()
    size = os.path.getsize(folder / f"{name}.db") + (
        os.path.getsize(folder / f"{name}.db-wal") if (folder / f"{name}.db-wal").exists() else 0)
    back = now_us()
    broker.start()

    def live():
        with sub.lock:
            return any(r >= back for r, _ in sub.arrivals.values())
    wait_for(live, 600)
    drained = (now_us() - back) / 1e6
    with sub.lock:
        first = min(a for r, a in sub.arrivals.values() if a >= back)
    reconnected = (first - back) / 1e6
    stop(process)
    taken, missed = counts(folder, name)
    wait_for(lambda: len(sub.arrivals) >= taken, 60)
    sub.close()
    print(f"  backlog when the broker came back: {backlog} samples in {batches} batches "
          f"({size / 1e6:.1f} MB on disk)")
    print(f"  from the broker's return: first backlog sample at the subscriber after "
          f"{reconnected:.2f} s (the reconnection back-off), live samples after {drained:.2f} s "
          f"(the backlog drained in {drained - reconnected:.2f} s)")
    print(f"  {taken} samples taken, {missed} missed deadlines, {len(sub.arrivals)} delivered")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--zelstation", required=True)
    parser.add_argument("--mosquitto", default="/usr/sbin/mosquitto")
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--rate-seconds", type=float, default=10)
    parser.add_argument("--outage", type=float, default=60)
    parser.add_argument("--rates", type=lambda t: [int(r) for r in t.split(",")],
                        default=[100, 200, 500, 1000, 2000])
    parser.add_argument("--only", choices=["latency", "rates", "outage"])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="zelstation_bench_") as d:
        folder = Path(d)
        broker = Broker(folder, args.mosquitto)
        broker.start()
        try:
            for part in (latency, rates, outage):
                if args.only in (None, part.__name__):
                    part(args, folder, broker)
        finally:
            if broker.process and broker.process.poll() is None:
                broker.stop()


if __name__ == "__main__":
    main()
