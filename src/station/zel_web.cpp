// The station's web server over the HTTP server library: routes, JSON and
// the metrics text.
#include "station/zel_web.h"

#include <httplib.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "station/zel_acquisition_text.h"
#include "station/zel_web_page.h"  // kZelWebPage, generated from zel_web_page.html

namespace {

std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::string healthArray(const std::vector<int>& health) {
    std::string j = "[";
    for (std::size_t i = 0; i < health.size(); ++i)
        j += std::string(i ? "," : "") + "\"" + zelAcqHealthName(health[i]) + "\"";
    return j + "]";
}

std::string sampleJson(const ZelViewRecord& v) {
    const ZelAcqRecord& r = v.record;
    std::string j = "{\"record\":" + std::to_string(v.number) +
                    ",\"sequence\":" + std::to_string(r.sequence) +
                    ",\"utc_us\":" + std::to_string(r.utcUs) + ",\"modules\":[";
    for (std::size_t i = 0; i < r.modules.size(); ++i) {
        const ZelAcqModuleValues& m = r.modules[i];
        j += std::string(i ? "," : "") + "{\"position\":" + std::to_string(m.position) +
             ",\"code\":" + std::to_string(m.code) + ",\"values\":[";
        for (unsigned short c = 0; c < m.numValues && c < 8; ++c)
            j += std::string(c ? "," : "") + number(m.values[c]);
        j += "]}";
    }
    return j + "]}";
}

std::string eventJson(const ZelViewRecord& v) {
    const ZelAcqRecord& r = v.record;
    std::string j = "{\"record\":" + std::to_string(v.number) + ",\"kind\":\"" +
                    zelAcqKindName(r.kind) + "\",\"sequence\":" + std::to_string(r.sequence) +
                    ",\"utc_us\":" + std::to_string(r.utcUs);
    j += zelAcqEventFields(r, false);
    return j + "}";
}

// "# HELP" and "# TYPE" of one metric family.
void family(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void sampleLine(std::string& out, const std::string& name, const std::string& labels,
                double value) {
    out += name + (labels.empty() ? "" : "{" + labels + "}") + " " + number(value) + "\n";
}

// A label value with backslash, quote and line feed escaped.
std::string labelValue(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

// A non-negative decimal without sign, blanks or overflow.
bool parseCount(const std::string& text, unsigned long long* value) {
    if (text.empty() || text.size() > 19) return false;
    unsigned long long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned long long>(c - '0');
    }
    *value = v;
    return true;
}

std::string statusWords(int status) {
    switch (status) {
        case 400:
            return "bad request";
        case 413:
            return "request too large";
        case 414:
            return "request line too long";
        case 431:
            return "request headers too large";
        default:
            return "request refused (" + std::to_string(status) + ")";
    }
}

void refuse(httplib::Response& res, int status, const std::string& reason) {
    res.status = status;
    res.set_content(
        "{\"error\":" + zelJsonText(reason) + ",\"status\":" + std::to_string(status) + "}\n",
        "application/json");
}

}  // namespace

std::string ZelWebServer::chainJson(const ZelStationView& view) {
    const std::vector<ZelViewModule> chain = view.chain();
    const ZelViewCounts counts = view.counts();
    std::string j = "{\"rate_hz\":" + number(view.rateHz()) +
                    ",\"ring\":" + std::to_string(view.ringCapacity()) + ",\"modules\":[";
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const ZelViewModule& m = chain[i];
        const int health = i < counts.modules.size() ? counts.modules[i].health : -1;
        const int code = i < counts.modules.size() ? counts.modules[i].lastCode : 0;
        j += std::string(i ? "," : "") + "{\"position\":" + std::to_string(m.position) +
             ",\"kind\":" + zelJsonText(m.kind) + ",\"model\":" + zelJsonText(m.model) +
             ",\"label\":" + zelJsonText(m.label) + ",\"address\":" + zelJsonText(m.address) +
             ",\"serial\":" + zelJsonText(m.serialNumber) +
             ",\"firmware\":" + zelJsonText(m.firmwareVersion) +
             ",\"found\":" + (m.found ? "true" : "false") +
             ",\"sampled\":" + (m.sampled ? "true" : "false") + ",\"health\":\"" +
             zelAcqHealthName(health) + "\",\"code\":" + std::to_string(code) + ",\"channels\":[";
        for (std::size_t c = 0; c < m.channels.size(); ++c) {
            j += std::string(c ? "," : "") + "{\"channel\":" + std::to_string(c) +
                 ",\"label\":" + zelJsonText(m.channels[c].label) +
                 ",\"unit\":" + zelJsonText(m.channels[c].unit) +
                 ",\"populated\":" + (m.channels[c].populated ? "true" : "false") + "}";
        }
        j += "]}";
    }
    return j + "]}\n";
}

