/* The flat C interface of the library, for hosts that cannot use its
 * classes. Each module object is reached through an opaque handle made by
 * its family's Create function; every function checks its pointers, calls
 * one class operation and returns the numeric ZEL_RESPONSE_CODE (0 is
 * success, 32 a null handle or pointer). The configuration-file family
 * returns ZEL_XML_RETURN codes instead (16 for a null pointer).
 *
 * Any module handle is also a ZelModule handle: the module-wide functions
 * (ZelModule..., and Delete, Initialize, GetNumChannels, GetAdcValues,
 * GetModuleErrors, GetModuleErrorState under every kind's prefix) accept a
 * handle of any kind. A kind's own functions refuse a handle of another
 * kind with 32.
 *
 * Text outputs are copied with their NUL into the host's buffer, which must
 * be as large as the source field (18 bytes for addresses, 19 for a MAC, 32
 * for versions, 11 for a serial number, 10/11/17 for Kalix encoder texts).
 * Booleans are one byte. A REF_MARK_STATE output is written as 16 bits:
 * clear the variable before the call.
 *
 * Written as C99; include it alone, or after the library's C++ headers. */
#ifndef ZEL_CAPI_H
#define ZEL_CAPI_H

#include <stdbool.h>

#include "config/zel_config_tables.h"
#include "foundation/zel_response_codes.h"
#include "modules/module_id_table.h"
#include "transport/zelbus_commands.h"

#if defined(_WIN32) && !defined(_WIN64)
#define ZEL_CALL __stdcall
#else
#define ZEL_CALL
#endif

/* Windows: exported while the library is built, imported from zel.dll by
 * hosts, plain for programs linking the static library (ZEL_STATIC). */
#if defined(_WIN32)
#if defined(ZEL_BUILDING_LIBRARY)
#define ZEL_CAPI __declspec(dllexport)
#elif defined(ZEL_STATIC)
#define ZEL_CAPI
#else
#define ZEL_CAPI __declspec(dllimport)
#endif
#else
#define ZEL_CAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles --------------------------------------------------------- */
typedef struct ZelModuleObject ZelModuleObject;
typedef ZelModuleObject* ZelModuleHandle;
typedef struct ZelConfigObject ZelConfigObject;
typedef ZelConfigObject* ZelConfigHandle;

/* ---- Enumerations (fixed values; the C++ headers define the same) ------ */
#ifndef ZEL_RESULTS_H
typedef enum ZEL_RESPONSE_CODE {
#define ZEL_CAPI_CODE(name, value, text) name = value,
    ZEL_RESPONSE_CODE_TABLE(ZEL_CAPI_CODE)
#undef ZEL_CAPI_CODE
} ZEL_RESPONSE_CODE;
#endif

#ifndef ZEL_ZELBUS_FRAME_H
typedef enum UdpCmdType {
#define ZEL_CAPI_COMMAND(name, code, text) name = code,
    ZEL_UDP_COMMAND_TABLE(ZEL_CAPI_COMMAND)
#undef ZEL_CAPI_COMMAND
} UdpCmdType;
#endif

#ifndef ZEL_MODULE_IDENTITY_H
typedef enum MODULE_ID {
    MODULE_ID_NONE = 0,
#define ZEL_CAPI_ID(name, value, idText, model, kind, priority, base) name = value,
    ZEL_MODULE_ID_TABLE(ZEL_CAPI_ID)
#undef ZEL_CAPI_ID
} MODULE_ID;
#endif

#ifndef ZEL_ZEL_PROGRAMMING_H
typedef enum PROGRAMMING_STATE_ENUMS {
    PROGRAMMING_IDLE = 0,
    PROGRAMMING_PREPARING = 1,
    PROGRAMMING_SENDING = 2,
    PROGRAMMING_FINISHING = 3,
    PROGRAMMING_COMPLETE = 4,
    PROGRAMMING_FAILED = 5
} PROGRAMMING_STATE_ENUMS;
#endif

