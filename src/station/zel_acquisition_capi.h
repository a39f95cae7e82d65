/* The acquisition engine for C hosts and other languages: functions beside
 * the library's own, in the station library (libzel_station). A host names
 * the modules by address; the engine reaches each one, makes the object of
 * the kind it reports, and samples every measuring module among them (see
 * station/zel_acquisition.h for the stream and its records).
 *
 * Every function returns a response code (0 success) unless said otherwise;
 * a null handle or pointer gives 32. One thread at a time calls a handle's
 * functions, except ZelAcquisitionGetStatistics, which any thread may call. */
#ifndef ZEL_STATION_ZEL_ACQUISITION_CAPI_H
#define ZEL_STATION_ZEL_ACQUISITION_CAPI_H

#include <stddef.h>

#include "station/zel_station_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Modules of a record, at most. */
#define ZEL_ACQ_MAX_MODULES 64

/** One module's part of a sample. */
typedef struct ZelAcqModuleC {
    unsigned short position; /**< its index in the address list */
    int code;                /**< 0, or why there are no values */
    int health;              /**< 0 ok, 1 failing, 2 lost, 3 back */
    unsigned short numValues;
    double values[8];
    long long sentUs;     /**< monotonic: its request that got the answer went out */
    long long receivedUs; /**< monotonic: its answer came (0: none) */
} ZelAcqModuleC;

/** One record of the stream: kind 0 sample, 1 missed deadlines, 2 overflow,
 * 3 health, 4 gap, 5 asynchronous message, 6 settings restored. */
typedef struct ZelAcqRecordC {
    int kind;
    unsigned long long sequence;
    unsigned long long count;
    long long deadlineUs;
    long long requestUs;
    long long answerUs;
    long long utcUs; /**< UTC microseconds since 1970 */
    unsigned short position;
    int health;
    int previous;
    int returned; /**< 1 settings intact, 2 rebooted, 3 from its bootloader (see the records) */
    int code;
    int messageType;
    unsigned char latch[5];
    unsigned short channel;
    unsigned short status;
    unsigned short numModules;
    ZelAcqModuleC modules[ZEL_ACQ_MAX_MODULES];
} ZelAcqRecordC;

/** What the engine counted since its start. */
typedef struct ZelAcqStatisticsC {
    unsigned long long samples;
    unsigned long long missedDeadlines;
    unsigned long long overflows;
    unsigned long long moduleFailures;
    unsigned long long asyncMessages;
    unsigned long long losses;
    unsigned long long returns;
    unsigned long long restores;
    long long maxLatenessUs;
    unsigned long queued;
    unsigned long queueCapacity;
    int wallClockSynchronised;
    long long wallClockMaxErrorUs;
    int realtime; /**< 1: the sampling thread runs under real-time scheduling */
    unsigned long long
        firmwareStarts; /**< resets that started a module's firmware from its bootloader */
} ZelAcqStatisticsC;

/** The opaque engine behind a handle. */
typedef struct ZelAcquisitionObject ZelAcquisitionObject;
typedef ZelAcquisitionObject* ZelAcquisitionHandle;

/** Reaches the modules at `addresses` (1 to 64 of them) and makes an engine
 * over them; *out gets the handle, or stays untouched on failure. Code 33 for
 * a count out of range, the first module's failure as it came (naming no
 * other), 0. */
ZEL_STATION_API int ZelAcquisitionCreate(const char* const* addresses, unsigned short count,
                                         ZelAcquisitionHandle* out);
struct ZelStationObject; /* a ZelStationHandle of station/zel_station_capi.h */

/** An engine over the modules of an open station (positions are the file's
 * positions; modules the file lists but the chain lacks are left out), whose
 * modules get the file's settings again, read back, when they come back from
 * a restart. The station lends its module objects: leave the station alone
 * while the engine runs, and delete the engine before the station. *out gets
 * the handle, or stays untouched on failure. Code 32 for a null pointer, 103
 * (the station's own code) when the station is not open, 33 when it has no
 * module to sample or more than 64, 0. */
ZEL_STATION_API int ZelAcquisitionCreateForStation(struct ZelStationObject* station,
                                                   ZelAcquisitionHandle* out);
/** Stops the engine if it runs and frees it with its module objects. */
ZEL_STATION_API void ZelAcquisitionDelete(ZelAcquisitionHandle h);
/** Starts sampling at `rateHz` with a queue of `queueCapacity` records (0:
 * 4096), asynchronous messages on when `asyncMessages` is not 0. Codes as
 * ZelAcquisition::start. */
ZEL_STATION_API int ZelAcquisitionStart(ZelAcquisitionHandle h, double rateHz,
                                        unsigned long queueCapacity, int asyncMessages);
/** Stops and joins the engine's threads; what was queued stays to be read. */
ZEL_STATION_API int ZelAcquisitionStop(ZelAcquisitionHandle h);
/** The next record, waiting up to `timeoutMs` (negative: until one comes or
 * the engine stops). Code 1 when none came. */
ZEL_STATION_API int ZelAcquisitionNext(ZelAcquisitionHandle h, ZelAcqRecordC* record,
                                       long timeoutMs);
/** The counts so far. */
ZEL_STATION_API int ZelAcquisitionGetStatistics(ZelAcquisitionHandle h, ZelAcqStatisticsC* out);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_STATION_ZEL_ACQUISITION_CAPI_H */
