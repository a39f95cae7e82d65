"""One class per module kind, over the handles of the C interface."""

from __future__ import annotations

import ctypes
import threading
import time
from dataclasses import dataclass
from typing import Callable, List, Optional, Tuple

from . import _capi
from ._owned import Owned
from .errors import check, to_latin1

COUNT_REQUEST_NORMAL = 0

# Units as the library numbers them.
UNITS = {0: "counts", 1: "counts", 2: "in", 3: "mm", 4: "deg"}
LVDT_UNITS = {0: "counts", 1: "counts", 2: "mm", 3: "in", 4: "um"}


def _text(function, handle, size: int = 64, *extra) -> str:
    buffer = ctypes.create_string_buffer(size)
    check(function(handle, buffer, *extra), function.__name__)
    return buffer.value.decode("latin-1")


@dataclass(frozen=True)
class ModuleInfo:
    """What discovery tells about a module."""

    address: str
    mac: str
    serial: str
    model: str
    identity: str
    kind: str
    bootloader: str
    firmware: str
    dhcp: bool
    netmask: str
    channels: int


class Module(Owned):
    """A module of any kind, opened by address. Use it as a context manager,
    or call close(); the handle is deleted once, also on garbage collection."""

    _prefix = "ZelModule"
    _what = "module"
    kind = "module"

    def __init__(self, address: str, *, timeout_ms: Optional[int] = None, retries: Optional[int] = None,
                 connect: bool = False) -> None:
        self._lib = _capi.library()
        handle = getattr(self._lib, self._prefix + "Create")()
        if not handle:
            raise MemoryError("the library could not create a module object")
        self._own(handle, self._lib.ZelModuleDelete)
        if timeout_ms is not None:
            check(self._lib.ZelModuleSetUdpTimeout(handle, timeout_ms), "ZelModuleSetUdpTimeout")
        if retries is not None:
            check(self._lib.ZelModuleSetUdpNumRetries(handle, retries), "ZelModuleSetUdpNumRetries")
        try:
            check(self._lib.ZelModuleInitialize(handle, to_latin1(address), connect), "ZelModuleInitialize")
        except BaseException:
            self.close()
            raise

    # -- what the module is -------------------------------------------------------
    @property
    def address(self) -> str:
        return _text(self._lib.ZelModuleGetIpAddress, self.handle, 18)

    @property
    def static_address(self) -> str:
        return _text(self._lib.ZelModuleGetIpStaticAddress, self.handle, 18)

    @property
    def netmask(self) -> str:
        return _text(self._lib.ZelModuleGetNetmask, self.handle, 18)

    @property
    def mac(self) -> str:
        return _text(self._lib.ZelModuleGetMacAddress, self.handle, 19)

    @property
    def serial(self) -> str:
        return _text(self._lib.ZelModuleGetSerialNumber, self.handle, 11)

    @property
    def model(self) -> str:
        return _text(self._lib.ZelModuleShowType, self.handle, 64)

    @property
    def identity(self) -> str:
        return _text(self._lib.ZelModuleShowId, self.handle, 64)

    @property
    def bootloader_version(self) -> str:
        return _text(self._lib.ZelModuleGetBootloaderVersion, self.handle, 32)

    @property
    def firmware_version(self) -> str:
        return _text(self._lib.ZelModuleGetFirmwareVersion, self.handle, 32)

    @property
    def dhcp(self) -> bool:
        flag = ctypes.c_ubyte()
        check(self._lib.ZelModuleGetUsingDhcp(self.handle, ctypes.byref(flag)), "ZelModuleGetUsingDhcp")
        return bool(flag.value)

    @property
    def module_id(self) -> int:
        value = ctypes.c_int()
        check(self._lib.ZelModuleGetModuleType(self.handle, ctypes.byref(value)), "ZelModuleGetModuleType")
        return value.value & 0xFFFFFFFF

    @property
    def channels(self) -> int:
        n = ctypes.c_ushort()
        # The module-wide function of any prefix takes any handle.
        check(self._lib.ZelTtlModuleGetNumChannels(self.handle, ctypes.byref(n)), "ZelTtlModuleGetNumChannels")
        return n.value

    @property
    def timeout_ms(self) -> int:
        return int(self._lib.ZelModuleGetUdpTimeout(self.handle))

    def info(self) -> ModuleInfo:
        kind = self.kind
        if type(self) is Module:
            kind = "power supply" if self.module_id // 100 in (580303, 580304) else "unknown"
        return ModuleInfo(self.address, self.mac, self.serial, self.model, self.identity, kind,
                          self.bootloader_version, self.firmware_version, self.dhcp, self.netmask,
                          self.channels)

    # -- settings and commands ------------------------------------------------------
    def set_ip(self, address: str, netmask: str) -> None:
        check(self._lib.ZelModuleSetIpAddress(self.handle, to_latin1(address), to_latin1(netmask)),
              "ZelModuleSetIpAddress")

    def set_dhcp(self, on: bool) -> None:
        check(self._lib.ZelModuleSetUsingDhcp(self.handle, b"\x01" if on else b"\x00"), "ZelModuleSetUsingDhcp")

    @property
    def async_port(self) -> int:
        port = ctypes.c_ushort()
        check(self._lib.ZelModuleGetAsyncPort(self.handle, ctypes.byref(port)), "ZelModuleGetAsyncPort")
        return port.value

    @async_port.setter
    def async_port(self, port: int) -> None:
        value = ctypes.c_ushort(port)
        check(self._lib.ZelModuleSetAsyncPort(self.handle, ctypes.byref(value)), "ZelModuleSetAsyncPort")

    def adc_values(self) -> List[int]:
        values = (ctypes.c_short * 5)()
        check(self._lib.ZelModuleGetAdcValues(self.handle, values, 5), "ZelModuleGetAdcValues")
        return list(values)

    def program(self, path: str, bootloader: bool = False,
                progress: Optional[Callable[[str, float], None]] = None, interval: float = 0.1) -> None:
        """Updates the firmware (or bootloader) from an image file. `progress`
        is called with the state and percent, polled from this thread while
        another runs the update (the library allows it)."""
        states = ("idle", "preparing", "sending", "finishing", "complete", "failed")
        result: List[int] = []
        worker = threading.Thread(
            target=lambda: result.append(self._lib.ZelModuleProgram(self.handle, to_latin1(path), bootloader)))
        worker.start()
        state = ctypes.c_int()
        percent = ctypes.c_double()

        def report() -> None:
            if progress is None:
                return
            self._lib.ZelModuleGetProgramState(self.handle, ctypes.byref(state))
            self._lib.ZelModuleGetProgramPercentComplete(self.handle, ctypes.byref(percent))
            progress(states[state.value] if 0 <= state.value < len(states) else "idle", percent.value)

        while worker.is_alive():
            report()
            time.sleep(interval)
        worker.join()
        report()
        check(result[0], "ZelModuleProgram")


