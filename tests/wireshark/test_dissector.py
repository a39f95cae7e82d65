"""The Lua dissector under tshark, on captures the simulator makes now and
on hostile datagrams."""

import os
import random
import struct
import subprocess

import pytest

LUA = os.environ["ZEL_LUA"]
TSHARK = os.environ.get("TSHARK", "tshark")


def tshark(pcap, *args):
    out = subprocess.run([TSHARK, "-X", "lua_script:" + LUA, "-2", "-r", str(pcap), *args],
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert "Lua" not in out.stderr and "Lua" not in out.stdout, out.stderr + out.stdout
    return out.stdout


def fields(pcap, filter_, *names):
    args = ["-Y", filter_, "-T", "fields"]
    for n in names:
        args += ["-e", n]
    return [line.split("\t") for line in tshark(pcap, *args).splitlines()]


@pytest.fixture(scope="module")
def captures(tmp_path_factory):
    folder = tmp_path_factory.mktemp("captures")
    subprocess.run([os.environ["MAKE_SAMPLES"], str(folder)], check=True, capture_output=True)
    return folder


def test_discovery_and_chain_ordering(captures):
    pcap = captures / "discovery_and_chain.pcap"
    broadcasts = fields(pcap, "zel.cmd == 0 && ip.dst == 127.0.0.0/8 && zel.option == 1", "zel.host_port")
    assert len(broadcasts) == 1
    connects = fields(pcap, "zel.answer == 18 && zel.response_to", "ip.src", "zel.mac", "zel.ip_static",
                      "zel.netmask_static", "zel.connect_flag")
    assert len({c[0] for c in connects}) == 8
    assert all(c[1].startswith("00:1a:2b") and ".200." in c[2] and c[3] == "255.255.255.0" for c in connects)
    assert sorted(c[4] for c in connects).count("1") >= 1, "the module plugged into the host"
    # The ordering: right outputs set and left inputs read, each answered.
    assert fields(pcap, "zel.cmd == 9 && !zel.response_in", "frame.number") == []
    assert len(fields(pcap, "zel.answer == 8", "zel.left")) >= 8


def test_reads_of_every_kind(captures):
    pcap = captures / "reads.pcap"
    counts = fields(pcap, "zel.answer == 1", "ip.src", "zel.counts")
    assert len(counts) >= 5
    types = fields(pcap, "zel.answer == 10", "zel.module_id", "zel.channels")
    assert {t[0] for t in types} >= {"58030501", "58031501", "58031601", "58031101"}
    assert fields(pcap, "zel.answer == 23", "zel.adc")
    assert fields(pcap, "zel.answer == 26", "zel.integrity.errors")
    answered = fields(pcap, "zel.answer && zel.response_to", "zel.rtt")
    assert answered and all(float(a[0]) >= 0 for a in answered)


def test_firmware_update(captures):
    pcap = captures / "firmware_update.pcap"
    inits = fields(pcap, "zel.cmd == 28", "zel.program.choice", "zel.program.checksum")
    assert [i[0] for i in inits] == ["2", "4"]
    records = fields(pcap, "zel.cmd == 29", "zel.program.record", "zel.response_in")
    assert records and all(r[0].startswith("S") and r[1] for r in records)
    assert fields(pcap, "zel.cmd == 30", "zel.response_in")


def test_asynchronous_messages_are_messages(captures):
    pcap = captures / "async_messages.pcap"
    lines = tshark(pcap)
    assert "Message latch (22)" in lines and "Message channel status (33)" in lines
    status = fields(pcap, "zel.answer == 33 && !zel.response_to", "zel.channel", "zel.status")
    assert status == [["2", "0x05"]]


def test_faults_are_flagged(captures):
    pcap = captures / "faults.pcap"
    assert fields(pcap, "zel.retry", "frame.number"), "retries"
    experts = tshark(pcap, "-T", "fields", "-e", "_ws.expert.message")
    assert "Request not answered" in experts
    assert "Parameter length" in experts, "the answer cut short"
    wrong = fields(pcap, "zel.answer == 7 && zel.response_to", "zel.response_to", "_ws.expert.message")
    assert wrong, "the answer of another type is paired with the counts request"
    flagged = [w[1] for w in wrong if w[1]]
    assert len(flagged) == 1 and "to the request get counts (1) of frame" in flagged[0], wrong
    # The configuration answer to its own request raises nothing.
    assert len(wrong) == 2, wrong


def write_pcap(path, datagrams):
    """datagrams: (to_module, payload) between 127.0.0.1:40000 and 127.2.0.10:27015."""
    with open(path, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101))
        for i, (to_module, payload) in enumerate(datagrams):
            src, dst = (b"\x7f\x00\x00\x01", b"\x7f\x02\x00\x0a") if to_module else (b"\x7f\x02\x00\x0a", b"\x7f\x00\x00\x01")
            sport, dport = (40000, 27015) if to_module else (27015, 40000)
            udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
            ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), i, 0, 64, 17, 0, src, dst) + udp
            f.write(struct.pack("<IIII", 1700000000 + i, 0, len(ip), len(ip)) + ip)


