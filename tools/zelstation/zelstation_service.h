// zelstation's service: one chain run from its configuration file (or a
// simulated one), sampled by the acquisition engine, every record handed on
// to the consumers the settings ask for, and a stop that loses nothing.
#ifndef ZEL_TOOLS_ZELSTATION_SERVICE_H
#define ZEL_TOOLS_ZELSTATION_SERVICE_H

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "sim_control.h"
#include "sim_segment.h"
#include "station/zel_acquisition.h"
#include "station/zel_acquisition_station.h"
#include "station/zel_recorder.h"
#include "station/zel_station.h"
#include "zelstation_settings.h"
#ifdef ZEL_STATION_HAS_WEB
#include "station/zel_web.h"
#endif
#ifdef ZEL_STATION_HAS_MQTT
#include "station/zel_mqtt_publisher.h"
#endif

namespace zelstation {

// Exit statuses, as docs/station-service.md lists them.
enum Status : int { kOk = 0, kFailed = 1, kUsage = 2, kSettingsInvalid = 3 };

// What the command line adds to the settings.
struct RunOptions {
    int simControl = -1;  // the simulated chain's control port (-1: none, 0: any)
    long drainMs = 5000;  // how long a stop waits for the broker to take the backlog
};

class Service {
  public:
    Service(const Settings& settings, const RunOptions& run);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Opens the chain and starts the acquisition and every consumer; a
    // status other than kOk with the reason told on stderr.
    int start();
    // Hands records on until `stopRequests` is not 0, then stops: the
    // acquisition first, then what it had taken goes to every consumer,
    // which then store or send it. The exit status.
    int run(const std::atomic<int>& stopRequests);

    // The chain as the payloads and the recording describe it.
    const ZelRecordingContext& description() const { return description_; }
    ZelAcqStatistics statistics() const {
        return engine_ ? engine_->statistics() : ZelAcqStatistics{};
    }
#ifdef ZEL_STATION_HAS_MQTT
    const ZelMqttPublisher* publisher() const { return mqtt_ ? mqtt_.get() : nullptr; }
#endif

  private:
    int openChain();
    // The one place each record of the engine is handed on.
    void deliver(const ZelAcqRecord& record);
    // Tells on stderr when the broker connection comes or goes, and the
    // live page the engine's and the broker's counts.
    void reportConnection();
    // Starts the live page and its API when the settings ask for it; a page
    // that cannot listen is told, and the station runs without it.
    void startWeb();
    int stop();

    Settings settings_;
    RunOptions runOptions_;
    std::string chainText_;  // the configuration file's text, for the recording
    std::optional<zelsim::Segment> segment_;
    std::optional<zelsim::ControlPort> control_;
    ZelStation station_;
    std::unique_ptr<ZelStationRestorer> restorer_;
    std::unique_ptr<ZelAcquisition> engine_;
    ZelRecordingContext description_;
    std::unique_ptr<ZelRecorder> recorder_;
#ifdef ZEL_STATION_HAS_MQTT
    std::unique_ptr<ZelMqttPublisher> mqtt_;
#endif
#ifdef ZEL_STATION_HAS_WEB
    std::unique_ptr<ZelStationView> view_;
    std::unique_ptr<ZelWebServer> web_;
#endif
    bool recordingFailed_ = false;
    int reportedState_ = -1;  // the broker connection last told: -1 none, 0 down, 1 up
    unsigned long long delivered_ = 0;
};

// The sample chain zelstation simulates when no configuration file is given
// (the project's examples/config/chain.xml, built in).
extern const char* const kSampleChain;

}  // namespace zelstation

#endif  // ZEL_TOOLS_ZELSTATION_SERVICE_H
