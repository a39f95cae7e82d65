"""Fixtures: the library and zelsim of the build under test (ZEL_LIBRARY,
ZELSIM, ZELTOOL), and a simulated default chain for the session."""

import os

import pytest

import zel
from zel.sim import SimulatedChain


@pytest.fixture(scope="session")
def chain():
    with SimulatedChain("default") as sim:
        yield sim


@pytest.fixture
def zeltool():
    path = os.environ.get("ZELTOOL")
    if not path:
        pytest.skip("ZELTOOL is not set")
    return path
