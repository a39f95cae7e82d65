"""The flat C interface of the library, bound with ctypes.

TABLE holds every function of ``zel_capi.h`` with its result and argument
types as the header writes them (``const`` dropped); a test compares it with
the preprocessed header, so a function added there without a binding here
fails. ``library()`` loads the shared library once and declares every
function from the table.
"""

from __future__ import annotations

import ctypes
import os
import sys
from pathlib import Path
from typing import Dict, Optional, Sequence, Tuple

Row = Tuple[str, str, Sequence[str]]

TABLE: Tuple[Row, ...] = (
    ("ZelModuleCreate", "ZelModuleHandle", ()),
    ("ZelModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelModuleGetLibraryVersion", "void", ('char*',)),
    ("ZelModuleGetModuleType", "int", ('ZelModuleHandle', 'MODULE_ID*')),
    ("ZelModuleSetIpAddress", "int", ('ZelModuleHandle', 'char*', 'char*')),
    ("ZelModuleGetIpAddress", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetIpStaticAddress", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetNetmask", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetNetmaskStatic", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetPort", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelModuleGetUsingDhcp", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelModuleGetMacAddress", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetBootloaderVersion", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetFirmwareVersion", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleGetSerialNumber", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleSetAsyncPort", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelModuleGetAsyncPort", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelModuleSetUsingDhcp", "int", ('ZelModuleHandle', 'char')),
    ("ZelModuleReset", "int", ('ZelModuleHandle',)),
    ("ZelModuleShowType", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleShowId", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleShowRespCode", "int", ('char*', 'int')),
    ("ZelModuleSetBroadcastingNetmask", "int", ('ZelModuleHandle', 'char*')),
    ("ZelModuleSetUdpTimeout", "int", ('ZelModuleHandle', 'long')),
    ("ZelModuleGetUdpTimeout", "int", ('ZelModuleHandle', 'long*')),
    ("ZelModuleSetUdpNumRetries", "int", ('ZelModuleHandle', 'short')),
    ("ZelModuleGetUdpNumRetries", "int", ('ZelModuleHandle', 'short*')),
    ("ZelModuleSetNetworkDelay", "int", ('ZelModuleHandle', 'short')),
    ("ZelModuleGetNetworkDelay", "int", ('ZelModuleHandle', 'short*')),
    ("ZelModuleBroadcast", "int", ('ZelModuleHandle', 'char*', 'unsigned short', 'short*', 'char*', 'char*', 'unsigned short*')),
    ("ZelModuleProgram", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelModuleGetProgramState", "int", ('ZelModuleHandle', 'PROGRAMMING_STATE_ENUMS*')),
    ("ZelModuleGetProgramPercentComplete", "int", ('ZelModuleHandle', 'double*')),
    ("ZelModuleCheckProgramFile", "int", ('char*', 'bool', 'char*', 'unsigned long')),
    ("ZelModuleGetAsyncMsgType", "int", ('char*', 'UdpCmdType*')),
    ("ZelModuleGetAsyncMsgIpAddress", "int", ('char*', 'char*')),
    ("ZelModuleGetAsyncMsgPort", "int", ('char*', 'unsigned short*')),
    ("ZelModuleGetAsyncMsgDhcp", "int", ('char*', 'unsigned char*')),
    ("ZelModuleGetAsyncMsgMacAddress", "int", ('char*', 'char*')),
    ("ZelModuleGetAsyncMsgNetmask", "int", ('char*', 'char*')),
    ("ZelModuleGetAsyncMsgSerialNumber", "int", ('char*', 'char*')),
    ("ZelModuleGetAsyncMsgChannelStatus", "int", ('char*', 'unsigned short*', 'unsigned short*')),
    ("ZelModuleGetAsyncMsgLatch", "int", ('char*', 'unsigned char*')),
    ("ZelModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("Zel1VppModuleCreate", "ZelModuleHandle", ()),
    ("Zel1VppModuleDelete", "void", ('ZelModuleHandle',)),
    ("Zel1VppModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("Zel1VppModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("Zel1VppModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("Zel1VppModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("Zel1VppModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("Zel1VppModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelKalixModuleCreate", "ZelModuleHandle", ()),
    ("ZelKalixModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelKalixModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelKalixModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelKalixModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("ZelKalixModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelKalixModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelKalixModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelTtlModuleCreate", "ZelModuleHandle", ()),
    ("ZelTtlModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelTtlModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelTtlModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelTtlModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("ZelTtlModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelTtlModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelTtlModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelLvdtModuleCreate", "ZelModuleHandle", ()),
    ("ZelLvdtModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelLvdtModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelLvdtModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelLvdtModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("ZelLvdtModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelLvdtModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelLvdtModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelAnalogModuleCreate", "ZelModuleHandle", ()),
    ("ZelAnalogModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelAnalogModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelAnalogModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelAnalogModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("ZelAnalogModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelAnalogModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelAnalogModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelIoModuleCreate", "ZelModuleHandle", ()),
    ("ZelIoModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelIoModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelIoModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelIoModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("ZelIoModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelIoModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelIoModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelPneumaticModuleCreate", "ZelModuleHandle", ()),
    ("ZelPneumaticModuleDelete", "void", ('ZelModuleHandle',)),
    ("ZelPneumaticModuleInitialize", "int", ('ZelModuleHandle', 'char*', 'bool')),
    ("ZelPneumaticModuleGetNumChannels", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelPneumaticModuleGetAdcValues", "int", ('ZelModuleHandle', 'short*', 'short')),
    ("ZelPneumaticModuleGetModuleErrors", "int", ('ZelModuleHandle', 'unsigned long*', 'double*', 'short')),
    ("ZelPneumaticModuleGetModuleErrorState", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelPneumaticModuleEnableDiags", "int", ('ZelModuleHandle', 'DIAG_MODE_OPTIONS')),
    ("ZelAnalogModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelAnalogModuleClearLatch", "int", ('ZelModuleHandle',)),
    ("ZelAnalogModuleGetLatch", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelIoModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelIoModuleClearLatch", "int", ('ZelModuleHandle',)),
    ("ZelIoModuleGetLatch", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelLvdtModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelLvdtModuleClearLatch", "int", ('ZelModuleHandle',)),
    ("ZelLvdtModuleGetLatch", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelPneumaticModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelPneumaticModuleClearLatch", "int", ('ZelModuleHandle',)),
    ("ZelPneumaticModuleGetLatch", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("Zel1VppModuleGetEncoderType", "int", ('ZelModuleHandle', 'ENCODER_TYPES_ENUM*', 'unsigned short')),
    ("Zel1VppModuleGetUom", "int", ('ZelModuleHandle', 'UOM*', 'unsigned short')),
    ("Zel1VppModuleSetErrorCompensation", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("Zel1VppModuleGetErrorCompensation", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("Zel1VppModuleGetResolution", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("Zel1VppModuleSetScaling", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("Zel1VppModuleGetScaling", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("Zel1VppModuleGetCountingDirection", "int", ('ZelModuleHandle', 'bool*', 'unsigned short')),
    ("Zel1VppModuleEnableErrorChecking", "int", ('ZelModuleHandle', 'bool', 'unsigned short')),
    ("Zel1VppModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("Zel1VppModuleSetLatch", "int", ('ZelModuleHandle', 'LATCH_OPTIONS', 'LATCH_CHOICE')),
    ("Zel1VppModuleGetLatches", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned short')),
    ("Zel1VppModuleSetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("Zel1VppModuleGetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("ZelKalixModuleGetEncoderType", "int", ('ZelModuleHandle', 'ENCODER_TYPES_ENUM*', 'unsigned short')),
    ("ZelKalixModuleGetUom", "int", ('ZelModuleHandle', 'UOM*', 'unsigned short')),
    ("ZelKalixModuleSetErrorCompensation", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("ZelKalixModuleGetErrorCompensation", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelKalixModuleGetResolution", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelKalixModuleSetScaling", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("ZelKalixModuleGetScaling", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelKalixModuleGetCountingDirection", "int", ('ZelModuleHandle', 'bool*', 'unsigned short')),
    ("ZelKalixModuleEnableErrorChecking", "int", ('ZelModuleHandle', 'bool', 'unsigned short')),
    ("ZelKalixModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelKalixModuleSetLatch", "int", ('ZelModuleHandle', 'LATCH_OPTIONS', 'LATCH_CHOICE')),
    ("ZelKalixModuleGetLatches", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned short')),
    ("ZelKalixModuleSetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelKalixModuleGetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("ZelTtlModuleGetEncoderType", "int", ('ZelModuleHandle', 'ENCODER_TYPES_ENUM*', 'unsigned short')),
    ("ZelTtlModuleGetUom", "int", ('ZelModuleHandle', 'UOM*', 'unsigned short')),
    ("ZelTtlModuleSetErrorCompensation", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("ZelTtlModuleGetErrorCompensation", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelTtlModuleGetResolution", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelTtlModuleSetScaling", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("ZelTtlModuleGetScaling", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelTtlModuleGetCountingDirection", "int", ('ZelModuleHandle', 'bool*', 'unsigned short')),
    ("ZelTtlModuleEnableErrorChecking", "int", ('ZelModuleHandle', 'bool', 'unsigned short')),
    ("ZelTtlModuleClearErrors", "int", ('ZelModuleHandle',)),
    ("ZelTtlModuleSetLatch", "int", ('ZelModuleHandle', 'LATCH_OPTIONS', 'LATCH_CHOICE')),
    ("ZelTtlModuleGetLatches", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned short')),
    ("ZelTtlModuleSetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelTtlModuleGetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("Zel1VppModuleSetEncoderType", "int", ('ZelModuleHandle', 'ENCODER_TYPES_ENUM', 'unsigned short')),
    ("ZelTtlModuleSetEncoderType", "int", ('ZelModuleHandle', 'ENCODER_TYPES_ENUM', 'unsigned short')),
    ("Zel1VppModuleSetUom", "int", ('ZelModuleHandle', 'UOM', 'unsigned short')),
    ("ZelTtlModuleSetUom", "int", ('ZelModuleHandle', 'UOM', 'unsigned short')),
    ("ZelLvdtModuleSetScaling", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("ZelLvdtModuleGetScaling", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("Zel1VppModuleSetLatchDebouncing", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned short')),
    ("ZelKalixModuleSetLatchDebouncing", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned short')),
    ("Zel1VppModuleGetChannelStatus", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char')),
    ("ZelKalixModuleGetChannelStatus", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char')),
    ("Zel1VppModuleGetChannelErrorState", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char')),
    ("ZelTtlModuleGetChannelErrorState", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char')),
    ("Zel1VppModuleSetRotaryFormat", "int", ('ZelModuleHandle', 'unsigned short', 'ROTARY_FORMAT')),
    ("ZelKalixModuleSetRotaryFormat", "int", ('ZelModuleHandle', 'unsigned short', 'ROTARY_FORMAT')),
    ("Zel1VppModuleGetRotaryFormat", "int", ('ZelModuleHandle', 'unsigned short', 'ROTARY_FORMAT*')),
    ("ZelKalixModuleGetRotaryFormat", "int", ('ZelModuleHandle', 'unsigned short', 'ROTARY_FORMAT*')),
    ("ZelTtlModuleSetRotaryFormat", "int", ('ZelModuleHandle', 'unsigned short*', 'ROTARY_FORMAT*')),
    ("ZelTtlModuleGetRotaryFormat", "int", ('ZelModuleHandle', 'unsigned short*', 'ROTARY_FORMAT*')),
    ("ZelAnalogModuleSetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelAnalogModuleGetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("ZelLvdtModuleSetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelLvdtModuleGetDeviceOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("Zel1VppModuleSetCountingDirection", "int", ('ZelModuleHandle', 'bool', 'unsigned short')),
    ("Zel1VppModuleGetCounts", "int", ('ZelModuleHandle', 'unsigned long*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("Zel1VppModuleGetPositions", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("Zel1VppModuleEnableAnalogDiag", "int", ('ZelModuleHandle', 'bool', 'unsigned char')),
    ("Zel1VppModuleGetAnalogDiag", "int", ('ZelModuleHandle', 'double*', 'short', 'unsigned char')),
    ("Zel1VppModuleSetLineCount", "int", ('ZelModuleHandle', 'unsigned long', 'unsigned short')),
    ("Zel1VppModuleGetLineCount", "int", ('ZelModuleHandle', 'unsigned long*', 'unsigned short')),
    ("Zel1VppModuleSetSignalPeriod", "int", ('ZelModuleHandle', 'unsigned short', 'unsigned short')),
    ("Zel1VppModuleGetSignalPeriod", "int", ('ZelModuleHandle', 'unsigned short*', 'unsigned short')),
    ("Zel1VppModuleStartReferencing", "int", ('ZelModuleHandle', 'unsigned char', 'REFERENCE_MARK_ENUM', 'unsigned short')),
    ("Zel1VppModuleGetReferencingComplete", "int", ('ZelModuleHandle', 'unsigned char', 'bool*')),
    ("Zel1VppModuleAcknowledgeAbsolutePosition", "int", ('ZelModuleHandle', 'unsigned char')),
    ("Zel1VppModuleGetReferencingState", "int", ('ZelModuleHandle', 'unsigned char', 'REF_MARK_STATE*')),
    ("Zel1VppGetSignalType", "int", ('ZelModuleHandle', 'unsigned short', 'SIGNAL_TYPE*')),
    ("Zel1VppSetSignalType", "int", ('ZelModuleHandle', 'unsigned short', 'SIGNAL_TYPE')),
    ("Zel1VppDetectSignalType", "int", ('ZelModuleHandle', 'unsigned short', 'SIGNAL_TYPE*')),
    ("ZelKalixModuleGetChannelPresence", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned short')),
    ("ZelKalixModuleSetUom", "int", ('ZelModuleHandle', 'UOM', 'unsigned short')),
    ("ZelKalixModuleGetDistinguishableRevolutions", "int", ('ZelModuleHandle', 'short*', 'unsigned short')),
    ("ZelKalixModuleGetCounts", "int", ('ZelModuleHandle', 'unsigned long*', 'long*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelKalixModuleGetPositions", "int", ('ZelModuleHandle', 'double*', 'long*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelKalixModuleGetKalixErrors", "int", ('ZelModuleHandle', 'KALIX_ERROR_RESULT*', 'short', 'unsigned short')),
    ("ZelKalixModuleGetKalixWarnings", "int", ('ZelModuleHandle', 'KALIX_ERROR_RESULT*', 'short', 'unsigned short')),
    ("ZelKalixModuleGetChannelErrorState", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned short')),
    ("ZelKalixModuleGetChannelWarningState", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned short')),
    ("ZelKalixModuleGetEncoderName", "int", ('ZelModuleHandle', 'char*', 'unsigned short')),
    ("ZelKalixModuleGetEncoderId", "int", ('ZelModuleHandle', 'char*', 'unsigned short')),
    ("ZelKalixModuleGetEncoderSerialNumber", "int", ('ZelModuleHandle', 'char*', 'unsigned short')),
    ("ZelKalixModuleGetDiags", "int", ('ZelModuleHandle', 'unsigned char*', 'short', 'unsigned char')),
    ("ZelTtlModuleSetCountingDirection", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned short')),
    ("ZelTtlModuleGetCounts", "int", ('ZelModuleHandle', 'unsigned long*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelTtlModuleGetPositions", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelTtlModuleSetLineCount", "int", ('ZelModuleHandle', 'unsigned long', 'TTL_INTERPOLATION', 'unsigned short')),
    ("ZelTtlModuleGetLineCount", "int", ('ZelModuleHandle', 'unsigned long*', 'TTL_INTERPOLATION*', 'unsigned short')),
    ("ZelTtlModuleSetSignalPeriod", "int", ('ZelModuleHandle', 'double', 'TTL_INTERPOLATION', 'unsigned short')),
    ("ZelTtlModuleGetSignalPeriod", "int", ('ZelModuleHandle', 'double*', 'TTL_INTERPOLATION*', 'unsigned short')),
    ("ZelTtlModuleStartReferencing", "int", ('ZelModuleHandle', 'unsigned char', 'REFERENCE_MARK_ENUM', 'unsigned short')),
    ("ZelTtlModuleGetReferencingComplete", "int", ('ZelModuleHandle', 'unsigned char', 'bool*')),
    ("ZelTtlModuleAcknowledgeReferencing", "int", ('ZelModuleHandle', 'unsigned char')),
    ("ZelTtlModuleGetReferencingState", "int", ('ZelModuleHandle', 'unsigned char', 'REF_MARK_STATE*')),
    ("ZelTtlModuleSetChannelPresence", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned char')),
    ("ZelTtlModuleGetChannelPresence", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char')),
    ("ZelTtlModuleGetFpgaRevision", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelLvdtModuleSetUom", "int", ('ZelModuleHandle', 'LVDT_UOM', 'unsigned short')),
    ("ZelLvdtModuleGetUom", "int", ('ZelModuleHandle', 'LVDT_UOM*', 'unsigned short')),
    ("ZelLvdtModuleSetResolution", "int", ('ZelModuleHandle', 'double', 'unsigned short')),
    ("ZelLvdtModuleGetResolution", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelLvdtModuleGetPositions", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelLvdtModuleGetExcitationValues", "int", ('ZelModuleHandle', 'double*', 'double*')),
    ("ZelLvdtModuleSetExcitationVoltage", "int", ('ZelModuleHandle', 'double')),
    ("ZelLvdtModuleSetExcitationFrequency", "int", ('ZelModuleHandle', 'double')),
    ("ZelLvdtModuleGetVoltage", "int", ('ZelModuleHandle', 'unsigned short', 'double*', 'long*')),
    ("ZelLvdtModuleSetChannelPresence", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned char')),
    ("ZelLvdtModuleGetChannelPresence", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char')),
    ("ZelLvdtModuleSetDiagnosticsEnabled", "int", ('ZelModuleHandle', 'LVDT_UPDATE_CHOICES')),
    ("ZelLvdtModuleGetSensorGain", "int", ('ZelModuleHandle', 'unsigned short', 'unsigned char*')),
    ("ZelLvdtModuleSetSensorGain", "int", ('ZelModuleHandle', 'unsigned short', 'unsigned char')),
    ("ZelLvdtModuleTeachSensorGain", "int", ('ZelModuleHandle', 'unsigned short')),
    ("ZelLvdtModuleGetTeachSensorGainFinished", "int", ('ZelModuleHandle', 'unsigned short', 'unsigned short*')),
    ("ZelLvdtGetFpgaRevision", "int", ('ZelModuleHandle', 'unsigned short*')),
    ("ZelLvdtModuleSetOversampling", "int", ('ZelModuleHandle', 'LVDT_OVERSAMPLING_CHOICES')),
    ("ZelAnalogModuleGetVoltage", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelAnalogModuleGetCurrent", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelAnalogModuleGetValues", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelAnalogModuleGetScaledValues", "int", ('ZelModuleHandle', 'double*', 'unsigned short', 'COUNT_REQUEST_OPTION')),
    ("ZelAnalogModuleSetScaling", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelAnalogModuleGetScaling", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("ZelAnalogModuleGetDiagVoltages", "int", ('ZelModuleHandle', 'double*', 'unsigned short')),
    ("ZelAnalogModuleSetNumSamples", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned char')),
    ("ZelAnalogModuleSetResolution", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelAnalogModuleSetOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double')),
    ("ZelAnalogModuleGetResolution", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("ZelAnalogModuleGetOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*')),
    ("ZelAnalogModuleComputeResolutionAndOffset", "int", ('ZelModuleHandle', 'unsigned short', 'double*', 'double*', 'double', 'double', 'double', 'double')),
    ("ZelIoModuleSetOutputs", "int", ('ZelModuleHandle', 'unsigned long')),
    ("ZelIoModuleSetOutput", "int", ('ZelModuleHandle', 'unsigned char', 'unsigned short')),
    ("ZelIoModuleGetOutputs", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelIoModuleGetInputs", "int", ('ZelModuleHandle', 'unsigned char*')),
    ("ZelIoModuleGetIO", "int", ('ZelModuleHandle', 'unsigned char*', 'unsigned char*', 'COUNT_REQUEST_OPTION')),
    ("ZelPneumaticModuleSetOutput", "int", ('ZelModuleHandle', 'unsigned short')),
    ("ZelPneumaticModuleGetOutput", "int", ('ZelModuleHandle', 'unsigned char*', 'COUNT_REQUEST_OPTION')),
    ("ZelConfigFileCreate", "ZelConfigHandle", ()),
    ("ZelConfigFileDelete", "void", ('ZelConfigHandle',)),
    ("ZelConfigFileLoadXml", "int", ('ZelConfigHandle', 'char*')),
    ("ZelConfigFileReloadXml", "int", ('ZelConfigHandle',)),
    ("ZelConfigFileGetFilename", "int", ('ZelConfigHandle', 'char*')),
    ("ZelConfigFileGetNumModules", "int", ('ZelConfigHandle', 'unsigned short*')),
    ("ZelConfigFileGetNumChannels", "int", ('ZelConfigHandle', 'unsigned short', 'unsigned short*')),
    ("ZelConfigFileGetElement", "int", ('ZelConfigHandle', 'char*', 'ZEL_XML_ELEMENTS')),
    ("ZelConfigFileGetModuleElement", "int", ('ZelConfigHandle', 'char*', 'unsigned short', 'ZEL_XML_ELEMENTS')),
    ("ZelConfigFileGetChannelElement", "int", ('ZelConfigHandle', 'char*', 'unsigned short', 'unsigned short', 'ZEL_XML_ELEMENTS')),
    ("ZelConfigFileGetSpecificModule", "int", ('ZelConfigHandle', 'char*', 'unsigned short')),
    ("ZelConfigFileGetSpecificChannel", "int", ('ZelConfigHandle', 'char*', 'unsigned short', 'unsigned short')),
    ("ZelConfigFileGetAllElements", "int", ('ZelConfigHandle', 'char*')),
    ("ZelConfigFileValidateElements", "int", ('ZelConfigHandle', 'ZEL_XML_ELEMENTS*', 'unsigned short*', 'unsigned short*')),
    ("ZelConfigFileSetModuleElement", "int", ('ZelConfigHandle', 'char*', 'unsigned short', 'ZEL_XML_ELEMENTS')),
    ("ZelConfigFileSetChannelElement", "int", ('ZelConfigHandle', 'char*', 'unsigned short', 'unsigned short', 'ZEL_XML_ELEMENTS')),
    ("ZelConfigFileRemoveModule", "int", ('ZelConfigHandle', 'unsigned short')),
    ("ZelConfigFileWriteFile", "int", ('ZelConfigHandle',)),
    ("ZelConfigFileWriteNewFile", "int", ('ZelConfigHandle', 'char*')),
    ("ZelConfigFileWriteFileChecked", "int", ('ZelConfigHandle', 'char*', 'unsigned long')),
    ("ZelConfigFileWriteNewFileChecked", "int", ('ZelConfigHandle', 'char*', 'char*', 'unsigned long')),
    ("ZelConfigFileDecodeErrorType", "int", ('ZelConfigHandle', 'char*', 'ZEL_XML_RETURN')),
    ("ZelConfigFileDecodeElementType", "int", ('ZelConfigHandle', 'char*', 'ZEL_XML_ELEMENTS')),
)

# The enumerations cross as 32-bit ints; REF_MARK_STATE outputs are written
# as 16 bits into a cleared int.
_ENUMS = (
    "COUNT_REQUEST_OPTION", "DIAG_MODE_OPTIONS", "ENCODER_TYPES_ENUM", "KALIX_ERROR_RESULT",
    "LATCH_CHOICE", "LATCH_OPTIONS", "LVDT_OVERSAMPLING_CHOICES", "LVDT_UOM", "LVDT_UPDATE_CHOICES",
    "MODULE_ID", "PROGRAMMING_STATE_ENUMS", "REFERENCE_MARK_ENUM", "REF_MARK_STATE", "ROTARY_FORMAT",
    "SIGNAL_TYPE", "TTL_INTERPOLATION", "UOM", "UdpCmdType", "ZEL_XML_ELEMENTS", "ZEL_XML_RETURN",
)

_SCALARS: Dict[str, object] = {
    "void": None,
    "int": ctypes.c_int,
    "bool": ctypes.c_bool,
    "char": ctypes.c_char,
    "short": ctypes.c_short,
    "unsigned short": ctypes.c_ushort,
    "unsigned char": ctypes.c_ubyte,
    "long": ctypes.c_long,
    "unsigned long": ctypes.c_ulong,
    "double": ctypes.c_double,
    "ZelModuleHandle": ctypes.c_void_p,
    "ZelConfigHandle": ctypes.c_void_p,
    "char*": ctypes.c_char_p,
}
_SCALARS.update({name: ctypes.c_int for name in _ENUMS})


def ctype(text: str):
    """The ctypes type of a C type as the table writes it."""
    if text in _SCALARS:
        return _SCALARS[text]
    if text.endswith("*") and text[:-1] in _SCALARS:
        return ctypes.POINTER(_SCALARS[text[:-1]])  # type: ignore[arg-type]
    raise TypeError(f"no ctypes type for C type {text!r}")


class LibraryNotFound(OSError):
    """The shared library could be found neither by ZEL_LIBRARY nor beside the package."""


_library: Optional[ctypes.CDLL] = None


def _candidates():
    env = os.environ.get("ZEL_LIBRARY")
    if env:
        yield Path(env)
        return
    here = Path(__file__).resolve().parent
    names = ("zel.dll",) if sys.platform == "win32" else ("libzel.so.2", "libzel.so", "libzel.dylib")
    # Beside the package, or in the lib folder of the prefix it was installed into.
    for folder in (here, here.parent, *here.parents):
        for name in names:
            yield folder / name
        for name in names:
            yield folder / "lib" / name
            yield folder / "lib" / "x86_64-linux-gnu" / name
            yield folder / "build" / "src" / name  # a source checkout built with the README's command


def library() -> ctypes.CDLL:
    """The loaded library with every function of TABLE declared."""
    global _library
    if _library is not None:
        return _library
    tried = []
    for path in _candidates():
        tried.append(str(path))
        if not path.exists():
            continue
        loader = ctypes.WinDLL if sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4 else ctypes.CDLL
        lib = loader(str(path))
        for name, result, arguments in TABLE:
            function = getattr(lib, name)
            function.restype = ctype(result)
            function.argtypes = [ctype(a) for a in arguments]
        _library = lib
        return lib
    raise LibraryNotFound(
        "the ZEL shared library was not found: set ZEL_LIBRARY to its path, or install it beside "
        "the zel package (looked at: " + ", ".join(tried[:4]) + (", ..." if len(tried) > 4 else "") + ")"
    )


# ---- The station library (libzel_station): its own C header,
# zel_station_capi.h, bound the same way and checked against it the same way.

STATION_TABLE: Tuple[Row, ...] = (
    ("ZelChainCreate", "ZelChainHandle", ()),
    ("ZelChainDelete", "void", ('ZelChainHandle',)),
    ("ZelChainCreateChain", "int", ('ZelChainHandle', 'char*', 'unsigned short', 'bool', 'char*')),
    ("ZelChainGetNumModules", "int", ('ZelChainHandle', 'unsigned short*')),
    ("ZelChainGetModule", "int", ('ZelChainHandle', 'unsigned short', 'ZelStationModuleHandle*')),
    ("ZelChainGetModuleAddress", "int", ('ZelChainHandle', 'unsigned short', 'char*')),
    ("ZelChainGetModuleId", "int", ('ZelChainHandle', 'unsigned short', 'unsigned long*')),
    ("ZelSamplerCreate", "ZelSamplerHandle", ('ZelChainHandle',)),
    ("ZelSamplerDelete", "void", ('ZelSamplerHandle',)),
    ("ZelSamplerSample", "int", ('ZelSamplerHandle',)),
    ("ZelSamplerGetSize", "int", ('ZelSamplerHandle', 'unsigned short*')),
    ("ZelSamplerGetRecord", "int", ('ZelSamplerHandle', 'unsigned short', 'unsigned short*', 'int*', 'double*', 'unsigned short', 'unsigned short*')),
    ("ZelStationCreate", "ZelStationHandle", ()),
    ("ZelStationDelete", "void", ('ZelStationHandle',)),
    ("ZelStationLoad", "int", ('ZelStationHandle', 'char*')),
    ("ZelStationSetModuleAddress", "int", ('ZelStationHandle', 'unsigned short', 'char*')),
    ("ZelStationOpen", "int", ('ZelStationHandle', 'ZEL_STATION_OPEN_MODE', 'char*', 'unsigned short', 'char*')),
    ("ZelStationGetMessage", "int", ('ZelStationHandle', 'char*')),
    ("ZelStationGetRefusedSite", "int", ('ZelStationHandle', 'int*', 'int*', 'int*')),
    ("ZelStationGetNumModules", "int", ('ZelStationHandle', 'unsigned short*')),
    ("ZelStationGetModule", "int", ('ZelStationHandle', 'unsigned short', 'ZelStationModuleHandle*')),
    ("ZelStationGetNumDifferences", "int", ('ZelStationHandle', 'unsigned short*')),
    ("ZelStationGetDifference", "int", ('ZelStationHandle', 'unsigned short', 'ZEL_STATION_DIFFERENCE*', 'short*', 'short*', 'char*', 'char*')),
    ("ZelStationRead", "int", ('ZelStationHandle',)),
    ("ZelStationGetNumReadings", "int", ('ZelStationHandle', 'unsigned short*')),
    ("ZelStationGetReading", "int", ('ZelStationHandle', 'unsigned short', 'char*', 'char*', 'double*', 'unsigned short*', 'unsigned short*')),
    ("ZelStationReadLabel", "int", ('ZelStationHandle', 'char*', 'double*', 'char*')),
    ("ZelStationGetSampler", "int", ('ZelStationHandle', 'ZelSamplerHandle*')),
    ("ZelStationCapture", "int", ('ZelChainHandle', 'char*', 'char*')),
)

_SCALARS.update({"ZelChainHandle": ctypes.c_void_p, "ZelSamplerHandle": ctypes.c_void_p,
                 "ZelStationHandle": ctypes.c_void_p, "ZelStationModuleHandle": ctypes.c_void_p,
                 "ZEL_STATION_OPEN_MODE": ctypes.c_int,
                 "ZEL_STATION_DIFFERENCE": ctypes.c_int})

_station_library: Optional[ctypes.CDLL] = None


def _station_candidates():
    env = os.environ.get("ZEL_STATION_LIBRARY")
    if env:
        yield Path(env)
        return
    names = ("zel_station.dll",) if sys.platform == "win32" else (
        "libzel_station.so.2", "libzel_station.so", "libzel_station.dylib")
    folders = []
    lib = os.environ.get("ZEL_LIBRARY")
    if lib:
        folders += [Path(lib).parent, Path(lib).parent / "station"]
    for candidate in _candidates():
        folders += [candidate.parent, candidate.parent / "station"]
    for folder in folders:
        for name in names:
            yield folder / name


def station_library() -> ctypes.CDLL:
    """The loaded station library with every function of STATION_TABLE declared."""
    global _station_library
    if _station_library is not None:
        return _station_library
    library()  # the library the station's stands on, loaded first
    tried = []
    for path in _station_candidates():
        tried.append(str(path))
        if not path.exists():
            continue
        lib = ctypes.CDLL(str(path))
        for name, result, arguments in STATION_TABLE:
            function = getattr(lib, name)
            function.restype = ctype(result)
            function.argtypes = [ctype(a) for a in arguments]
        _station_library = lib
        return lib
    raise LibraryNotFound(
        "the ZEL station library was not found: set ZEL_STATION_LIBRARY to its path, or install it "
        "beside the library (looked at: " + ", ".join(tried[:4]) + (", ..." if len(tried) > 4 else "") + ")"
    )
