// The station's view and web server through real loopback sockets: each
// endpoint's code and shape, the records since a number, the metrics as a
// scraper parses them, the event stream and its bound, and a view fed by an
// acquisition of the simulated sample chain.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "station/zel_acquisition_station.h"
#include "station/zel_web.h"
#include "station_fixture.h"

namespace {

// A chain of three modules: two sampled (two channels each), one I/O.
std::vector<ZelViewModule> threeModules() {
    std::vector<ZelViewModule> list(3);
    const char* labels[] = {"Spindle", "Probes \"A\"", "Clamps"};
    for (unsigned short p = 0; p < 3; ++p) {
        list[p].position = p;
        list[p].label = labels[p];
        list[p].kind = p == 2 ? "I/O" : "LVDT";
        list[p].sampled = p != 2;
        if (p != 2) list[p].channels = {{"A", "mm"}, {"B", "um"}};
    }
    return list;
}

ZelAcqRecord sample(unsigned long long sequence, int code1 = 0, long long roundTripUs = 120) {
    ZelAcqRecord r;
    r.kind = ZEL_ACQ_SAMPLE;
    r.sequence = sequence;
    r.utcUs = 1700000000000000LL + static_cast<long long>(sequence) * 10000;
    for (unsigned short p = 0; p < 2; ++p) {
        ZelAcqModuleValues m;
        m.position = p;
        m.code = p == 1 ? code1 : 0;
        m.numValues = m.code == 0 ? 2 : 0;
        m.values[0] = 1.5 + static_cast<double>(sequence);
        m.values[1] = -2.25;
        m.sentUs = 1000;
        m.receivedUs = m.code == 0 ? 1000 + roundTripUs : 0;
        r.modules.push_back(m);
    }
    return r;
}

ZelAcqRecord event(int kind, unsigned long long sequence, unsigned short position, int health = 0,
                   int code = 0, unsigned long long count = 0) {
    ZelAcqRecord r;
    r.kind = kind;
    r.sequence = sequence;
    r.position = position;
    r.health = health;
    r.code = code;
    r.count = count;
    return r;
}

// A scraper's reading of the text format: every sample by its name and
// labels, and each family's HELP and TYPE.
struct Scrape {
    std::map<std::string, double> samples;  // "name{labels}" -> value
    std::map<std::string, std::string> types;
    std::map<std::string, int> helps;
    std::vector<std::string> errors;
};

Scrape parseMetrics(const std::string& text) {
    Scrape s;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (line.rfind("# HELP ", 0) == 0) {
            const std::string rest = line.substr(7);
            ++s.helps[rest.substr(0, rest.find(' '))];
            continue;
        }
        if (line.rfind("# TYPE ", 0) == 0) {
            std::istringstream f(line.substr(7));
            std::string name, type;
            f >> name >> type;
            if (type != "counter" && type != "gauge" && type != "histogram")
                s.errors.push_back("line " + std::to_string(n) + ": type " + type);
            s.types[name] = type;
            continue;
        }
        const std::size_t space = line.rfind(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos) {
            s.errors.push_back("line " + std::to_string(n) + ": " + line);
            continue;
        }
        const std::string key = line.substr(0, space);
        const std::string name = key.substr(0, key.find('{'));
        std::string family = name;
        for (const char* suffix : {"_bucket", "_sum", "_count"}) {
            const std::string sx(suffix);
            if (s.types.count(family) == 0 && family.size() > sx.size() &&
                family.compare(family.size() - sx.size(), sx.size(), sx) == 0)
                family = family.substr(0, family.size() - sx.size());
        }
        if (s.types.count(family) == 0 || s.helps.count(family) == 0)
            s.errors.push_back("line " + std::to_string(n) + ": no HELP/TYPE before " + name);
        if (s.samples.count(key) != 0) s.errors.push_back("line " + std::to_string(n) + ": twice");
        try {
            const std::string value = line.substr(space + 1);
            s.samples[key] = value == "+Inf" ? 1e308 : std::stod(value);
        } catch (...) {
            s.errors.push_back("line " + std::to_string(n) + ": value of " + line);
        }
    }
    return s;
}

