"""A simulated chain in its own process (the project's zelsim), for scripts
and test suites that have no hardware at hand."""

from __future__ import annotations

import os
import re
import shutil
import socket
import subprocess
from pathlib import Path
from typing import List, Optional


class SimulatedChain:
    """Starts zelsim on a free loopback subnet; ``host`` and ``netmask`` are
    what a host passes to discovery. Use it as a context manager (or call
    stop()); the process ends with it."""

    def __init__(self, chain: str = "default", zelsim: Optional[str] = None,
                 async_period_ms: Optional[int] = None, control: bool = False) -> None:
        program = zelsim or os.environ.get("ZELSIM") or shutil.which("zelsim")
        if program is None or not Path(program).exists():
            raise FileNotFoundError("zelsim was not found: set ZELSIM to its path or put it on PATH")
        command = [program, "--chain", chain]
        if async_period_ms is not None:
            command += ["--async-period", str(async_period_ms)]
        if control:
            command += ["--control", "0"]
        self.control_port: Optional[int] = None
        self._process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = self._process.stdout.readline() if self._process.stdout else ""
        match = re.search(r"subnet 127\.(\d+)\.0\.0/16.*host side (\S+) netmask (\S+)", first)
        if match is None:
            error = self._process.stderr.read() if self._process.stderr else ""
            self.stop()
            raise RuntimeError(f"zelsim did not start: {first.strip() or error.strip()}")
        self.subnet = int(match.group(1))
        self.host = match.group(2)
        self.netmask = match.group(3)
        self.addresses: List[str] = []
        # One line per module: "zelsim: position P: MODEL (ID) at ADDRESS:27015"
        assert self._process.stdout is not None
        # ... then "zelsim: ready".
        while True:
            line = self._process.stdout.readline()
            found = re.search(r"position \d+: .* at (\S+):27015", line)
            if not found:
                break
            self.addresses.append(found.group(1))
        # With control: "zelsim: control port 127.0.0.1:PORT", then "zelsim: ready".
        port = re.search(r"control port 127\.0\.0\.1:(\d+)", line)
        if port:
            self.control_port = int(port.group(1))
            self._process.stdout.readline()

    def control(self, command: str, timeout_s: float = 5.0) -> str:
        """Runs one control command (``restart 2 500``, ``unplug 1``; see
        ``zelsim --help``) on the running chain and returns its answer line.
        The chain must have been started with ``control=True``."""
        if self.control_port is None:
            raise RuntimeError("the simulated chain was started without control=True")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.settimeout(timeout_s)
            s.sendto(command.encode("ascii"), ("127.0.0.1", self.control_port))
            return s.recv(4096).decode("ascii", "replace")

    def stop(self) -> None:
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        for stream in (self._process.stdout, self._process.stderr):
            if stream:
                stream.close()

    def __enter__(self) -> "SimulatedChain":
        return self

    def __exit__(self, *exc) -> None:
        self.stop()
