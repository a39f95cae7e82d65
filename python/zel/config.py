"""The configuration file of a chain, through the C interface's handle."""

from __future__ import annotations

import ctypes
import os
from typing import Optional, Tuple, Union

from . import _capi
from ._owned import Owned
from .errors import ConfigError, check_config, to_latin1

_BIG = 1 << 20  # room for a whole listing

_ELEMENTS = {
    "BaseLabel": 0, "SerialNumber": 1, "Model": 2, "Label": 3, "ModuleId": 4, "HardwareId": 5,
    "BootloaderVersion": 6, "FirmwareVersion": 7, "UsingDhcp": 8, "Netmask": 9, "NetmaskStatic": 10,
    "Mac": 11, "Ip": 12, "IpStatic": 13, "Port": 14, "Active": 15, "PrimaryExcitationVoltage": 16,
    "PrimaryExcitationFrequency": 17, "ChannelLabel": 100, "ErrorMonitoring": 101, "Populated": 102,
    "DeviceType": 103, "RotaryFormatType": 104, "UOM": 105, "ErrorCompensation": 106, "ScaleFactor": 107,
    "MasteringEnabled": 108, "MasterDesired": 109, "MasterOffset": 110, "MasterUom": 111,
    "DisplayResolution": 112, "Resolution": 113, "Offset": 114, "DistinguishableRevolutions": 115,
    "EncoderName": 116, "EncoderId": 117, "ChannelSerialNumber": 118, "LineCount": 119, "SignalPeriod": 120,
    "CountingDirection": 121, "ReferenceMark": 122, "ChannelUnused_1": 123, "InstrumentationMin": 124,
    "InstrumentationMax": 125, "ActualMin": 126, "ActualMax": 127, "CalibrationTimestamp": 128,
    "RecalibrationTimer": 129, "GainCode": 130, "Interpolation": 131, "SignalType": 132,
}
_NAMES = {v: k for k, v in _ELEMENTS.items()}

Element = Union[str, int]


def _element(element: Element) -> int:
    if isinstance(element, int):
        return element
    try:
        return _ELEMENTS[element]
    except KeyError:
        raise ValueError(f"{element!r} is no element of the configuration file") from None