class WebServer : public ::testing::Test {
  protected:
    void SetUp() override {
        view.setChain(threeModules());
        ZelWebOptions o;
        o.port = 0;
        o.maxEventClients = 2;
        o.maxRecords = 50;
        std::string error;
        ASSERT_TRUE(server.start(o, &error)) << error;
        ASSERT_GT(server.port(), 0);
        client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
        client->set_read_timeout(10, 0);
    }
    std::string get(const std::string& path, int* status) {
        auto res = client->Get(path.c_str());
        *status = res ? res->status : -1;
        return res ? res->body : "";
    }

    ZelStationView view{100.0, 64};
    ZelWebServer server{view};
    std::unique_ptr<httplib::Client> client;
};

TEST_F(WebServer, EveryEndpointAnswersWithItsCode) {
    for (unsigned long long k = 0; k < 5; ++k) view.onRecord(sample(k));
    struct Row {
        const char* method;
        std::string path;
        int status;
        const char* contains;  // in the body
    };
    const std::vector<Row> rows = {
        {"GET", "/", 200, "<canvas"},
        {"GET", "/api/chain", 200, "\"label\":\"Probes \\\"A\\\"\""},
        {"GET", "/api/samples", 200, "\"next\":5"},
        {"GET", "/api/samples?since=3", 200, "\"next\":5"},
        {"GET", "/api/samples?since=3&limit=1", 200, "\"more\":true"},
        {"GET", "/metrics", 200, "# TYPE zelstation_samples_total counter"},
        {"GET", "/api/samples?since=abc", 400, "since must be a record number"},
        {"GET", "/api/samples?since=-1", 400, "since must be a record number"},
        {"GET", "/api/samples?since=99999999999999999999", 400, "since must be"},
        {"GET", "/api/samples?since=", 400, "since must be"},
        {"GET", "/api/samples?limit=0", 400, "limit must be 1 to 50"},
        {"GET", "/api/samples?limit=51", 400, "limit must be 1 to 50"},
        {"GET", "/api/samples?since=1&since=2", 400, "twice"},
        {"GET", "/api/samples?position=1", 400, "unknown parameter 'position'"},
        {"GET", "/api/events?since=x", 400, "since must be"},
        {"GET", "/api/chain?x=1", 400, "takes no parameters"},
        {"GET", "/metrics?x=1", 400, "takes no parameters"},
        {"GET", "/?x=1", 400, "takes no parameters"},
        {"GET", "/api/samples?since=" + std::string(300, '1'), 414, "query longer than"},
        {"GET", "/nope", 404, "no such path: /nope"},
        {"GET", "/api", 404, "no such path"},
        {"POST", "/api/chain", 405, "read-only"},
        {"PUT", "/", 405, "read-only"},
        {"DELETE", "/api/samples", 405, "read-only"},
        {"PATCH", "/metrics", 405, "read-only"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + " " + row.path.substr(0, 60));
        const std::string m = row.method;
        const char* path = row.path.c_str();
        httplib::Result res = m == "POST"     ? client->Post(path, "{}", "application/json")
                              : m == "PUT"    ? client->Put(path, "x", "text/plain")
                              : m == "DELETE" ? client->Delete(path)
                              : m == "PATCH"  ? client->Patch(path, "x", "text/plain")
                                              : client->Get(path);
        ASSERT_TRUE(res) << httplib::to_string(res.error());
        EXPECT_EQ(res->status, row.status);
        EXPECT_NE(res->body.find(row.contains), std::string::npos) << res->body.substr(0, 300);
        if (row.status >= 400) {
            EXPECT_EQ(res->get_header_value("Content-Type"), "application/json");
            EXPECT_EQ(res->body.rfind("{\"error\":", 0), 0u) << res->body;
        }
        if (row.status == 405) {
            EXPECT_EQ(res->get_header_value("Allow"), "GET, HEAD");
        }
    }
    // A request line longer than the server takes at all: refused, and the
    // server goes on answering.
    int status = 0;
    get("/api/samples?since=" + std::string(9000, '1'), &status);
    EXPECT_EQ(status, 414);
    get("/api/chain", &status);
    EXPECT_EQ(status, 200);
}

