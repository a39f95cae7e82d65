// zelstation: a station's chain run as a long-running service: sampled at
// its rate, recorded, published to an MQTT broker with store and forward,
// and stopped on SIGTERM or SIGINT without losing what was acquired.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zel_version.h"
#include "zelstation_service.h"
#include "zelstation_settings.h"

namespace {

std::atomic<int> stopRequests{0};

void onStop(int) { stopRequests.fetch_add(1); }

struct OptionSpec {
    const char* name;
    const char* value;  // null: a flag
    const char* help;
};

const OptionSpec kOptions[] = {
    {"--settings", "FILE", "the settings file (see zelstation(1) and docs/station-service.md)"},
    {"--simulate", "[=CHAIN]",
     "run against a simulated chain on loopback: of the configuration file CHAIN, of the "
     "settings' chain, or of the built-in sample chain of 8 modules"},
    {"--rate", "HZ", "samples a second (overrides the settings)"},
    {"--record", "FILE", "record the samples to FILE (overrides the settings)"},
    {"--mqtt", "HOST[:PORT]", "publish to the broker at HOST (overrides the settings)"},
    {"--name", "NAME", "the station's name in the topics (overrides the settings)"},
    {"--sim-control", "PORT", "take the simulated chain's control commands on 127.0.0.1:PORT"},
    {"--drain", "SECONDS", "how long a stop waits for the broker to take the backlog (5)"},
    {"--check", nullptr, "read the settings, tell what is wrong, and exit"},
    {"--help", nullptr, "this text"},
    {"--version", nullptr, "the version"},
    {"--manpage", nullptr, "the manual page (roff)"},
};

const char* const kDescription =
    "zelstation runs one chain from its configuration file: every measuring module is sampled "
    "at a fixed rate, modules that drop out are supervised and their settings restored when "
    "they come back, the samples are recorded (optionally) and published to an MQTT broker in "
    "batches, with the station's and each module's state as retained messages. While the "
    "broker cannot be reached the batches wait in a bounded backlog on disk and go out in "
    "order when it returns. SIGTERM or SIGINT stops the sampling, hands every record taken to "
    "the recording and the broker (or the backlog), and exits 0.";

void printHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: zelstation --settings FILE [options]\n       zelstation --simulate "
                 "[options]\n\n%s\n\noptions:\n",
                 kDescription);
    for (const OptionSpec& o : kOptions) {
        const std::string left = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        std::fprintf(out, "  %-22s %s\n", left.c_str(), o.help);
    }
    std::fprintf(out,
                 "\nexit status: 0 stopped cleanly, 1 the chain or a consumer failed, 2 wrong "
                 "command line, 3 wrong settings or configuration file\n");
}

std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '-' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

void printManPage() {
    std::printf(".TH ZELSTATION 1 \"\" \"zelstation %s\" \"User Commands\"\n", ZEL_VERSION_TEXT);
    std::printf(
        ".SH NAME\nzelstation \\- a measuring station's chain as a service, published over MQTT\n");
    std::printf(
        ".SH SYNOPSIS\n.B zelstation\n\\-\\-settings FILE [options]\n.br\n.B "
        "zelstation\n\\-\\-simulate [options]\n");
    std::printf(".SH DESCRIPTION\n%s\n.SH OPTIONS\n", roff(kDescription).c_str());
    for (const OptionSpec& o : kOptions) {
        std::printf(".TP\n.B %s%s\n%s\n", roff(o.name).c_str(),
                    o.value ? (" " + roff(o.value)).c_str() : "", roff(o.help).c_str());
    }
    std::printf(
        ".SH SETTINGS\nAn INI-like file: sections [station] (name, chain, rate, simulate, "
        "answer_timeout_ms), [record] (file, rotate), [mqtt] (host, port, client_id, "
        "topic_prefix, qos, keepalive_s, batch_samples, batch_interval_ms, ca_file, ca_path, "
        "cert_file, key_file, user, password, backlog_file, backlog_samples, inflight) and "
        "[http] (enabled, listen, token). The Debian package installs "
        "/etc/zelstation/zelstation.conf and the unit zelstation.service.\n"
        ".SH TOPICS\nPREFIX/NAME/samples (batches), PREFIX/NAME/state (retained, last will "
        "\"offline\"), PREFIX/NAME/module/POSITION/state (retained).\n"
        ".SH EXIT STATUS\n0 stopped cleanly, 1 the chain or a consumer failed, 2 wrong command "
        "line, 3 wrong settings or configuration file.\n.SH SEE ALSO\nzeltool(1), "
        "mosquitto_sub(1)\n");
}

