/** @file
 * The flat C interface of the library, for hosts that cannot use its
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

/** @addtogroup capi
 *  @{ */

#include <stdbool.h>

#include "config/zel_config_tables.h"
#include "foundation/zel_response_codes.h"
#include "modules/module_id_table.h"
#include "transport/zelbus_commands.h"

/** The calling convention of every function: __stdcall on 32-bit Windows. */
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
/** Exports a function of the C interface from the library. */
#define ZEL_CAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles --------------------------------------------------------- */
/** The opaque module object behind a handle. */
typedef struct ZelModuleObject ZelModuleObject;
/** A module object of any kind, made by a family's Create function. */
typedef ZelModuleObject* ZelModuleHandle;
/** The opaque configuration object behind a handle. */
typedef struct ZelConfigObject ZelConfigObject;
/** A configuration-file object, made by ZelConfigFileCreate. */
typedef ZelConfigObject* ZelConfigHandle;

/* ---- Enumerations (fixed values; the C++ headers define the same) ------ */
/** @cond */
#ifndef ZEL_RESULTS_H
typedef enum ZEL_RESPONSE_CODE {
#define ZEL_CAPI_CODE(name, value, text) name = value,
    ZEL_RESPONSE_CODE_TABLE(ZEL_CAPI_CODE)
#undef ZEL_CAPI_CODE
} ZEL_RESPONSE_CODE;
#endif

#ifndef ZEL_ZELBUS_FRAME_H
typedef enum UdpCmdType {
#define ZEL_CAPI_COMMAND(name, code, count, length, text) name = code,
    ZEL_UDP_COMMAND_TABLE(ZEL_CAPI_COMMAND)
#undef ZEL_CAPI_COMMAND
} UdpCmdType;
#endif