#ifndef ZEL_MODULE_TYPES_H
typedef enum COUNT_REQUEST_OPTION { COUNT_REQUEST_NORMAL = 0, COUNT_REQUEST_ALTERNATE = 1 } COUNT_REQUEST_OPTION;
typedef enum LATCH_OPTIONS { LATCH_SET = 0, LATCH_CLEAR = 1, LATCH_READ = 2 } LATCH_OPTIONS;
typedef enum LATCH_CHOICE {
    LATCH_CHOICE_0 = 0,
    LATCH_CHOICE_1 = 1,
    LATCH_CHOICE_2 = 2,
    LATCH_CHOICE_3 = 3,
    LATCH_CHOICE_4 = 4,
    LATCH_CHOICE_NONE = 5
} LATCH_CHOICE;
typedef enum DIAG_MODE_OPTIONS { DIAG_MODE_OFF = 0, DIAG_MODE_ON = 1 } DIAG_MODE_OPTIONS;
typedef enum ROTARY_FORMAT {
    ROTARY_FORMAT_0_360 = 0,
    ROTARY_FORMAT_MOD_360 = 1,
    ROTARY_FORMAT_PLUS_MINUS_180 = 2,
    ROTARY_FORMAT_CONTINUOUS = 3,
    ROTARY_FORMAT_NONE = 4
} ROTARY_FORMAT;
typedef enum ENCODER_TYPES_ENUM {
    ENCODER_TYPE_NONE = 0,
    ENCODER_TYPE_LINEAR = 1,
    ENCODER_TYPE_ROTARY = 3
} ENCODER_TYPES_ENUM;
typedef enum UOM { UOM_NONE = 0, UOM_COUNTS = 1, UOM_INCH = 2, UOM_MILLIMETRE = 3, UOM_DEGREE = 4 } UOM;
typedef enum SIGNAL_TYPE { SIGNAL_TYPE_VOLTAGE = 0, SIGNAL_TYPE_CURRENT = 1 } SIGNAL_TYPE;
typedef enum REFERENCE_MARK_ENUM {
    REFERENCE_MARK_SINGLE = 0,
    REFERENCE_MARK_DISTANCE_CODED = 1
} REFERENCE_MARK_ENUM;
typedef enum REF_MARK_STATE {
    REF_MARK_STATE_IDLE = 0,
    REF_MARK_STATE_SEARCHING = 1,
    REF_MARK_STATE_FOUND = 2
} REF_MARK_STATE;
#endif

#ifndef ZEL_ZEL_KALIX_MODULE_H
typedef enum KALIX_ERROR_RESULT {
    KALIX_ERROR_CLEAR = 0,
    KALIX_ERROR_SET = 1,
    KALIX_ERROR_UNKNOWN = 2
} KALIX_ERROR_RESULT;
#endif

#ifndef ZEL_ZEL_TTL_MODULE_H
typedef enum TTL_INTERPOLATION {
    TTL_INTERPOLATION_1 = 1,
    TTL_INTERPOLATION_2 = 2,
    TTL_INTERPOLATION_5 = 5,
    TTL_INTERPOLATION_10 = 10,
    TTL_INTERPOLATION_20 = 20,
    TTL_INTERPOLATION_25 = 25,
    TTL_INTERPOLATION_50 = 50,
    TTL_INTERPOLATION_100 = 100
} TTL_INTERPOLATION;
#endif

#ifndef ZEL_ZEL_LVDT_MODULE_H
typedef enum LVDT_UOM {
    LVDT_UOM_NONE = 0,
    LVDT_UOM_COUNTS = 1,
    LVDT_UOM_MILLIMETRE = 2,
    LVDT_UOM_INCH = 3,
    LVDT_UOM_MICROMETRE = 4
} LVDT_UOM;
typedef enum LVDT_UPDATE_CHOICES { LVDT_UPDATE_OFF = 0, LVDT_UPDATE_ON = 1 } LVDT_UPDATE_CHOICES;
typedef enum LVDT_OVERSAMPLING_CHOICES {
    LVDT_OVERSAMPLING_NONE = 0,
    LVDT_OVERSAMPLING_2 = 1,
    LVDT_OVERSAMPLING_4 = 2,
    LVDT_OVERSAMPLING_8 = 3
} LVDT_OVERSAMPLING_CHOICES;
#endif

#ifndef ZEL_ZEL_CONFIG_BASE_H
typedef enum ZEL_XML_ELEMENTS {
#define ZEL_CAPI_ELEMENT(name, value, tag) name = value,
    ZEL_XML_ELEMENT_TABLE(ZEL_CAPI_ELEMENT)
#undef ZEL_CAPI_ELEMENT
    ZEL_XML_UNKNOWN_ELEMENT = 133
} ZEL_XML_ELEMENTS;
typedef enum ZEL_XML_RETURN {
#define ZEL_CAPI_RETURN(name, value, text) name = value,
    ZEL_XML_RETURN_TABLE(ZEL_CAPI_RETURN)
#undef ZEL_CAPI_RETURN
} ZEL_XML_RETURN;
#endif

