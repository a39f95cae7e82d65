"""Modules, configuration files and firmware updates against zelsim."""

import gc
import os
import shutil
import subprocess

import pytest

import zel


def test_discovery_lists_the_chain_with_each_kind(chain):
    found = {m.address: m for m in zel.discover(chain.host, chain.netmask)}
    assert sorted(found) == sorted(chain.addresses)
    kinds = sorted(m.kind for m in found.values())
    assert kinds == sorted(["Kalix encoder", "TTL encoder", "power supply", "1 Vpp encoder", "LVDT",
                            "analog", "I/O", "pneumatic"])
    kalix = found[chain.addresses[0]]
    assert (kalix.model, kalix.firmware, kalix.dhcp) == ("ZEL 4105", "2.3.1", False)


def test_each_kind_reads_its_values(chain):
    a = chain.addresses
    with zel.open_module(a[0]) as kalix:
        assert isinstance(kalix, zel.KalixModule)
        value, unit = kalix.positions()[0]
        assert unit == "mm" and 12.0 < value < 20.0
        assert kalix.encoder_name(0) == "KX-LIN"
    with zel.open_module(a[1]) as ttl:
        assert isinstance(ttl, zel.TtlModule)
        assert len(ttl.counts()) == ttl.channels == 8
        ttl.set_linear(0, 20.0)
        assert ttl.positions()[0][1] == "mm"
    with zel.open_module(a[4]) as lvdt:
        lvdt.set_resolution(0, 0.001)
        assert lvdt.positions()[0] == pytest.approx((1200.0, "mm"))
    with zel.open_module(a[5]) as analog:
        assert analog.positions()[0] == pytest.approx((2.5, "V"))
    with zel.open_module(a[6]) as io:
        assert io.inputs() == [True, False, True, False]
        io.set_output(1, True)
        assert io.outputs()[1] is True
    with zel.open_module(a[7]) as valve:
        valve.valve = True
        assert valve.valve is True


def test_settings_and_every_error_family(chain):
    with zel.open_module(chain.addresses[1]) as ttl:
        ttl.async_port = 30001
        assert ttl.async_port == 30001
        with pytest.raises(zel.OutOfRange) as e:
            ttl.async_port = 80
        assert e.value.code == 33 and e.value.message == "A parameter value is out of range"
        with pytest.raises(zel.FileError):
            ttl.program("/nowhere/fw.dat")
    with pytest.raises(zel.Timeout) as e:
        zel.Module(chain.addresses[0].rsplit(".", 1)[0] + ".250")
    assert e.value.code == 1 and e.value.operation == "ZelModuleInitialize"
    with pytest.raises(zel.ConfigError) as e:
        zel.ConfigFile("/nowhere/cell.xml")
    assert e.value.code != 0


def test_handles_are_deleted_once(chain):
    module = zel.open_module(chain.addresses[1])
    module.close()
    module.close()
    assert module.closed
    with pytest.raises(ValueError):
        module.address
    del module
    gc.collect()
    # Many configuration objects made and dropped leave no growth behind.
    import resource
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for _ in range(10000):
        with zel.ConfigFile():
            pass
        zel.ConfigFile()  # left to the garbage collector
    gc.collect()
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 20000  # kB


def test_configuration_round_trip_with_backup(tmp_path):
    source = os.path.join(os.environ["ZEL_SOURCE_DIR"], "examples", "config", "chain.xml")
    path = tmp_path / "cell.xml"
    shutil.copy(source, path)
    with zel.ConfigFile(str(path)) as config:
        assert config.modules == 8
        assert config.check() is None
        assert config.get("Label", 2) == "Table X"
        assert config.set("Label", "Zürich", 2) is True
        assert config.set("Label", "Zürich", 2) is False
        with pytest.raises(zel.TextError):
            config.set("Label", "10 Ω", 2)
        config.write()
    assert (tmp_path / "cell.xml~").exists()
    with zel.ConfigFile(str(path)) as again:
        assert again.get("Label", 2) == "Zürich"
        assert "EncoderName" in again.listing(1, 1)
    broken = os.path.join(os.environ["ZEL_SOURCE_DIR"], "examples", "config", "missing_ttl_interpolation.xml")
    with zel.ConfigFile(broken) as config:
        assert config.check(raise_error=False) == ("Interpolation", 3, 2)
        with pytest.raises(zel.ConfigError) as e:
            config.check()
        assert e.value.code == 14 and e.value.location == ("Interpolation", 3, 2)


def test_firmware_update_reports_progress_to_the_end(chain, zeltool, tmp_path):
    image = tmp_path / "fw.dat"
    subprocess.run([zeltool, "image", "build", str(image), "2.5.0"], check=True, capture_output=True)
    headers = zel.image_info(str(image))
    assert [h.version for h in headers] == ["2.5.0", "2.5.0"]
    seen = []
    with zel.open_module(chain.addresses[1]) as ttl:
        ttl.program(str(image), progress=lambda state, percent: seen.append((state, percent)), interval=0.01)
        assert ttl.firmware_version == "2.5.0", "read again after the update"
    assert seen[-1] == ("complete", 100.0)
    assert {"preparing", "finishing"} <= {s for s, _ in seen}
    percents = [p for _, p in seen]
    assert percents == sorted(percents)
    with zel.open_module(chain.addresses[1]) as ttl:
        assert ttl.firmware_version == "2.5.0"


def test_examples_run(chain, tmp_path):
    examples = os.path.join(os.environ["ZEL_SOURCE_DIR"], "examples", "python")
    out = subprocess.run(["python3", os.path.join(examples, "chain_list.py"), chain.host, chain.netmask],
                         check=True, capture_output=True, text=True).stdout
    assert out.count("\n") == 8 and "Kalix encoder" in out
    csv = tmp_path / "positions.csv"
    subprocess.run(["python3", os.path.join(examples, "watch_positions.py"), chain.addresses[0], str(csv), "3"],
                   check=True, capture_output=True)
    lines = csv.read_text().splitlines()
    assert lines[0].startswith("time,") and len(lines) == 4