#ifndef ZEL_MODULE_IDENTITY_H
typedef enum MODULE_ID {
    MODULE_ID_NONE = 0,
#define ZEL_CAPI_ID(name, value, idText, model, kind, priority, base, channels) name = value,
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
typedef enum COUNT_REQUEST_OPTION {
    COUNT_REQUEST_NORMAL = 0,
    COUNT_REQUEST_ALTERNATE = 1
} COUNT_REQUEST_OPTION;
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
typedef enum UOM {
    UOM_NONE = 0,
    UOM_COUNTS = 1,
    UOM_INCH = 2,
    UOM_MILLIMETRE = 3,
    UOM_DEGREE = 4
} UOM;
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

/** @endcond */

/* ---- Module family and the functions every kind shares ----------------- */
/** A plain module object (for modules without a class of their own), or null when it cannot be
 *  made.
 */
ZEL_CAPI ZelModuleHandle ZEL_CALL ZelModuleCreate(void);
/** Destroys a module handle of any kind; null is ignored. */
ZEL_CAPI void ZEL_CALL ZelModuleDelete(ZelModuleHandle h);
/** The object's own initialisation, whatever prefix calls it: ZelModule::initializeModule (each
 *  kind's override). Its code; 32 for a null handle, 38 when it could not run.
 */
ZEL_CAPI int ZEL_CALL ZelModuleInitialize(ZelModuleHandle h, const char* ip, bool connectOption);
/** Copies the library version ("2.3.0", room for 32 bytes); a null pointer is ignored. */
ZEL_CAPI void ZEL_CALL ZelModuleGetLibraryVersion(char* version);
/** Reads the identity with ZelModule::getModuleType (command 10). */
ZEL_CAPI int ZEL_CALL ZelModuleGetModuleType(ZelModuleHandle h, MODULE_ID* id);
/** ZelComm::setIp: the module's new static address and netmask. */
ZEL_CAPI int ZEL_CALL ZelModuleSetIpAddress(ZelModuleHandle h, const char* ip, const char* netmask);
/** The module's address from the record read at initialisation (18 bytes). No exchange; always 0
 *  for valid pointers.
 */
ZEL_CAPI int ZEL_CALL ZelModuleGetIpAddress(ZelModuleHandle h, char* text);
/** The address the module takes without DHCP, from the initialisation's record (18 bytes). */
ZEL_CAPI int ZEL_CALL ZelModuleGetIpStaticAddress(ZelModuleHandle h, char* text);
/** The current netmask from the initialisation's record (18 bytes). */
ZEL_CAPI int ZEL_CALL ZelModuleGetNetmask(ZelModuleHandle h, char* text);
/** The netmask the module takes without DHCP, from the initialisation's record (18 bytes). */
ZEL_CAPI int ZEL_CALL ZelModuleGetNetmaskStatic(ZelModuleHandle h, char* text);
/** The port the module answered from, from the initialisation's record. */
ZEL_CAPI int ZEL_CALL ZelModuleGetPort(ZelModuleHandle h, unsigned short* port);
/** 1 when the module's address came from DHCP, else 0 (initialisation's record). */
ZEL_CAPI int ZEL_CALL ZelModuleGetUsingDhcp(ZelModuleHandle h, unsigned char* flag);
/** The MAC address text (19 bytes), from the initialisation's record. */
ZEL_CAPI int ZEL_CALL ZelModuleGetMacAddress(ZelModuleHandle h, char* text);
/** The bootloader version text (32 bytes), "0" before it was read. */
ZEL_CAPI int ZEL_CALL ZelModuleGetBootloaderVersion(ZelModuleHandle h, char* text);
/** The firmware version text (32 bytes), "0" before it was read. */
ZEL_CAPI int ZEL_CALL ZelModuleGetFirmwareVersion(ZelModuleHandle h, char* text);
/** The serial number text (11 bytes), from the initialisation's record. */
ZEL_CAPI int ZEL_CALL ZelModuleGetSerialNumber(ZelModuleHandle h, char* text);
/** ZelComm::setAsyncPort: the port the module sends its own messages to (1024 to 49151, else 33).
 */
ZEL_CAPI int ZEL_CALL ZelModuleSetAsyncPort(ZelModuleHandle h, const unsigned short* port);
/** ZelModule::getAsyncPort (0 when the module has none). */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncPort(ZelModuleHandle h, unsigned short* port);
/** ZelComm::setDhcp with 1 for any non-zero flag. */
ZEL_CAPI int ZEL_CALL ZelModuleSetUsingDhcp(ZelModuleHandle h, char flag);
/** ZelModule::resetZelbus (command 3). */
ZEL_CAPI int ZEL_CALL ZelModuleReset(ZelModuleHandle h);
/** The model name of the module's identity ("Unknown" before initialisation); room for 32 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleShowType(ZelModuleHandle h, char* text);
/** The ID string of the module's identity ("Unknown" before initialisation); room for 32 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleShowId(ZelModuleHandle h, char* text);
/** The fixed message of a response code (ZelResults::showRespCode); room for 128 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleShowRespCode(char* text, int code);
/** ZelComm::setBroadcastingNetmask. */
ZEL_CAPI int ZEL_CALL ZelModuleSetBroadcastingNetmask(ZelModuleHandle h, const char* netmask);
/** ZelComm::setUdpTimeout; values above 10000 are ignored. */
ZEL_CAPI int ZEL_CALL ZelModuleSetUdpTimeout(ZelModuleHandle h, long ms);
/** ZelComm::getUdpTimeout. */
ZEL_CAPI int ZEL_CALL ZelModuleGetUdpTimeout(ZelModuleHandle h, long* ms);
/** ZelComm::setUdpNumRetries; values above 10 are ignored. */
ZEL_CAPI int ZEL_CALL ZelModuleSetUdpNumRetries(ZelModuleHandle h, short n);
/** ZelComm::getUdpNumRetries. */
ZEL_CAPI int ZEL_CALL ZelModuleGetUdpNumRetries(ZelModuleHandle h, short* n);
/** ZelComm::setNetworkDelay; values outside 0 to 1000 are ignored. */
ZEL_CAPI int ZEL_CALL ZelModuleSetNetworkDelay(ZelModuleHandle h, short ms);
/** ZelComm::getNetworkDelay. */
ZEL_CAPI int ZEL_CALL ZelModuleGetNetworkDelay(ZelModuleHandle h, short* ms);
/** Discovery (ZelComm::broadcastOpenConnection from localIp:localPort, at
 *  least 5 s): the answering modules' addresses and netmasks, each list
 *  joined by single spaces (room for 64 x 18 bytes each), and their ports
 *  (room for 64). Re-initialise the handle afterwards. 38 when it could not
 *  run. */
ZEL_CAPI int ZEL_CALL ZelModuleBroadcast(ZelModuleHandle h, const char* localIp,
                                         unsigned short localPort, short* count, char* ipList,
                                         char* netmaskList, unsigned short* ports);
/** ZelModule::program: updates the module's bootloader or firmware from an image file. Blocks for
 *  at least 10 s; poll ZelModuleGetProgramState from another thread. 38 when it could not run.
 */
ZEL_CAPI int ZEL_CALL ZelModuleProgram(ZelModuleHandle h, const char* file, bool isBootloader);
/** The programming engine's state (PROGRAMMING_FAILED without an engine). */
ZEL_CAPI int ZEL_CALL ZelModuleGetProgramState(ZelModuleHandle h, PROGRAMMING_STATE_ENUMS* state);
/** The programming progress, 0.0 to 100.0. */
ZEL_CAPI int ZEL_CALL ZelModuleGetProgramPercentComplete(ZelModuleHandle h, double* percent);
/** ZelProgramming::checkProgramFile, to run before ZelModuleProgram: 0 when the file can be
 *  programmed as a bootloader (isBootloader true) or firmware file; 40 when it holds the other
 *  kind of image; the check's code (27, 40, 41) when it fails; 32 for a null file, or a null
 *  `why` with a `size` above 0. Each problem goes into `why` as one line ("line 12: S-record
 *  checksum is wrong"), cut to `size` bytes with its NUL. Needs no module.
 */
ZEL_CAPI int ZEL_CALL ZelModuleCheckProgramFile(const char* file, bool isBootloader, char* why,
                                                unsigned long size);
/* Asynchronous messages: the bytes of a datagram the host received on its
 * asynchronous port. Another message type leaves the outputs alone. */
/** The message type (byte 0) of a received datagram. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgType(const char* msg, UdpCmdType* type);
/** The address of a connect message (type 18); 18 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgIpAddress(const char* msg, char* text);
/** The port of a connect message (type 18). */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgPort(const char* msg, unsigned short* port);
/** The DHCP flag of a connect message (type 18), 1 or 0. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgDhcp(const char* msg, unsigned char* flag);
/** The MAC address of a connect message (type 18); 19 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgMacAddress(const char* msg, char* text);
/** The netmask of a connect message (type 18); 18 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgNetmask(const char* msg, char* text);
/** The serial number of a connect message (type 18); 11 bytes. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgSerialNumber(const char* msg, char* text);
/** Channel and status of a channel-status message (type 33), ZelComm::decodeChannelStatusMsg;
 *  0 for any message, one of another type leaving both outputs as they were.
 */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgChannelStatus(const char* msg, unsigned short* channel,
                                                        unsigned short* status);
/** The five latch bytes of a latch message (type 22), ZelComm::decodeLatchMsg; 0 for any
 *  message, one of another type leaving the bytes as they were.
 */
ZEL_CAPI int ZEL_CALL ZelModuleGetAsyncMsgLatch(const char* msg, unsigned char* latch);
/** 1 when the module's integrity error word (command 26) is not 0, else 0; set to 0 on a failure.
 */
ZEL_CAPI int ZEL_CALL ZelModuleGetModuleErrorState(ZelModuleHandle h, unsigned char* state);
/** ZelModule::getIntegrity: the error word and the 14 measured values; n below 14 gives 38 and
 *  sends nothing.
 */
ZEL_CAPI int ZEL_CALL ZelModuleGetModuleErrors(ZelModuleHandle h, unsigned long* errors,
                                               double* values, short n);
/** ZelModule::clearAllErrors (command 26 with option 2). */
ZEL_CAPI int ZEL_CALL ZelModuleClearErrors(ZelModuleHandle h);
/** ZelModule::getAdcValues: the five ADC words; n below 5 gives 38 and sends nothing. */
ZEL_CAPI int ZEL_CALL ZelModuleGetAdcValues(ZelModuleHandle h, short* values, short n);

/** The module-wide functions under each kind's prefix (Zel1VppModule,
 *  ZelKalixModule, ZelTtlModule, ZelLvdtModule, ZelAnalogModule, ZelIoModule,
 *  ZelPneumaticModule):
 *  - KindCreate: a module object of that kind, or null when it cannot be made;
 *  - KindDelete, KindInitialize, KindGetAdcValues, KindGetModuleErrors,
 *    KindGetModuleErrorState: as ZelModuleDelete, ZelModuleInitialize,
 *    ZelModuleGetAdcValues, ZelModuleGetModuleErrors and
 *    ZelModuleGetModuleErrorState, on a handle of any kind;
 *  - KindGetNumChannels: ZelModule::getNumChannels;
 *  - KindEnableDiags: ZelModule::enableDiags (command 31). */
#define ZEL_CAPI_MODULE_WIDE(Kind)                                                                 \
    ZEL_CAPI ZelModuleHandle ZEL_CALL Kind##Create(void);                                          \
    ZEL_CAPI void ZEL_CALL Kind##Delete(ZelModuleHandle h);                                        \
    ZEL_CAPI int ZEL_CALL Kind##Initialize(ZelModuleHandle h, const char* ip, bool connectOption); \
    ZEL_CAPI int ZEL_CALL Kind##GetNumChannels(ZelModuleHandle h, unsigned short* n);              \
    ZEL_CAPI int ZEL_CALL Kind##GetAdcValues(ZelModuleHandle h, short* values, short n);           \
    ZEL_CAPI int ZEL_CALL Kind##GetModuleErrors(ZelModuleHandle h, unsigned long* errors,          \
                                                double* values, short n);                          \
    ZEL_CAPI int ZEL_CALL Kind##GetModuleErrorState(ZelModuleHandle h, unsigned char* state);      \
    ZEL_CAPI int ZEL_CALL Kind##EnableDiags(ZelModuleHandle h, DIAG_MODE_OPTIONS mode);
