"""One class per module kind, over the handles of the C interface."""

from __future__ import annotations

import ctypes
import os
import select
import socket
import sys
import threading
import time
from dataclasses import dataclass
from typing import Callable, List, Optional, Tuple

from . import _capi
from ._owned import Owned
from .errors import FileError, OutOfRange, Timeout, check, ipv4, message, to_latin1

COUNT_REQUEST_NORMAL = 0

# Units as the library numbers them.
UNITS = {0: "counts", 1: "counts", 2: "in", 3: "mm", 4: "deg"}
LVDT_UNITS = {0: "counts", 1: "counts", 2: "mm", 3: "in", 4: "um"}


class Reading(tuple):
    """One channel's reading: a pair (value, unit), so ``value, unit = r``
    works, with ``revolutions`` beside it (the multi-turn count of a Kalix
    channel; None for every other kind)."""

    def __new__(cls, value: float, unit: str, revolutions: Optional[int] = None) -> "Reading":
        reading = super().__new__(cls, (value, unit))
        reading.revolutions = revolutions
        return reading

    @property
    def value(self) -> float:
        return self[0]

    @property
    def unit(self) -> str:
        return self[1]

    def __repr__(self) -> str:
        turns = "" if self.revolutions is None else f", revolutions={self.revolutions}"
        return f"Reading(value={self[0]!r}, unit={self[1]!r}{turns})"


_PORT = 27015
_GET_CONFIG = 7  # the configuration request: any module answers it