TEST_F(WebServer, RecordsAreTakenSinceANumberBoundedAndInOrder) {
    view.onRecord(sample(0));
    view.onRecord(event(ZEL_ACQ_HEALTH, 0, 1, ZEL_ACQ_HEALTH_FAILING, 1));
    view.onRecord(sample(1, 1));
    view.onRecord(event(ZEL_ACQ_MISSED, 2, 0, 0, 0, 3));
    view.onRecord(sample(5));
    struct Row {
        unsigned long long since;
        std::size_t limit;
        std::string expected;  // the answer's head up to "health"
        const char* contains;
    };
    const std::vector<Row> rows = {
        {0, 50, "{\"next\":5,\"newest\":5,\"more\":false,\"lost\":false", "\"sequence\":5"},
        {1, 1, "{\"next\":2,\"newest\":5,\"more\":true,\"lost\":false",
         "\"kind\":\"health\",\"sequence\":0,\"utc_us\":0,\"position\":1,\"from\":\"ok\","
         "\"to\":\"failing\",\"code\":1"},
        {2, 1, "{\"next\":3,\"newest\":5,\"more\":true,\"lost\":false",
         "{\"position\":1,\"code\":1,\"values\":[]}"},
        {3, 50, "{\"next\":5,\"newest\":5,\"more\":false,\"lost\":false",
         "\"kind\":\"missed\",\"sequence\":2,\"utc_us\":0,\"count\":3"},
        {5, 50, "{\"next\":5,\"newest\":5,\"more\":false,\"lost\":false",
         "\"samples\":[],\"events\":[]"},
        {9, 50, "{\"next\":5,\"newest\":5,\"more\":false,\"lost\":false", "\"samples\":[]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("since " + std::to_string(row.since));
        const std::string j = ZelWebServer::recordsJson(view, row.since, row.limit);
        EXPECT_EQ(j.substr(0, row.expected.size()), row.expected) << j;
        EXPECT_NE(j.find(row.contains), std::string::npos) << j;
        EXPECT_NE(j.find("\"health\":[\"ok\",\"failing\",\"not sampled\"]"), std::string::npos)
            << j;
    }
    // The first sample whole, values in the channels' order.
    EXPECT_NE(ZelWebServer::recordsJson(view, 0, 1)
                  .find("\"samples\":[{\"record\":1,\"sequence\":0,\"utc_us\":1700000000000000,"
                        "\"modules\":[{\"position\":0,\"code\":0,\"values\":[1.5,-2.25]},"),
              std::string::npos);
    // Past the ring's 64 records: the oldest left, and the answer says so.
    for (unsigned long long k = 6; k < 106; ++k) view.onRecord(sample(k));
    const std::string j = ZelWebServer::recordsJson(view, 0, 1);
    EXPECT_EQ(j.rfind("{\"next\":42,\"newest\":105,\"more\":true,\"lost\":true,", 0), 0u) << j;
}

TEST_F(WebServer, MetricsParseAndCountWhatHappened) {
    view.onRecord(sample(0, 0, 40));    // 40 us: first bucket
    view.onRecord(sample(1, 0, 3000));  // 3 ms
    view.onRecord(sample(2, 1));        // module 1 timed out
    view.onRecord(sample(3, 16));       // module 1 failed otherwise
    view.onRecord(event(ZEL_ACQ_HEALTH, 3, 1, ZEL_ACQ_HEALTH_LOST, 1));
    view.onRecord(event(ZEL_ACQ_RESTORED, 9, 1));
    view.onRecord(event(ZEL_ACQ_GAP, 9, 1, 0, 0, 6));
    view.onRecord(event(ZEL_ACQ_MISSED, 10, 0, 0, 0, 2));
    view.onRecord(event(ZEL_ACQ_OVERFLOW, 12, 0, 0, 0, 4));
    ZelAcqStatistics st;
    st.queued = 7;
    st.queueCapacity = 4096;
    view.onStatistics(st);

    int status = 0;
    Scrape s = parseMetrics(get("/metrics", &status));
    ASSERT_EQ(status, 200);
    EXPECT_TRUE(s.errors.empty()) << s.errors.front();
    const std::string m0 = "position=\"0\",label=\"Spindle\"";
    const std::string m1 = "position=\"1\",label=\"Probes \\\"A\\\"\"";
    const std::string rt = "zelstation_module_round_trip_seconds";
    const std::vector<std::pair<std::string, double>> expected = {
        {rt + "_bucket{" + m0 + ",le=\"5e-05\"}", 1},
        {rt + "_bucket{" + m0 + ",le=\"0.0001\"}", 1},
        {rt + "_bucket{" + m0 + ",le=\"0.00025\"}", 3},
        {rt + "_bucket{" + m0 + ",le=\"0.0025\"}", 3},
        {rt + "_bucket{" + m0 + ",le=\"0.001\"}", 3},
        {rt + "_bucket{" + m0 + ",le=\"0.005\"}", 4},
        {rt + "_bucket{" + m0 + ",le=\"+Inf\"}", 4},
        {rt + "_count{" + m0 + "}", 4},
        {rt + "_count{" + m1 + "}", 2},
        {"zelstation_module_timeouts_total{" + m1 + "}", 1},
        {"zelstation_module_failures_total{" + m1 + "}", 2},
        {"zelstation_module_failures_total{" + m0 + "}", 0},
        {"zelstation_module_health{" + m1 + "}", 2},
        {"zelstation_module_health{position=\"2\",label=\"Clamps\"}", -1},
        {"zelstation_module_gap_samples_total{" + m1 + "}", 6},
        {"zelstation_module_restorations_total{" + m1 + "}", 1},
        {"zelstation_module_retries_total{" + m0 + "}", 0},
        {"zelstation_samples_total", 4},
        {"zelstation_gaps_total", 1},
        {"zelstation_missed_deadlines_total", 2},
        {"zelstation_overflows_total", 4},
        {"zelstation_restorations_total", 1},
        {"zelstation_queue_depth", 7},
        {"zelstation_queue_capacity", 4096},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.first);
        ASSERT_EQ(s.samples.count(e.first), 1u);
        EXPECT_EQ(s.samples[e.first], e.second);
    }
    EXPECT_NEAR(s.samples[rt + "_sum{" + m0 + "}"], (40 + 3000 + 120 + 120) / 1e6, 1e-12);
    EXPECT_EQ(s.types[rt], "histogram");
    EXPECT_EQ(s.samples.count("zelstation_broker_connected"), 0u);  // no broker told

    ZelBrokerState b;
    b.configured = true;
    b.connected = false;
    b.backlog = 1234;
    view.setBroker(b);
    s = parseMetrics(get("/metrics", &status));
    EXPECT_TRUE(s.errors.empty()) << s.errors.front();
    EXPECT_EQ(s.samples["zelstation_broker_connected"], 0);
    EXPECT_EQ(s.samples["zelstation_broker_backlog"], 1234);
}

