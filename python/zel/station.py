"""A station run from its configuration file, an ordered chain with its
positions, and snapshots of either, over the station library's C functions.

>>> import zel.station
>>> with zel.station.Station("cell3.xml") as s:   # each module at the file's address
...     print(s.verified, s.differences)
...     for r in s.read():
...         print(r.label, r.value, r.unit)
"""

from __future__ import annotations

import ctypes
import weakref
from dataclasses import dataclass
from typing import List, Optional, Sequence, Tuple

from . import _capi
from ._owned import Owned
from .errors import ZelError, check, ipv4, to_latin1

OK, CHAIN_DIFFERS = 0, 102
_DIFFERENCES = {1: "missing", 2: "extra", 3: "swapped", 4: "other model", 5: "other serial",
                6: "other firmware", 7: "position differs"}


class StationError(ZelError):
    """A station call failed: ``code`` is the station's code (a library code 1 to
    43 handed up, or 100 and above), ``message`` names the file, element,
    module and channel concerned; ``element``, ``position`` and ``channel``
    locate a refused value (-1 where none applies)."""

    def __init__(self, code: int, message: str, operation: str,
                 site: Tuple[int, int, int] = (-1, -1, -1)) -> None:
        super().__init__(code, message, operation)
        self.element, self.position, self.channel = site


@dataclass(frozen=True)
class Reading:
    """One channel of a station reading, with the file's label and unit."""
    label: str
    value: float
    unit: str
    position: int
    channel: int


@dataclass(frozen=True)
class Difference:
    """One way the chain differs from the file: ``kind`` ("missing", "extra",
    "swapped", "other model", "other serial", "other firmware", "position
    differs"), the file and chain positions (-1 where none), what the file
    says and what the module says."""
    kind: str
    file_position: int
    chain_position: int
    expected: str
    found: str


@dataclass(frozen=True)
class SampleRecord:
    """One module's part of a snapshot: its position, its own code, its values."""
    position: int
    code: int
    values: Tuple[float, ...]


def _text(size: int):
    return ctypes.create_string_buffer(size)


def _sample(lib, sampler: int) -> List[SampleRecord]:
    code = lib.ZelSamplerSample(sampler)
    size = ctypes.c_ushort()
    check(lib.ZelSamplerGetSize(sampler, ctypes.byref(size)), "ZelSamplerGetSize")
    records = []
    for i in range(size.value):
        position, own, n = ctypes.c_ushort(), ctypes.c_int(), ctypes.c_ushort()
        values = (ctypes.c_double * 8)()
        check(lib.ZelSamplerGetRecord(sampler, i, ctypes.byref(position), ctypes.byref(own), values, 8,
                                      ctypes.byref(n)), "ZelSamplerGetRecord")
        records.append(SampleRecord(position.value, own.value, tuple(values[: min(n.value, 8)])))
    del code  # each record carries its own module's code
    return records


