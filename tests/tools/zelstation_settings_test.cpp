// zelstation's settings file: every key lands where it belongs, and every
// wrong line is told with the file, its line number and what was expected.
#include "zelstation_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zelstation::parseSettings;
using zelstation::Settings;

TEST(ZelstationSettings, EveryKeyLandsInItsSetting) {
    const std::string text =
        "# a station\n"
        "[station]\n"
        "name = cell3\n"
        "chain = /etc/zelstation/cell3.xml\n"
        "rate = 250.5\n"
        "answer_timeout_ms = 40\n"
        "\n"
        "[record]\n"
        "file = /var/lib/zelstation/cell3.zelrec\n"
        "rotate = 15min\n"
        "; the plant's broker\n"
        "[mqtt]\n"
        "host = broker.plant\n"
        "port = 8883\n"
        "topic_prefix = plant/line2\n"
        "qos = 1\n"
        "batch_samples = 25\n"
        "batch_interval_ms = 250\n"
        "ca_file = /etc/ssl/plant-ca.pem\n"
        "user = station3\n"
        "password = s3 cret = x\n"
        "backlog_file = /var/lib/zelstation/backlog.db\n"
        "backlog_samples = 1000000\n"
        "[http]\n"
        "listen = 0.0.0.0:8080\n"
        "token = abc\n";
    Settings s;
    std::string error;
    ASSERT_TRUE(parseSettings(text, "zelstation.conf", s, error)) << error;
    EXPECT_EQ(s.station.name, "cell3");
    EXPECT_EQ(s.station.chain, "/etc/zelstation/cell3.xml");
    EXPECT_DOUBLE_EQ(s.station.rateHz, 250.5);
    EXPECT_EQ(s.station.answerTimeoutMs, 40);
    EXPECT_FALSE(s.station.simulate);
    EXPECT_EQ(s.record.file, "/var/lib/zelstation/cell3.zelrec");
    EXPECT_EQ(s.record.rotateSeconds, 900);
    EXPECT_EQ(s.record.rotateBytes, 0u);
    EXPECT_TRUE(s.mqttEnabled);
    EXPECT_EQ(s.mqtt.host, "broker.plant");
    EXPECT_EQ(s.mqtt.port, 8883);
    EXPECT_EQ(s.mqtt.topicPrefix, "plant/line2");
    EXPECT_EQ(s.mqtt.station, "cell3");
    EXPECT_EQ(s.mqtt.clientId, "zelstation-cell3");
    EXPECT_EQ(s.mqtt.batchSamples, 25u);
    EXPECT_EQ(s.mqtt.batchIntervalMs, 250);
    EXPECT_EQ(s.mqtt.caFile, "/etc/ssl/plant-ca.pem");
    EXPECT_EQ(s.mqtt.user, "station3");
    EXPECT_EQ(s.mqtt.password, "s3 cret = x");
    EXPECT_EQ(s.mqtt.backlogSamples, 1000000u);
    EXPECT_EQ(s.http.address, "0.0.0.0");
    EXPECT_EQ(s.http.port, 8080);
    EXPECT_EQ(s.http.token, "abc");
}

TEST(ZelstationSettings, DefaultsAreSafe) {
    Settings s;
    std::string error;
    ASSERT_TRUE(parseSettings("[station]\nsimulate = yes\n", "s.conf", s, error)) << error;
    EXPECT_FALSE(s.mqttEnabled);
    EXPECT_EQ(s.http.address, "127.0.0.1");  // loopback unless told otherwise
    EXPECT_TRUE(s.http.token.empty());
    EXPECT_EQ(s.mqtt.qos, 1);
    EXPECT_TRUE(s.record.file.empty());
}

TEST(ZelstationSettings, WrongLinesAreToldWithTheirLineAndWhatWasExpected) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"name = x\n", "s.conf:1: 'name' stands before any [section]"},
        {"[station]\nchain = a.xml\n[stations]\n",
         "s.conf:3: no section [stations] (there are [station], [record], [mqtt] and [http])"},
        {"[station\n", "s.conf:1: a section header ends with ']'"},
        {"[station]\nchain a.xml\n", "s.conf:2: expected 'key = value', found 'chain a.xml'"},
        {"[station]\nchain = a.xml\nspeed = 3\n", "s.conf:3: [station] has no key 'speed'"},
        {"[station]\nrate = 0\n",
         "s.conf:2: rate = '0': expected samples a second, 0.01 to 100000"},
        {"[station]\nrate = 100Hz\n",
         "s.conf:2: rate = '100Hz': expected samples a second, 0.01 to 100000"},
        {"[station]\nname = cell/3\n",
         "s.conf:2: name = 'cell/3': expected a name without '/', '+' or '#'"},
        {"[station]\nsimulate = maybe\n", "s.conf:2: simulate = 'maybe': expected yes or no"},
        {"[record]\nrotate = 10\n",
         "s.conf:2: rotate = '10': expected a size (64k, 100M, 2G) or a duration (90s, 15min, 1h)"},
        {"[mqtt]\nport = 70000\n", "s.conf:2: port = '70000': expected a port, 1 to 65535"},
        {"[mqtt]\nqos = 3\n", "s.conf:2: qos = '3': expected 0, 1 or 2"},
        {"[mqtt]\nhost =\n", "s.conf:2: host = '': expected a host name or address"},
        {"[mqtt]\ntopic_prefix = zel/#\n",
         "s.conf:2: topic_prefix = 'zel/#': expected topic levels without '+' or '#'"},
        {"[mqtt]\nbacklog_samples = 10\n",
         "s.conf:2: backlog_samples = '10': expected samples, 100 to 100000000"},
        {"[http]\nlisten = 8080\n",
         "s.conf:2: listen = '8080': expected ADDRESS:PORT (a numeric address; port 0: a free one, "
         "told at the start)"},
        {"[mqtt]\nhost = b\n", "s.conf: [station] needs 'chain = FILE' (or 'simulate = yes')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Settings s;
        s.station.name = "untouched";
        std::string error;
        EXPECT_FALSE(parseSettings(c.text, "s.conf", s, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(s.station.name, "untouched");  // nothing taken from a wrong file
    }
}

TEST(ZelstationSettings, AFileThatCannotBeReadIsNamed) {
    Settings s;
    std::string error;
    EXPECT_FALSE(zelstation::loadSettings("/nonexistent/zelstation.conf", s, error));
    EXPECT_EQ(error, "/nonexistent/zelstation.conf: cannot be read");
}

}  // namespace