class _Encoder(Module):
    """Kalix, 1 Vpp and TTL modules: positions in each channel's unit."""

    def units(self) -> List[str]:
        out = []
        for ch in range(self.channels):
            uom = ctypes.c_int()
            check(getattr(self._lib, self._prefix + "GetUom")(self.handle, ctypes.byref(uom), ch),
                  self._prefix + "GetUom")
            out.append(UNITS.get(uom.value, "counts"))
        return out

    def positions(self) -> List[Tuple[float, str]]:
        """Each channel's position with its unit."""
        values = (ctypes.c_double * 8)()
        check(getattr(self._lib, self._prefix + "GetPositions")(self.handle, values, 8, COUNT_REQUEST_NORMAL),
              self._prefix + "GetPositions")
        return [(values[i], unit) for i, unit in enumerate(self.units())]


class KalixModule(_Encoder):
    _prefix = "ZelKalixModule"
    kind = "Kalix encoder"

    def positions(self) -> List[Tuple[float, str]]:
        values = (ctypes.c_double * 8)()
        turns = (ctypes.c_long * 8)()
        check(self._lib.ZelKalixModuleGetPositions(self.handle, values, turns, 8, COUNT_REQUEST_NORMAL),
              "ZelKalixModuleGetPositions")
        return [(values[i], unit) for i, unit in enumerate(self.units())]

    def counts(self) -> List[Tuple[int, int]]:
        """Each channel's count and revolution."""
        counts = (ctypes.c_ulong * 8)()
        turns = (ctypes.c_long * 8)()
        check(self._lib.ZelKalixModuleGetCounts(self.handle, counts, turns, 8, COUNT_REQUEST_NORMAL),
              "ZelKalixModuleGetCounts")
        return [(counts[i], turns[i]) for i in range(self.channels)]

    def encoder_name(self, channel: int) -> str:
        return _text(self._lib.ZelKalixModuleGetEncoderName, self.handle, 10, channel)


class OneVppModule(_Encoder):
    _prefix = "Zel1VppModule"
    kind = "1 Vpp encoder"


class TtlModule(_Encoder):
    _prefix = "ZelTtlModule"
    kind = "TTL encoder"

    def counts(self) -> List[int]:
        counts = (ctypes.c_ulong * 8)()
        check(self._lib.ZelTtlModuleGetCounts(self.handle, counts, 8, COUNT_REQUEST_NORMAL), "ZelTtlModuleGetCounts")
        return list(counts)[: self.channels]

    def set_linear(self, channel: int, signal_period_um: float, interpolation: int = 1, unit: str = "mm") -> None:
        """A linear scale of the given signal period on a channel."""
        units = {"in": 2, "mm": 3}
        check(self._lib.ZelTtlModuleSetEncoderType(self.handle, 1, channel), "ZelTtlModuleSetEncoderType")
        check(self._lib.ZelTtlModuleSetUom(self.handle, units[unit], channel), "ZelTtlModuleSetUom")
        check(self._lib.ZelTtlModuleSetSignalPeriod(self.handle, signal_period_um, interpolation, channel),
              "ZelTtlModuleSetSignalPeriod")


