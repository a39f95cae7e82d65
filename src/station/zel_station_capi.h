/** @file
 * The station's flat C interface, exported by the station library beside
 * the library's own C functions (which it leaves as they are): a chain
 * discovered and ordered with its positions, a snapshot sampler over it,
 * and a station opened from its configuration file with its verification
 * report and its readings by label.
 *
 * The chain and sampler functions return the library's ZEL_RESPONSE_CODE
 * (0 success, 32 a null handle or pointer, 33 a position or index out of
 * range). The station functions return a ZEL_STATION_CODE: 0, a library
 * code 1 to 43 handed up from a module operation, or the station's own
 * codes from 100; ZelStationGetMessage tells what the last one was about.
 *
 * Module handles (ZelStationModuleHandle, the same objects as a
 * ZelModuleHandle) a chain or a station gives belong to it (never pass them
 * to a Delete function); they work with every module function of
 * <zel/zel_capi.h> until the chain or station is deleted or replaced.
 * Text outputs are copied with their NUL: 18 bytes for addresses, 64 for
 * labels and the texts of a difference, 8 for units. Written as C99. */
#ifndef ZEL_STATION_CAPI_H
#define ZEL_STATION_CAPI_H

#include <stdbool.h>

/* The calling convention of <zel/zel_capi.h>: __stdcall on 32-bit Windows. */
#ifndef ZEL_CALL
#if defined(_WIN32) && !defined(_WIN64)
#define ZEL_CALL __stdcall
#else
#define ZEL_CALL
#endif
#endif

#if defined(_WIN32)
#if defined(ZEL_BUILDING_STATION)
#define ZEL_STATION_CAPI __declspec(dllexport)
#elif defined(ZEL_STATION_STATIC)
#define ZEL_STATION_CAPI
#else
#define ZEL_STATION_CAPI __declspec(dllimport)
#endif
#else
/** Exports a function of the station's C interface. */
#define ZEL_STATION_CAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** A module object a chain or a station holds: the same object as a
 * ZelModuleHandle of <zel/zel_capi.h>, for its module functions. */
typedef struct ZelModuleObject* ZelStationModuleHandle;
typedef struct ZelChainObject ZelChainObject;
/** A chain, made by ZelChainCreate. */
typedef ZelChainObject* ZelChainHandle;
typedef struct ZelSamplerObject ZelSamplerObject;
/** A snapshot sampler, made by ZelSamplerCreate or lent by ZelStationGetSampler. */
typedef ZelSamplerObject* ZelSamplerHandle;
typedef struct ZelStationObject ZelStationObject;
/** A station, made by ZelStationCreate. */
typedef ZelStationObject* ZelStationHandle;

/* The enumerations of <zel/station/zel_station.h>, for C hosts. */
#ifndef ZEL_ZEL_STATION_H
typedef enum ZEL_STATION_CODE {
    ZEL_STATION_OK = 0,
    ZEL_STATION_FILE_INVALID = 100,
    ZEL_STATION_VALUE_REFUSED = 101,
    ZEL_STATION_CHAIN_DIFFERS = 102,
    ZEL_STATION_NOT_OPEN = 103,
    ZEL_STATION_NO_SUCH_CHANNEL = 104,
    ZEL_STATION_BAD_ARGUMENT = 105,
    ZEL_STATION_WRITE_FAILED = 106
} ZEL_STATION_CODE;
typedef enum ZEL_STATION_OPEN_MODE {
    ZEL_STATION_OPEN_DIRECT = 0,
    ZEL_STATION_OPEN_DISCOVER = 1
} ZEL_STATION_OPEN_MODE;
typedef enum ZEL_STATION_DIFFERENCE {
    ZEL_STATION_MISSING = 1,
    ZEL_STATION_EXTRA = 2,
    ZEL_STATION_SWAPPED = 3,
    ZEL_STATION_OTHER_MODEL = 4,
    ZEL_STATION_OTHER_SERIAL = 5,
    ZEL_STATION_OTHER_FIRMWARE = 6,
    ZEL_STATION_POSITION_DIFFERS = 7
} ZEL_STATION_DIFFERENCE;
#endif

/* ---- The chain: discovery, ordering, positions ---- */

/** An empty chain; null when memory is short. */
ZEL_STATION_CAPI ZelChainHandle ZEL_CALL ZelChainCreate(void);
/** Deletes the chain and its module objects; a null handle is ignored. */
ZEL_STATION_CAPI void ZEL_CALL ZelChainDelete(ZelChainHandle chain);
/** Discovers the modules of the segment and orders them as they sit in the
 * chain (at least 5 s, plus 500 ms per module); the code of createChain. */
ZEL_STATION_CAPI int ZEL_CALL ZelChainCreateChain(ZelChainHandle chain, const char* localIp,
                                                  unsigned short localPort, bool connectOption,
                                                  const char* broadcastNetmask);
/** Modules of the chain. */
ZEL_STATION_CAPI int ZEL_CALL ZelChainGetNumModules(ZelChainHandle chain, unsigned short* count);
/** The module at a chain position (0: the module the host is plugged into). */
ZEL_STATION_CAPI int ZEL_CALL ZelChainGetModule(ZelChainHandle chain, unsigned short position,
                                                ZelStationModuleHandle* module);