namespace {

// The records above `after` as JSON; the number to ask from next into *next.
std::string recordsAnswer(const ZelStationView& view, unsigned long long after, std::size_t limit,
                          unsigned long long* nextOut) {
    unsigned long long newest = 0;
    bool lost = false;
    const std::vector<ZelViewRecord> records = view.since(after, limit, &newest, &lost);
    const unsigned long long next =
        records.empty() ? std::min(after, newest) : records.back().number;
    *nextOut = next;
    std::string samples;
    std::string events;
    for (const ZelViewRecord& v : records) {
        if (v.record.kind == ZEL_ACQ_SAMPLE)
            samples += (samples.empty() ? "" : ",") + sampleJson(v);
        else
            events += (events.empty() ? "" : ",") + eventJson(v);
    }
    return "{\"next\":" + std::to_string(next) + ",\"newest\":" + std::to_string(newest) +
           ",\"more\":" + (next < newest ? "true" : "false") +
           ",\"lost\":" + (lost ? "true" : "false") + ",\"health\":" + healthArray(view.health()) +
           ",\"samples\":[" + samples + "],\"events\":[" + events + "]}\n";
}

}  // namespace

std::string ZelWebServer::recordsJson(const ZelStationView& view, unsigned long long after,
                                      std::size_t limit) {
    unsigned long long next = 0;
    return recordsAnswer(view, after, limit, &next);
}

std::string ZelWebServer::metricsText(const ZelStationView& view) {
    const ZelViewCounts c = view.counts();
    const std::vector<ZelViewModule> chain = view.chain();
    std::string out;
    auto labels = [&](std::size_t i) {
        const std::string label = i < chain.size() ? chain[i].label : "";
        return "position=\"" + std::to_string(i) + "\",label=\"" + labelValue(label) + "\"";
    };
    auto perModule = [&](const char* name, const char* type, const char* help,
                         unsigned long long ZelViewModuleCounts::*field) {
        family(out, name, type, help);
        for (std::size_t i = 0; i < c.modules.size(); ++i)
            sampleLine(out, name, labels(i), static_cast<double>(c.modules[i].*field));
    };

    family(out, "zelstation_module_round_trip_seconds", "histogram",
           "Time from a sample's request to a module until its answer.");
    const std::vector<long long>& bounds = ZelStationView::roundTripBoundsUs();
    for (std::size_t i = 0; i < c.modules.size(); ++i) {
        const ZelViewModuleCounts& m = c.modules[i];
        if (m.health < 0 && m.roundTripCount == 0) continue;
        unsigned long long cumulative = 0;
        for (std::size_t b = 0; b <= bounds.size(); ++b) {
            cumulative += b < m.roundTripBuckets.size() ? m.roundTripBuckets[b] : 0;
            const std::string le =
                b < bounds.size() ? number(static_cast<double>(bounds[b]) / 1e6) : "+Inf";
            sampleLine(out, "zelstation_module_round_trip_seconds_bucket",
                       labels(i) + ",le=\"" + le + "\"", static_cast<double>(cumulative));
        }
        sampleLine(out, "zelstation_module_round_trip_seconds_sum", labels(i),
                   static_cast<double>(m.roundTripSumUs) / 1e6);
        sampleLine(out, "zelstation_module_round_trip_seconds_count", labels(i),
                   static_cast<double>(m.roundTripCount));
    }
    family(out, "zelstation_module_health", "gauge",
           "A module's health: 0 ok, 1 failing, 2 lost, 3 back, -1 not sampled.");
    for (std::size_t i = 0; i < c.modules.size(); ++i)
        sampleLine(out, "zelstation_module_health", labels(i), c.modules[i].health);
    perModule("zelstation_module_timeouts_total", "counter",
              "Samples in which a module did not answer in time.", &ZelViewModuleCounts::timeouts);
    perModule("zelstation_module_failures_total", "counter",
              "Samples in which a module gave no values (time-outs included).",
              &ZelViewModuleCounts::failures);
    perModule("zelstation_module_retries_total", "counter",
              "Requests a module object sent again within a call.", &ZelViewModuleCounts::retries);
    perModule("zelstation_module_stray_datagrams_total", "counter",
              "Datagrams from a module that no request was waiting for, discarded.",
              &ZelViewModuleCounts::strays);
    perModule("zelstation_module_foreign_datagrams_total", "counter",
              "Datagrams from another sender at a module object's port, discarded.",
              &ZelViewModuleCounts::foreign);
    perModule("zelstation_module_gaps_total", "counter",
              "Times a lost module came back and sampled again.", &ZelViewModuleCounts::gaps);
    perModule("zelstation_module_gap_samples_total", "counter",
              "Samples a module was left out of while lost.", &ZelViewModuleCounts::gapSamples);
    perModule("zelstation_module_restorations_total", "counter",
              "Times a restarted module's settings were applied again and read back.",
              &ZelViewModuleCounts::restorations);

    auto station = [&](const char* name, const char* type, const char* help, double value) {
        family(out, name, type, help);
        sampleLine(out, name, "", value);
    };
    const ZelAcqStatistics& s = c.statistics;
    station("zelstation_rate_hz", "gauge", "Samples a second the station is set to.", c.rateHz);
    station("zelstation_samples_total", "counter", "Samples taken.",
            static_cast<double>(std::max<unsigned long long>(c.samples, s.samples)));
    station("zelstation_gaps_total", "counter", "Returns of lost modules, all modules.",
            static_cast<double>(c.gaps));
    station("zelstation_missed_deadlines_total", "counter",
            "Deadlines that passed while the sampling was busy; they have no sample.",
            static_cast<double>(std::max(c.missedDeadlines, s.missedDeadlines)));
    station("zelstation_overflows_total", "counter",
            "Records the consumer's queue had no room for.",
            static_cast<double>(std::max(c.overflows, s.overflows)));
    station("zelstation_restorations_total", "counter",
            "Settings applied again to restarted modules.",
            static_cast<double>(std::max(c.restorations, s.restores)));
    station("zelstation_queue_depth", "gauge", "Records waiting for the consumer.",
            static_cast<double>(s.queued));
    station("zelstation_queue_capacity", "gauge", "Records the consumer's queue holds.",
            static_cast<double>(s.queueCapacity));
    station("zelstation_queue_high_water", "gauge", "Most records ever waiting at once.",
            static_cast<double>(s.queueHighWater));
    station("zelstation_max_lateness_seconds", "gauge",
            "Largest time a sample's request went out after its deadline.",
            static_cast<double>(s.maxLatenessUs) / 1e6);
    if (c.brokerSet) {
        const ZelBrokerState& b = c.broker;
        station("zelstation_broker_connected", "gauge", "1 while connected to the broker, else 0.",
                b.connected ? 1 : 0);
        station("zelstation_broker_backlog", "gauge",
                "Samples waiting to be delivered to the broker.", static_cast<double>(b.backlog));
        station("zelstation_broker_delivered_total", "counter", "Samples the broker acknowledged.",
                static_cast<double>(b.delivered));
        station("zelstation_broker_dropped_total", "counter",
                "Samples a full backlog had to let go.", static_cast<double>(b.dropped));
        station("zelstation_broker_connects_total", "counter", "Connections made to the broker.",
                static_cast<double>(b.connects));
    }
    return out;
}