/** @cond */
ZEL_CAPI_MODULE_WIDE(Zel1VppModule)
ZEL_CAPI_MODULE_WIDE(ZelKalixModule)
ZEL_CAPI_MODULE_WIDE(ZelTtlModule)
ZEL_CAPI_MODULE_WIDE(ZelLvdtModule)
ZEL_CAPI_MODULE_WIDE(ZelAnalogModule)
ZEL_CAPI_MODULE_WIDE(ZelIoModule)
ZEL_CAPI_MODULE_WIDE(ZelPneumaticModule)
/** @endcond */
#undef ZEL_CAPI_MODULE_WIDE

/** Clearing and latches of the kinds without encoder channels
 *  (ZelAnalogModule, ZelIoModule, ZelLvdtModule, ZelPneumaticModule):
 *  - KindClearErrors: ZelModule::clearAllErrors;
 *  - KindClearLatch: ZelModule::setLatch with LATCH_CLEAR;
 *  - KindGetLatch: 1 when the module's own latch is set, else 0
 *    (ZelModule::getLatch, entry 0; written only on success). */
#define ZEL_CAPI_PLAIN_LATCH(Kind)                              \
    ZEL_CAPI int ZEL_CALL Kind##ClearErrors(ZelModuleHandle h); \
    ZEL_CAPI int ZEL_CALL Kind##ClearLatch(ZelModuleHandle h);  \
    ZEL_CAPI int ZEL_CALL Kind##GetLatch(ZelModuleHandle h, unsigned char* latched);
/** @cond */
ZEL_CAPI_PLAIN_LATCH(ZelAnalogModule)
ZEL_CAPI_PLAIN_LATCH(ZelIoModule)
ZEL_CAPI_PLAIN_LATCH(ZelLvdtModule)
ZEL_CAPI_PLAIN_LATCH(ZelPneumaticModule)
/** @endcond */
#undef ZEL_CAPI_PLAIN_LATCH