class ConfigFile(Owned):
    """A chain's configuration file: load, counts, reads at three levels, the
    check, edits and the write with its backup ("name~"). Text crosses as
    str, converted to and from the library's Latin-1."""

    _what = "configuration file"

    def __init__(self, path: "os.PathLike[str] | str | None" = None) -> None:
        self._lib = _capi.library()
        handle = self._lib.ZelConfigFileCreate()
        if not handle:
            raise MemoryError("the library could not create a configuration object")
        self._own(handle, self._lib.ZelConfigFileDelete)
        if path is not None:
            self.load(path)

    def load(self, path: "os.PathLike[str] | str") -> None:
        check_config(self._lib.ZelConfigFileLoadXml(self.handle, os.fsencode(path)), "ZelConfigFileLoadXml")

    def reload(self) -> None:
        check_config(self._lib.ZelConfigFileReloadXml(self.handle), "ZelConfigFileReloadXml")

    @property
    def filename(self) -> str:
        text = ctypes.create_string_buffer(4096)
        check_config(self._lib.ZelConfigFileGetFilename(self.handle, text), "ZelConfigFileGetFilename")
        return os.fsdecode(text.value)

    @property
    def modules(self) -> int:
        n = ctypes.c_ushort()
        check_config(self._lib.ZelConfigFileGetNumModules(self.handle, ctypes.byref(n)), "ZelConfigFileGetNumModules")
        return n.value

    def channels(self, module: int) -> int:
        n = ctypes.c_ushort()
        check_config(self._lib.ZelConfigFileGetNumChannels(self.handle, module, ctypes.byref(n)),
                     "ZelConfigFileGetNumChannels")
        return n.value

    def get(self, element: Element, module: Optional[int] = None, channel: Optional[int] = None) -> str:
        """An element's text: of the file (no module), of a module, or of a channel."""
        text = ctypes.create_string_buffer(_BIG)
        e = _element(element)
        if module is None:
            code, name = self._lib.ZelConfigFileGetElement(self.handle, text, e), "ZelConfigFileGetElement"
        elif channel is None:
            code = self._lib.ZelConfigFileGetModuleElement(self.handle, text, module, e)
            name = "ZelConfigFileGetModuleElement"
        else:
            code = self._lib.ZelConfigFileGetChannelElement(self.handle, text, module, channel, e)
            name = "ZelConfigFileGetChannelElement"
        check_config(code, name)
        return text.value.decode("latin-1")

    def set(self, element: Element, value: str, module: int, channel: Optional[int] = None) -> bool:
        """Sets an element's text in memory; False when it already held it.
        A text of only blanks is refused (ValueError): read back, the element
        would hold nothing and the file would fail its check."""
        e = _element(element)
        if not value.strip():
            raise ValueError(f"{value!r} would leave {_NAMES.get(e, e)} empty, and the file would fail its check")
        if channel is None:
            code = self._lib.ZelConfigFileSetModuleElement(self.handle, to_latin1(value), module, e)
            name = "ZelConfigFileSetModuleElement"
        else:
            code = self._lib.ZelConfigFileSetChannelElement(self.handle, to_latin1(value), module, channel, e)
            name = "ZelConfigFileSetChannelElement"
        if code == 15:  # the same data
            return False
        check_config(code, name)
        return True

    def remove_module(self, module: int) -> None:
        check_config(self._lib.ZelConfigFileRemoveModule(self.handle, module), "ZelConfigFileRemoveModule")

    def listing(self, module: Optional[int] = None, channel: Optional[int] = None) -> str:
        """Every element of the file, of a module, or of a channel, one per line."""
        text = ctypes.create_string_buffer(_BIG)
        if module is None:
            check_config(self._lib.ZelConfigFileGetAllElements(self.handle, text), "ZelConfigFileGetAllElements")
        elif channel is None:
            check_config(self._lib.ZelConfigFileGetSpecificModule(self.handle, text, module),
                         "ZelConfigFileGetSpecificModule")
        else:
            check_config(self._lib.ZelConfigFileGetSpecificChannel(self.handle, text, module, channel),
                         "ZelConfigFileGetSpecificChannel")
        return text.value.decode("latin-1")

    def check(self, raise_error: bool = True) -> Optional[Tuple[str, int, int]]:
        """The document check. None when every required element is there;
        otherwise raises ConfigError, or returns (element, module, channel)
        of the first one missing when raise_error is False."""
        element = ctypes.c_int()
        module = ctypes.c_ushort()
        channel = ctypes.c_ushort()
        code = self._lib.ZelConfigFileValidateElements(self.handle, ctypes.byref(element), ctypes.byref(module),
                                                      ctypes.byref(channel))
        if code == 0:
            return None
        where = (_NAMES.get(element.value, str(element.value)), module.value, channel.value)
        if raise_error:
            try:
                check_config(code, "ZelConfigFileValidateElements")
            except ConfigError as e:
                e.location = where  # type: ignore[attr-defined]
                raise
        return where

    def write(self, path: "os.PathLike[str] | str | None" = None) -> None:
        """Writes the file (to `path`, or the loaded name), keeping the file
        it replaces as "name~". Raises ConfigError (code 2, the reason and
        which file holds the previous version in its message) when the file
        does not hold the whole document afterwards: a folder that does not
        exist, a full disk, a character the file's encoding cannot hold."""
        why = ctypes.create_string_buffer(1024)
        if path is None:
            name = "ZelConfigFileWriteFileChecked"
            code = self._lib.ZelConfigFileWriteFileChecked(self.handle, why, len(why))
        else:
            name = "ZelConfigFileWriteNewFileChecked"
            code = self._lib.ZelConfigFileWriteNewFileChecked(self.handle, os.fsencode(path), why, len(why))
        if code != 0 and why.value:
            raise ConfigError(code, os.fsdecode(why.value), name)
        check_config(code, name)
