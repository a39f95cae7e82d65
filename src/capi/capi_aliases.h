/* The names under which the C interface exports one implementation a second
 * time: X(name, implementation). Plain preprocessor tables, so that the
 * library (GCC aliases on ELF) and the Windows module-definition file
 * ("name=implementation" lines) are made from the same list.
 *
 * ZEL_CAPI_MODULE_ALIASES name implementations of capi_module.cpp,
 * ZEL_CAPI_KIND_ALIASES those of capi_kinds.cpp (an ELF alias must stand in
 * the file that defines its target). */
#ifndef ZEL_CAPI_ALIASES_H
#define ZEL_CAPI_ALIASES_H

/* The module-wide functions under each kind's prefix. */
#define ZEL_CAPI_MODULE_WIDE(X, Kind)                          \
    X(Kind##Delete, ZelModuleDelete)                           \
    X(Kind##Initialize, ZelModuleInitialize)                   \
    X(Kind##GetNumChannels, ZelCapiGetNumChannels)             \
    X(Kind##GetAdcValues, ZelModuleGetAdcValues)               \
    X(Kind##GetModuleErrors, ZelModuleGetModuleErrors)         \
    X(Kind##GetModuleErrorState, ZelModuleGetModuleErrorState) \
    X(Kind##EnableDiags, ZelCapiEnableDiags)

#define ZEL_CAPI_PLAIN_LATCH(X, Kind)          \
    X(Kind##ClearErrors, ZelModuleClearErrors) \
    X(Kind##ClearLatch, ZelCapiClearLatch)     \
    X(Kind##GetLatch, ZelCapiGetLatch)

#define ZEL_CAPI_MODULE_ALIASES(X)              \
    ZEL_CAPI_MODULE_WIDE(X, Zel1VppModule)      \
    ZEL_CAPI_MODULE_WIDE(X, ZelKalixModule)     \
    ZEL_CAPI_MODULE_WIDE(X, ZelTtlModule)       \
    ZEL_CAPI_MODULE_WIDE(X, ZelLvdtModule)      \
    ZEL_CAPI_MODULE_WIDE(X, ZelAnalogModule)    \
    ZEL_CAPI_MODULE_WIDE(X, ZelIoModule)        \
    ZEL_CAPI_MODULE_WIDE(X, ZelPneumaticModule) \
    ZEL_CAPI_PLAIN_LATCH(X, ZelAnalogModule)    \
    ZEL_CAPI_PLAIN_LATCH(X, ZelIoModule)        \
    ZEL_CAPI_PLAIN_LATCH(X, ZelLvdtModule)      \
    ZEL_CAPI_PLAIN_LATCH(X, ZelPneumaticModule)

/* The encoder settings of the 1 Vpp kind under the other encoder prefixes. */
#define ZEL_CAPI_ENCODER_ALIASES(X, Kind)                            \
    X(Kind##GetEncoderType, Zel1VppModuleGetEncoderType)             \
    X(Kind##GetUom, Zel1VppModuleGetUom)                             \
    X(Kind##SetErrorCompensation, Zel1VppModuleSetErrorCompensation) \
    X(Kind##GetErrorCompensation, Zel1VppModuleGetErrorCompensation) \
    X(Kind##GetResolution, Zel1VppModuleGetResolution)               \
    X(Kind##SetScaling, Zel1VppModuleSetScaling)                     \
    X(Kind##GetScaling, Zel1VppModuleGetScaling)                     \
    X(Kind##GetCountingDirection, Zel1VppModuleGetCountingDirection) \
    X(Kind##EnableErrorChecking, Zel1VppModuleEnableErrorChecking)   \
    X(Kind##ClearErrors, Zel1VppModuleClearErrors)                   \
    X(Kind##SetLatch, Zel1VppModuleSetLatch)                         \
    X(Kind##GetLatches, Zel1VppModuleGetLatches)                     \
    X(Kind##SetDeviceOffset, Zel1VppModuleSetDeviceOffset)           \
    X(Kind##GetDeviceOffset, Zel1VppModuleGetDeviceOffset)

#define ZEL_CAPI_KIND_ALIASES(X)                                           \
    ZEL_CAPI_ENCODER_ALIASES(X, ZelKalixModule)                            \
    ZEL_CAPI_ENCODER_ALIASES(X, ZelTtlModule)                              \
    X(ZelTtlModuleSetEncoderType, Zel1VppModuleSetEncoderType)             \
    X(ZelTtlModuleSetUom, Zel1VppModuleSetUom)                             \
    X(ZelLvdtModuleSetScaling, Zel1VppModuleSetScaling)                    \
    X(ZelLvdtModuleGetScaling, Zel1VppModuleGetScaling)                    \
    X(ZelKalixModuleSetLatchDebouncing, Zel1VppModuleSetLatchDebouncing)   \
    X(ZelKalixModuleGetChannelStatus, Zel1VppModuleGetChannelStatus)       \
    X(ZelTtlModuleGetChannelErrorState, Zel1VppModuleGetChannelErrorState) \
    X(ZelKalixModuleSetRotaryFormat, Zel1VppModuleSetRotaryFormat)         \
    X(ZelKalixModuleGetRotaryFormat, Zel1VppModuleGetRotaryFormat)         \
    X(ZelAnalogModuleSetDeviceOffset, Zel1VppModuleSetDeviceOffset)        \
    X(ZelAnalogModuleGetDeviceOffset, Zel1VppModuleGetDeviceOffset)        \
    X(ZelLvdtModuleSetDeviceOffset, Zel1VppModuleSetDeviceOffset)          \
    X(ZelLvdtModuleGetDeviceOffset, Zel1VppModuleGetDeviceOffset)

#endif /* ZEL_CAPI_ALIASES_H */
