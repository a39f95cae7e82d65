// The MQTT publisher against a Mosquitto broker the test starts: batches in
// order with their sequence ranges and units, retained states, the backlog
// while the broker is away (bounded, the oldest dropped and counted, kept
// on disk across a restart of the publisher), and options it refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "mqtt_broker.h"
#include "station/zel_mqtt_publisher.h"
#include "test_folder.h"

namespace {

namespace fs = std::filesystem;
using mqtttest::Broker;
using mqtttest::Subscriber;

ZelRecordingContext description() {
    ZelRecordingContext c;
    c.modules.push_back({0, "Kalix encoder", "127.9.0.2", "Spindle", "S1", "2.3.1", 1});
    c.channels.push_back({0, 0, "Spindle 1", "mm"});
    c.rateHz = 100;
    return c;
}

ZelAcqRecord sample(unsigned long long sequence) {
    ZelAcqRecord r;
    r.sequence = sequence;
    r.utcUs = 1'800'000'000'000'000LL + 10'000 * static_cast<long long>(sequence);
    ZelAcqModuleValues v;
    v.numValues = 1;
    v.values[0] = 0.5 * static_cast<double>(sequence);
    r.modules.push_back(v);
    return r;
}

// The sample sequences of every batch, in the order they came.
std::vector<unsigned long long> sequences(const std::vector<Subscriber::Message>& messages) {
    std::vector<unsigned long long> out;
    const std::regex one("\\{\"sequence\":([0-9]+)");
    for (const auto& m : messages) {
        if (m.topic.size() < 8 || m.topic.compare(m.topic.size() - 8, 8, "/samples") != 0) continue;
        for (std::sregex_iterator i(m.payload.begin(), m.payload.end(), one), end; i != end; ++i)
            out.push_back(std::stoull((*i)[1]));
    }
    return out;
}

std::vector<unsigned long long> range(unsigned long long from, unsigned long long to) {
    std::vector<unsigned long long> r;
    for (unsigned long long s = from; s < to; ++s) r.push_back(s);
    return r;
}

template <class F>
bool eventually(F done, int ms = 10000) {
    for (int i = 0; i < ms / 20; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

struct Publisher : ::testing::Test {
    fs::path dir;
    unsigned short port = mqtttest::freePort();
    ZelMqttOptions options;
    void SetUp() override {
        dir = zeltest::testFolder("zel_mqtt_");
        options.port = port;
        options.station = "cell3";
        options.batchSamples = 10;
        options.batchIntervalMs = 20;
        options.reconnectFirstMs = 50;
        options.reconnectMaxMs = 200;
        options.backlogFile = (dir / "backlog.db").string();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir);
    }
};

TEST_F(Publisher, BatchesArriveInOrderWithTheirRangesUnitsAndRetainedStates) {
    options.batchIntervalMs = 60000;  // batches by their count only, however slow the host
    Broker broker(dir, port);
    ASSERT_TRUE(broker.start());
    Subscriber sub(port, "zel/cell3/#", "order");
    ASSERT_TRUE(sub.waitSubscribed());
    ZelMqttPublisher publisher;
    ASSERT_TRUE(publisher.start(options, description())) << publisher.error();
    for (unsigned long long s = 0; s < 95; ++s) ASSERT_TRUE(publisher.push(sample(s)));
    ZelAcqRecord lost;
    lost.kind = ZEL_ACQ_HEALTH;
    lost.position = 0;
    lost.previous = ZEL_ACQ_HEALTH_FAILING;
    lost.health = ZEL_ACQ_HEALTH_LOST;
    lost.code = 1;
    ASSERT_TRUE(publisher.push(lost));
    EXPECT_TRUE(publisher.stop(5000));
    const ZelMqttCounters c = publisher.counters();
    EXPECT_EQ(c.publishedSamples, 95u);
    EXPECT_EQ(c.lastSequence, 94u);
    EXPECT_EQ(c.backlogSamples, 0u);
    EXPECT_EQ(c.droppedSamples, 0u);
    ASSERT_TRUE(eventually([&] { return sequences(sub.messages()).size() >= 95; }));
    EXPECT_EQ(sequences(sub.messages()), range(0, 95));

    const std::vector<Subscriber::Message> got = sub.messages();
    std::string firstBatch, moduleState, stationState;
    for (const auto& m : got) {
        if (m.topic == "zel/cell3/samples" && firstBatch.empty()) firstBatch = m.payload;
        if (m.topic == "zel/cell3/module/0/state") moduleState = m.payload;
        if (m.topic == "zel/cell3/state") stationState = m.payload;
    }
    EXPECT_NE(firstBatch.find("\"first\":0,\"last\":9"), std::string::npos) << firstBatch;
    EXPECT_NE(
        firstBatch.find("{\"position\":0,\"channel\":0,\"label\":\"Spindle 1\",\"unit\":\"mm\"}"),
        std::string::npos)
        << firstBatch;
    EXPECT_NE(moduleState.find("\"health\":\"lost\""), std::string::npos) << moduleState;
    EXPECT_NE(stationState.find("\"state\":\"offline\",\"reason\":\"stopped\""), std::string::npos)
        << stationState;

    // A subscriber that comes later gets the retained states.
    Subscriber late(port, "zel/cell3/#", "late");
    ASSERT_TRUE(eventually([&] { return late.messages().size() >= 2; }));
    for (const auto& m : late.messages()) {
        SCOPED_TRACE(m.topic);
        EXPECT_TRUE(m.retained);
    }
}

// The subscriber's session is made first, so the broker keeps what comes
// for it while it reconnects after the broker's restart.
TEST_F(Publisher, SamplesWaitForABrokerThatIsNotThereAndGoOutInOrderWhenItComes) {
    Broker broker(dir, port);
    ASSERT_TRUE(broker.start());
    Subscriber sub(port, "zel/cell3/samples", "late-broker");
    ASSERT_TRUE(sub.waitSubscribed());
    broker.stop();
    ZelMqttPublisher publisher;
    ASSERT_TRUE(publisher.start(options, description())) << publisher.error();
    for (unsigned long long s = 0; s < 200; ++s) ASSERT_TRUE(publisher.push(sample(s)));
    ASSERT_TRUE(eventually([&] { return publisher.counters().backlogSamples == 200; }));
    EXPECT_FALSE(publisher.counters().connected);
    EXPECT_GT(publisher.counters().failedConnections, 0u);
    EXPECT_NE(publisher.error().find(std::to_string(port)), std::string::npos) << publisher.error();

    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(eventually([&] { return publisher.counters().connected; }));
    for (unsigned long long s = 200; s < 250; ++s) ASSERT_TRUE(publisher.push(sample(s)));
    EXPECT_TRUE(publisher.stop(5000));
    ASSERT_TRUE(eventually([&] { return sequences(sub.messages()).size() >= 250; }));
    EXPECT_EQ(sequences(sub.messages()), range(0, 250));
    EXPECT_GE(publisher.counters().backlogHighWater, 200u);
}

TEST_F(Publisher, AFullBacklogDropsItsOldestBatchesAndCountsThem) {
    options.backlogSamples = 100;
    Broker broker(dir, port);
    ASSERT_TRUE(broker.start());
    Subscriber sub(port, "zel/cell3/samples", "full");
    ASSERT_TRUE(sub.waitSubscribed());
    broker.stop();
    ZelMqttPublisher publisher;
    ASSERT_TRUE(publisher.start(options, description())) << publisher.error();
    for (unsigned long long s = 0; s < 300; ++s) ASSERT_TRUE(publisher.push(sample(s)));
    ASSERT_TRUE(eventually([&] { return publisher.counters().droppedSamples == 200; }));
    EXPECT_EQ(publisher.counters().backlogSamples, 100u);

    ASSERT_TRUE(broker.start());
    EXPECT_TRUE(publisher.stop(5000));
    ASSERT_TRUE(eventually([&] { return sequences(sub.messages()).size() >= 100; }));
    EXPECT_EQ(sequences(sub.messages()), range(200, 300));
    EXPECT_NE(sub.messages().back().payload.find("\"dropped\":200"), std::string::npos);
}

TEST_F(Publisher, TheBacklogFileKeepsWhatABrokerNeverTookForTheNextStart) {
    {
        ZelMqttPublisher first;
        ASSERT_TRUE(first.start(options, description())) << first.error();
        for (unsigned long long s = 0; s < 40; ++s) ASSERT_TRUE(first.push(sample(s)));
        EXPECT_FALSE(first.stop(0));
        EXPECT_EQ(first.counters().backlogSamples, 40u);
    }
    Broker broker(dir, port);
    ASSERT_TRUE(broker.start());
    Subscriber sub(port, "zel/cell3/samples", "next-start");
    ASSERT_TRUE(sub.waitSubscribed());
    ZelMqttPublisher second;
    ASSERT_TRUE(second.start(options, description())) << second.error();
    EXPECT_EQ(second.counters().backlogSamples, 40u);
    EXPECT_TRUE(second.stop(5000));
    ASSERT_TRUE(eventually([&] { return sequences(sub.messages()).size() >= 40; }));
    EXPECT_EQ(sequences(sub.messages()), range(0, 40));
}

TEST_F(Publisher, WrongOptionsAreRefusedAtTheStartWithTheReason) {
    struct Case {
        const char* name;
        void (*change)(ZelMqttOptions&, const fs::path&);
        const char* told;
    };
    const Case cases[] = {
        {"missing CA file",
         [](ZelMqttOptions& o, const fs::path& d) { o.caFile = (d / "none.pem").string(); },
         "none.pem"},
        {"wildcard in the station",
         [](ZelMqttOptions& o, const fs::path&) { o.station = "cell#3"; }, "no topic"},
        {"QoS 3", [](ZelMqttOptions& o, const fs::path&) { o.qos = 3; }, "qos"},
        {"backlog in a missing folder",
         [](ZelMqttOptions& o, const fs::path& d) {
             o.backlogFile = (d / "no/such/b.db").string();
         },
         "backlog"},
        {"backlog that is no database",
         [](ZelMqttOptions& o, const fs::path& d) {
             std::ofstream(d / "text.db") << "this is no database, just text and more text";
             o.backlogFile = (d / "text.db").string();
         },
         "text.db"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZelMqttOptions o = options;
        c.change(o, dir);
        ZelMqttPublisher publisher;
        EXPECT_FALSE(publisher.start(o, description()));
        EXPECT_NE(publisher.error().find(c.told), std::string::npos) << publisher.error();
        EXPECT_FALSE(publisher.isRunning());
        EXPECT_FALSE(publisher.push(sample(0)));
    }
}

}  // namespace