struct ZelWebServer::Impl {
    explicit Impl(const ZelStationView& v) : view(v) {}
    const ZelStationView& view;
    ZelWebOptions options;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> eventClients{0};
    int port = 0;

    void routes();
    // The query's `since` (default `fallback`) and `limit`; false when refused.
    bool readQuery(const httplib::Request& req, httplib::Response& res, bool withLimit,
                   unsigned long long fallback, unsigned long long* since, std::size_t* limit);
};

bool ZelWebServer::Impl::readQuery(const httplib::Request& req, httplib::Response& res,
                                   bool withLimit, unsigned long long fallback,
                                   unsigned long long* since, std::size_t* limit) {
    *since = fallback;
    *limit = options.maxRecords;
    for (const auto& p : req.params) {
        unsigned long long v = 0;
        if (p.first == "since") {
            if (!parseCount(p.second, &v)) {
                refuse(res, 400, "since must be a record number (0 or more)");
                return false;
            }
            *since = v;
        } else if (p.first == "limit" && withLimit) {
            if (!parseCount(p.second, &v) || v == 0 || v > options.maxRecords) {
                refuse(res, 400, "limit must be 1 to " + std::to_string(options.maxRecords));
                return false;
            }
            *limit = static_cast<std::size_t>(v);
        } else {
            refuse(res, 400, "unknown parameter '" + p.first + "'");
            return false;
        }
    }
    if (req.get_param_value_count("since") > 1 || req.get_param_value_count("limit") > 1) {
        refuse(res, 400, "a parameter given twice");
        return false;
    }
    return true;
}