/* ---- Module family and the functions every kind shares ----------------- */
ZEL_CAPI ZelModuleHandle ZEL_CALL ZelModuleCreate(void);
ZEL_CAPI void ZEL_CALL ZelModuleDelete(ZelModuleHandle h);
ZEL_CAPI int ZEL_CALL ZelModuleInitialize(ZelModuleHandle h, const char* ip, bool connectOption);
ZEL_CAPI void ZEL_CALL ZelModuleGetLibraryVersion(char* version);
ZEL_CAPI int ZEL_CALL ZelModuleGetModuleType(ZelModuleHandle h, MODULE_ID* id);
ZEL_CAPI int ZEL_CALL ZelModuleSetIpAddress(ZelModuleHandle h, const char* ip, const char* netmask);
ZEL_CAPI int ZEL_CALL ZelModuleGetIpAddress(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetIpStaticAddress(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetNetmask(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetNetmaskStatic(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetPort(ZelModuleHandle h, unsigned short* port);
ZEL_CAPI int ZEL_CALL ZelModuleGetUsingDhcp(ZelModuleHandle h, unsigned char* flag);
ZEL_CAPI int ZEL_CALL ZelModuleGetMacAddress(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetBootloaderVersion(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetFirmwareVersion(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetSerialNumber(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleSetAsyncPort(ZelModuleHandle h, const unsigned short* port);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncPort(ZelModuleHandle h, unsigned short* port);
ZEL_CAPI int ZEL_CALL ZelModuleSetUsingDhcp(ZelModuleHandle h, char flag);
ZEL_CAPI int ZEL_CALL ZelModuleReset(ZelModuleHandle h);
ZEL_CAPI int ZEL_CALL ZelModuleShowType(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleShowId(ZelModuleHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleShowRespCode(char* text, int code);
ZEL_CAPI int ZEL_CALL ZelModuleSetBroadcastingNetmask(ZelModuleHandle h, const char* netmask);
ZEL_CAPI int ZEL_CALL ZelModuleSetUdpTimeout(ZelModuleHandle h, long ms);
ZEL_CAPI int ZEL_CALL ZelModuleGetUdpTimeout(ZelModuleHandle h, long* ms);
ZEL_CAPI int ZEL_CALL ZelModuleSetUdpNumRetries(ZelModuleHandle h, short n);
ZEL_CAPI int ZEL_CALL ZelModuleGetUdpNumRetries(ZelModuleHandle h, short* n);
ZEL_CAPI int ZEL_CALL ZelModuleSetNetworkDelay(ZelModuleHandle h, short ms);
ZEL_CAPI int ZEL_CALL ZelModuleGetNetworkDelay(ZelModuleHandle h, short* ms);
/* Discovery: the answering modules' addresses and netmasks, each list joined
 * by single spaces, and their ports. Re-initialise the handle afterwards. */
ZEL_CAPI int ZEL_CALL ZelModuleBroadcast(ZelModuleHandle h, const char* localIp, unsigned short localPort,
                                         short* count, char* ipList, char* netmaskList,
                                         unsigned short* ports);
ZEL_CAPI int ZEL_CALL ZelModuleProgram(ZelModuleHandle h, const char* file, bool isBootloader);
ZEL_CAPI int ZEL_CALL ZelModuleGetProgramState(ZelModuleHandle h, PROGRAMMING_STATE_ENUMS* state);
ZEL_CAPI int ZEL_CALL ZelModuleGetProgramPercentComplete(ZelModuleHandle h, double* percent);
/* Asynchronous messages: the bytes of a datagram the host received on its
 * asynchronous port. Another message type leaves the outputs alone. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgType(const char* msg, UdpCmdType* type);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgIpAddress(const char* msg, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgPort(const char* msg, unsigned short* port);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgDhcp(const char* msg, unsigned char* flag);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgMacAddress(const char* msg, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgNetmask(const char* msg, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgSerialNumber(const char* msg, char* text);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgChannelStatus(const char* msg, unsigned short* channel,
                                                        unsigned short* status);
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgLatch(const char* msg, unsigned char* latch);
ZEL_CAPI int ZEL_CALL ZelModuleGetModuleErrorState(ZelModuleHandle h, unsigned char* state);
ZEL_CAPI int ZEL_CALL ZelModuleGetModuleErrors(ZelModuleHandle h, unsigned long* errors, double* values,
                                               short n);
ZEL_CAPI int ZEL_CALL ZelModuleClearErrors(ZelModuleHandle h);
ZEL_CAPI int ZEL_CALL ZelModuleGetAdcValues(ZelModuleHandle h, short* values, short n);

/* The module-wide functions under each kind's prefix. */
#define ZEL_CAPI_MODULE_WIDE(Kind)                                                                     \
    ZEL_CAPI ZelModuleHandle ZEL_CALL Kind##Create(void);                                            \
    ZEL_CAPI void ZEL_CALL Kind##Delete(ZelModuleHandle h);                                          \
    ZEL_CAPI int ZEL_CALL Kind##Initialize(ZelModuleHandle h, const char* ip, bool connectOption);   \
    ZEL_CAPI int ZEL_CALL Kind##GetNumChannels(ZelModuleHandle h, unsigned short* n);                \
    ZEL_CAPI int ZEL_CALL Kind##GetAdcValues(ZelModuleHandle h, short* values, short n);             \
    ZEL_CAPI int ZEL_CALL Kind##GetModuleErrors(ZelModuleHandle h, unsigned long* errors, double* values, \
                                                short n);                                            \
    ZEL_CAPI int ZEL_CALL Kind##GetModuleErrorState(ZelModuleHandle h, unsigned char* state);        \
    ZEL_CAPI int ZEL_CALL Kind##EnableDiags(ZelModuleHandle h, DIAG_MODE_OPTIONS mode);
ZEL_CAPI_MODULE_WIDE(Zel1VppModule)
ZEL_CAPI_MODULE_WIDE(ZelKalixModule)
ZEL_CAPI_MODULE_WIDE(ZelTtlModule)
ZEL_CAPI_MODULE_WIDE(ZelLvdtModule)
ZEL_CAPI_MODULE_WIDE(ZelAnalogModule)
ZEL_CAPI_MODULE_WIDE(ZelIoModule)
ZEL_CAPI_MODULE_WIDE(ZelPneumaticModule)
#undef ZEL_CAPI_MODULE_WIDE

/* Clearing and latches of the kinds without encoder channels. */
#define ZEL_CAPI_PLAIN_LATCH(Kind)                                                 \
    ZEL_CAPI int ZEL_CALL Kind##ClearErrors(ZelModuleHandle h);                  \
    ZEL_CAPI int ZEL_CALL Kind##ClearLatch(ZelModuleHandle h);                   \
    ZEL_CAPI int ZEL_CALL Kind##GetLatch(ZelModuleHandle h, unsigned char* latched);
ZEL_CAPI_PLAIN_LATCH(ZelAnalogModule)
ZEL_CAPI_PLAIN_LATCH(ZelIoModule)
ZEL_CAPI_PLAIN_LATCH(ZelLvdtModule)
ZEL_CAPI_PLAIN_LATCH(ZelPneumaticModule)
#undef ZEL_CAPI_PLAIN_LATCH

/* ---- Encoder channels (1 Vpp, Kalix, TTL) ------------------------------- */
#define ZEL_CAPI_ENCODER(Kind)                                                                        \
    ZEL_CAPI int ZEL_CALL Kind##GetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM* type, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##GetUom(ZelModuleHandle h, UOM* uom, unsigned short ch);               \
    ZEL_CAPI int ZEL_CALL Kind##SetErrorCompensation(ZelModuleHandle h, double value, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##GetErrorCompensation(ZelModuleHandle h, double* value, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##GetResolution(ZelModuleHandle h, double* resolution, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##SetScaling(ZelModuleHandle h, double scaling, unsigned short ch);     \
    ZEL_CAPI int ZEL_CALL Kind##GetScaling(ZelModuleHandle h, double* scaling, unsigned short ch);    \
    ZEL_CAPI int ZEL_CALL Kind##GetCountingDirection(ZelModuleHandle h, bool* direction, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##EnableErrorChecking(ZelModuleHandle h, bool enable, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##ClearErrors(ZelModuleHandle h);                                       \
    ZEL_CAPI int ZEL_CALL Kind##SetLatch(ZelModuleHandle h, LATCH_OPTIONS option, LATCH_CHOICE choice); \
    ZEL_CAPI int ZEL_CALL Kind##GetLatches(ZelModuleHandle h, unsigned char* latches, unsigned short n); \
    ZEL_CAPI int ZEL_CALL Kind##SetDeviceOffset(ZelModuleHandle h, unsigned short ch, double offset); \
    ZEL_CAPI int ZEL_CALL Kind##GetDeviceOffset(ZelModuleHandle h, unsigned short ch, double* offset);
ZEL_CAPI_ENCODER(Zel1VppModule)
ZEL_CAPI_ENCODER(ZelKalixModule)
ZEL_CAPI_ENCODER(ZelTtlModule)
#undef ZEL_CAPI_ENCODER

ZEL_CAPI int ZEL_CALL Zel1VppModuleSetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM type, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM type, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetScaling(ZelModuleHandle h, double scaling, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetScaling(ZelModuleHandle h, double* scaling, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetLatchDebouncing(ZelModuleHandle h, unsigned char channel,
                                                      unsigned short debounceTime);
ZEL_CAPI int ZEL_CALL ZelKalixModuleSetLatchDebouncing(ZelModuleHandle h, unsigned char channel,
                                                       unsigned short debounceTime);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetChannelStatus(ZelModuleHandle h, unsigned char* status, unsigned char ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelStatus(ZelModuleHandle h, unsigned char* status, unsigned char ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state, unsigned char ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state, unsigned char ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetRotaryFormat(ZelModuleHandle h, unsigned short ch, ROTARY_FORMAT format);
ZEL_CAPI int ZEL_CALL ZelKalixModuleSetRotaryFormat(ZelModuleHandle h, unsigned short ch, ROTARY_FORMAT format);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetRotaryFormat(ZelModuleHandle h, unsigned short ch, ROTARY_FORMAT* format);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetRotaryFormat(ZelModuleHandle h, unsigned short ch, ROTARY_FORMAT* format);
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetRotaryFormat(ZelModuleHandle h, const unsigned short* ch,
                                                  const ROTARY_FORMAT* format);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetRotaryFormat(ZelModuleHandle h, const unsigned short* ch,
                                                  ROTARY_FORMAT* format);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetDeviceOffset(ZelModuleHandle h, unsigned short ch, double offset);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetDeviceOffset(ZelModuleHandle h, unsigned short ch, double* offset);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetDeviceOffset(ZelModuleHandle h, unsigned short ch, double offset);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetDeviceOffset(ZelModuleHandle h, unsigned short ch, double* offset);

/* ---- 1 Vpp --------------------------------------------------------------- */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetCountingDirection(ZelModuleHandle h, bool direction, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetCounts(ZelModuleHandle h, unsigned long* counts, unsigned short n,
                                             COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n,
                                                COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL Zel1VppModuleEnableAnalogDiag(ZelModuleHandle h, bool enable, unsigned char ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetAnalogDiag(ZelModuleHandle h, double* values, short n, unsigned char ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetLineCount(ZelModuleHandle h, unsigned long lines, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetLineCount(ZelModuleHandle h, unsigned long* lines, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetSignalPeriod(ZelModuleHandle h, unsigned short period, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetSignalPeriod(ZelModuleHandle h, unsigned short* period, unsigned short ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleStartReferencing(ZelModuleHandle h, unsigned char ch, REFERENCE_MARK_ENUM mark,
                                                    unsigned short value);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch, bool* complete);
ZEL_CAPI int ZEL_CALL Zel1VppModuleAcknowledgeAbsolutePosition(ZelModuleHandle h, unsigned char ch);
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetReferencingState(ZelModuleHandle h, unsigned char ch, REF_MARK_STATE* state);
ZEL_CAPI int ZEL_CALL Zel1VppGetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type);
ZEL_CAPI int ZEL_CALL Zel1VppSetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE type);
ZEL_CAPI int ZEL_CALL Zel1VppDetectSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type);

/* ---- Kalix ------------------------------------------------------------- */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelPresence(ZelModuleHandle h, unsigned char* present,
                                                       unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetDistinguishableRevolutions(ZelModuleHandle h, short* revolutions,
                                                                  unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetCounts(ZelModuleHandle h, unsigned long* counts, long* values,
                                              unsigned short n, COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetPositions(ZelModuleHandle h, double* positions, long* values,
                                                 unsigned short n, COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetKalixErrors(ZelModuleHandle h, KALIX_ERROR_RESULT* results, short n,
                                                   unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetKalixWarnings(ZelModuleHandle h, KALIX_ERROR_RESULT* results, short n,
                                                     unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state,
                                                         unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelWarningState(ZelModuleHandle h, unsigned char* state,
                                                           unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetEncoderName(ZelModuleHandle h, char* text, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetEncoderId(ZelModuleHandle h, char* text, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetEncoderSerialNumber(ZelModuleHandle h, char* text, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetDiags(ZelModuleHandle h, unsigned char* values, short n, unsigned char ch);

/* ---- TTL ----------------------------------------------------------------- */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetCountingDirection(ZelModuleHandle h, unsigned char direction,
                                                       unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetCounts(ZelModuleHandle h, unsigned long* counts, unsigned short n,
                                            COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n,
                                               COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetLineCount(ZelModuleHandle h, unsigned long lines,
                                               TTL_INTERPOLATION interpolation, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetLineCount(ZelModuleHandle h, unsigned long* lines,
                                               TTL_INTERPOLATION* interpolation, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetSignalPeriod(ZelModuleHandle h, double period,
                                                  TTL_INTERPOLATION interpolation, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetSignalPeriod(ZelModuleHandle h, double* period,
                                                  TTL_INTERPOLATION* interpolation, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleStartReferencing(ZelModuleHandle h, unsigned char ch, REFERENCE_MARK_ENUM mark,
                                                   unsigned short value);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch, bool* complete);
ZEL_CAPI int ZEL_CALL ZelTtlModuleAcknowledgeReferencing(ZelModuleHandle h, unsigned char ch);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetReferencingState(ZelModuleHandle h, unsigned char ch, REF_MARK_STATE* state);
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence,
                                                     unsigned char channel);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence, unsigned char n);
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetFpgaRevision(ZelModuleHandle h, unsigned short* revision);

/* ---- LVDT ---------------------------------------------------------------- */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetUom(ZelModuleHandle h, LVDT_UOM uom, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetUom(ZelModuleHandle h, LVDT_UOM* uom, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetResolution(ZelModuleHandle h, double resolution, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetResolution(ZelModuleHandle h, double* resolution, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n,
                                                COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetExcitationValues(ZelModuleHandle h, double* volts, double* kilohertz);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetExcitationVoltage(ZelModuleHandle h, double volts);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetExcitationFrequency(ZelModuleHandle h, double kilohertz);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetVoltage(ZelModuleHandle h, unsigned short ch, double* voltage, long* raw);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence,
                                                      unsigned char channel);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence, unsigned char n);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetDiagnosticsEnabled(ZelModuleHandle h, LVDT_UPDATE_CHOICES choice);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetSensorGain(ZelModuleHandle h, unsigned short ch, unsigned char* gain);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetSensorGain(ZelModuleHandle h, unsigned short ch, unsigned char gain);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleTeachSensorGain(ZelModuleHandle h, unsigned short ch);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetTeachSensorGainFinished(ZelModuleHandle h, unsigned short ch,
                                                              unsigned short* finished);
ZEL_CAPI int ZEL_CALL ZelLvdtGetFpgaRevision(ZelModuleHandle h, unsigned short* revision);
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetOversampling(ZelModuleHandle h, LVDT_OVERSAMPLING_CHOICES choice);

/* ---- Analog ------------------------------------------------------------ */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetVoltage(ZelModuleHandle h, double* values, unsigned short n,
                                                COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetCurrent(ZelModuleHandle h, double* values, unsigned short n,
                                                COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetValues(ZelModuleHandle h, double* values, unsigned short n,
                                               COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetScaledValues(ZelModuleHandle h, double* values, unsigned short n,
                                                     COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetScaling(ZelModuleHandle h, unsigned short ch, double scaling);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetScaling(ZelModuleHandle h, unsigned short ch, double* scaling);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetDiagVoltages(ZelModuleHandle h, double* values, unsigned short n);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetNumSamples(ZelModuleHandle h, unsigned char channel, unsigned char samples);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetResolution(ZelModuleHandle h, unsigned short ch, double value);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetOffset(ZelModuleHandle h, unsigned short ch, double value);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetResolution(ZelModuleHandle h, unsigned short ch, double* value);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetOffset(ZelModuleHandle h, unsigned short ch, double* value);
ZEL_CAPI int ZEL_CALL ZelAnalogModuleComputeResolutionAndOffset(ZelModuleHandle h, unsigned short ch,
                                                                double* resolution, double* offset,
                                                                double scaledHigh, double scaledLow,
                                                                double readingHigh, double readingLow);

/* ---- I/O and pneumatic ------------------------------------------------- */
ZEL_CAPI int ZEL_CALL ZelIoModuleSetOutputs(ZelModuleHandle h, unsigned long outputs);
ZEL_CAPI int ZEL_CALL ZelIoModuleSetOutput(ZelModuleHandle h, unsigned char output, unsigned short value);
ZEL_CAPI int ZEL_CALL ZelIoModuleGetOutputs(ZelModuleHandle h, unsigned char* outputs);
ZEL_CAPI int ZEL_CALL ZelIoModuleGetInputs(ZelModuleHandle h, unsigned char* inputs);
ZEL_CAPI int ZEL_CALL ZelIoModuleGetIO(ZelModuleHandle h, unsigned char* first, unsigned char* second,
                                       COUNT_REQUEST_OPTION option);
ZEL_CAPI int ZEL_CALL ZelPneumaticModuleSetOutput(ZelModuleHandle h, unsigned short value);
ZEL_CAPI int ZEL_CALL ZelPneumaticModuleGetOutput(ZelModuleHandle h, unsigned char* output,
                                                  COUNT_REQUEST_OPTION option);

/* ---- Configuration file (results are ZEL_XML_RETURN codes) -------------- */
ZEL_CAPI ZelConfigHandle ZEL_CALL ZelConfigFileCreate(void);
ZEL_CAPI void ZEL_CALL ZelConfigFileDelete(ZelConfigHandle h);
ZEL_CAPI int ZEL_CALL ZelConfigFileLoadXml(ZelConfigHandle h, const char* name);
ZEL_CAPI int ZEL_CALL ZelConfigFileReloadXml(ZelConfigHandle h);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetFilename(ZelConfigHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetNumModules(ZelConfigHandle h, unsigned short* count);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetNumChannels(ZelConfigHandle h, unsigned short module, unsigned short* count);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetElement(ZelConfigHandle h, char* text, ZEL_XML_ELEMENTS element);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetModuleElement(ZelConfigHandle h, char* text, unsigned short module,
                                                    ZEL_XML_ELEMENTS element);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetChannelElement(ZelConfigHandle h, char* text, unsigned short module,
                                                     unsigned short channel, ZEL_XML_ELEMENTS element);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetSpecificModule(ZelConfigHandle h, char* text, unsigned short module);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetSpecificChannel(ZelConfigHandle h, char* text, unsigned short module,
                                                      unsigned short channel);
ZEL_CAPI int ZEL_CALL ZelConfigFileGetAllElements(ZelConfigHandle h, char* text);
ZEL_CAPI int ZEL_CALL ZelConfigFileValidateElements(ZelConfigHandle h, ZEL_XML_ELEMENTS* element,
                                                    unsigned short* module, unsigned short* channel);
ZEL_CAPI int ZEL_CALL ZelConfigFileSetModuleElement(ZelConfigHandle h, const char* value, unsigned short module,
                                                    ZEL_XML_ELEMENTS element);
ZEL_CAPI int ZEL_CALL ZelConfigFileSetChannelElement(ZelConfigHandle h, const char* value, unsigned short module,
                                                     unsigned short channel, ZEL_XML_ELEMENTS element);
ZEL_CAPI int ZEL_CALL ZelConfigFileRemoveModule(ZelConfigHandle h, unsigned short module);
ZEL_CAPI int ZEL_CALL ZelConfigFileWriteFile(ZelConfigHandle h);
ZEL_CAPI int ZEL_CALL ZelConfigFileWriteNewFile(ZelConfigHandle h, const char* name);
ZEL_CAPI int ZEL_CALL ZelConfigFileDecodeErrorType(ZelConfigHandle h, char* text, ZEL_XML_RETURN code);
ZEL_CAPI int ZEL_CALL ZelConfigFileDecodeElementType(ZelConfigHandle h, char* text, ZEL_XML_ELEMENTS element);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_CAPI_H */
