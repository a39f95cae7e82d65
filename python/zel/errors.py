"""Errors of the library as Python exceptions."""

from __future__ import annotations

import ctypes


class ZelError(Exception):
    """A failed library call: ``code`` (the library's response code), ``message``
    (the library's own text for it) and ``operation`` (the C function)."""

    def __init__(self, code: int, message: str, operation: str) -> None:
        super().__init__(f"{operation}: {message} (code {code})")
        self.code = code
        self.message = message
        self.operation = operation


class Timeout(ZelError):
    """No answer within the time-out and retries (code 1)."""


class NotInitialised(ZelError):
    """The module's connection or data is not initialised (codes 20, 21)."""


class OutOfRange(ZelError):
    """An argument outside its range (code 33), or a channel the module lacks (9)."""


class FileError(ZelError):
    """An image or other file that cannot be read or is invalid (27, 35, 36, 40, 41)."""


class ConfigError(ZelError):
    """A configuration-file operation failed; ``code`` is the ZEL_XML_RETURN code."""


class TextError(ValueError):
    """Text the library's Latin-1 cannot hold."""


class AddressError(ValueError):
    """Text that is not an IPv4 address or netmask in dotted form; nothing was sent."""


_FAMILIES = {1: Timeout, 20: NotInitialised, 21: NotInitialised, 9: OutOfRange, 33: OutOfRange,
             27: FileError, 35: FileError, 36: FileError, 40: FileError, 41: FileError}


def message(code: int) -> str:
    from . import _capi

    text = ctypes.create_string_buffer(128)
    _capi.library().ZelModuleShowRespCode(text, code)
    return text.value.decode("latin-1")


def check(code: int, operation: str) -> None:
    """Raises the exception of the code's family unless it is 0."""
    if code != 0:
        raise _FAMILIES.get(code, ZelError)(code, message(code), operation)


def check_config(code: int, operation: str) -> None:
    """Raises ConfigError unless the configuration code is 0."""
    if code != 0:
        from . import _capi

        lib = _capi.library()
        global _decoder
        if _decoder is None:
            _decoder = lib.ZelConfigFileCreate()  # kept for the texts; holds no document
        text = ctypes.create_string_buffer(128)
        lib.ZelConfigFileDecodeErrorType(_decoder, text, code)
        raise ConfigError(code, text.value.decode("latin-1"), operation)


_decoder = None


def to_latin1(text: str) -> bytes:
    """The Latin-1 bytes of a text argument; TypeError for what is not text."""
    if not isinstance(text, str):
        raise TypeError(f"expected text, not {type(text).__name__}")
    try:
        return text.encode("latin-1")
    except UnicodeEncodeError as e:
        raise TextError(f"{text!r} holds {text[e.start]!r}, which Latin-1 text cannot hold") from None


def ipv4(text: str, what: str = "address") -> bytes:
    """The bytes of a dotted IPv4 address or netmask (four numbers 0 to 255),
    checked before it reaches the library: a module given a malformed address
    would be sent the number the library makes of it."""
    if not isinstance(text, str):
        raise TypeError(f"the {what} must be text, not {type(text).__name__}")
    parts = text.split(".")
    if len(parts) != 4 or not all(p.isascii() and p.isdigit() and len(p) <= 3 and int(p) <= 255 for p in parts):
        raise AddressError(f"{text!r} is not an IPv4 {what} (four numbers 0 to 255, as 172.31.46.12)")
    return text.encode("ascii")
