"""Acquisition at a fixed rate: an iterator of samples and events.

>>> from zel.acquisition import Acquisition
>>> with Acquisition(["172.31.46.10", "172.31.46.11"], rate_hz=100) as run:
...     for record in run.records(timeout_s=1.0):
...         if record.kind == "sample":
...             print(record.utc, [m.values for m in record.modules])

or over a station opened from its configuration file (a module that reboots
gets the file's settings back):

>>> with zel.station.Station("cell3.xml") as station, station.acquire(rate_hz=100) as run:
...     for record in run.records(timeout_s=1.0):
...         print(record.kind, record.sequence)

Each record is a plain :class:`Record` (no pandas, no numpy): a sample with
every module's values or its result code, or an event (missed deadlines, an
overflow of the queue, a module's health changing, the gap it left, its
settings restored, a message it sent on its own). The engine and its threads
live in the station library (``libzel_station``), bound here with ctypes.
"""

from __future__ import annotations

import ctypes
import datetime
import os
import sys
import weakref
from dataclasses import dataclass, field
from pathlib import Path
from typing import Iterator, List, Optional, Sequence

from ._capi import LibraryNotFound, library
from .errors import check, ipv4

_MAX_MODULES = 64
KINDS = ("sample", "missed", "overflow", "health", "gap", "async", "restored")
HEALTH = ("ok", "failing", "lost", "back")
RETURNS = ("", "settings intact", "rebooted", "bootloader")


class _ModuleC(ctypes.Structure):
    _fields_ = [
        ("position", ctypes.c_ushort), ("code", ctypes.c_int), ("health", ctypes.c_int),
        ("numValues", ctypes.c_ushort), ("values", ctypes.c_double * 8),
        ("sentUs", ctypes.c_longlong), ("receivedUs", ctypes.c_longlong),
    ]


class _RecordC(ctypes.Structure):
    _fields_ = [
        ("kind", ctypes.c_int), ("sequence", ctypes.c_ulonglong), ("count", ctypes.c_ulonglong),
        ("deadlineUs", ctypes.c_longlong), ("requestUs", ctypes.c_longlong),
        ("answerUs", ctypes.c_longlong), ("utcUs", ctypes.c_longlong),
        ("position", ctypes.c_ushort), ("health", ctypes.c_int), ("previous", ctypes.c_int),
        ("returned", ctypes.c_int), ("code", ctypes.c_int), ("messageType", ctypes.c_int),
        ("latch", ctypes.c_ubyte * 5), ("channel", ctypes.c_ushort), ("status", ctypes.c_ushort),
        ("numModules", ctypes.c_ushort), ("modules", _ModuleC * _MAX_MODULES),
    ]


class _StatisticsC(ctypes.Structure):
    _fields_ = [
        ("samples", ctypes.c_ulonglong), ("missedDeadlines", ctypes.c_ulonglong),
        ("overflows", ctypes.c_ulonglong), ("moduleFailures", ctypes.c_ulonglong),
        ("asyncMessages", ctypes.c_ulonglong), ("losses", ctypes.c_ulonglong),
        ("returns", ctypes.c_ulonglong), ("restores", ctypes.c_ulonglong),
        ("maxLatenessUs", ctypes.c_longlong), ("queued", ctypes.c_ulong),
        ("queueCapacity", ctypes.c_ulong), ("wallClockSynchronised", ctypes.c_int),
        ("wallClockMaxErrorUs", ctypes.c_longlong), ("realtime", ctypes.c_int),
        ("firmwareStarts", ctypes.c_ulonglong),
    ]


# The station library's functions: name, result, arguments.
TABLE = (
    ("ZelAcquisitionCreate", ctypes.c_int,
     (ctypes.POINTER(ctypes.c_char_p), ctypes.c_ushort, ctypes.POINTER(ctypes.c_void_p))),
    ("ZelAcquisitionCreateForStation", ctypes.c_int, (ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p))),
    ("ZelAcquisitionDelete", None, (ctypes.c_void_p,)),
    ("ZelAcquisitionStart", ctypes.c_int, (ctypes.c_void_p, ctypes.c_double, ctypes.c_ulong, ctypes.c_int)),
    ("ZelAcquisitionStop", ctypes.c_int, (ctypes.c_void_p,)),
    ("ZelAcquisitionNext", ctypes.c_int, (ctypes.c_void_p, ctypes.POINTER(_RecordC), ctypes.c_long)),
    ("ZelAcquisitionGetStatistics", ctypes.c_int, (ctypes.c_void_p, ctypes.POINTER(_StatisticsC))),
)

_station: Optional[ctypes.CDLL] = None


def _station_library() -> ctypes.CDLL:
    """libzel_station: ZEL_STATION_LIBRARY, or beside the library (installed
    in one folder, or built in build/src and build/src/station)."""
    global _station
    if _station is not None:
        return _station
    base = library()  # the library below must be loaded first
    names = ("zel_station.dll",) if sys.platform == "win32" else ("libzel_station.so.2", "libzel_station.so")
    env = os.environ.get("ZEL_STATION_LIBRARY")
    folders: List[Path] = []
    if env:
        candidates = [Path(env)]
    else:
        below = Path(base._name).resolve().parent  # type: ignore[attr-defined]
        folders = [below, below / "station"]
        candidates = [f / n for f in folders for n in names]
    for path in candidates:
        if path.exists():
            lib = ctypes.CDLL(str(path))
            for name, result, arguments in TABLE:
                function = getattr(lib, name)
                function.restype = result
                function.argtypes = list(arguments)
            _station = lib
            return lib
    raise LibraryNotFound("the station library was not found: set ZEL_STATION_LIBRARY to its path "
                          "(looked at: " + ", ".join(str(c) for c in candidates) + ")")