def test_negative_answers_and_their_pairs(tmp_path):
    """A negative answer without parameters is flagged; it fits any request, as the connect
    message fits the connect request."""
    pcap = tmp_path / "negative.pcap"
    write_pcap(pcap, [(True, bytes([24, 2, 2, 0, 9])), (False, bytes([17, 0, 0])),
                      (True, bytes([0, 3, 9]) + bytes(9)), (False, bytes([18, 11, 37]) + bytes(37))])
    rows = fields(pcap, "zel.answer", "zel.answer", "zel.response_to", "_ws.expert.message")
    assert [r[:2] for r in rows] == [["17", "1"], ["18", "3"]]
    assert rows[0][2] == "Negative answer"
    assert rows[1][2] == ""


def test_hostile_datagrams_never_break_the_dissector(tmp_path):
    """Random and cut frames to and from port 27015: decoded or marked, never a Lua error."""
    rng = random.Random(7)
    pcap = tmp_path / "hostile.pcap"
    with open(pcap, "wb") as f:
        f.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 101))
        for i in range(400):
            payload = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 80)))
            if i % 3 == 0 and payload:
                payload = bytes([rng.choice([0, 1, 7, 10, 18, 22, 24, 26, 28, 29, 33])]) + payload[1:]
            to_module = i % 2 == 0
            src, dst = (b"\x7f\x00\x00\x01", b"\x7f\x02\x00\x0a") if to_module else (b"\x7f\x02\x00\x0a", b"\x7f\x00\x00\x01")
            sport, dport = (40000, 27015) if to_module else (27015, 40000)
            udp = struct.pack(">HHHH", sport, dport, 8 + len(payload), 0) + payload
            ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), i, 0, 64, 17, 0, src, dst) + udp
            f.write(struct.pack("<IIII", 1700000000 + i, 0, len(ip), len(ip)) + ip)
    out = tshark(pcap)
    assert out.count("\n") == 400


def test_zeltool_captures_the_host_side(tmp_path):
    """zeltool --pcap: the library's own datagrams, answers paired."""
    pcap = tmp_path / "host.pcap"
    subprocess.run([os.environ["ZELTOOL"], "read", "1", "--pcap", str(pcap)], check=True, capture_output=True)
    requests = fields(pcap, "zel.cmd == 1", "zel.response_in")
    assert requests and all(r[0] for r in requests), "every counts request answered"
    assert fields(pcap, "zel.cmd == 0 && zel.option == 1", "frame.number"), "the discovery broadcast"


def test_the_dissectors_command_names_are_the_librarys():
    """The Lua table of command names against the library's one command table."""
    import re
    source = os.path.join(os.path.dirname(LUA), "..", "..", "src", "transport", "zelbus_commands.h")
    library = {int(code): name for code, name in re.findall(r'X\(UDP_CMD_\w+, (\d+), -?\d+, -?\d+, "([^"]+)"\)', open(source).read())}
    lua = {int(code): name for code, name in re.findall(r'\[(\d+)\] = "([^"]+)"', open(LUA).read().split("local f = zel.fields")[0])}
    assert lua == library