// Reads the event stream until `enough` says so or it ends.
std::string readEvents(int port, const std::string& path,
                       const std::function<bool(const std::string&)>& enough, int* status) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(10, 0);
    std::string got;
    auto res = c.Get(path.c_str(), [&](const char* data, std::size_t n) {
        got.append(data, n);
        return !enough(got);
    });
    *status = res ? res->status : (res.error() == httplib::Error::Canceled ? 200 : -1);
    return got;
}

TEST_F(WebServer, EventsStreamTheRecordsAsTheyCome) {
    view.onRecord(sample(0));
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        for (unsigned long long k = 1; !done && k < 2000; ++k) {
            view.onRecord(sample(k));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    int status = 0;
    const std::string got = readEvents(
        server.port(), "/api/events?since=0",
        [](const std::string& s) { return s.find("\"sequence\":3,") != std::string::npos; },
        &status);
    done = true;
    feeder.join();
    EXPECT_EQ(status, 200);
    EXPECT_EQ(got.rfind("event: records\ndata: {\"next\":", 0), 0u) << got.substr(0, 200);
    EXPECT_NE(got.find("\"sequence\":0,"), std::string::npos);  // from the number asked
    EXPECT_NE(got.find("\n\n"), std::string::npos);
}

TEST_F(WebServer, EventStreamsAreBoundedAndEndWithTheServer) {
    // Two streams held open (the bound), a third refused.
    std::atomic<int> opened{0};
    std::vector<std::thread> holders;
    std::vector<int> statuses(2, 0);
    for (int i = 0; i < 2; ++i) {
        holders.emplace_back([&, i] {
            readEvents(
                server.port(), "/api/events",
                [&](const std::string&) {
                    ++opened;
                    return false;
                },
                &statuses[i]);
        });
    }
    for (int k = 0; opened < 2 && k < 500; ++k) {
        view.onRecord(sample(static_cast<unsigned long long>(k)));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GE(opened.load(), 2);
    int status = 0;
    const std::string body = get("/api/events", &status);
    EXPECT_EQ(status, 503);
    EXPECT_NE(body.find("already 2 event streams"), std::string::npos) << body;
    // The page and the API are still served beside the streams.
    get("/api/chain", &status);
    EXPECT_EQ(status, 200);
    // Stopping ends the open streams; nothing hangs.
    server.stop();
    for (auto& t : holders) t.join();
    EXPECT_EQ(server.port(), 0);
}

TEST(WebServerStart, RefusesWhatItCannotServe) {
    ZelStationView view;
    ZelWebServer first(view);
    ZelWebOptions o;
    o.port = 0;
    std::string error;
    ASSERT_TRUE(first.start(o, &error)) << error;
    struct Row {
        const char* name;
        ZelWebOptions options;
        const char* reason;
    };
    std::vector<Row> rows(6);
    rows[0] = {"a port in use", o, "cannot listen on 127.0.0.1:"};
    rows[0].options.port = first.port();
    rows[1] = {"an address that is none", o, "cannot listen on 300.1.2.3:0"};
    rows[1].options.address = "300.1.2.3";
    rows[2] = {"a port out of range", o, "port must be 0 to 65535"};
    rows[2].options.port = 70000;
    rows[3] = {"no event client", o, "event clients must be 1 to 64"};
    rows[3].options.maxEventClients = 0;
    rows[4] = {"no record an answer", o, "records an answer holds must be 1 to 100000"};
    rows[4].options.maxRecords = 0;
    rows[5] = {"a query bound too small", o, "the longest query must be 16 to 4096 bytes"};
    rows[5].options.maxQueryLength = 3;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ZelWebServer second(view);
        error.clear();
        EXPECT_FALSE(second.start(row.options, &error));
        EXPECT_EQ(error.rfind(row.reason, 0), 0u) << error;
        EXPECT_EQ(second.port(), 0);
    }
    std::string again;
    EXPECT_FALSE(first.start(o, &again));
    EXPECT_EQ(again, "already running");
}

// The view over an acquisition of the sample chain, simulated.
class WebOverAcquisition : public Station {};

TEST_F(WebOverAcquisition, TheChainInPhysicalOrderWithLabelsUnitsAndRoundTrips) {
    startChain();
    ASSERT_TRUE(load(kChainFile).ok());
    const ZelStationStatus opened = station.open(ZelStationOptions{});
    ASSERT_EQ(opened.code, ZEL_STATION_OK) << opened.message;
    ZelStationView view(100.0);
    view.setChain(ZelStationView::describe(station));
    std::vector<ZelModule*> list = stationModules(station);
    ZelStationRestorer restorer(station);
    ZelAcquisition engine(list.data(), static_cast<unsigned short>(list.size()));
    ZelAcquisitionOptions o;
    o.rateHz = 100;
    o.restorer = &restorer;
    ASSERT_EQ(engine.start(o).getCode(), ZEL_OK);
    ZelAcqRecord r;
    unsigned samples = 0;
    while (samples < 20 && engine.next(r, 5000)) {
        view.onRecord(r);
        samples += r.kind == ZEL_ACQ_SAMPLE;
    }
    view.onStatistics(engine.statistics());
    engine.stop();

    const std::string chain = ZelWebServer::chainJson(view);
    // Physical order, the file's labels, the kinds; sampled or not.
    const std::vector<std::string> expected = {
        "\"position\":0,\"kind\":\"Kalix encoder\",\"model\":\"ZEL 4105\",\"label\":\"Spindle\"",
        "\"position\":1,\"kind\":\"1 Vpp encoder\",\"model\":\"ZEL 4107\",\"label\":\"Table X\"",
        "\"position\":2,\"kind\":\"TTL encoder\",\"model\":\"ZEL 4114\",\"label\":\"Table Y\"",
        "\"position\":3,\"kind\":\"LVDT\",\"model\":\"ZEL 4116\",\"label\":\"Probes\"",
        "\"position\":4,\"kind\":\"analog\",\"model\":\"ZEL 4111\",\"label\":\"Pressure\"",
        "\"position\":5,\"kind\":\"I/O\",\"model\":\"ZEL 4109\",\"label\":\"Clamps\"",
        "\"position\":6,\"kind\":\"pneumatic\",\"model\":\"ZEL 4110\",\"label\":\"Air valve\"",
        "\"position\":7,\"kind\":\"power supply\",\"model\":\"ZEL 4103\",\"label\":\"Supply\"",
    };
    std::size_t at = 0;
    for (const std::string& e : expected) {
        SCOPED_TRACE(e);
        const std::size_t found = chain.find(e);
        ASSERT_NE(found, std::string::npos) << chain;
        EXPECT_GT(found, at);
        at = found;
    }
    EXPECT_NE(
        chain.find("{\"channel\":0,\"label\":\"Spindle 1\",\"unit\":\"deg\",\"populated\":true}"),
        std::string::npos)
        << chain;
    EXPECT_NE(
        chain.find("{\"channel\":1,\"label\":\"Pressure 1\",\"unit\":\"mA\",\"populated\":true}"),
        std::string::npos)
        << chain;
    EXPECT_NE(chain.find("\"label\":\"Table Y 2\",\"unit\":\"deg\",\"populated\":true},"
                         "{\"channel\":2,\"label\":\"\",\"unit\":\"counts\",\"populated\":false}"),
              std::string::npos)
        << chain;
    EXPECT_NE(chain.find("\"label\":\"Clamps\",\"address\":"), std::string::npos);
    EXPECT_NE(chain.find("\"sampled\":false,\"health\":\"not sampled\""), std::string::npos);

    // Each sampled module's values match its channels; its round trips counted.
    const std::vector<ZelViewModule> modules = view.chain();
    ZelAcqRecord last;
    ASSERT_TRUE(view.latest(last));
    for (const ZelAcqModuleValues& m : last.modules) {
        SCOPED_TRACE("module " + std::to_string(m.position));
        EXPECT_EQ(m.code, ZEL_OK);
        EXPECT_EQ(m.numValues, modules[m.position].channels.size());
    }
    Scrape s = parseMetrics(ZelWebServer::metricsText(view));
    EXPECT_TRUE(s.errors.empty()) << s.errors.front();
    EXPECT_EQ(s.samples["zelstation_module_round_trip_seconds_count{position=\"0\",label="
                        "\"Spindle\"}"],
              20);
    EXPECT_GE(s.samples["zelstation_samples_total"], 20);  // the engine's count, taken later
    EXPECT_EQ(s.samples.count("zelstation_module_round_trip_seconds_count{position=\"5\",label="
                              "\"Clamps\"}"),
              0u);
}

}  // namespace
