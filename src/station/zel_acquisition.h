/// @file
/// ZelAcquisition: a chain sampled at a fixed rate all day, every sample
/// time-stamped, every miss said, every module that drops out healed.
///
/// One sampling thread (named "zel-acquire") takes a snapshot of every
/// measuring module on absolute deadlines start + k x period. A sample that
/// starts late is late (its lateness counted); deadlines that pass while the
/// sampling is still busy are missed: one MISSED record says which and how
/// many, and the sampling goes on at the next deadline, never taking the
/// missed ones in a burst. The records go to a bounded queue; when the
/// consumer does not keep up, what has no room is counted and said by an
/// OVERFLOW record once there is room again, and the sampling never waits
/// for the consumer.
///
/// Supervision: a module that fails a sample is FAILING; after
/// `failuresToLost` failed samples in a row it is LOST, left out of the
/// samples (so it never costs the others its time-out) and probed by a
/// second thread ("zel-supervise") with retries that back off from
/// `probeFirstMs` to at most `probeMaxMs`. When it answers again the engine
/// tells how it came back: it answers from its bootloader, or its
/// asynchronous port (which the engine set to its own receiving port at the
/// start, a setting the module keeps only while powered) is back at its
/// default, so it was restarted; or the port is still the engine's, so only
/// its link was cut. A restarted module gets its settings again (the port,
/// asynchronous mode, and through the restorer the settings of the
/// configuration file, read back), then rejoins the samples; a GAP record
/// says which samples it missed.
///
/// Every lock is held only while records or lists change hands, never across
/// an exchange with a module. The module objects belong to the engine from
/// start() to stop(): the host must not use them meanwhile.
#ifndef ZEL_STATION_ZEL_ACQUISITION_H
#define ZEL_STATION_ZEL_ACQUISITION_H

#include <cstddef>
#include <memory>

#include "foundation/zel_results.h"
#include "modules/zel_module.h"
#include "station/zel_acquisition_records.h"
#include "station/zel_station_export.h"

/// The engine's time: monotonic microseconds for every deadline and
/// interval, UTC only as a label. The default is the platform's clock;
/// tests replace it to stall the sampling or skip its waits.
class ZEL_STATION_API ZelAcquisitionClock {
  public:
    virtual ~ZelAcquisitionClock() = default;
    /// Monotonic microseconds.
    virtual long long nowUs() const;
    /// Blocks until nowUs() reaches `us`.
    virtual void sleepUntilUs(long long us) const;
    /// UTC microseconds since 1970.
    virtual long long utcUs() const;
    /// The platform's clock, shared and immutable.
    static const ZelAcquisitionClock& system();
};

/// Puts back the settings a restarted module lost. The station applies the
/// configuration file's settings of that module and reads back those the
/// module keeps; a host without a file gives its own.
class ZEL_STATION_API ZelModuleRestorer {
  public:
    virtual ~ZelModuleRestorer() = default;
    /// Applies the settings of the module at `position` (in the list the
    /// engine was given) again and reads them back; code 0 only when every
    /// one holds. Runs on the supervising thread, with the module left out
    /// of the samples.
    virtual ZelResults restore(unsigned short position, ZelModule& module) = 0;
};

/// How an acquisition runs.
struct ZelAcquisitionOptions {
    double rateHz = 100.0;             ///< samples a second, 0.01 to 100000
    std::size_t queueCapacity = 4096;  ///< records the consumer's queue holds (at least 4)
    /// Each module's answer time-out while sampled, in ms (0: one period,
    /// at least 50 ms and at most 1000 ms); no retry within a sample.
    long answerTimeoutMs = 0;
    unsigned failuresToLost = 3;  ///< failed samples in a row before a module is lost (1 or more)
    long probeTimeoutMs = 100;    ///< the answer time-out of a probe of a lost module
    long probeFirstMs = 50;       ///< the first pause between probes
    long probeMaxMs = 1000;       ///< the longest pause between probes (the back-off's bound)
    /// Switch asynchronous messages on at the start: latch and channel
    /// status messages come in the stream as ASYNC records.
    bool asyncMessages = false;
    /// Wake this many microseconds before each deadline and wait out the
    /// rest without sleeping, so that a sample starts at its deadline and not
    /// a wake-up later; costs that much processor per sample (0: sleep to
    /// the deadline; at most one period).
    long wakeEarlyUs = 0;
    /// 1 to 99: run the sampling thread under the system's real-time
    /// scheduling at this priority, so that no ordinary process delays it,
    /// where the system permits (statistics().realtime tells whether it
    /// did; otherwise the thread runs as an ordinary one). 0: never asked.
    int realtimePriority = 0;
    ZelModuleRestorer* restorer = nullptr;       ///< null: only the engine's own settings
    const ZelAcquisitionClock* clock = nullptr;  ///< null: the platform's clock
};

/// A chain's acquisition; see the file's description.
class ZEL_STATION_API ZelAcquisition {
  public:
    /// The measuring modules (Kalix, 1 Vpp, TTL, LVDT, analog) of a list the
    /// host holds, initialised; positions in the records are list indices.
    /// Other entries are left out. The modules must outlive the engine.
    ZelAcquisition(ZelModule* const* modules, unsigned short count);
    /// Stops the acquisition if it runs.
    ~ZelAcquisition();
    ZelAcquisition(const ZelAcquisition&) = delete;
    ZelAcquisition& operator=(const ZelAcquisition&) = delete;

    /// Sets each module's asynchronous port to the engine's own (and switches
    /// asynchronous mode on if asked), then starts the sampling and the
    /// supervision. Code 33 for a rate or capacity out of range or no
    /// measuring module, 23 while running, 12 when no receiving port could be
    /// bound; a module's failed setting is returned as it came, and nothing
    /// runs then.
    ZelResults start(const ZelAcquisitionOptions& options);
    /// Stops and joins both threads, gives the modules their own exchange
    /// settings back, and leaves what is queued to be read. Idempotent.
    void stop();
    /// True between a successful start() and stop().
    bool isRunning() const;

    /// Takes the oldest record into `record`, waiting up to `timeoutMs` ms
    /// (0: not at all; negative: until one comes or the acquisition stops).
    /// False when none came. Safe from one consumer thread while running.
    bool next(ZelAcqRecord& record, long timeoutMs);
    /// The counts so far; safe from any thread.
    ZelAcqStatistics statistics() const;
    /// The asynchronous port the engine receives on (0 before start()).
    unsigned short asyncPort() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

#endif  // ZEL_STATION_ZEL_ACQUISITION_H