/* ---- Encoder channels (1 Vpp, Kalix, TTL) ------------------------------- */
/** The encoder-channel functions of Zel1VppModule, ZelKalixModule and
 *  ZelTtlModule; a handle without channel settings (analog, I/O, pneumatic,
 *  a plain module) gives 32. The bool operations
 *  give 38 when they refuse (channel 8 or more, communication not
 *  initialised):
 *  - KindGetEncoderType, KindGetUom, KindGetResolution, KindGetScaling,
 *    KindSetScaling, KindGetErrorCompensation, KindSetErrorCompensation,
 *    KindGetCountingDirection: the ZelDeviceModule accessors of the same
 *    names;
 *  - KindEnableErrorChecking: ZelDeviceModule::enableErrorChecking;
 *  - KindClearErrors: ZelModule::clearAllErrors, then
 *    ZelDeviceModule::clearErrorsAndWarnings on every channel (the first
 *    failure ends it);
 *  - KindSetLatch: ZelModule::setLatch;
 *  - KindGetLatches: ZelModule::getLatch (nothing written with n below 5);
 *  - KindSetDeviceOffset, KindGetDeviceOffset: ZelModule::setDeviceOffset
 *    and ZelModule::getDeviceOffset. */
#define ZEL_CAPI_ENCODER(Kind)                                                                     \
    ZEL_CAPI int ZEL_CALL Kind##GetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM* type,        \
                                               unsigned short ch);                                 \
    ZEL_CAPI int ZEL_CALL Kind##GetUom(ZelModuleHandle h, UOM* uom, unsigned short ch);            \
    ZEL_CAPI int ZEL_CALL Kind##SetErrorCompensation(ZelModuleHandle h, double value,              \
                                                     unsigned short ch);                           \
    ZEL_CAPI int ZEL_CALL Kind##GetErrorCompensation(ZelModuleHandle h, double* value,             \
                                                     unsigned short ch);                           \
    ZEL_CAPI int ZEL_CALL Kind##GetResolution(ZelModuleHandle h, double* resolution,               \
                                              unsigned short ch);                                  \
    ZEL_CAPI int ZEL_CALL Kind##SetScaling(ZelModuleHandle h, double scaling, unsigned short ch);  \
    ZEL_CAPI int ZEL_CALL Kind##GetScaling(ZelModuleHandle h, double* scaling, unsigned short ch); \
    ZEL_CAPI int ZEL_CALL Kind##GetCountingDirection(ZelModuleHandle h, bool* direction,           \
                                                     unsigned short ch);                           \
    ZEL_CAPI int ZEL_CALL Kind##EnableErrorChecking(ZelModuleHandle h, bool enable,                \
                                                    unsigned short ch);                            \
    ZEL_CAPI int ZEL_CALL Kind##ClearErrors(ZelModuleHandle h);                                    \
    ZEL_CAPI int ZEL_CALL Kind##SetLatch(ZelModuleHandle h, LATCH_OPTIONS option,                  \
                                         LATCH_CHOICE choice);                                     \
    ZEL_CAPI int ZEL_CALL Kind##GetLatches(ZelModuleHandle h, unsigned char* latches,              \
                                           unsigned short n);                                      \
    ZEL_CAPI int ZEL_CALL Kind##SetDeviceOffset(ZelModuleHandle h, unsigned short ch,              \
                                                double offset);                                    \
    ZEL_CAPI int ZEL_CALL Kind##GetDeviceOffset(ZelModuleHandle h, unsigned short ch,              \
                                                double* offset);
/** @cond */
ZEL_CAPI_ENCODER(Zel1VppModule)
ZEL_CAPI_ENCODER(ZelKalixModule)
ZEL_CAPI_ENCODER(ZelTtlModule)
/** @endcond */
#undef ZEL_CAPI_ENCODER

/** Zel1VppModule::setEncoderType; 38 when the channel or state refuses it. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM type,
                                                  unsigned short ch);
/** ZelTtlModule::setEncoderType; 38 when the channel or state refuses it. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM type,
                                                 unsigned short ch);
/** Zel1VppModule::setUom; 38 when refused. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch);
/** ZelTtlModule::setUom; 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch);
/** ZelDeviceModule::setScaling on an LVDT channel; 38 for channel 8 or more. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetScaling(ZelModuleHandle h, double scaling, unsigned short ch);
/** ZelDeviceModule::getScaling on an LVDT channel; 38 for channel 8 or more. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetScaling(ZelModuleHandle h, double* scaling,
                                              unsigned short ch);
/** ZelDeviceModule::setLatchDebouncing (command 32). */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetLatchDebouncing(ZelModuleHandle h, unsigned char channel,
                                                      unsigned short debounceTime);
/** ZelDeviceModule::setLatchDebouncing (command 32). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleSetLatchDebouncing(ZelModuleHandle h, unsigned char channel,
                                                       unsigned short debounceTime);
/** ZelDeviceModule::getChannelStatus: the channel's status byte (command 33). */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetChannelStatus(ZelModuleHandle h, unsigned char* status,
                                                    unsigned char ch);
/** ZelDeviceModule::getChannelStatus: the channel's status byte (command 33). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelStatus(ZelModuleHandle h, unsigned char* status,
                                                     unsigned char ch);
/** 1 when the channel's status byte is not 0, else 0 (also on a failure). */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state,
                                                        unsigned char ch);
/** 1 when the channel's status byte is not 0, else 0 (also on a failure). */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state,
                                                       unsigned char ch);