class Station(Owned):
    """Opens the chain a configuration file describes and verifies it.

    ``addresses`` reaches the modules somewhere else than the file says (a
    simulated chain), in file order. With ``discover=(host_ip, netmask)`` the
    chain is discovered and ordered first and matched to the file, so extra
    modules and moved ones are found too. A chain that differs from the file
    still opens (``verified`` is False and ``differences`` say how); anything
    else that keeps it from opening raises StationError."""

    _what = "station"

    def __init__(self, path: str, addresses: Optional[Sequence[str]] = None,
                 discover: Optional[Tuple[str, str]] = None) -> None:
        path_bytes = to_latin1(path)
        address_bytes = [ipv4(a) for a in addresses or ()]
        if discover is not None:
            discover_bytes = (ipv4(discover[0], "local address"), ipv4(discover[1], "netmask"))
        lib = _capi.station_library()
        self._lib = lib
        self._acquisitions: "weakref.WeakSet" = weakref.WeakSet()
        handle = lib.ZelStationCreate()
        if not handle:
            raise MemoryError("ZelStationCreate")
        self._own(handle, lib.ZelStationDelete)
        self._call(lib.ZelStationLoad(handle, path_bytes), "ZelStationLoad")
        for position, address in enumerate(address_bytes):
            self._call(lib.ZelStationSetModuleAddress(handle, position, address),
                       "ZelStationSetModuleAddress")
        if discover is None:
            code = lib.ZelStationOpen(handle, 0, None, 0, None)
        else:
            code = lib.ZelStationOpen(handle, 1, discover_bytes[0], 0, discover_bytes[1])
        if code != CHAIN_DIFFERS:
            self._call(code, "ZelStationOpen")

    def acquire(self, rate_hz: float, queue_capacity: int = 0, async_messages: bool = False):
        """Samples the station's modules at ``rate_hz`` from the engine's own
        thread: a :class:`zel.acquisition.Acquisition` over this station, whose
        modules get the file's settings back when they return from a restart.
        Leave the station alone while it runs; closing the station closes it
        first."""
        from .acquisition import Acquisition
        run = Acquisition(rate_hz=rate_hz, queue_capacity=queue_capacity,
                          async_messages=async_messages, station=self)
        self._acquisitions.add(run)
        return run

    def close(self) -> None:
        """Closes the acquisitions over the station, then deletes it."""
        for run in list(self._acquisitions):
            run.close()
        super().close()

    def _call(self, code: int, operation: str) -> None:
        if code == OK:
            return
        text = _text(256)
        self._lib.ZelStationGetMessage(self._handle, text)
        element, position, channel = ctypes.c_int(), ctypes.c_int(), ctypes.c_int()
        self._lib.ZelStationGetRefusedSite(self._handle, ctypes.byref(element), ctypes.byref(position),
                                           ctypes.byref(channel))
        raise StationError(code, text.value.decode("latin-1"), operation,
                           (element.value, position.value, channel.value))

    @property
    def differences(self) -> List[Difference]:
        """What the last open found different from the file."""
        count = ctypes.c_ushort()
        check(self._lib.ZelStationGetNumDifferences(self._handle, ctypes.byref(count)),
              "ZelStationGetNumDifferences")
        out = []
        for i in range(count.value):
            kind, file_position, chain_position = ctypes.c_int(), ctypes.c_short(), ctypes.c_short()
            expected, found = _text(64), _text(64)
            check(self._lib.ZelStationGetDifference(self._handle, i, ctypes.byref(kind),
                                                    ctypes.byref(file_position), ctypes.byref(chain_position),
                                                    expected, found), "ZelStationGetDifference")
            out.append(Difference(_DIFFERENCES.get(kind.value, str(kind.value)), file_position.value,
                                  chain_position.value, expected.value.decode("latin-1"),
                                  found.value.decode("latin-1")))
        return out

    @property
    def verified(self) -> bool:
        """True when the chain agrees with the file."""
        return not self.differences

    def read(self) -> List[Reading]:
        """One snapshot of every populated channel, in file order."""
        self._call(self._lib.ZelStationRead(self._handle), "ZelStationRead")
        count = ctypes.c_ushort()
        check(self._lib.ZelStationGetNumReadings(self._handle, ctypes.byref(count)), "ZelStationGetNumReadings")
        out = []
        for i in range(count.value):
            label, unit, value = _text(64), _text(8), ctypes.c_double()
            position, channel = ctypes.c_ushort(), ctypes.c_ushort()
            check(self._lib.ZelStationGetReading(self._handle, i, label, unit, ctypes.byref(value),
                                                 ctypes.byref(position), ctypes.byref(channel)),
                  "ZelStationGetReading")
            out.append(Reading(label.value.decode("latin-1"), value.value, unit.value.decode("latin-1"),
                               position.value, channel.value))
        return out

    def read_label(self, label: str) -> Tuple[float, str]:
        """One channel by its label: its value and unit."""
        value, unit = ctypes.c_double(), _text(8)
        self._call(self._lib.ZelStationReadLabel(self._handle, to_latin1(label), ctypes.byref(value),
                                                 unit), "ZelStationReadLabel")
        return value.value, unit.value.decode("latin-1")

    def snapshot(self) -> List[SampleRecord]:
        """One snapshot through the station's sampler (positions are file positions)."""
        sampler = ctypes.c_void_p()
        self._call(self._lib.ZelStationGetSampler(self._handle, ctypes.byref(sampler)), "ZelStationGetSampler")
        return _sample(self._lib, sampler.value)


class Chain(Owned):
    """A chain discovered from ``host_ip`` and ordered through the neighbour
    signals (at least 5 s, plus 500 ms a module)."""

    _what = "chain"

    def __init__(self, host_ip: str, netmask: str, port: int = 0) -> None:
        lib = _capi.station_library()
        self._lib = lib
        handle = lib.ZelChainCreate()
        if not handle:
            raise MemoryError("ZelChainCreate")
        self._own(handle, lib.ZelChainDelete)
        check(lib.ZelChainCreateChain(handle, host_ip.encode(), port, False, netmask.encode()),
              "ZelChainCreateChain")

    @property
    def positions(self) -> List[Tuple[int, str, int]]:
        """(position, address, module identity) of every module, in chain order."""
        count = ctypes.c_ushort()
        check(self._lib.ZelChainGetNumModules(self._handle, ctypes.byref(count)), "ZelChainGetNumModules")
        out = []
        for i in range(count.value):
            address, identity = _text(18), ctypes.c_ulong()
            check(self._lib.ZelChainGetModuleAddress(self._handle, i, address), "ZelChainGetModuleAddress")
            check(self._lib.ZelChainGetModuleId(self._handle, i, ctypes.byref(identity)), "ZelChainGetModuleId")
            out.append((i, address.value.decode("latin-1"), identity.value))
        return out

    def snapshot(self) -> List[SampleRecord]:
        """One snapshot of every measuring module (positions are chain positions)."""
        sampler = self._lib.ZelSamplerCreate(self._handle)
        if not sampler:
            raise MemoryError("ZelSamplerCreate")
        try:
            return _sample(self._lib, sampler)
        finally:
            self._lib.ZelSamplerDelete(sampler)

    def capture(self, path: str, base_label: str = "Station") -> None:
        """Writes a configuration file describing the chain as it is."""
        code = self._lib.ZelStationCapture(self._handle, path.encode("latin-1"), base_to_latin1(label))
        if code != OK:
            raise StationError(code, f"{path} could not be written", "ZelStationCapture")
