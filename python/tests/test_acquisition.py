"""The acquisition engine from Python against its own simulated chain: samples
in order with increasing time stamps, every measuring module in each, and a
start the engine refuses raising the library's exception."""

import pytest

from zel import OutOfRange
from zel.acquisition import Acquisition
from zel.sim import SimulatedChain


@pytest.fixture(scope="module")
def own_chain():
    # Its own chain: the engine sets each module's asynchronous port.
    with SimulatedChain("default") as sim:
        yield sim


def test_samples_come_in_order_with_increasing_time_stamps(own_chain):
    with Acquisition(own_chain.addresses, rate_hz=50) as run:
        samples = []
        for record in run.records(timeout_s=2.0):
            if record.kind == "sample":
                samples.append(record)
            if len(samples) == 10:
                break
        statistics = run.statistics()
    assert len(samples) == 10
    for earlier, later in zip(samples, samples[1:]):
        assert later.sequence > earlier.sequence
        assert later.request_us > earlier.request_us
        assert later.utc > earlier.utc
    # Kalix, 1 Vpp, TTL, LVDT and analog modules of the default chain.
    for sample in samples:
        assert len(sample.modules) == 5
        for module in sample.modules:
            assert module.code == 0
            assert module.values
            assert module.health == "ok"
            assert module.received_us >= module.sent_us > 0
    assert statistics["samples"] >= 10
    assert statistics["queueCapacity"] == 4096


def test_a_rate_out_of_range_raises_the_library_code(own_chain):
    with pytest.raises(OutOfRange) as raised:
        Acquisition(own_chain.addresses[:1], rate_hz=0)
    assert raised.value.code == 33
