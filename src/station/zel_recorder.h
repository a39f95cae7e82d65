/// @file
/// ZelRecorder: an acquisition's stream written to one SQLite file that
/// survives a crash of the recording process.
///
/// The host hands each record it takes from the engine to push(), which
/// only queues it (bounded, never waiting); one writing thread (named
/// "zel-record") stores the queued records in transactions committed at
/// least every `commitIntervalMs`. The file is in write-ahead-log mode, so
/// after the process is killed it opens with every record committed, at most
/// the last interval missing. Records the queue has no room for are counted
/// and stored as one OVERFLOW record once there is room again. A write that
/// fails (a full disk) stops the recording with the reason in error(); what
/// was committed before stays readable. docs/recording.md describes the file.
#ifndef ZEL_STATION_ZEL_RECORDER_H
#define ZEL_STATION_ZEL_RECORDER_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "station/zel_acquisition_records.h"
#include "station/zel_station_export.h"

/// What a reader needs to understand the records without the station.
struct ZelRecordingContext {
    struct Module {
        unsigned short position = 0;  ///< in the list the engine was given
        std::string kind;             ///< "Kalix", "1 Vpp", ...
        std::string address;
        std::string label;  ///< from the configuration file (may be empty)
        std::string serialNumber;
        std::string firmwareVersion;
        unsigned short channels = 0;  ///< the module's channel count
    };
    struct Channel {
        unsigned short position = 0;
        unsigned short channel = 0;  ///< index into a sample's values
        std::string label;           ///< from the configuration file (may be empty)
        std::string unit;            ///< "mm", "deg", "V", ...
    };
    std::vector<Module> modules;
    std::vector<Channel> channels;
    std::string configurationFile;     ///< its path (empty: none)
    std::string configurationContent;  ///< the file's text
    std::string libraryVersion;
    std::string toolName;  ///< what recorded, with its version
    double rateHz = 0.0;
    bool wallClockSynchronised = false;
    long long wallClockMaxErrorUs = -1;  ///< -1: not known
};

/// How a recorder writes.
struct ZelRecorderOptions {
    std::size_t queueCapacity = 65536;  ///< records waiting for the writer (at least 4)
    long commitIntervalMs = 500;        ///< the longest time between commits (1 to 1000)
    /// Rotation: a part that holds this many bytes (0: no limit) or was
    /// started this many seconds ago (0: no limit) is ended after a commit
    /// and the next part started, between two records: each record is in
    /// exactly one part, each part is a whole recording with the context.
    /// Parts are named by partPath().
    unsigned long long rotateBytes = 0;
    long long rotateSeconds = 0;
};

/// What a recorder counted.
struct ZelRecorderStatistics {
    unsigned long long samples = 0;  ///< sample records committed
    unsigned long long events = 0;   ///< other records committed
    unsigned long long dropped = 0;  ///< records the queue had no room for
    unsigned long long commits = 0;  ///< transactions committed
    std::size_t queueHighWater = 0;  ///< most records waiting at once
    std::size_t queueCapacity = 0;
    unsigned parts = 0;   ///< files written (with rotation more than one)
    bool failed = false;  ///< a write failed; the recording stopped
};

/// A recording in progress; see the file's description.
class ZEL_STATION_API ZelRecorder {
  public:
    ZelRecorder();
    /// Closes the recording if it is open.
    ~ZelRecorder();
    ZelRecorder(const ZelRecorder&) = delete;
    ZelRecorder& operator=(const ZelRecorder&) = delete;

    /// Creates `path` (which must not exist), stores the context and the
    /// start, and starts the writing thread. False with error() telling why.
    bool open(const std::string& path, const ZelRecordingContext& context,
              const ZelRecorderOptions& options = ZelRecorderOptions());
    /// Queues one record; never waits. False when it was not queued (no
    /// room: counted; or the recording is not open or failed).
    bool push(const ZelAcqRecord& record);
    /// Stores what is queued, the end, and the engine's final counts (null:
    /// none), then joins the thread. True when every write succeeded.
    /// Idempotent.
    bool close(const ZelAcqStatistics* final = nullptr);
    /// The name of part `part` of a recording: the path itself for part 0,
    /// then "run-0001.zelrec", "run-0002.zelrec", ... for "run.zelrec".
    static std::string partPath(const std::string& path, unsigned part);
    /// Why the recording failed or could not start (empty: it did not).
    std::string error() const;
    ZelRecorderStatistics statistics() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

/// One recording read back, in the order the records were taken.
class ZEL_STATION_API ZelRecording {
  public:
    ZelRecording();
    ~ZelRecording();
    ZelRecording(const ZelRecording&) = delete;
    ZelRecording& operator=(const ZelRecording&) = delete;

    /// Opens a recording read-only. False with error() when the file is
    /// missing or no recording.
    bool open(const std::string& path);
    std::string error() const;
    /// The context as stored (channels, modules and versions).
    const ZelRecordingContext& context() const;
    /// UTC microseconds of the start and the end (end 0: the recording did
    /// not close, as after a crash).
    long long startUtcUs() const;
    long long endUtcUs() const;
    /// Which part of a rotated recording this file is (0: the first).
    unsigned part() const;
    /// The engine's final counts, when the recording closed with them.
    bool finalStatistics(ZelAcqStatistics& statistics) const;
    /// The counts of what the file holds: samples, gaps, other events, and
    /// the first and last sample's UTC time (0 without samples).
    struct Summary {
        unsigned long long samples = 0;
        unsigned long long gaps = 0;
        unsigned long long events = 0;
        unsigned long long firstSequence = 0;
        unsigned long long lastSequence = 0;
        long long firstUtcUs = 0;
        long long lastUtcUs = 0;
    };
    bool summary(Summary& out);
    /// Calls `take` for every record with fromUtcUs <= utc < toUtcUs, in
    /// the order they were taken; stops when it returns false. False with
    /// error() when the file cannot be read.
    template <class F>
    bool forEach(long long fromUtcUs, long long toUtcUs, F take) {
        return each(fromUtcUs, toUtcUs, &take,
                    [](void* f, const ZelAcqRecord& r) { return (*static_cast<F*>(f))(r); });
    }

  private:
    bool each(long long fromUtcUs, long long toUtcUs, void* user,
              bool (*take)(void*, const ZelAcqRecord&));
    struct Impl;
    std::unique_ptr<Impl> impl;
};

#endif  // ZEL_STATION_ZEL_RECORDER_H