void ZelWebServer::Impl::routes() {
    httplib::Server& s = *server;
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const std::size_t q = req.target.find('?');
        if (q != std::string::npos && req.target.size() - q - 1 > options.maxQueryLength) {
            refuse(res, 414,
                   "query longer than " + std::to_string(options.maxQueryLength) + " bytes");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            refuse(res, 405, "read-only: only GET is served; nothing here changes a module");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return;
        refuse(res, res.status,
               res.status == 404 ? "no such path: " + req.path : statusWords(res.status));
    });
    s.Get("/", [](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) return refuse(res, 400, "the page takes no parameters");
        res.set_header("Cache-Control", "no-store");
        res.set_content(kZelWebPage, "text/html; charset=utf-8");
    });
    s.Get("/api/chain", [this](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) return refuse(res, 400, "/api/chain takes no parameters");
        res.set_content(ZelWebServer::chainJson(view), "application/json");
    });
    s.Get("/api/samples", [this](const httplib::Request& req, httplib::Response& res) {
        unsigned long long since = 0;
        std::size_t limit = 0;
        if (!readQuery(req, res, true, 0, &since, &limit)) return;
        res.set_content(ZelWebServer::recordsJson(view, since, limit), "application/json");
    });
    s.Get("/metrics", [this](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) return refuse(res, 400, "/metrics takes no parameters");
        res.set_content(ZelWebServer::metricsText(view),
                        "text/plain; version=0.0.4; charset=utf-8");
    });
    s.Get("/api/events", [this](const httplib::Request& req, httplib::Response& res) {
        unsigned long long newest = 0;
        view.since(~0ull, 0, &newest, nullptr);
        unsigned long long since = 0;
        std::size_t limit = 0;
        if (!readQuery(req, res, false, newest, &since, &limit)) return;
        since = std::min(since, newest);  // a number from before a restart: from now on
        if (eventClients.fetch_add(1) >= options.maxEventClients) {
            eventClients.fetch_sub(1);
            return refuse(res, 503,
                          "already " + std::to_string(options.maxEventClients) +
                              " event streams; try again later");
        }
        res.set_header("Cache-Control", "no-store");
        auto cursor = std::make_shared<unsigned long long>(since);
        auto quiet = std::make_shared<int>(0);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, cursor, quiet, limit](std::size_t, httplib::DataSink& sink) {
                if (stopping) {
                    sink.done();
                    return true;
                }
                const unsigned long long newestNow = view.waitAfter(*cursor, 250);
                if (newestNow > *cursor) {
                    unsigned long long next = *cursor;
                    const std::string json = recordsAnswer(view, *cursor, limit, &next);
                    *cursor = next;
                    const std::string message =
                        "event: records\ndata: " + json.substr(0, json.size() - 1) + "\n\n";
                    *quiet = 0;
                    return sink.write(message.data(), message.size());
                }
                if (++*quiet >= 40) {  // ten seconds without a record: tell it still lives
                    *quiet = 0;
                    static const char kAlive[] = ": alive\n\n";
                    return sink.write(kAlive, sizeof kAlive - 1);
                }
                return true;
            },
            [this](bool) { eventClients.fetch_sub(1); });
    });
}

ZelWebServer::ZelWebServer(const ZelStationView& view) : impl(std::make_unique<Impl>(view)) {}

ZelWebServer::~ZelWebServer() { stop(); }

bool ZelWebServer::start(const ZelWebOptions& options, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error != nullptr) *error = why;
        return false;
    };
    if (impl->server) return fail("already running");
    if (options.port < 0 || options.port > 65535) return fail("port must be 0 to 65535");
    if (options.maxEventClients < 1 || options.maxEventClients > 64)
        return fail("event clients must be 1 to 64");
    if (options.maxRecords < 1 || options.maxRecords > 100000)
        return fail("records an answer holds must be 1 to 100000");
    if (options.maxQueryLength < 16 || options.maxQueryLength > 4096)
        return fail("the longest query must be 16 to 4096 bytes");
    impl->options = options;
    impl->stopping = false;
    impl->server = std::make_unique<httplib::Server>();
    // One thread a connection: the event streams hold theirs, four more for
    // the page, the API and the metrics.
    const std::size_t threads = options.maxEventClients + 4;
    impl->server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // The library's default lets a second server share the port and split
    // its connections with the first; only a restart's lingering
    // connections may share it here.
    impl->server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    impl->server->set_payload_max_length(4096);
    impl->server->set_read_timeout(5, 0);
    impl->server->set_keep_alive_max_count(100);
    impl->routes();
    int port = options.port;
    if (port == 0) {
        port = impl->server->bind_to_any_port(options.address);
        if (port <= 0) port = -1;
    } else if (!impl->server->bind_to_port(options.address, port)) {
        port = -1;
    }
    if (port < 0) {
        impl->server.reset();
        return fail("cannot listen on " + options.address + ":" + std::to_string(options.port));
    }
    impl->port = port;
    impl->thread = std::thread([this] { impl->server->listen_after_bind(); });
    // A stop before the thread accepts would not reach it: start() returns
    // once it does.
    while (!impl->server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void ZelWebServer::stop() {
    if (!impl->server) return;
    impl->stopping = true;
    impl->server->stop();
    if (impl->thread.joinable()) impl->thread.join();
    impl->server.reset();
    impl->port = 0;
}

int ZelWebServer::port() const { return impl->port; }
