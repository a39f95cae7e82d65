"""The lifetime of a library object behind a handle: deleted once, by
close(), at the end of a with block, or on garbage collection."""

from __future__ import annotations

import ctypes
import weakref
from typing import Callable


class Owned:
    """Base of the classes that own a handle of the library."""

    _what = "object"

    def _own(self, handle: int, delete: Callable[[ctypes.c_void_p], None]) -> None:
        self._handle = handle
        self._finalizer = weakref.finalize(self, delete, ctypes.c_void_p(handle))

    def close(self) -> None:
        """Deletes the handle (once; later calls do nothing)."""
        self._finalizer()

    @property
    def closed(self) -> bool:
        return not self._finalizer.alive

    def __enter__(self):
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    @property
    def handle(self) -> int:
        if self.closed:
            raise ValueError(f"the {self._what} is closed")
        return self._handle
