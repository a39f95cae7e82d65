"""What each surface reports is true: readings and their units, failed
writes, refused images, interrupted updates, time-outs, paths, numbering."""

import os
import shutil
import signal
import socket
import subprocess
import sys
import textwrap

import pytest

import zel
from zel.sim import SimulatedChain


def sample(name):
    return os.path.join(os.environ["ZEL_SOURCE_DIR"], "examples", "config", name)


def test_an_lvdt_channel_without_a_resolution_reads_in_volts(chain):
    with zel.open_module(chain.addresses[4]) as lvdt:
        readings = lvdt.positions()
        assert len(readings) == 8 and {r.unit for r in readings} == {"V"}
        for channel, reading in enumerate(readings[:2]):
            assert reading.value == pytest.approx(lvdt.voltage(channel)[0])
        assert readings[0] == pytest.approx((0.31, "V"))
        lvdt.set_resolution(1, 0.002, "um")
        readings = lvdt.positions()
        volts, raw = lvdt.voltage(1)
        assert readings[1] == pytest.approx((raw * 0.002, "um"))
        assert readings[0].unit == "V" and readings[2].unit == "V"


def test_kalix_readings_carry_their_revolutions(chain):
    with zel.open_module(chain.addresses[0]) as kalix:
        readings = kalix.positions()
        turns = [t for _, t in kalix.counts()]
        assert readings[0].revolutions == turns[0] == 1  # a linear channel: no turning
        assert all(isinstance(r.revolutions, int) for r in readings)
        value, unit = readings[0]  # still a (value, unit) pair
        assert (value, unit) == (readings[0].value, "mm")
    with zel.open_module(chain.addresses[1]) as ttl:
        assert all(r.revolutions is None for r in ttl.positions())


def test_the_positions_example_writes_volts_and_revolutions(chain, tmp_path):
    script = os.path.join(os.environ["ZEL_SOURCE_DIR"], "examples", "python", "watch_positions.py")
    for address, wanted in ((chain.addresses[4], "ch 0 (V),ch 1 (V)"),
                            (chain.addresses[0], "ch 0 (mm),ch 0 (revolutions),ch 1 (deg),ch 1 (revolutions)")):
        out = tmp_path / "positions.csv"
        subprocess.run([sys.executable, script, address, str(out), "2"], check=True, capture_output=True)
        lines = out.read_text().splitlines()
        assert lines[0].startswith("time," + wanted)
        assert len(lines) == 3
        if address == chain.addresses[4]:
            assert lines[1].split(",")[1] == "0.3100"


def test_io_outputs_count_from_zero_both_ways(chain):
    with zel.open_module(chain.addresses[6]) as io:
        for index in range(4):
            io.set_output(index, True)
            assert io.outputs()[index] is True
            io.set_output(index, False)
            assert io.outputs()[index] is False
        for bad in (-1, 4):
            with pytest.raises(zel.OutOfRange):
                io.set_output(bad, True)


def test_first_contact_honours_the_time_out(chain):
    # A listener at an address of the segment that never answers counts
    # what a host sends before it gives up: the probe's requests only, as
    # many as the time-out's attempts, and no connect request.
    prefix = chain.addresses[0].rsplit(".", 1)[0]
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.bind((prefix + ".251", 27015))
    with listener:
        with pytest.raises(zel.Timeout) as e:
            zel.open_module(prefix + ".251", timeout_ms=100, retries=2)
        listener.setblocking(False)
        seen = []
        while True:
            try:
                seen.append(listener.recv(2048)[0])
            except BlockingIOError:
                break
    assert e.value.code == 1 and "3 attempt(s) of 100 ms" in e.value.message
    assert seen == [7, 7, 7]


def test_a_configuration_write_that_did_not_happen_raises(tmp_path):
    path = tmp_path / "zürich.xml"
    shutil.copy(sample("chain.xml"), path)
    with zel.ConfigFile(path) as config:
        assert config.filename == str(path)
        assert config.set("Label", "Zürich", 2)
        (tmp_path / "folder.xml").mkdir()
        for target, says in ((tmp_path / "nowhere" / "x.xml", "cannot be written"),
                             (tmp_path / "folder.xml", "is a folder")):
            with pytest.raises(zel.ConfigError) as e:
                config.write(target)
            assert e.value.code == 2 and says in e.value.message and "nothing was written" in e.value.message
        for blank in ("", "   "):
            with pytest.raises(ValueError):
                config.set("Label", blank, 2)
        config.write()
        config.write(str(tmp_path / "ünïcode-copy.xml"))
    assert (tmp_path / "zürich.xml~").exists()
    with zel.ConfigFile(str(tmp_path / "ünïcode-copy.xml")) as again:
        assert again.get("Label", 2) == "Zürich"
        assert again.check() is None