def _answers(address: str, timeout_ms: int, attempts: int) -> bool:
    """Whether a module answers at the address within `attempts` tries of
    `timeout_ms` each. The library's first contact waits 5 s whatever the
    time-out; this probe lets an absent module be reported within it."""
    parts = address.split(".")
    if len(parts) != 4 or not all(p.isdigit() and int(p) <= 255 for p in parts):
        return True  # not a dotted address: the library refuses it with its own code
    try:
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    except OSError:
        return True  # let the library report it
    with probe:
        for _ in range(max(1, attempts)):
            try:
                probe.sendto(bytes((_GET_CONFIG, 0, 0)), (address, _PORT))
            except OSError:
                return True  # an address the library refuses with its own code
            deadline = time.monotonic() + timeout_ms / 1000.0
            while True:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([probe], [], [], left)[0]:
                    break
                _, sender = probe.recvfrom(2048)
                if sender == (address, _PORT):
                    return True
    return False


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
        ipv4(address)
        self._lib = _capi.library()
        handle = getattr(self._lib, self._prefix + "Create")()
        if not handle:
            raise MemoryError("the library could not create a module object")
        self._own(handle, self._lib.ZelModuleDelete)
        if timeout_ms is not None:
            check(self._lib.ZelModuleSetUdpTimeout(handle, timeout_ms), "ZelModuleSetUdpTimeout")
        if retries is not None:
            check(self._lib.ZelModuleSetUdpNumRetries(handle, retries), "ZelModuleSetUdpNumRetries")
        self._address = address
        try:
            timeout = ctypes.c_long()
            tries = ctypes.c_short()
            check(self._lib.ZelModuleGetUdpTimeout(handle, ctypes.byref(timeout)), "ZelModuleGetUdpTimeout")
            check(self._lib.ZelModuleGetUdpNumRetries(handle, ctypes.byref(tries)), "ZelModuleGetUdpNumRetries")
            if not _answers(address, timeout.value, 1 + tries.value):
                raise Timeout(1, message(1) + f": no module answers at {address}:{_PORT} "
                              f"({1 + tries.value} attempt(s) of {timeout.value} ms)", "ZelModuleInitialize")
            self._initialize(connect)
        except BaseException:
            self.close()
            raise

    def _initialize(self, connect: bool = False) -> None:
        """(Re)reads what the module is: identity, network record, versions."""
        check(self._lib.ZelModuleInitialize(self.handle, to_latin1(self._address), connect), "ZelModuleInitialize")

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
        value = ctypes.c_long()
        check(self._lib.ZelModuleGetUdpTimeout(self.handle, ctypes.byref(value)), "ZelModuleGetUdpTimeout")
        return value.value

    def info(self) -> ModuleInfo:
        kind = self.kind
        if type(self) is Module:
            kind = "power supply" if self.module_id // 100 in _POWER_SUPPLY_HARDWARE else "unknown"
        return ModuleInfo(self.address, self.mac, self.serial, self.model, self.identity, kind,
                          self.bootloader_version, self.firmware_version, self.dhcp, self.netmask,
                          self.channels)

    # -- settings and commands ------------------------------------------------------
    def set_ip(self, address: str, netmask: str) -> None:
        check(self._lib.ZelModuleSetIpAddress(self.handle, ipv4(address), ipv4(netmask, "netmask")),
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

    def program(self, path: "os.PathLike[str] | str", bootloader: bool = False,
                progress: Optional[Callable[[str, float], None]] = None, interval: float = 0.1,
                check_file: bool = True) -> None:
        """Updates the firmware (or bootloader) from an image file.

        The whole file is checked first (``check_image``): a file cut short
        or otherwise broken would stop the update half way and leave the
        module running only its bootloader, so nothing is sent for it and
        FileError tells why. ``check_file=False`` skips that check (the
        library still runs its own, smaller validation).

        `progress` is called with the state and percent, polled from this
        thread while another runs the update (the library allows it).

        Ctrl-C while the update runs does not stop it: a warning tells that
        stopping would leave the module in its bootloader, and the update
        goes on to its end. A second Ctrl-C stops waiting (KeyboardInterrupt)
        and prints how to recover; the update itself runs on to its end in
        the background, and the module object is left open for it.

        Afterwards the module's versions are read again, so
        ``firmware_version`` tells what the module now runs."""
        if check_file:
            check_image(path, bootloader)
        states = ("idle", "preparing", "sending", "finishing", "complete", "failed")
        result: List[int] = []
        name = os.fsencode(path)
        handle = self.handle
        done = threading.Event()

        def update() -> None:
            try:
                result.append(self._lib.ZelModuleProgram(handle, name, bootloader))
            finally:
                done.set()

        # Waited for by its event and plain sleeps: a Ctrl-C that interrupts
        # Thread.join can leave the thread marked as ended while it runs.
        threading.Thread(target=update, daemon=True).start()
        state = ctypes.c_int()
        percent = ctypes.c_double()

        def report() -> None:
            if progress is None:
                return
            self._lib.ZelModuleGetProgramState(handle, ctypes.byref(state))
            self._lib.ZelModuleGetProgramPercentComplete(handle, ctypes.byref(percent))
            progress(states[state.value] if 0 <= state.value < len(states) else "idle", percent.value)

        interrupts = 0
        try:
            while not done.is_set():
                try:
                    report()
                    time.sleep(interval)
                except KeyboardInterrupt:
                    interrupts += 1
                    if interrupts > 1:
                        print(f"zel: stopped waiting; the update of the module at {self._address} runs on in "
                              "the background until this program ends. If the module is left running only its "
                              f"bootloader, recover with: zel.open_module({self._address!r})"
                              f".program({os.fsdecode(name)!r}{', bootloader=True' if bootloader else ''})",
                              file=sys.stderr, flush=True)
                        raise
                    print(f"zel: stopping now leaves the module at {self._address} in its bootloader, without "
                          "a working firmware; the update goes on to its end. Press Ctrl-C again to stop "
                          "waiting anyway", file=sys.stderr, flush=True)
        except BaseException:
            # Whatever ends the wait early (a second Ctrl-C, an exception of
            # the progress callback), the update still uses the handle: it
            # must outlive this call, so the object no longer deletes it.
            if not done.is_set():
                self._finalizer.detach()
            raise
        report()
        check(result[0], "ZelModuleProgram")
        self._initialize()


def check_image(path: "os.PathLike[str] | str", bootloader: bool = False) -> None:
    """The whole-file check of an image file, as program() runs it first:
    raises FileError (with every problem in its message, one per line) when
    the file would not program whole, or holds the other kind of image."""
    lib = _capi.library()
    why = ctypes.create_string_buffer(4096)
    code = lib.ZelModuleCheckProgramFile(os.fsencode(path), bootloader, why, len(why))
    if code != 0:
        problems = os.fsdecode(why.value).strip()
        raise FileError(code, f"{os.fsdecode(path)}: {message(code)}:\n{problems}", "ZelModuleCheckProgramFile")


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

    def positions(self) -> List[Reading]:
        """Each channel's position with its unit."""
        values = (ctypes.c_double * 8)()
        check(getattr(self._lib, self._prefix + "GetPositions")(self.handle, values, 8, COUNT_REQUEST_NORMAL),
              self._prefix + "GetPositions")
        return [Reading(values[i], unit) for i, unit in enumerate(self.units())]


class KalixModule(_Encoder):
    _prefix = "ZelKalixModule"
    kind = "Kalix encoder"

    def positions(self) -> List[Reading]:
        """Each channel's position with its unit, and its revolutions (the
        multi-turn count) as ``revolutions``."""
        values = (ctypes.c_double * 8)()
        turns = (ctypes.c_long * 8)()
        check(self._lib.ZelKalixModuleGetPositions(self.handle, values, turns, 8, COUNT_REQUEST_NORMAL),
              "ZelKalixModuleGetPositions")
        return [Reading(values[i], unit, turns[i]) for i, unit in enumerate(self.units())]

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

    def resolution(self, channel: int) -> float:
        value = ctypes.c_double()
        check(self._lib.ZelLvdtModuleGetResolution(self.handle, ctypes.byref(value), channel),
              "ZelLvdtModuleGetResolution")
        return value.value

    def voltage(self, channel: int) -> Tuple[float, int]:
        """A channel's demodulated voltage and its raw reading."""
        volts = ctypes.c_double()
        raw = ctypes.c_long()
        check(self._lib.ZelLvdtModuleGetVoltage(self.handle, channel, ctypes.byref(volts), ctypes.byref(raw)),
              "ZelLvdtModuleGetVoltage")
        return volts.value, raw.value

    def positions(self) -> List[Reading]:
        """Each channel's reading: its position in its unit once a resolution
        is set (set_resolution), else its voltage in V, as zeltool shows it.
        (Without a resolution the library's position is the reading times 0:
        no length at all.)"""
        values = (ctypes.c_double * 8)()
        check(self._lib.ZelLvdtModuleGetPositions(self.handle, values, 8, COUNT_REQUEST_NORMAL),
              "ZelLvdtModuleGetPositions")
        out = []
        for ch in range(self.channels):
            if self.resolution(ch) == 0.0:
                out.append(Reading(self.voltage(ch)[0], "V"))
                continue
            uom = ctypes.c_int()
            check(self._lib.ZelLvdtModuleGetUom(self.handle, ctypes.byref(uom), ch), "ZelLvdtModuleGetUom")
            out.append(Reading(values[ch], LVDT_UNITS.get(uom.value, "mm")))
        return out


class AnalogModule(Module):
    _prefix = "ZelAnalogModule"
    kind = "analog"

    def positions(self) -> List[Reading]:
        """Voltage and current of both channels, calibrated."""
        values = (ctypes.c_double * 4)()
        check(self._lib.ZelAnalogModuleGetScaledValues(self.handle, values, 4, COUNT_REQUEST_NORMAL),
              "ZelAnalogModuleGetScaledValues")
        return [Reading(values[0], "V"), Reading(values[1], "mA"), Reading(values[2], "V"), Reading(values[3], "mA")]

    def voltages(self) -> List[float]:
        values = (ctypes.c_double * 2)()
        check(self._lib.ZelAnalogModuleGetVoltage(self.handle, values, 2, COUNT_REQUEST_NORMAL),
              "ZelAnalogModuleGetVoltage")
        return list(values)


class IoModule(Module):
    _prefix = "ZelIoModule"
    kind = "I/O"

    # Inputs and outputs count from 0 here, as Python lists do: output i is
    # bit i of the C interface's mask and its output number i + 1.

    def inputs(self) -> List[bool]:
        mask = ctypes.c_ubyte()
        check(self._lib.ZelIoModuleGetInputs(self.handle, ctypes.byref(mask)), "ZelIoModuleGetInputs")
        return [bool(mask.value >> bit & 1) for bit in range(4)]

    def outputs(self) -> List[bool]:
        mask = ctypes.c_ubyte()
        check(self._lib.ZelIoModuleGetOutputs(self.handle, ctypes.byref(mask)), "ZelIoModuleGetOutputs")
        return [bool(mask.value >> bit & 1) for bit in range(4)]

    def set_output(self, output: int, on: bool) -> None:
        """Switches output `output` (0 to 3, the index of outputs())."""
        if not 0 <= output <= 3:
            raise OutOfRange(33, message(33) + f": output {output} (0 to 3)", "ZelIoModuleSetOutput")
        check(self._lib.ZelIoModuleSetOutput(self.handle, output + 1, 1 if on else 0), "ZelIoModuleSetOutput")


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


# The hardware numbers (identity // 100) of the power supplies, which have no
# class of their own; tests/test_kinds.py checks these and _kind_of against the
# library's identity table.
_POWER_SUPPLY_HARDWARE = (580303, 580304)


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
    local = ipv4(local_ip, "local address")
    mask = ipv4(netmask, "netmask")
    lib = _capi.library()
    finder = lib.ZelModuleCreate()
    try:
        check(lib.ZelModuleSetBroadcastingNetmask(finder, mask), "ZelModuleSetBroadcastingNetmask")
        count = ctypes.c_short()
        ips = ctypes.create_string_buffer(64 * 18)
        masks = ctypes.create_string_buffer(64 * 18)
        ports = (ctypes.c_ushort * 64)()
        check(lib.ZelModuleBroadcast(finder, local, port, ctypes.byref(count), ips, masks, ports),
              "ZelModuleBroadcast")
    finally:
        lib.ZelModuleDelete(finder)
    found = []
    for address in ips.value.decode("latin-1").split():
        with open_module(address) as module:
            found.append(module.info())
    return found
