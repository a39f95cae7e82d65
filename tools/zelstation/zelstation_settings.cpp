// zelstation's settings file; see zelstation_settings.h.
#include "zelstation_settings.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "zel_rotation.h"

namespace zelstation {

namespace {

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    const std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool wholeNumber(const std::string& text, long long low, long long high, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && out >= low && out <= high;
}

bool yesNo(const std::string& text, bool& out) {
    if (text == "yes" || text == "true" || text == "on" || text == "1") {
        out = true;
        return true;
    }
    if (text == "no" || text == "false" || text == "off" || text == "0") {
        out = false;
        return true;
    }
    return false;
}

// A topic level must not hold a separator or a wildcard.
bool topicLevel(const std::string& text) {
    return !text.empty() && text.find_first_of("/+#") == std::string::npos;
}

// One key of a section: how to take its value, and what a wrong value is told.
struct Key {
    const char* expected;
    std::function<bool(const std::string&, Settings&)> take;
};

Key integer(const char* expected, long long low, long long high,
            std::function<void(Settings&, long long)> set) {
    return {expected, [=](const std::string& v, Settings& s) {
                long long n = 0;
                if (!wholeNumber(v, low, high, n)) return false;
                set(s, n);
                return true;
            }};
}

Key text(std::function<void(Settings&, const std::string&)> set) {
    return {"a text", [=](const std::string& v, Settings& s) {
                set(s, v);
                return true;
            }};
}

const std::map<std::string, std::map<std::string, Key>>& sections() {
    static const std::map<std::string, std::map<std::string, Key>> table = {
        {"station",
         {
             {"name",
              {"a name without '/', '+' or '#'",
               [](const std::string& v, Settings& s) {
                   if (!topicLevel(v)) return false;
                   s.station.name = v;
                   return true;
               }}},
             {"chain", text([](Settings& s, const std::string& v) { s.station.chain = v; })},
             {"rate",
              {"samples a second, 0.01 to 100000",
               [](const std::string& v, Settings& s) {
                   char* end = nullptr;
                   const double r = std::strtod(v.c_str(), &end);
                   if (v.empty() || *end != '\0' || !(r >= 0.01 && r <= 100000)) return false;
                   s.station.rateHz = r;
                   return true;
               }}},
             {"simulate",
              {"yes or no",
               [](const std::string& v, Settings& s) { return yesNo(v, s.station.simulate); }}},
             {"answer_timeout_ms", integer("milliseconds, 0 to 1000", 0, 1000,
                                           [](Settings& s, long long n) {
                                               s.station.answerTimeoutMs = static_cast<long>(n);
                                           })},
         }},
        {"record",
         {
             {"file", text([](Settings& s, const std::string& v) { s.record.file = v; })},
             {"rotate",
              {"a size (64k, 100M, 2G) or a duration (90s, 15min, 1h)",
               [](const std::string& v, Settings& s) {
                   s.record.rotateBytes = 0;
                   s.record.rotateSeconds = 0;
                   return zelRotationLimit(v, s.record.rotateBytes, s.record.rotateSeconds);
               }}},
         }},
        {"mqtt",
         {
             {"host",
              {"a host name or address",
               [](const std::string& v, Settings& s) {
                   if (v.empty()) return false;
                   s.mqtt.host = v;
                   s.mqttEnabled = true;
                   return true;
               }}},
             {"enabled",
              {"yes or no",
               [](const std::string& v, Settings& s) { return yesNo(v, s.mqttEnabled); }}},
             {"port", integer("a port, 1 to 65535", 1, 65535,
                              [](Settings& s, long long n) {
                                  s.mqtt.port = static_cast<unsigned short>(n);
                              })},
             {"client_id", text([](Settings& s, const std::string& v) { s.mqtt.clientId = v; })},
             {"topic_prefix",
              {"topic levels without '+' or '#'",
               [](const std::string& v, Settings& s) {
                   if (v.empty() || v.find_first_of("+#") != std::string::npos ||
                       v.front() == '/' || v.back() == '/')
                       return false;
                   s.mqtt.topicPrefix = v;
                   return true;
               }}},
             {"qos", integer("0, 1 or 2", 0, 2,
                             [](Settings& s, long long n) { s.mqtt.qos = static_cast<int>(n); })},
             {"keepalive_s",
              integer("seconds, 5 to 3600", 5, 3600,
                      [](Settings& s, long long n) { s.mqtt.keepaliveS = static_cast<int>(n); })},
             {"batch_samples", integer("samples, 1 to 10000", 1, 10000,
                                       [](Settings& s, long long n) {
                                           s.mqtt.batchSamples = static_cast<std::size_t>(n);
                                       })},
             {"batch_interval_ms", integer("milliseconds, 0 to 60000", 0, 60000,
                                           [](Settings& s, long long n) {
                                               s.mqtt.batchIntervalMs = static_cast<long>(n);
                                           })},
             {"ca_file", text([](Settings& s, const std::string& v) { s.mqtt.caFile = v; })},
             {"ca_path", text([](Settings& s, const std::string& v) { s.mqtt.caPath = v; })},
             {"cert_file", text([](Settings& s, const std::string& v) { s.mqtt.certFile = v; })},
             {"key_file", text([](Settings& s, const std::string& v) { s.mqtt.keyFile = v; })},
             {"user", text([](Settings& s, const std::string& v) { s.mqtt.user = v; })},
             {"password", text([](Settings& s, const std::string& v) { s.mqtt.password = v; })},
             {"backlog_file",
              text([](Settings& s, const std::string& v) { s.mqtt.backlogFile = v; })},
             {"backlog_samples", integer("samples, 100 to 100000000", 100, 100000000,
                                         [](Settings& s, long long n) {
                                             s.mqtt.backlogSamples =
                                                 static_cast<unsigned long long>(n);
                                         })},
             {"inflight", integer("batches, 1 to 1000", 1, 1000,
                                  [](Settings& s, long long n) {
                                      s.mqtt.inflight = static_cast<std::size_t>(n);
                                  })},
         }},
        {"http",
         {
             {"enabled",
              {"yes or no",
               [](const std::string& v, Settings& s) { return yesNo(v, s.http.enabled); }}},
             {"listen",
              {"ADDRESS:PORT (a numeric address; port 0: a free one, told at the start)",
               [](const std::string& v, Settings& s) {
                   const std::size_t colon = v.rfind(':');
                   long long port = 0;
                   if (colon == std::string::npos || colon == 0 ||
                       !wholeNumber(v.substr(colon + 1), 0, 65535, port))
                       return false;
                   std::string address = v.substr(0, colon);
                   if (address.size() > 2 && address.front() == '[' && address.back() == ']')
                       address = address.substr(1, address.size() - 2);
                   s.http.address = address;
                   s.http.port = static_cast<unsigned short>(port);
                   return true;
               }}},
             {"token", text([](Settings& s, const std::string& v) { s.http.token = v; })},
         }},
    };
    return table;
}

}  // namespace

bool parseSettings(const std::string& text, const std::string& origin, Settings& out,
                   std::string& error) {
    Settings s;
    std::istringstream in(text);
    std::string line;
    std::string section;
    int number = 0;
    auto wrong = [&](const std::string& what) {
        error = origin + ":" + std::to_string(number) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t[0] == '[') {
            if (t.back() != ']') return wrong("a section header ends with ']'");
            section = trim(t.substr(1, t.size() - 2));
            if (sections().count(section) == 0) {
                return wrong("no section [" + section +
                             "] (there are [station], [record], [mqtt] and [http])");
            }
            continue;
        }
        const std::size_t eq = t.find('=');
        if (eq == std::string::npos) return wrong("expected 'key = value', found '" + t + "'");
        const std::string key = trim(t.substr(0, eq));
        const std::string value = trim(t.substr(eq + 1));
        if (section.empty()) return wrong("'" + key + "' stands before any [section]");
        const auto& keys = sections().at(section);
        const auto k = keys.find(key);
        if (k == keys.end()) return wrong("[" + section + "] has no key '" + key + "'");
        if (!k->second.take(value, s)) {
            return wrong(key + " = '" + value + "': expected " + k->second.expected);
        }
    }
    if (s.station.chain.empty() && !s.station.simulate) {
        error = origin + ": [station] needs 'chain = FILE' (or 'simulate = yes')";
        return false;
    }
    if (s.mqtt.clientId.empty()) s.mqtt.clientId = "zelstation-" + s.station.name;
    s.mqtt.station = s.station.name;
    out = s;
    return true;
}

bool loadSettings(const std::string& path, Settings& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseSettings(text.str(), path, out, error);
}

}  // namespace zelstation
