"""Recordings of ``zeltool acquire --record``, read with the standard library only.

>>> from zel.recording import Recording
>>> with Recording("shift.zelrec") as rec:
...     print(rec.context["tool"], [c.unit for c in rec.channels])
...     for record in rec.records():
...         if record.kind == "sample":
...             print(record.sequence, [m.values for m in record.modules])

A recording is one SQLite file (docs/recording.md describes its tables); its
records come back as the same :class:`zel.acquisition.Record` values a live
acquisition gives, in the order they were taken.
"""

from __future__ import annotations

import datetime
import sqlite3
from dataclasses import dataclass
from pathlib import Path
from typing import Dict, Iterator, List, Optional, Union

from .acquisition import HEALTH, KINDS, RETURNS, ModuleValues, Record

FORMAT_VERSION = 1


@dataclass
class RecordedModule:
    """A measuring module as the recording describes it."""
    position: int
    kind: str
    address: str
    label: str
    serial_number: str
    firmware_version: str
    channels: int


@dataclass
class RecordedChannel:
    """One value of a module's samples: its label and unit."""
    position: int
    channel: int
    label: str
    unit: str


def _utc(us: int) -> datetime.datetime:
    epoch = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
    return epoch + datetime.timedelta(microseconds=us)


def _us(when: Union[None, int, datetime.datetime]) -> Optional[int]:
    if when is None or isinstance(when, int):
        return when
    delta = when.astimezone(datetime.timezone.utc) - datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
    return (delta.days * 86400 + delta.seconds) * 1_000_000 + delta.microseconds


def _name(names, index: int) -> str:
    return names[index] if 0 <= index < len(names) else str(index)


class Recording:
    """One recording, opened for reading. A recording whose process was
    killed opens too, with everything it committed."""

    def __init__(self, path: Union[str, Path]):
        path = Path(path)
        if not path.is_file():
            raise FileNotFoundError(f"no recording: {path}")
        # Read-write without creating: the first open merges a killed
        # writer's log; nothing is changed otherwise.
        self._db = sqlite3.connect(f"{path.resolve().as_uri()}?mode=rw", uri=True)
        try:
            self._db.execute("PRAGMA query_only=1")
            self.context: Dict[str, object] = dict(self._db.execute("SELECT key, value FROM recording"))
        except sqlite3.DatabaseError as e:
            self._db.close()
            raise ValueError(f"no recording: {path} ({e})") from None
        version = int(self.context.get("format_version", 0) or 0)
        if not 1 <= version <= FORMAT_VERSION:
            self._db.close()
            raise ValueError(f"no recording of a known format: {path} (format {version})")
        self.modules: List[RecordedModule] = [
            RecordedModule(*row) for row in self._db.execute(
                "SELECT position, kind, address, label, serial_number, firmware_version, channels "
                "FROM modules ORDER BY position")]
        self.channels: List[RecordedChannel] = [
            RecordedChannel(*row) for row in self._db.execute(
                "SELECT position, channel, label, unit FROM channels ORDER BY position, channel")]

    def close(self) -> None:
        self._db.close()

    def __enter__(self) -> "Recording":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    @property
    def ended(self) -> bool:
        """False when the recording process stopped before closing it."""
        return "end_utc_us" in self.context

    def _samples(self, start: int, end: int) -> Iterator[tuple]:
        rows = self._db.execute(
            "SELECT s.ord, s.sequence, s.utc_us, s.deadline_us, s.request_us, s.answer_us, "
            "v.position, v.code, v.health, v.sent_us, v.received_us, v.num_values, "
            "v.v0, v.v1, v.v2, v.v3, v.v4, v.v5, v.v6, v.v7 "
            "FROM samples s LEFT JOIN sample_values v ON v.sequence = s.sequence "
            "WHERE s.utc_us >= ? AND s.utc_us < ? ORDER BY s.sequence, v.position", (start, end))
        record: Optional[Record] = None
        order = 0
        for row in rows:
            if record is None or row[1] != record.sequence:
                if record is not None:
                    yield order, record
                order = row[0]
                record = Record(kind="sample", sequence=row[1], utc=_utc(row[2]), request_us=row[4],
                                deadline_us=row[3], answer_us=row[5])
            if row[6] is not None:
                record.modules.append(ModuleValues(
                    position=row[6], code=row[7], health=_name(HEALTH, row[8]),
                    values=list(row[12:12 + row[11]]), sent_us=row[9], received_us=row[10]))
        if record is not None:
            yield order, record

    def _events(self, start: int, end: int, where: str = "") -> Iterator[tuple]:
        rows = self._db.execute(
            "SELECT ord, kind, sequence, count, deadline_us, request_us, answer_us, utc_us, position, "
            "health, previous, returned, code, message_type, latch, channel, status FROM events "
            "WHERE utc_us >= ? AND utc_us < ? " + where + " ORDER BY ord", (start, end))
        for r in rows:
            yield r[0], Record(
                kind=_name(KINDS, r[1]), sequence=r[2], count=r[3], deadline_us=r[4], request_us=r[5],
                answer_us=r[6], utc=_utc(r[7]), position=r[8], health=_name(HEALTH, r[9]),
                previous=_name(HEALTH, r[10]), returned=_name(RETURNS, r[11]), code=r[12],
                message_type=r[13], latch=bytes(r[14] or b""), channel=r[15], status=r[16])

    def records(self, start: Union[None, int, datetime.datetime] = None,
                end: Union[None, int, datetime.datetime] = None) -> Iterator[Record]:
        """Samples and events with ``start <= utc < end`` (datetimes or UTC
        microseconds; None: no bound), in the order they were taken."""
        lo = _us(start) if start is not None else -(1 << 63)
        hi = _us(end) if end is not None else (1 << 63) - 1
        samples, events = self._samples(lo, hi), self._events(lo, hi)
        s, e = next(samples, None), next(events, None)
        while s is not None or e is not None:
            if e is None or (s is not None and s[0] < e[0]):
                yield s[1]
                s = next(samples, None)
            else:
                yield e[1]
                e = next(events, None)

    def samples(self, start: Union[None, int, datetime.datetime] = None,
                end: Union[None, int, datetime.datetime] = None) -> Iterator[Record]:
        """The samples alone, in sequence order."""
        lo = _us(start) if start is not None else -(1 << 63)
        hi = _us(end) if end is not None else (1 << 63) - 1
        for _, record in self._samples(lo, hi):
            yield record

    def gaps(self) -> Iterator[Record]:
        """Every gap a lost module left: its position, first sequence and count."""
        for _, record in self._events(-(1 << 63), (1 << 63) - 1, "AND kind = 4"):
            yield record
