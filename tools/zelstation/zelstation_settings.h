// zelstation's settings file: a small INI-like text, one `key = value` a
// line under `[section]` headers, `#` or `;` starting a comment line.
// docs/station-service.md lists every key. A section of the service is one
// struct here; a new section gets its struct, its member in Settings and
// its branch in parseSettings (see the [http] section).
#ifndef ZEL_TOOLS_ZELSTATION_SETTINGS_H
#define ZEL_TOOLS_ZELSTATION_SETTINGS_H

#include <string>

#include "station/zel_mqtt_options.h"

namespace zelstation {

struct StationSettings {
    std::string name = "station";  // the station's name in topics and payloads
    std::string chain;             // the configuration file (empty: with simulate only)
    double rateHz = 100.0;
    // Run against a simulated chain of the configuration file (or of the
    // built-in sample chain when no file is given) on loopback.
    bool simulate = false;
    long answerTimeoutMs = 0;  // 0: the engine's default
};

struct RecordSettings {
    std::string file;  // empty: no recording
    unsigned long long rotateBytes = 0;
    long long rotateSeconds = 0;
};

// Where the live page and its API listen (served by the web part).
struct HttpSettings {
    std::string address = "127.0.0.1";
    unsigned short port = 8480;
    std::string token;  // empty: read-only
    bool enabled = true;
};

struct Settings {
    StationSettings station;
    RecordSettings record;
    bool mqttEnabled = false;  // a [mqtt] section with a host
    ZelMqttOptions mqtt;
    HttpSettings http;
};

// Reads the settings from `text` (what a file named `origin` holds). False
// with `error` naming the origin, the line and what is wrong with it.
bool parseSettings(const std::string& text, const std::string& origin, Settings& out,
                   std::string& error);
// Reads a file; false with `error` when it cannot be read or is wrong.
bool loadSettings(const std::string& path, Settings& out, std::string& error);

}  // namespace zelstation

#endif  // ZEL_TOOLS_ZELSTATION_SETTINGS_H