/** ZelModule::setRotaryFormat; channels outside 0 to 7 are ignored. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetRotaryFormat(ZelModuleHandle h, unsigned short ch,
                                                   ROTARY_FORMAT format);
/** ZelModule::setRotaryFormat; channels outside 0 to 7 are ignored. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleSetRotaryFormat(ZelModuleHandle h, unsigned short ch,
                                                    ROTARY_FORMAT format);
/** ZelModule::getRotaryFormat (ROTARY_FORMAT_NONE outside 0 to 7). */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetRotaryFormat(ZelModuleHandle h, unsigned short ch,
                                                   ROTARY_FORMAT* format);
/** ZelModule::getRotaryFormat (ROTARY_FORMAT_NONE outside 0 to 7). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetRotaryFormat(ZelModuleHandle h, unsigned short ch,
                                                    ROTARY_FORMAT* format);
/** ZelModule::setRotaryFormat with channel and format passed by pointer. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetRotaryFormat(ZelModuleHandle h, const unsigned short* ch,
                                                  const ROTARY_FORMAT* format);
/** ZelModule::getRotaryFormat with the channel passed by pointer. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetRotaryFormat(ZelModuleHandle h, const unsigned short* ch,
                                                  ROTARY_FORMAT* format);
/** ZelModule::setDeviceOffset on an analog channel. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetDeviceOffset(ZelModuleHandle h, unsigned short ch,
                                                     double offset);
/** ZelModule::getDeviceOffset on an analog channel. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetDeviceOffset(ZelModuleHandle h, unsigned short ch,
                                                     double* offset);
/** ZelModule::setDeviceOffset on an LVDT channel. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetDeviceOffset(ZelModuleHandle h, unsigned short ch,
                                                   double offset);
/** ZelModule::getDeviceOffset on an LVDT channel. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetDeviceOffset(ZelModuleHandle h, unsigned short ch,
                                                   double* offset);

/* ---- 1 Vpp --------------------------------------------------------------- */
/** Zel1VppModule::setCountingDirection; 38 when refused. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetCountingDirection(ZelModuleHandle h, bool direction,
                                                        unsigned short ch);
/** ZelModule::getCounts (command 1): raw 32-bit counts. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetCounts(ZelModuleHandle h, unsigned long* counts,
                                             unsigned short n, COUNT_REQUEST_OPTION option);
/** Zel1VppModule::getPositions: counts converted by each channel's settings. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetPositions(ZelModuleHandle h, double* positions,
                                                unsigned short n, COUNT_REQUEST_OPTION option);
/** Zel1VppModule::enableAnalogDiag. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleEnableAnalogDiag(ZelModuleHandle h, bool enable,
                                                    unsigned char ch);
/** Zel1VppModule::getDiag: the two analog diagnostic values in volts (n >= 2). */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetAnalogDiag(ZelModuleHandle h, double* values, short n,
                                                 unsigned char ch);
/** Zel1VppModule::setLineCount; 38 when refused. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetLineCount(ZelModuleHandle h, unsigned long lines,
                                                unsigned short ch);
/** Zel1VppModule::getLineCount; 38 when refused. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetLineCount(ZelModuleHandle h, unsigned long* lines,
                                                unsigned short ch);
/** Zel1VppModule::setSignalPeriod (micrometres); 38 when refused. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleSetSignalPeriod(ZelModuleHandle h, unsigned short period,
                                                   unsigned short ch);
/** Zel1VppModule::getSignalPeriod; 38 when refused. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetSignalPeriod(ZelModuleHandle h, unsigned short* period,
                                                   unsigned short ch);
/** Zel1VppModule::initAbsolutePosition: starts the channel's referencing. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleStartReferencing(ZelModuleHandle h, unsigned char ch,
                                                    REFERENCE_MARK_ENUM mark, unsigned short value);
/** Zel1VppModule::isReferencingComplete. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch,
                                                          bool* complete);
/** Zel1VppModule::acknowledgeAbsolutePosition. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleAcknowledgeAbsolutePosition(ZelModuleHandle h, unsigned char ch);
/** Zel1VppModule::getReferencingState, written as 16 bits. */
ZEL_CAPI int ZEL_CALL Zel1VppModuleGetReferencingState(ZelModuleHandle h, unsigned char ch,
                                                       REF_MARK_STATE* state);
/** Zel1VppModule::getSignalType. */
ZEL_CAPI int ZEL_CALL Zel1VppGetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type);
/** Zel1VppModule::setSignalType. */
ZEL_CAPI int ZEL_CALL Zel1VppSetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE type);
/** Zel1VppModule::detectSignalType. */
ZEL_CAPI int ZEL_CALL Zel1VppDetectSignalType(ZelModuleHandle h, unsigned short ch,
                                              SIGNAL_TYPE* type);