/** The address and identity of the module at a chain position. */
ZEL_STATION_CAPI int ZEL_CALL ZelChainGetModuleAddress(ZelChainHandle chain,
                                                       unsigned short position, char* address);
/** The identity is a MODULE_ID value. */
ZEL_STATION_CAPI int ZEL_CALL ZelChainGetModuleId(ZelChainHandle chain, unsigned short position,
                                                  unsigned long* id);

/* ---- The snapshot sampler ---- */

/** A sampler over every measuring module of the chain (positions are chain
 * positions); null for a null chain. The chain must outlive it. */
ZEL_STATION_CAPI ZelSamplerHandle ZEL_CALL ZelSamplerCreate(ZelChainHandle chain);
/** Deletes a sampler made by ZelSamplerCreate; a null handle, or one a
 * station lent, is ignored. */
ZEL_STATION_CAPI void ZEL_CALL ZelSamplerDelete(ZelSamplerHandle sampler);
/** One snapshot: 0 when every module answered, else the first failure. */
ZEL_STATION_CAPI int ZEL_CALL ZelSamplerSample(ZelSamplerHandle sampler);
/** Records of a snapshot (one per selected module). */
ZEL_STATION_CAPI int ZEL_CALL ZelSamplerGetSize(ZelSamplerHandle sampler, unsigned short* count);
/** Record `index` of the last snapshot: the module's position, its own
 * code, and up to `capacity` values (positions in each channel's unit; an
 * analog module's voltage and current of each channel). */
ZEL_STATION_CAPI int ZEL_CALL ZelSamplerGetRecord(ZelSamplerHandle sampler, unsigned short index,
                                                  unsigned short* position, int* code,
                                                  double* values, unsigned short capacity,
                                                  unsigned short* numValues);

/* ---- The station ---- */

/** An empty station; null when memory is short. */
ZEL_STATION_CAPI ZelStationHandle ZEL_CALL ZelStationCreate(void);
/** Deletes the station, its module objects and its sampler. */
ZEL_STATION_CAPI void ZEL_CALL ZelStationDelete(ZelStationHandle station);
/** Reads and checks the configuration file; no network. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationLoad(ZelStationHandle station, const char* path);
/** Reaches a module at another address than the file's (before opening). */
ZEL_STATION_CAPI int ZEL_CALL ZelStationSetModuleAddress(ZelStationHandle station,
                                                         unsigned short position,
                                                         const char* address);
/** Opens the loaded chain: at the file's addresses (ZEL_STATION_OPEN_DIRECT;
 * the other arguments may be null), or discovered from localIp and ordered
 * first; verifies it and applies the file's settings. 0 when the chain
 * agrees with the file, 102 when it was opened but differs. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationOpen(ZelStationHandle station, ZEL_STATION_OPEN_MODE mode,
                                             const char* localIp, unsigned short localPort,
                                             const char* broadcastNetmask);
/** The sentence of the last station call's outcome (room for 256 bytes). */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetMessage(ZelStationHandle station, char* message);
/** Where a refused or invalid value stood: its element (a ZEL_XML_ELEMENTS
 * value), module position and channel, each -1 where none applies. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetRefusedSite(ZelStationHandle station, int* element,
                                                       int* position, int* channel);
/** Modules of the loaded file. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetNumModules(ZelStationHandle station,
                                                      unsigned short* count);
/** The module object at a file position (33 when missing or not open). */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetModule(ZelStationHandle station, unsigned short position,
                                                  ZelStationModuleHandle* module);
/** Differences of the last open. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetNumDifferences(ZelStationHandle station,
                                                          unsigned short* count);
/** Difference `index`: its kind, the file and chain positions (-1 where
 * none), what the file says and what the module says. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetDifference(ZelStationHandle station,
                                                      unsigned short index,
                                                      ZEL_STATION_DIFFERENCE* kind,
                                                      short* filePosition, short* chainPosition,
                                                      char* expected, char* found);
/** One snapshot of every populated channel; the readings stay for the
 * getters below until the next read. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationRead(ZelStationHandle station);
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetNumReadings(ZelStationHandle station,
                                                       unsigned short* count);
/** Reading `index` of the last read: the channel's label, unit, value,
 * module position and channel. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetReading(ZelStationHandle station, unsigned short index,
                                                   char* label, char* unit, double* value,
                                                   unsigned short* position,
                                                   unsigned short* channel);
/** One channel by its label: its value and unit (an analog channel: its voltage). */
ZEL_STATION_CAPI int ZEL_CALL ZelStationReadLabel(ZelStationHandle station, const char* label,
                                                  double* value, char* unit);
/** The station's sampler (positions are file positions), lent until the
 * station is closed or deleted. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationGetSampler(ZelStationHandle station,
                                                   ZelSamplerHandle* sampler);
/** Writes a configuration file describing an ordered chain; the old file
 * stays as it was on failure. A ZEL_STATION_CODE. */
ZEL_STATION_CAPI int ZEL_CALL ZelStationCapture(ZelChainHandle chain, const char* path,
                                                const char* baseLabel);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_STATION_CAPI_H */