def test_an_image_that_would_not_program_whole_is_never_sent(chain, zeltool, tmp_path):
    image = tmp_path / "fw.dat"
    subprocess.run([zeltool, "image", "build", str(image), "2.7.0"], check=True, capture_output=True)
    cut = tmp_path / "cut.dat"
    cut.write_bytes(image.read_bytes()[:9000])
    zel.check_image(image)
    with pytest.raises(zel.FileError) as e:
        zel.check_image(image, bootloader=True)
    assert e.value.code == 40
    with zel.open_module(chain.addresses[5]) as analog:
        before = analog.firmware_version
        with pytest.raises(zel.FileError) as e:
            analog.program(cut)
        assert e.value.code == 27 and "cut short" in e.value.message
        assert e.value.operation == "ZelModuleCheckProgramFile"
        assert analog.firmware_version == before

    example = os.path.join(os.environ["ZEL_SOURCE_DIR"], "examples", "python", "update_firmware.py")
    run = subprocess.run([sys.executable, example, chain.addresses[5], str(cut)], capture_output=True, text=True)
    assert run.returncode == 3 and "cut short" in run.stderr


_UPDATE = textwrap.dedent("""
    import sys, zel
    started = False
    def progress(state, percent):
        global started
        if state != "idle" and not started:
            started = True
            print("started", flush=True)
    with zel.open_module(sys.argv[1]) as module:
        module.program(sys.argv[2], progress=progress, interval=0.01)
        print("firmware", module.firmware_version, flush=True)
""")


@pytest.mark.parametrize("presses", [1, 2])
def test_ctrl_c_during_an_update_warns_and_never_crashes(zeltool, tmp_path, presses):
    image = tmp_path / "fw.dat"
    subprocess.run([zeltool, "image", "build", str(image), "2.6.0"], check=True, capture_output=True)
    with SimulatedChain("default") as sim:
        process = subprocess.Popen([sys.executable, "-c", _UPDATE, sim.addresses[3], str(image)],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        assert process.stdout.readline() == "started\n"
        for _ in range(presses):
            process.send_signal(signal.SIGINT)
            try:
                process.wait(timeout=0.5)  # pacing only: let the first press be seen alone
            except subprocess.TimeoutExpired:
                pass
        out, err = process.communicate(timeout=120)
    assert process.returncode != -signal.SIGSEGV, err
    assert "stopping now leaves the module at " + sim.addresses[3] in err
    if presses == 1:
        assert process.returncode == 0, err
        assert out == "firmware 2.6.0\n"
    else:
        assert process.returncode in (1, -signal.SIGINT), err
        assert f"recover with: zel.open_module({sim.addresses[3]!r}).program(" in err
        assert "KeyboardInterrupt" in err


@pytest.mark.parametrize("call, error, text", [
    (lambda: zel.open_module(None), TypeError, "must be text, not NoneType"),
    (lambda: zel.open_module("1.2.3.999"), zel.AddressError, "'1.2.3.999' is not an IPv4 address"),
    (lambda: zel.Module("10.0.0"), zel.AddressError, "'10.0.0' is not an IPv4 address"),
    (lambda: zel.Module("1.2.3.٤"), zel.AddressError, "is not an IPv4 address"),
    (lambda: zel.discover("x"), zel.AddressError, "'x' is not an IPv4 local address"),
    (lambda: zel.discover("127.0.0.1", "255.255.0"), zel.AddressError, "is not an IPv4 netmask"),
])
def test_a_bad_argument_is_refused_before_anything_is_sent(call, error, text):
    with pytest.raises(error) as refused:
        call()
    assert text in str(refused.value)


def test_a_bad_address_given_to_a_station_or_a_module_is_named(chain):
    from zel.acquisition import Acquisition
    from zel.station import Station
    for call, text in ((lambda: Station(None), "expected text, not NoneType"),
                       (lambda: Station(sample("chain.xml"), addresses=["127.0.0.300"]), "'127.0.0.300'"),
                       (lambda: Station(sample("chain.xml"), discover=("127.0.0.1", "mask")), "'mask'"),
                       (lambda: Acquisition(addresses=[chain.addresses[0], "host"]), "'host'")):
        with pytest.raises((TypeError, zel.AddressError)) as refused:
            call()
        assert text in str(refused.value)
    with zel.open_module(chain.addresses[0]) as module:
        with pytest.raises(zel.AddressError):
            module.set_ip("10.0.0.1", "255.255.255.256")
        assert module.address == chain.addresses[0]