/* ---- Kalix ------------------------------------------------------------- */
/** ZelKalixModule::getChannelPresence (command 16). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelPresence(ZelModuleHandle h, unsigned char* present,
                                                       unsigned short ch);
/** ZelKalixModule::setUom; 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch);
/** ZelKalixModule::getDistinguishableRevolutions; 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetDistinguishableRevolutions(ZelModuleHandle h,
                                                                  short* revolutions,
                                                                  unsigned short ch);
/** ZelKalixModule::getCounts: counts and revolution numbers. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetCounts(ZelModuleHandle h, unsigned long* counts,
                                              long* values, unsigned short n,
                                              COUNT_REQUEST_OPTION option);
/** ZelKalixModule::getPositions: positions and revolution numbers. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetPositions(ZelModuleHandle h, double* positions, long* values,
                                                 unsigned short n, COUNT_REQUEST_OPTION option);
/** ZelKalixModule::getErrors: the seven error flags (n >= 7). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetKalixErrors(ZelModuleHandle h, KALIX_ERROR_RESULT* results,
                                                   short n, unsigned short ch);
/** ZelKalixModule::getWarnings: the five warning flags (n >= 5). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetKalixWarnings(ZelModuleHandle h, KALIX_ERROR_RESULT* results,
                                                     short n, unsigned short ch);
/** 1 when any of the channel's error flags is set, else 0. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state,
                                                         unsigned short ch);
/** 1 when any of the channel's warning flags is set, else 0. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetChannelWarningState(ZelModuleHandle h, unsigned char* state,
                                                           unsigned short ch);
/** ZelKalixModule::getEncoderName (10 bytes); 38 outside channels 0 to 7. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetEncoderName(ZelModuleHandle h, char* text,
                                                   unsigned short ch);
/** ZelKalixModule::getEncoderId (11 bytes); 38 outside channels 0 to 7. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetEncoderId(ZelModuleHandle h, char* text, unsigned short ch);
/** ZelKalixModule::getSerialNumber (17 bytes); 38 outside channels 0 to 7. */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetEncoderSerialNumber(ZelModuleHandle h, char* text,
                                                           unsigned short ch);
/** ZelKalixModule::getDiag: the nine diagnostic bytes (n >= 9). */
ZEL_CAPI int ZEL_CALL ZelKalixModuleGetDiags(ZelModuleHandle h, unsigned char* values, short n,
                                             unsigned char ch);

/* ---- TTL ----------------------------------------------------------------- */
/** ZelTtlModule::setCountingDirection (kept in the module). */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetCountingDirection(ZelModuleHandle h, unsigned char direction,
                                                       unsigned short ch);
/** ZelTtlModule::getCounts: raw 32-bit counts. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetCounts(ZelModuleHandle h, unsigned long* counts,
                                            unsigned short n, COUNT_REQUEST_OPTION option);
/** ZelTtlModule::getPositions. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetPositions(ZelModuleHandle h, double* positions,
                                               unsigned short n, COUNT_REQUEST_OPTION option);
/** ZelTtlModule::setLineCount (sends the factor); 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetLineCount(ZelModuleHandle h, unsigned long lines,
                                               TTL_INTERPOLATION interpolation, unsigned short ch);
/** ZelTtlModule::getLineCount; 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetLineCount(ZelModuleHandle h, unsigned long* lines,
                                               TTL_INTERPOLATION* interpolation, unsigned short ch);
/** ZelTtlModule::setSignalPeriod (sends the factor); 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetSignalPeriod(ZelModuleHandle h, double period,
                                                  TTL_INTERPOLATION interpolation,
                                                  unsigned short ch);
/** ZelTtlModule::getSignalPeriod; 38 when refused. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetSignalPeriod(ZelModuleHandle h, double* period,
                                                  TTL_INTERPOLATION* interpolation,
                                                  unsigned short ch);
/** ZelTtlModule::initReferencing: starts the channel's referencing. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleStartReferencing(ZelModuleHandle h, unsigned char ch,
                                                   REFERENCE_MARK_ENUM mark, unsigned short value);
/** ZelTtlModule::isReferencingComplete. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch,
                                                         bool* complete);
/** ZelTtlModule::acknowledgeReferencing. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleAcknowledgeReferencing(ZelModuleHandle h, unsigned char ch);
/** ZelTtlModule::getReferencingState, written as 16 bits. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetReferencingState(ZelModuleHandle h, unsigned char ch,
                                                      REF_MARK_STATE* state);
/** ZelTtlModule::setChannelPresence. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence,
                                                     unsigned char channel);
/** ZelTtlModule::getChannelPresence. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence,
                                                     unsigned char n);
/** ZelTtlModule::getFpgaRevision. */
ZEL_CAPI int ZEL_CALL ZelTtlModuleGetFpgaRevision(ZelModuleHandle h, unsigned short* revision);

/* ---- LVDT ---------------------------------------------------------------- */
/** ZelLvdtModule::setUom; 38 for channel 8 or more. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetUom(ZelModuleHandle h, LVDT_UOM uom, unsigned short ch);
/** ZelLvdtModule::getUom; 38 for channel 8 or more. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetUom(ZelModuleHandle h, LVDT_UOM* uom, unsigned short ch);
/** ZelLvdtModule::setResolution. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetResolution(ZelModuleHandle h, double resolution,
                                                 unsigned short ch);
/** ZelLvdtModule::getResolution. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetResolution(ZelModuleHandle h, double* resolution,
                                                 unsigned short ch);
/** ZelLvdtModule::getPositions. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetPositions(ZelModuleHandle h, double* positions,
                                                unsigned short n, COUNT_REQUEST_OPTION option);
/** ZelLvdtModule::getExcitationValues: volts and kilohertz. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetExcitationValues(ZelModuleHandle h, double* volts,
                                                       double* kilohertz);
/** ZelLvdtModule::setExcitationVoltage (1.5 to 5.5 V). */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetExcitationVoltage(ZelModuleHandle h, double volts);
/** ZelLvdtModule::setExcitationFrequency (3 to 50 kHz). */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetExcitationFrequency(ZelModuleHandle h, double kilohertz);
/** ZelLvdtModule::getVoltage: demodulated voltage and signed reading. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetVoltage(ZelModuleHandle h, unsigned short ch, double* voltage,
                                              long* raw);
/** ZelLvdtModule::setChannelPresence. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence,
                                                      unsigned char channel);
/** ZelLvdtModule::getChannelPresence. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence,
                                                      unsigned char n);
/** ZelLvdtModule::setDiagnosticsEnabled. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetDiagnosticsEnabled(ZelModuleHandle h,
                                                         LVDT_UPDATE_CHOICES choice);
/** ZelLvdtModule::getSensorGain. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetSensorGain(ZelModuleHandle h, unsigned short ch,
                                                 unsigned char* gain);
/** ZelLvdtModule::setSensorGain. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetSensorGain(ZelModuleHandle h, unsigned short ch,
                                                 unsigned char gain);
/** ZelLvdtModule::teachSensorGain. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleTeachSensorGain(ZelModuleHandle h, unsigned short ch);
/** ZelLvdtModule::getTeachSensorGainFinished. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleGetTeachSensorGainFinished(ZelModuleHandle h, unsigned short ch,
                                                              unsigned short* finished);
/** ZelLvdtModule::getFpgaRevision. */
ZEL_CAPI int ZEL_CALL ZelLvdtGetFpgaRevision(ZelModuleHandle h, unsigned short* revision);
/** ZelLvdtModule::setOversampling. */
ZEL_CAPI int ZEL_CALL ZelLvdtModuleSetOversampling(ZelModuleHandle h,
                                                   LVDT_OVERSAMPLING_CHOICES choice);

