"""The recording reader against a recording zeltool made of its embedded
chain: the same samples, values and order as the acquisition printed, with
the standard library only."""

import json
import os
import sqlite3
import subprocess

import pytest

from zel.recording import Recording


@pytest.fixture(scope="module")
def recorded(tmp_path_factory):
    path = os.environ.get("ZELTOOL")
    if not path:
        pytest.skip("ZELTOOL is not set")
    file = tmp_path_factory.mktemp("recording") / "run.zelrec"
    out = subprocess.run([path, "acquire", "--rate", "50", "--count", "12", "--json", "--record", str(file)],
                         capture_output=True, text=True, timeout=120, check=True).stdout
    printed = [json.loads(line) for line in out.splitlines()]
    return file, printed


def test_the_reader_gives_back_what_the_acquisition_printed(recorded):
    file, printed = recorded
    with Recording(file) as rec:
        records = list(rec.records())
        assert rec.ended
        assert rec.context["tool"].startswith("zeltool ")
        assert {m.kind for m in rec.modules} >= {"Kalix encoder", "analog"}
        assert any(c.unit == "mA" for c in rec.channels)
        assert list(rec.gaps()) == []
        samples = list(rec.samples())
    expected = [p for p in printed if p["kind"] != "statistics"]
    assert [r.kind for r in records] == [p["kind"] for p in expected]
    assert [r.sequence for r in samples] == [p["sequence"] for p in expected if p["kind"] == "sample"]
    for record, line in zip(records, expected):
        assert record.utc.strftime("%Y-%m-%dT%H:%M:%S.%fZ") == line["utc"]
        if record.kind != "sample":
            continue
        assert [m.position for m in record.modules] == [m["position"] for m in line["modules"]]
        for module, shown in zip(record.modules, line["modules"]):
            assert module.code == shown["code"]
            # The file holds full doubles; acquire prints ten digits.
            assert module.values == pytest.approx(shown["values"], rel=1e-9, abs=1e-12)


def test_a_span_gives_the_samples_inside_it(recorded):
    file, _ = recorded
    with Recording(file) as rec:
        samples = list(rec.samples())
        inside = list(rec.records(samples[2].utc, samples[5].utc))
    assert [r.sequence for r in inside if r.kind == "sample"] == [s.sequence for s in samples[2:5]]


@pytest.mark.parametrize("content, error", [(None, FileNotFoundError), (b"not a recording\n", ValueError)])
def test_what_is_no_recording_is_refused_and_left_alone(tmp_path, content, error):
    file = tmp_path / "x.zelrec"
    if content is not None:
        file.write_bytes(content)
    with pytest.raises(error):
        Recording(file)
    if content is None:
        assert not file.exists()
    else:
        assert file.read_bytes() == content


def test_the_file_is_plain_sqlite(recorded):
    file, printed = recorded
    db = sqlite3.connect(file)
    count = db.execute("SELECT count(*) FROM samples").fetchone()[0]
    db.close()
    assert count == sum(1 for p in printed if p["kind"] == "sample")
