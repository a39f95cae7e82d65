/// @file
/// The records of an acquisition stream: plain values a host can copy and
/// queue. One stream carries, in the order they happened, the samples, the
/// deadlines the sampling missed, the records a slow consumer lost, the
/// health changes of each module, the gaps a lost module left, and the
/// messages modules sent on their own.
#ifndef ZEL_STATION_ZEL_ACQUISITION_RECORDS_H
#define ZEL_STATION_ZEL_ACQUISITION_RECORDS_H

#include <cstddef>
#include <vector>

/// What a record is.
enum ZEL_ACQ_RECORD_KIND : int {
    ZEL_ACQ_SAMPLE = 0,    ///< one snapshot: every module's values or its code
    ZEL_ACQ_MISSED = 1,    ///< deadlines that passed while the sampling was late; no sample
    ZEL_ACQ_OVERFLOW = 2,  ///< records the consumer's queue had no room for
    ZEL_ACQ_HEALTH = 3,    ///< a module's health changed
    ZEL_ACQ_GAP = 4,       ///< a module that was lost answers again; what it missed
    ZEL_ACQ_ASYNC = 5,     ///< a latch or channel-status message a module sent on its own
    ZEL_ACQ_RESTORED = 6,  ///< a rebooted module's settings applied again and read back
};

/// A module's health as the supervision sees it.
enum ZEL_ACQ_HEALTH : int {
    ZEL_ACQ_HEALTH_OK = 0,       ///< answers every sample
    ZEL_ACQ_HEALTH_FAILING = 1,  ///< failed its last samples; still asked each sample
    ZEL_ACQ_HEALTH_LOST = 2,     ///< left out of the samples; probed with backing-off retries
    ZEL_ACQ_HEALTH_BACK = 3,     ///< answers again; rejoins the samples once its settings hold
};

/// Why a lost module is back, as told apart by what it answers.
enum ZEL_ACQ_RETURN : int {
    ZEL_ACQ_RETURN_NONE = 0,      ///< not a return
    ZEL_ACQ_RETURN_INTACT = 1,    ///< its settings held: a link that was cut (a pulled cable)
    ZEL_ACQ_RETURN_REBOOTED = 2,  ///< its settings are at their defaults: it was restarted
    /// It answered from its bootloader: the engine started its firmware
    /// (then it is treated as rebooted); in a HEALTH record from lost to
    /// lost, its firmware would not start (the code says why: 42, or the
    /// reset's own failure).
    ZEL_ACQ_RETURN_BOOTLOADER = 3,
};

/// One module's part of a sample.
struct ZelAcqModuleValues {
    unsigned short position = 0;  ///< in the list the engine was given
    int code = 0;                 ///< 0, or why there are no values
    int health = ZEL_ACQ_HEALTH_OK;
    unsigned short numValues = 0;  ///< valid entries of values
    double values[8] = {};         ///< in each channel's unit, as the module object converts
    long long sentUs = 0;          ///< monotonic: the request that got the answer went out
    long long receivedUs = 0;      ///< monotonic: the answer came (0: none)
};

/// One record of the stream; which fields hold depends on kind.
struct ZelAcqRecord {
    int kind = ZEL_ACQ_SAMPLE;
    /// SAMPLE: the index of its deadline since the start (0, 1, 2, ...);
    /// MISSED: the first deadline missed; OVERFLOW: the sequence of the
    /// first record lost;
    /// others: the deadline index of the sample they follow.
    unsigned long long sequence = 0;
    /// MISSED: deadlines missed; OVERFLOW: records lost; GAP: samples the
    /// module was left out of.
    unsigned long long count = 0;
    long long deadlineUs = 0;  ///< monotonic: SAMPLE and MISSED, the (first) deadline
    /// Monotonic: SAMPLE, the first request out; others, when it happened.
    long long requestUs = 0;
    long long answerUs = 0;  ///< monotonic: SAMPLE, the last answer in (or the give-up)
    /// UTC microseconds since 1970 at requestUs (a label; every interval
    /// is measured on the monotonic clock).
    long long utcUs = 0;
    /// HEALTH, GAP, ASYNC, RESTORED: the module's position.
    unsigned short position = 0;
    int health = ZEL_ACQ_HEALTH_OK;      ///< HEALTH: the new state
    int previous = ZEL_ACQ_HEALTH_OK;    ///< HEALTH: the state before
    int returned = ZEL_ACQ_RETURN_NONE;  ///< HEALTH to BACK, GAP: how it came back
    int code = 0;  ///< HEALTH: the last failure's code; RESTORED: 0 or why it failed
    /// ASYNC: the message type (22 latch, 33 channel status), and its
    /// decoded content: the five latch bytes, or channel and status.
    int messageType = 0;
    unsigned char latch[5] = {};
    unsigned short channel = 0;
    unsigned short status = 0;
    std::vector<ZelAcqModuleValues> modules;  ///< SAMPLE: one entry per module, in list order
};

/// What the engine counted since its start.
struct ZelAcqStatistics {
    unsigned long long samples = 0;          ///< samples taken
    unsigned long long missedDeadlines = 0;  ///< deadlines that got no sample
    unsigned long long overflows = 0;        ///< records the queue had no room for
    unsigned long long moduleFailures = 0;   ///< module entries with a code other than 0
    unsigned long long asyncMessages = 0;    ///< messages received on the engine's port
    unsigned long long losses = 0;           ///< modules declared lost
    unsigned long long returns = 0;          ///< lost modules that rejoined the samples
    unsigned long long restores = 0;         ///< settings applied again after a reboot
    /// Resets sent to start the firmware of a module found in its bootloader.
    unsigned long long firmwareStarts = 0;
    long long maxLatenessUs = 0;  ///< largest request time after its deadline
    /// The sampling thread runs under real-time scheduling: asked for by
    /// the options and granted by the system.
    bool realtime = false;
    std::size_t queued = 0;  ///< records waiting for the consumer now
    std::size_t queueCapacity = 0;
    std::size_t queueHighWater = 0;  ///< most records ever waiting at once
    /// The host's wall clock: kept in step by a time service, and the
    /// system's estimate of its largest error (-1: none given).
    bool wallClockSynchronised = false;
    long long wallClockMaxErrorUs = -1;
};

#endif  // ZEL_STATION_ZEL_ACQUISITION_RECORDS_H