/* ---- Analog ------------------------------------------------------------ */
/** ZelAnalogModule::getVoltage: the two voltages (n >= 2). */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetVoltage(ZelModuleHandle h, double* values, unsigned short n,
                                                COUNT_REQUEST_OPTION option);
/** ZelAnalogModule::getCurrent: the two currents (n >= 2). */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetCurrent(ZelModuleHandle h, double* values, unsigned short n,
                                                COUNT_REQUEST_OPTION option);
/** ZelAnalogModule::getValues: voltage and current of both channels (n >= 4). */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetValues(ZelModuleHandle h, double* values, unsigned short n,
                                               COUNT_REQUEST_OPTION option);
/** ZelAnalogModule::getScaledValues (n >= 4). */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetScaledValues(ZelModuleHandle h, double* values,
                                                     unsigned short n, COUNT_REQUEST_OPTION option);
/** ZelAnalogModule::setScaling; 38 for channel 2 or more. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetScaling(ZelModuleHandle h, unsigned short ch,
                                                double scaling);
/** ZelAnalogModule::getScaling; 38 for channel 2 or more. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetScaling(ZelModuleHandle h, unsigned short ch,
                                                double* scaling);
/** ZelAnalogModule::getDiagVoltages: twelve values (n >= 12). */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetDiagVoltages(ZelModuleHandle h, double* values,
                                                     unsigned short n);
/** ZelAnalogModule::setNumSamples (0 to 100). */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetNumSamples(ZelModuleHandle h, unsigned char channel,
                                                   unsigned char samples);
/** ZelAnalogModule::setResolution. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetResolution(ZelModuleHandle h, unsigned short ch,
                                                   double value);
/** ZelAnalogModule::setOffset. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleSetOffset(ZelModuleHandle h, unsigned short ch, double value);
/** ZelAnalogModule::getResolution. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetResolution(ZelModuleHandle h, unsigned short ch,
                                                   double* value);
/** ZelAnalogModule::getOffset. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleGetOffset(ZelModuleHandle h, unsigned short ch, double* value);
/** ZelAnalogModule::computeResolutionAndOffset: the calibration through two points. */
ZEL_CAPI int ZEL_CALL ZelAnalogModuleComputeResolutionAndOffset(
    ZelModuleHandle h, unsigned short ch, double* resolution, double* offset, double scaledHigh,
    double scaledLow, double readingHigh, double readingLow);

/* ---- I/O and pneumatic ------------------------------------------------- */
/** ZelIoModule::setOutputs with bits 0 to 3 of `outputs`. */
ZEL_CAPI int ZEL_CALL ZelIoModuleSetOutputs(ZelModuleHandle h, unsigned long outputs);
/** ZelIoModule::setOutput: output 1 to 4 on for any non-zero value. */
ZEL_CAPI int ZEL_CALL ZelIoModuleSetOutput(ZelModuleHandle h, unsigned char output,
                                           unsigned short value);
/** ZelIoModule::getOutputs: the output mask. */
ZEL_CAPI int ZEL_CALL ZelIoModuleGetOutputs(ZelModuleHandle h, unsigned char* outputs);
/** ZelIoModule::getInputs: the input mask. */
ZEL_CAPI int ZEL_CALL ZelIoModuleGetInputs(ZelModuleHandle h, unsigned char* inputs);
/** ZelIoModule::getIO: input mask into `first`, output mask into `second`. */
ZEL_CAPI int ZEL_CALL ZelIoModuleGetIO(ZelModuleHandle h, unsigned char* first,
                                       unsigned char* second, COUNT_REQUEST_OPTION option);
/** ZelPneumaticModule::setOutput: the valve open for any non-zero value. */
ZEL_CAPI int ZEL_CALL ZelPneumaticModuleSetOutput(ZelModuleHandle h, unsigned short value);
/** ZelPneumaticModule::getOutput: 1 open, 0 closed. */
ZEL_CAPI int ZEL_CALL ZelPneumaticModuleGetOutput(ZelModuleHandle h, unsigned char* output,
                                                  COUNT_REQUEST_OPTION option);