@dataclass
class ModuleValues:
    """One module's part of a sample."""
    position: int
    code: int
    health: str
    values: List[float]
    sent_us: int
    received_us: int


@dataclass
class Record:
    """One record of the stream; which fields hold depends on ``kind``."""
    kind: str
    sequence: int
    utc: datetime.datetime
    request_us: int
    count: int = 0
    deadline_us: int = 0
    answer_us: int = 0
    position: int = 0
    health: str = ""
    previous: str = ""
    returned: str = ""
    code: int = 0
    message_type: int = 0
    latch: bytes = b""
    channel: int = 0
    status: int = 0
    modules: List[ModuleValues] = field(default_factory=list)


def _record(c: _RecordC) -> Record:
    utc = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc) + datetime.timedelta(
        microseconds=c.utcUs)
    r = Record(kind=KINDS[c.kind] if 0 <= c.kind < len(KINDS) else str(c.kind), sequence=c.sequence,
               utc=utc, request_us=c.requestUs, count=c.count, deadline_us=c.deadlineUs,
               answer_us=c.answerUs, position=c.position, code=c.code, message_type=c.messageType,
               latch=bytes(c.latch), channel=c.channel, status=c.status)
    if r.kind == "health":
        r.health, r.previous = HEALTH[c.health], HEALTH[c.previous]
    if r.kind in ("health", "gap", "restored"):
        r.returned = RETURNS[c.returned]
    for i in range(c.numModules):
        m = c.modules[i]
        r.modules.append(ModuleValues(position=m.position, code=m.code, health=HEALTH[m.health],
                                      values=list(m.values[: m.numValues]), sent_us=m.sentUs,
                                      received_us=m.receivedUs))
    return r


class Acquisition:
    """The modules at ``addresses`` sampled at ``rate_hz`` from the engine's
    own thread. Use as a context manager, or call :meth:`close`.

    With ``station`` (an open :class:`zel.station.Station`) instead of
    addresses, the station's modules are sampled (positions are the file's)
    and a module that comes back from a restart gets the file's settings
    again, read back; :meth:`zel.station.Station.acquire` makes one so."""

    def __init__(self, addresses: Optional[Sequence[str]] = None, rate_hz: float = 100.0,
                 queue_capacity: int = 0, async_messages: bool = False, *,
                 station: Optional[object] = None) -> None:
        self._lib = _station_library()
        self._handle = ctypes.c_void_p()
        self._station = station  # kept alive while the engine lends its modules
        if (addresses is None) == (station is None):
            raise ValueError("give either addresses or a station")
        if station is not None:
            check(self._lib.ZelAcquisitionCreateForStation(station.handle, ctypes.byref(self._handle)),
                  "ZelAcquisitionCreateForStation")
        else:
            texts = (ctypes.c_char_p * len(addresses))(*[ipv4(a) for a in addresses])
            check(self._lib.ZelAcquisitionCreate(texts, len(addresses), ctypes.byref(self._handle)),
                  "ZelAcquisitionCreate")
        # Deleted once: by close(), or when the object goes (before the
        # station it holds, whose modules the engine uses).
        self._finalizer = weakref.finalize(self, self._lib.ZelAcquisitionDelete,
                                           ctypes.c_void_p(self._handle.value))
        code = self._lib.ZelAcquisitionStart(self._handle, rate_hz, queue_capacity, int(async_messages))
        if code != 0:
            self.close()
            check(code, "ZelAcquisitionStart")
        self._record = _RecordC()

    def __enter__(self) -> "Acquisition":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def next(self, timeout_s: float = 1.0) -> Optional[Record]:
        """The next record, or None when none came within ``timeout_s``."""
        if not self._handle:
            return None
        code = self._lib.ZelAcquisitionNext(self._handle, ctypes.byref(self._record), int(timeout_s * 1000))
        return _record(self._record) if code == 0 else None

    def records(self, timeout_s: float = 1.0) -> Iterator[Record]:
        """Every record as it comes; ends when none came for ``timeout_s``."""
        while True:
            r = self.next(timeout_s)
            if r is None:
                return
            yield r

    __iter__ = records

    def statistics(self) -> dict:
        """What the engine counted so far, by the C structure's field names."""
        s = _StatisticsC()
        check(self._lib.ZelAcquisitionGetStatistics(self._handle, ctypes.byref(s)), "ZelAcquisitionGetStatistics")
        return {name: getattr(s, name) for name, _ in s._fields_}

    def stop(self) -> None:
        """Stops the sampling; what was queued can still be read."""
        if self._handle:
            self._lib.ZelAcquisitionStop(self._handle)

    def close(self) -> None:
        """Stops and frees the engine and its module objects."""
        if self._handle:
            self._finalizer()
            self._handle = ctypes.c_void_p()
        if self._station is not None:
            self._station._acquisitions.discard(self)
            self._station = None