int usage(const std::string& text) {
    std::fprintf(stderr, "zelstation: %s (see zelstation --help)\n", text.c_str());
    return zelstation::kUsage;
}

bool number(const std::string& text, double low, double high, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
    std::string settingsFile, rate, record, mqtt, name, simControl, drain;
    std::string simulate;
    bool simulateAsked = false, checkOnly = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string value;
        const std::size_t eq = a.find('=');
        const bool hasValue = a.rfind("--", 0) == 0 && eq != std::string::npos;
        if (hasValue) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
        }
        if (a == "--help" || a == "-h") {
            printHelp(stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("zelstation %s\n", ZEL_VERSION_TEXT);
            return 0;
        }
        if (a == "--manpage") {
            printManPage();
            return 0;
        }
        if (a == "--check") {
            checkOnly = true;
            continue;
        }
        if (a == "--simulate") {
            simulateAsked = true;
            simulate = value;
            continue;
        }
        std::string* target = a == "--settings"      ? &settingsFile
                              : a == "--rate"        ? &rate
                              : a == "--record"      ? &record
                              : a == "--mqtt"        ? &mqtt
                              : a == "--name"        ? &name
                              : a == "--sim-control" ? &simControl
                              : a == "--drain"       ? &drain
                                                     : nullptr;
        if (target == nullptr) return usage("unknown option '" + a + "'");
        if (!hasValue) {
            if (i + 1 >= argc) return usage(a + " needs a value");
            value = argv[++i];
        }
        *target = value;
    }

    zelstation::Settings settings;
    std::string error;
    if (!settingsFile.empty()) {
        // The settings' own chain is needed unless --simulate gives one.
        std::string text;
        if (!zelstation::loadSettings(settingsFile, settings, error)) {
            const bool onlyChainMissing =
                simulateAsked && error.find("needs 'chain = FILE'") != std::string::npos;
            if (!onlyChainMissing) {
                std::fprintf(stderr, "zelstation: %s\n", error.c_str());
                return zelstation::kSettingsInvalid;
            }
        }
    } else if (!simulateAsked) {
        return usage("give --settings FILE, or --simulate to run on a simulated chain");
    }
    if (simulateAsked) {
        settings.station.simulate = true;
        if (!simulate.empty()) settings.station.chain = simulate;
    }
    if (settings.station.simulate && settingsFile.empty() && simulate.empty())
        settings.station.chain.clear();
    double n = 0;
    if (!rate.empty()) {
        if (!number(rate, 0.01, 100000, n))
            return usage("--rate takes 0.01 to 100000 samples a second");
        settings.station.rateHz = n;
    }
    if (!record.empty()) settings.record.file = record;
    if (!name.empty()) {
        if (name.find_first_of("/+#") != std::string::npos)
            return usage("--name takes no '/', '+' or '#'");
        settings.station.name = name;
        settings.mqtt.station = name;
        settings.mqtt.clientId = "zelstation-" + name;
    }
    if (!mqtt.empty()) {
        const std::size_t colon = mqtt.rfind(':');
        settings.mqtt.host = mqtt.substr(0, colon);
        if (colon != std::string::npos) {
            if (!number(mqtt.substr(colon + 1), 1, 65535, n))
                return usage("--mqtt takes HOST[:PORT]");
            settings.mqtt.port = static_cast<unsigned short>(n);
        }
        if (settings.mqtt.host.empty()) return usage("--mqtt takes HOST[:PORT]");
        settings.mqttEnabled = true;
    }
    zelstation::RunOptions run;
    if (!simControl.empty()) {
        if (!number(simControl, 0, 65535, n)) return usage("--sim-control takes a port");
        if (!settings.station.simulate) return usage("--sim-control goes with a simulated chain");
        run.simControl = static_cast<int>(n);
    }
    if (!drain.empty()) {
        if (!number(drain, 0, 3600, n)) return usage("--drain takes 0 to 3600 seconds");
        run.drainMs = static_cast<long>(n * 1000);
    }
    if (checkOnly) {
        std::printf("zelstation: the settings are good\n");
        return 0;
    }

    struct sigaction stop {};
    stop.sa_handler = onStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGHUP, SIG_IGN);

    zelstation::Service service(settings, run);
    if (int s = service.start()) return s;
    return service.run(stopRequests);
}