/* ---- Configuration file (results are ZEL_XML_RETURN codes) -------------- */
/** A configuration object (ZelConfigWriter), or null when it cannot be made. */
ZEL_CAPI ZelConfigHandle ZEL_CALL ZelConfigFileCreate(void);
/** Destroys a configuration handle; null is ignored. */
ZEL_CAPI void ZEL_CALL ZelConfigFileDelete(ZelConfigHandle h);
/** ZelConfigBase::loadXml. */
ZEL_CAPI int ZEL_CALL ZelConfigFileLoadXml(ZelConfigHandle h, const char* name);
/** ZelConfigBase::reloadXml. */
ZEL_CAPI int ZEL_CALL ZelConfigFileReloadXml(ZelConfigHandle h);
/** The stored file name, copied whole with its NUL: the buffer must hold it. */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetFilename(ZelConfigHandle h, char* text);
/** ZelConfigReader::getNumModules; the count is written only on code 0. */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetNumModules(ZelConfigHandle h, unsigned short* count);
/** ZelConfigReader::getNumChannels; the count is written only on code 0. */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetNumChannels(ZelConfigHandle h, unsigned short module,
                                                  unsigned short* count);
/** ZelConfigReader::getElement at document level; the text (one line per element) is copied whole
 *  only on code 0.
 */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetElement(ZelConfigHandle h, char* text,
                                              ZEL_XML_ELEMENTS element);
/** ZelConfigReader::getElement at module level; the text is copied whole only on code 0. */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetModuleElement(ZelConfigHandle h, char* text,
                                                    unsigned short module,
                                                    ZEL_XML_ELEMENTS element);
/** ZelConfigReader::getElement at channel level; the text is copied whole only on code 0. */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetChannelElement(ZelConfigHandle h, char* text,
                                                     unsigned short module, unsigned short channel,
                                                     ZEL_XML_ELEMENTS element);
/** ZelConfigReader::getSpecificModule: "Tag, text" lines, "" when there are none; always 0 for
 *  valid pointers. Copied whole: the buffer must hold it.
 */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetSpecificModule(ZelConfigHandle h, char* text,
                                                     unsigned short module);
/** ZelConfigReader::getSpecificChannel: "Tag, text" lines, "" when there are none; always 0 for
 *  valid pointers. Copied whole: the buffer must hold it.
 */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetSpecificChannel(ZelConfigHandle h, char* text,
                                                      unsigned short module,
                                                      unsigned short channel);
/** ZelConfigReader::getAllElements; copied whole only on code 0. */
ZEL_CAPI int ZEL_CALL ZelConfigFileGetAllElements(ZelConfigHandle h, char* text);
/** ZelConfigReader::validateElements; element, module and channel always say where it stopped. */
ZEL_CAPI int ZEL_CALL ZelConfigFileValidateElements(ZelConfigHandle h, ZEL_XML_ELEMENTS* element,
                                                    unsigned short* module,
                                                    unsigned short* channel);
/** ZelConfigWriter::setElement at module level. */
ZEL_CAPI int ZEL_CALL ZelConfigFileSetModuleElement(ZelConfigHandle h, const char* value,
                                                    unsigned short module,
                                                    ZEL_XML_ELEMENTS element);
/** ZelConfigWriter::setElement at channel level. */
ZEL_CAPI int ZEL_CALL ZelConfigFileSetChannelElement(ZelConfigHandle h, const char* value,
                                                     unsigned short module, unsigned short channel,
                                                     ZEL_XML_ELEMENTS element);
/** ZelConfigBase::removeSpecificModuleNode. */
ZEL_CAPI int ZEL_CALL ZelConfigFileRemoveModule(ZelConfigHandle h, unsigned short module);
/** ZelConfigWriter::writeFile to the loaded file's name. */
ZEL_CAPI int ZEL_CALL ZelConfigFileWriteFile(ZelConfigHandle h);
/** ZelConfigWriter::writeFile to another name. */
ZEL_CAPI int ZEL_CALL ZelConfigFileWriteNewFile(ZelConfigHandle h, const char* name);
/** ZelConfigWriter::writeFileChecked to the loaded file's name: 0 only when the file holds the
 *  whole document, 2 when nothing (or not all) was written, 4 when nothing is loaded. The reason
 *  (and which file holds the previous version) goes into `why`, cut to `size` bytes with its NUL;
 *  `why` may be null when `size` is 0.
 */
ZEL_CAPI int ZEL_CALL ZelConfigFileWriteFileChecked(ZelConfigHandle h, char* why,
                                                    unsigned long size);
/** ZelConfigWriter::writeFileChecked to another name; results as ZelConfigFileWriteFileChecked. */
ZEL_CAPI int ZEL_CALL ZelConfigFileWriteNewFileChecked(ZelConfigHandle h, const char* name,
                                                       char* why, unsigned long size);
/** The text of a configuration result (ZelConfigBase::decodeErrorType). */
ZEL_CAPI int ZEL_CALL ZelConfigFileDecodeErrorType(ZelConfigHandle h, char* text,
                                                   ZEL_XML_RETURN code);
/** The tag of an element (ZelConfigBase::decodeElementType). */
ZEL_CAPI int ZEL_CALL ZelConfigFileDecodeElementType(ZelConfigHandle h, char* text,
                                                     ZEL_XML_ELEMENTS element);

#ifdef __cplusplus
}
#endif

/** @} */

#endif /* ZEL_CAPI_H */