class LvdtModule(Module):
    _prefix = "ZelLvdtModule"
    kind = "LVDT"

    def set_resolution(self, channel: int, resolution: float, unit: str = "mm") -> None:
        units = {"mm": 2, "in": 3, "um": 4}
        check(self._lib.ZelLvdtModuleSetResolution(self.handle, resolution, channel), "ZelLvdtModuleSetResolution")
        check(self._lib.ZelLvdtModuleSetUom(self.handle, units[unit], channel), "ZelLvdtModuleSetUom")

    def positions(self) -> List[Tuple[float, str]]:
        values = (ctypes.c_double * 8)()
        check(self._lib.ZelLvdtModuleGetPositions(self.handle, values, 8, COUNT_REQUEST_NORMAL),
              "ZelLvdtModuleGetPositions")
        out = []
        for ch in range(self.channels):
            uom = ctypes.c_int()
            check(self._lib.ZelLvdtModuleGetUom(self.handle, ctypes.byref(uom), ch), "ZelLvdtModuleGetUom")
            out.append((values[ch], LVDT_UNITS.get(uom.value, "mm")))
        return out


class AnalogModule(Module):
    _prefix = "ZelAnalogModule"
    kind = "analog"

    def positions(self) -> List[Tuple[float, str]]:
        """Voltage and current of both channels, calibrated."""
        values = (ctypes.c_double * 4)()
        check(self._lib.ZelAnalogModuleGetScaledValues(self.handle, values, 4, COUNT_REQUEST_NORMAL),
              "ZelAnalogModuleGetScaledValues")
        return [(values[0], "V"), (values[1], "mA"), (values[2], "V"), (values[3], "mA")]

    def voltages(self) -> List[float]:
        values = (ctypes.c_double * 2)()
        check(self._lib.ZelAnalogModuleGetVoltage(self.handle, values, 2, COUNT_REQUEST_NORMAL),
              "ZelAnalogModuleGetVoltage")
        return list(values)


class IoModule(Module):
    _prefix = "ZelIoModule"
    kind = "I/O"

    def inputs(self) -> List[bool]:
        mask = ctypes.c_ubyte()
        check(self._lib.ZelIoModuleGetInputs(self.handle, ctypes.byref(mask)), "ZelIoModuleGetInputs")
        return [bool(mask.value >> bit & 1) for bit in range(4)]

    def outputs(self) -> List[bool]:
        mask = ctypes.c_ubyte()
        check(self._lib.ZelIoModuleGetOutputs(self.handle, ctypes.byref(mask)), "ZelIoModuleGetOutputs")
        return [bool(mask.value >> bit & 1) for bit in range(4)]

    def set_output(self, output: int, on: bool) -> None:
        check(self._lib.ZelIoModuleSetOutput(self.handle, output, 1 if on else 0), "ZelIoModuleSetOutput")


class PneumaticModule(Module):
    _prefix = "ZelPneumaticModule"
    kind = "pneumatic"

    @property
    def valve(self) -> bool:
        state = ctypes.c_ubyte()
        check(self._lib.ZelPneumaticModuleGetOutput(self.handle, ctypes.byref(state), COUNT_REQUEST_NORMAL),
              "ZelPneumaticModuleGetOutput")
        return bool(state.value)

    @valve.setter
    def valve(self, on: bool) -> None:
        check(self._lib.ZelPneumaticModuleSetOutput(self.handle, 1 if on else 0), "ZelPneumaticModuleSetOutput")


def _kind_of(module_id: int):
    hardware = module_id // 100
    return {
        580301: KalixModule, 580305: KalixModule, 580306: KalixModule,
        580302: OneVppModule, 580307: OneVppModule, 580308: OneVppModule,
        580313: TtlModule, 580314: TtlModule, 580315: TtlModule,
        580316: LvdtModule, 580311: AnalogModule, 580309: IoModule, 580310: PneumaticModule,
    }.get(hardware, Module)


def open_module(address: str, **settings) -> Module:
    """Opens the module at `address` as the class of its kind, by the
    identity it reports, as the chain manager does."""
    with Module(address, **settings) as probe:
        kind = _kind_of(probe.module_id)
    return kind(address, **settings)


def discover(local_ip: str, netmask: str = "255.255.255.0", port: int = 0) -> List[ModuleInfo]:
    """Every module that answers the discovery broadcast (about 5 s)."""
    lib = _capi.library()
    finder = lib.ZelModuleCreate()
    try:
        check(lib.ZelModuleSetBroadcastingNetmask(finder, to_latin1(netmask)), "ZelModuleSetBroadcastingNetmask")
        count = ctypes.c_short()
        ips = ctypes.create_string_buffer(64 * 18)
        masks = ctypes.create_string_buffer(64 * 18)
        ports = (ctypes.c_ushort * 64)()
        check(lib.ZelModuleBroadcast(finder, to_latin1(local_ip), port, ctypes.byref(count), ips, masks, ports),
              "ZelModuleBroadcast")
    finally:
        lib.ZelModuleDelete(finder)
    found = []
    for address in ips.value.decode("latin-1").split():
        with open_module(address) as module:
            found.append(module.info())
    return found
