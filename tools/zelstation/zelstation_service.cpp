// zelstation's service; see zelstation_service.h.
#include "zelstation_service.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "modules/module_kinds.h"
#include "platform/clock.h"
#include "sim_chain_file.h"
#include "zel_simulated_station.h"
#include "zel_value_units.h"
#include "zel_version.h"

namespace zelstation {

namespace {

int say(int status, const std::string& text) {
    std::fprintf(stderr, "zelstation: %s\n", text.c_str());
    return status;
}

// The file's text; the built-in sample chain goes through a file of its own
// (the station and the simulator read files), removed once both have.
class ChainFile {
  public:
    explicit ChainFile(const std::string& given) {
        if (!given.empty()) {
            path_ = given;
            std::ifstream in(given, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            text_ = text.str();
            return;
        }
        text_ = kSampleChain;
        path_ = (std::filesystem::temp_directory_path() /
                 ("zelstation-" + std::to_string(::getpid()) + "-sample-chain.xml"))
                    .string();
        std::ofstream(path_, std::ios::binary) << text_;
        temporary_ = true;
    }
    ~ChainFile() {
        if (temporary_) std::remove(path_.c_str());
    }
    const std::string& path() const { return path_; }
    const std::string& text() const { return text_; }
    bool temporary() const { return temporary_; }

  private:
    std::string path_, text_;
    bool temporary_ = false;
};

}  // namespace

Service::Service(const Settings& settings, const RunOptions& run)
    : settings_(settings), runOptions_(run) {}

Service::~Service() {
    if (engine_) engine_->stop();
}

int Service::openChain() {
    const StationSettings& s = settings_.station;
    ChainFile file(s.chain);
    chainText_ = file.text();
    const std::string shown = file.temporary() ? "the built-in sample chain" : file.path();
    if (s.simulate) {
        std::vector<zelsim::PlannedModule> plan;
        std::string error;
        if (!zelsim::chainFromFile(file.path(), plan, error)) {
            return say(kSettingsInvalid, shown + ": cannot be simulated: " + error);
        }
        segment_.emplace();
        zelsim::addChain(*segment_, plan);
        if (!segment_->start()) return say(kFailed, "cannot bind the simulated chain's sockets");
        std::fprintf(stderr, "zelstation: simulating %s: %zu modules on 127.%d.0.0/16\n",
                     shown.c_str(), plan.size(), segment_->subnet());
        if (runOptions_.simControl >= 0) {
            control_.emplace(*segment_);
            if (!control_->open(runOptions_.simControl)) {
                return say(kFailed, "cannot bind the simulator's control port 127.0.0.1:" +
                                        std::to_string(runOptions_.simControl));
            }
            std::fprintf(stderr, "zelstation: simulator control port 127.0.0.1:%d\n",
                         control_->port());
        }
    }
    ZelStationStatus st = station_.load(file.path().c_str());
    if (!st.ok()) return say(kSettingsInvalid, shown + ": " + st.message);
    if (segment_) zelMoveOntoSimulation(station_, segment_->subnet());
    st = station_.open(ZelStationOptions{});
    if (st.code == ZEL_STATION_CHAIN_DIFFERS) {
        // The modules found run; what differs is said.
        for (const ZelStationDifference& d : station_.differences()) {
            std::fprintf(stderr, "zelstation: %s: module %d differs: expected %s, found %s\n",
                         shown.c_str(), d.filePosition, d.expected, d.found);
        }
    } else if (!st.ok()) {
        return say(kFailed, shown + ": " + st.message);
    }
    if (!file.temporary()) description_.configurationFile = file.path();
    return kOk;
}

int Service::start() {
    if (int s = openChain()) return s;
    std::vector<ZelModule*> list = stationModules(station_);
    description_.configurationContent = chainText_;
    description_.libraryVersion = ZelModule::getLibraryVersion();
    description_.toolName = std::string("zelstation ") + ZEL_VERSION_TEXT;
    description_.rateHz = settings_.station.rateHz;
    for (unsigned short p = 0; p < list.size(); ++p) {
        if (list[p] == nullptr) continue;
        const ModuleData data = list[p]->getModuleData();
        const zel::identity::KindInfo* kind = zel::identity::kindOf(data.moduleId);
        if (kind == nullptr || !kind->measuring) continue;
        ZelStationModule info;
        station_.getModuleInfo(p, &info);
        description_.modules.push_back({p, kind->name, data.ipAddress, info.label,
                                        data.serialNumber, data.firmwareVersion,
                                        list[p]->getNumChannels()});
        const std::vector<std::string> units = zelValueUnits(*list[p]);
        for (unsigned short ch = 0; ch < units.size(); ++ch) {
            description_.channels.push_back({p, ch, station_.getChannelLabel(p, ch), units[ch]});
        }
    }
    engine_ =
        std::make_unique<ZelAcquisition>(list.data(), static_cast<unsigned short>(list.size()));
    const ZelAcqStatistics clock = engine_->statistics();
    description_.wallClockSynchronised = clock.wallClockSynchronised;
    description_.wallClockMaxErrorUs = clock.wallClockMaxErrorUs;

    // The consumers start before the engine: nothing it takes is missed.
    const RecordSettings& rec = settings_.record;
    if (!rec.file.empty()) {
        recorder_ = std::make_unique<ZelRecorder>();
        ZelRecorderOptions storing;
        storing.rotateBytes = rec.rotateBytes;
        storing.rotateSeconds = rec.rotateSeconds;
        if (!recorder_->open(rec.file, description_, storing)) {
            return say(kFailed, recorder_->error());
        }
    }
#ifdef ZEL_STATION_HAS_MQTT
    if (settings_.mqttEnabled) {
        mqtt_ = std::make_unique<ZelMqttPublisher>();
        if (!mqtt_->start(settings_.mqtt, description_)) {
            if (recorder_ && recorder_->close()) std::remove(rec.file.c_str());
            return say(kSettingsInvalid, "MQTT: " + mqtt_->error());
        }
    }
#else
    if (settings_.mqttEnabled) return say(kSettingsInvalid, "this build has no MQTT client");
#endif

    startWeb();
    restorer_ = std::make_unique<ZelStationRestorer>(station_);
    ZelAcquisitionOptions options;
    options.rateHz = settings_.station.rateHz;
    options.restorer = restorer_.get();
    options.asyncMessages = true;
    options.queueCapacity = 65536;
    if (settings_.station.answerTimeoutMs > 0)
        options.answerTimeoutMs = settings_.station.answerTimeoutMs;
    ZelResults r = engine_->start(options);
    if (!r.ok()) {
        if (recorder_ && recorder_->close()) std::remove(rec.file.c_str());
#ifdef ZEL_STATION_HAS_MQTT
        if (mqtt_) mqtt_->stop(0);
#endif
        if (r.getCode() == ZEL_OUT_OF_RANGE)
            return say(kFailed, "the chain holds no measuring module");
        return say(kFailed, std::string("the acquisition cannot start: ") +
                                ZelResults::showRespCode(r.getCode()));
    }
    std::fprintf(stderr, "zelstation: station '%s': %zu measuring modules at %g Hz%s%s\n",
                 settings_.station.name.c_str(), description_.modules.size(),
                 settings_.station.rateHz, recorder_ ? ", recording to " : "",
                 recorder_ ? rec.file.c_str() : "");
#ifdef ZEL_STATION_HAS_MQTT
    if (mqtt_) {
        std::fprintf(stderr, "zelstation: publishing to %s:%u under %s/%s/\n",
                     settings_.mqtt.host.c_str(), settings_.mqtt.port,
                     settings_.mqtt.topicPrefix.c_str(), settings_.mqtt.station.c_str());
    }
#endif
    return kOk;
}

void Service::startWeb() {
    if (!settings_.http.enabled) return;
#ifdef ZEL_STATION_HAS_WEB
    // The chain as the page shows it, read before the engine owns the modules.
    view_ = std::make_unique<ZelStationView>(settings_.station.rateHz);
    view_->setChain(ZelStationView::describe(station_));
    web_ = std::make_unique<ZelWebServer>(*view_);
    ZelWebOptions web;
    web.address = settings_.http.address;
    web.port = settings_.http.port;
    std::string error;
    if (!web_->start(web, &error)) {
        // The samples matter more than the page: the station runs on.
        web_.reset();
        view_.reset();
        say(kOk, "live page: " + error + "; the station runs without it");
        return;
    }
    std::fprintf(stderr, "zelstation: live page at http://%s:%d/ (read-only)\n",
                 web.address.find(':') != std::string::npos ? ("[" + web.address + "]").c_str()
                                                            : web.address.c_str(),
                 web_->port());
    if (!settings_.http.token.empty())
        say(kOk, "live page: no endpoint changes a module, so the token is not used");
#else
    say(kOk,
        "this build has no live page (cpp-httplib was not found); the station runs without it");
#endif
}

void Service::deliver(const ZelAcqRecord& record) {
    ++delivered_;
    if (recorder_ && !recorder_->push(record) && recorder_->statistics().failed)
        recordingFailed_ = true;
#ifdef ZEL_STATION_HAS_MQTT
    if (mqtt_) mqtt_->push(record);
#endif
#ifdef ZEL_STATION_HAS_WEB
    if (view_) view_->onRecord(record);
#endif
}

int Service::run(const std::atomic<int>& stopRequests) {
    ZelAcqRecord record;
    long long nextReportUs = 0;
    while (stopRequests.load() == 0 && !recordingFailed_) {
        if (engine_->next(record, 100)) deliver(record);
        const long long now = zel::platform::monotonicMicroseconds();
        if (now >= nextReportUs) {
            reportConnection();
            nextReportUs = now + 1000000;
        }
    }
    return stop();
}

void Service::reportConnection() {
#ifdef ZEL_STATION_HAS_WEB
    if (view_) view_->onStatistics(engine_->statistics());
#endif
#ifdef ZEL_STATION_HAS_MQTT
    if (!mqtt_) return;
    const ZelMqttCounters c = mqtt_->counters();
#ifdef ZEL_STATION_HAS_WEB
    if (view_) {
        ZelBrokerState b;
        b.configured = true;
        b.connected = c.connected;
        b.backlog = c.backlogSamples;
        b.delivered = c.publishedSamples;
        b.dropped = c.droppedSamples;
        b.connects = c.connections;
        view_->setBroker(b);
    }
#endif
    const int state = c.connected ? 1 : c.failedConnections > 0 || c.connections > 0 ? 0 : -1;
    if (state == reportedState_ || state < 0) return;
    reportedState_ = state;
    if (c.connected) {
        std::fprintf(stderr, "zelstation: MQTT: connected to %s:%u (%llu samples waiting)\n",
                     settings_.mqtt.host.c_str(), settings_.mqtt.port, c.backlogSamples);
    } else {
        std::fprintf(stderr,
                     "zelstation: MQTT: not connected (%s); the samples wait in the backlog\n",
                     mqtt_->error().c_str());
    }
#endif
}

int Service::stop() {
    engine_->stop();
    // What was sampled before the stop goes on too.
    ZelAcqRecord record;
    while (engine_->next(record, 0)) deliver(record);
#ifdef ZEL_STATION_HAS_WEB
    if (web_) web_->stop();
#endif
    const ZelAcqStatistics final = engine_->statistics();
    int status = kOk;
    if (recorder_) {
        if (!recorder_->close(&final)) status = say(kFailed, recorder_->error());
        const ZelRecorderStatistics rs = recorder_->statistics();
        if (rs.dropped > 0)
            say(kOk, "the recorder fell behind: " + std::to_string(rs.dropped) +
                         " records not recorded");
    }
    std::fprintf(stderr,
                 "zelstation: stopped: %llu samples, %llu missed deadlines, %llu records lost to a "
                 "full queue\n",
                 final.samples, final.missedDeadlines, final.overflows);
#ifdef ZEL_STATION_HAS_MQTT
    if (mqtt_) {
        const bool emptied = mqtt_->stop(runOptions_.drainMs);
        const ZelMqttCounters c = mqtt_->counters();
        std::fprintf(stderr,
                     "zelstation: MQTT: %llu samples acknowledged, %llu left in the backlog%s, "
                     "%llu dropped from a full backlog\n",
                     c.publishedSamples, c.backlogSamples,
                     emptied ? "" : " (sent at the next start)", c.droppedSamples);
        if (c.refusedRecords > 0) {
            status = say(kFailed, "the publisher fell behind: " + std::to_string(c.refusedRecords) +
                                      " records not published");
        }
    }
#endif
    return status;
}

}  // namespace zelstation
