"""The station's C functions through the package: the binding table against
the station's header, a station opened from a file against zelsim running
the same file, a refused value, snapshots, an ordered chain, and an
acquisition over the station that gives a restarted module its file settings
back."""

import os
import re
import subprocess
from pathlib import Path

import pytest

from zel import _capi
from zel.sim import SimulatedChain
from zel.acquisition import Acquisition
from zel.station import Chain, Station, StationError

from test_binding import _norm

CHAIN_FILE = str(Path(__file__).resolve().parents[2] / "examples" / "config" / "chain.xml")


def test_every_station_function_has_its_binding_with_the_same_types():
    source = os.environ.get("ZEL_SOURCE_DIR")
    generated = os.environ.get("ZEL_GENERATED_DIR")
    if not source or not generated:
        pytest.skip("ZEL_SOURCE_DIR and ZEL_GENERATED_DIR are not set")
    out = subprocess.run(["cc", "-E", "-P", "-I" + source + "/src", "-I" + generated,
                          source + "/src/station/zel_station_capi.h"], check=True, capture_output=True,
                         text=True).stdout
    declared = {}
    for head, args in re.findall(r'__attribute__\(\(visibility\("default"\)\)\)\s+([^;]+?)\s*\(([^)]*)\)\s*;',
                                 out.replace("\n", " ")):
        result, name = re.match(r"(.*?)([A-Za-z_]\w*)$", _norm(head)).groups()
        params = [] if args.strip() in ("", "void") else [
            _norm(re.match(r"(.*?)([A-Za-z_]\w*)$", _norm(p)).group(1)) for p in args.split(",")]
        declared[name] = (_norm(result), tuple(params))
    bound = {name: (result, tuple(args)) for name, result, args in _capi.STATION_TABLE}
    assert declared == bound
    for _, result, args in _capi.STATION_TABLE:
        _capi.ctype(result)
        for a in args:
            _capi.ctype(a)


@pytest.fixture(scope="module")
def file_chain():
    with SimulatedChain(CHAIN_FILE) as sim:
        yield sim


def test_a_station_opens_from_its_file_verifies_and_reads_by_label(file_chain):
    with Station(CHAIN_FILE, addresses=file_chain.addresses) as station:
        assert station.verified
        assert station.differences == []
        readings = station.read()
        assert [(r.label, r.unit) for r in readings[6:10]] == [
            ("Probes 1", "mm"), ("Probes 2", "mm"), ("Pressure 1", "V"), ("Pressure 1", "mA")]
        # The simulated probes stand a third into their -2 to 2 mm range.
        assert readings[6].value == pytest.approx(-0.6667)
        assert readings[6].position == 3 and readings[6].channel == 0
        value, unit = station.read_label("Probes 2")
        assert (round(value, 4), unit) == (0.6667, "mm")
        records = station.snapshot()
        assert [r.position for r in records] == [0, 1, 2, 3, 4]
        assert all(r.code == 0 for r in records)
        with pytest.raises(StationError) as missing:
            station.read_label("Nowhere")
        assert missing.value.code == 104


def test_a_chain_that_differs_opens_and_says_how(file_chain):
    addresses = list(file_chain.addresses)
    addresses[5], addresses[6] = addresses[6], addresses[5]
    with Station(CHAIN_FILE, addresses=addresses) as station:
        assert not station.verified
        kinds = [(d.kind, d.file_position) for d in station.differences]
        assert ("other model", 5) in kinds and ("other model", 6) in kinds
        assert ("swapped", 5) in kinds


def test_a_value_that_cannot_be_applied_is_refused_with_its_site(tmp_path):
    text = Path(CHAIN_FILE).read_text().replace("<GainCode>7</GainCode>", "<GainCode>x</GainCode>", 1)
    path = tmp_path / "refused.xml"
    path.write_text(text)
    with pytest.raises(StationError) as refused:
        Station(str(path))
    assert refused.value.code == 101
    assert (refused.value.element, refused.value.position, refused.value.channel) == (130, 3, 0)
    assert "GainCode of module 4 (Probes), channel 1" in refused.value.message


def test_an_ordered_chain_gives_its_positions_and_snapshots(chain):
    with Chain(chain.host, chain.netmask) as ordered:
        positions = ordered.positions
        assert [address for _, address, _ in positions] == chain.addresses
        records = ordered.snapshot()
        assert records and all(r.code == 0 for r in records)


def test_a_station_acquires_and_gives_a_restarted_module_its_file_settings_back():
    with SimulatedChain(CHAIN_FILE, control=True) as sim, \
            Station(CHAIN_FILE, addresses=sim.addresses) as station:
        with station.acquire(rate_hz=50) as run:
            first = next(r for r in run.records(timeout_s=5.0) if r.kind == "sample")
            sampled = {m.position for m in first.modules}
            assert 2 in sampled  # positions are the file's
            assert sim.control("restart 2 500") == "ok module 2 restarted, silent for 500 ms"
            seen = []
            for record in run.records(timeout_s=5.0):
                if record.kind != "sample":
                    seen.append((record.kind, record.position, record.health, record.returned,
                                 record.code))
                if record.kind == "health" and record.position == 2 and record.health == "ok":
                    break
            statistics = run.statistics()
    assert ("restored", 2, "", "rebooted", 0) in seen  # applied and read back
    assert seen[-1] == ("health", 2, "ok", "rebooted", 0)
    assert statistics["restores"] == 1


def test_closing_the_station_closes_its_acquisition_first(file_chain):
    station = Station(CHAIN_FILE, addresses=file_chain.addresses)
    run = station.acquire(rate_hz=50)
    assert run.next(timeout_s=5.0) is not None
    station.close()
    assert run.next(timeout_s=0.1) is None
    run.close()
    with pytest.raises(ValueError):
        Acquisition(rate_hz=50)
