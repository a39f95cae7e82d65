/// @file
/// ZelMqttPublisher: an acquisition's stream published to an MQTT broker,
/// with store and forward.
///
/// The host hands each record it takes from the engine to push(), which
/// only queues it (bounded, never waiting). One thread, named "zel-mqtt",
/// owned and joined by the publisher, gathers the samples and events into
/// batches (JSON, with the units of every value), appends each batch to the
/// backlog (an SQLite file of its own), and publishes the backlog's batches
/// in order; a batch leaves the backlog only when the broker acknowledged
/// it. While the broker cannot be reached the batches stay in the backlog,
/// bounded by `backlogSamples` (the oldest dropped and counted when a new
/// batch finds it full), and go out in order once it is back: a broker
/// restart loses no sample. Each connection is a new session of a new
/// client, so a batch the broker did not acknowledge is sent once more by
/// the publisher, never twice by the client library as well.
///
/// Topics (prefix "zel", station "cell3"):
///  - zel/cell3/samples: the batches (QoS of the options), each with the
///    first and last sample sequence it holds;
///  - zel/cell3/state: the station's state, retained; the last will sets it
///    to "offline" when the connection dies without a goodbye;
///  - zel/cell3/module/P/state: module P's kind, label and health, retained.
/// docs/station-service.md describes the payloads.
#ifndef ZEL_STATION_ZEL_MQTT_PUBLISHER_H
#define ZEL_STATION_ZEL_MQTT_PUBLISHER_H

#include <memory>
#include <string>

#include "station/zel_acquisition_records.h"
#include "station/zel_mqtt_options.h"
#include "station/zel_recorder.h"
#include "station/zel_station_export.h"

/// What a publisher counted; safe to read from any thread.
struct ZelMqttCounters {
    bool connected = false;                    ///< a session with the broker is open
    unsigned long long connections = 0;        ///< sessions opened since the start
    unsigned long long failedConnections = 0;  ///< attempts that did not open a session
    unsigned long long publishedSamples = 0;   ///< samples the broker acknowledged
    unsigned long long publishedBatches = 0;   ///< batches the broker acknowledged
    unsigned long long backlogSamples = 0;  ///< samples waiting in the backlog (in flight included)
    unsigned long long backlogBatches = 0;  ///< batches waiting in the backlog
    unsigned long long backlogHighWater = 0;  ///< most samples the backlog ever held
    unsigned long long droppedSamples = 0;    ///< samples dropped from a full backlog
    unsigned long long refusedRecords = 0;    ///< records push() had no room for
    unsigned long long lastSequence = 0;      ///< the last sample the broker acknowledged
    std::size_t queued = 0;                   ///< records waiting for the publishing thread
};

/// A stream published to a broker; see the file's description.
class ZEL_STATION_API ZelMqttPublisher {
  public:
    ZelMqttPublisher();
    /// Stops the publisher if it runs (no drain).
    ~ZelMqttPublisher();
    ZelMqttPublisher(const ZelMqttPublisher&) = delete;
    ZelMqttPublisher& operator=(const ZelMqttPublisher&) = delete;

    /// Opens the backlog (what an earlier run left in it goes first), checks
    /// the client's options (TLS files, user), and starts the publishing
    /// thread, which connects and reconnects on its own. A broker that
    /// cannot be reached is no failure: the samples wait in the backlog.
    /// False with error() when the options or the backlog are wrong.
    /// `description` names the modules, channels and units of the payloads.
    bool start(const ZelMqttOptions& options, const ZelRecordingContext& description);
    /// Queues one record; never waits. False when it was not queued (no
    /// room, counted in refusedRecords; or the publisher is not running).
    bool push(const ZelAcqRecord& record);
    /// Puts what is queued into the backlog, waits up to `drainMs` for the
    /// broker to acknowledge the backlog, sets the station's state to
    /// "offline" (retained), disconnects and joins the thread. What the
    /// broker did not acknowledge stays in the backlog file for the next
    /// start. True when the backlog was emptied. Idempotent.
    bool stop(long drainMs);
    /// True between a successful start() and stop().
    bool isRunning() const;
    ZelMqttCounters counters() const;
    /// Why the publisher could not start, or the last connection failure
    /// (empty: none).
    std::string error() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

#endif  // ZEL_STATION_ZEL_MQTT_PUBLISHER_H
