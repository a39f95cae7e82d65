// zeltool's daily module operations: switch an I/O output or a pneumatic
// valve, arm, clear and read the latch, start and acknowledge referencing,
// show a module's diagnostics, and listen to the messages a module sends
// on its own (latch and channel status) as they come.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/net.h"
#include "zeltool.h"

namespace zeltool {

namespace {

namespace net = zel::platform;

using Lines = std::vector<std::pair<std::string, std::string>>;

int printLines(const Options& options, const ZelModule& module, const Lines& lines) {
    const ModuleData d = const_cast<ZelModule&>(module).getModuleData();
    if (options.json()) {
        std::string out = "{\"address\": " + jsonText(d.ipAddress);
        for (const auto& [name, value] : lines) out += ", " + jsonText(name) + ": " + value;
        std::printf("%s}\n", out.c_str());
    } else {
        std::printf("%s %s (%s)\n", d.ipAddress, ZelModule::showModuleType(d.moduleId),
                    kindName(d).c_str());
        for (const auto& [name, value] : lines) {
            std::printf("  %-28s %s\n", name.c_str(), value.c_str());
        }
    }
    std::fflush(stdout);
    return kOk;
}

std::string number(double v, int decimals = 4) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string list(const long* values, int n) {
    std::string out = "[";
    for (int i = 0; i < n; ++i) out += (i ? ", " : "") + std::to_string(values[i]);
    return out + "]";
}

std::string list(const double* values, int n, int decimals = 4) {
    std::string out = "[";
    for (int i = 0; i < n; ++i) out += (i ? ", " : "") + number(values[i], decimals);
    return out + "]";
}

bool onOff(const std::string& text, bool& on) {
    if (text != "on" && text != "off") return false;
    on = text == "on";
    return true;
}

// A port for the module's messages, in the range a module accepts.
net::SocketHandle bindMessagePort(unsigned short& port) {
    const net::SocketHandle s = net::openUdpSocket();
    if (s == net::kInvalidSocket) return s;
    const unsigned start = 40000 + static_cast<unsigned>(std::rand() % 9000);
    for (unsigned p = start; p < 49151; ++p) {
        if (net::bindSocket(s, 0, static_cast<std::uint16_t>(p))) {
            port = static_cast<unsigned short>(p);
            return s;
        }
    }
    net::closeSocket(s);
    return net::kInvalidSocket;
}

}  // namespace

int io(const Options& options) {
    const long output = std::strtol(options.args[2].c_str(), nullptr, 10);
    bool on = false;
    if (output < 1 || output > 4 ||
        options.args[2].find_first_not_of("0123456789") != std::string::npos) {
        return usage(options, "OUTPUT is 1 to 4, not '" + options.args[2] + "'");
    }
    if (!onOff(options.args[3], on))
        return usage(options, "on or off, not '" + options.args[3] + "'");
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    auto* io = dynamic_cast<ZelIoModule*>(target.module);
    if (io == nullptr) return fail(options, kNotFound, "not an I/O module", options.args[1]);
    const ZelResults r = io->setOutput(static_cast<unsigned char>(output), on);
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    unsigned char outputs = 0;
    const ZelResults read = io->getOutputs(&outputs);
    if (!read.ok()) return fail(options, kFailed, read, options.args[1]);
    return printLines(options, *io,
                      {{"output " + std::to_string(output), on ? "\"on\"" : "\"off\""},
                       {"outputs", std::to_string(outputs & 0x0F)}});
}

int valve(const Options& options) {
    bool on = false;
    if (!onOff(options.args[2], on))
        return usage(options, "on or off, not '" + options.args[2] + "'");
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    auto* valve = dynamic_cast<ZelPneumaticModule*>(target.module);
    if (valve == nullptr)
        return fail(options, kNotFound, "not a pneumatic module", options.args[1]);
    const ZelResults r = valve->setOutput(on);
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    unsigned char state = 0;
    const ZelResults read = valve->getOutput(&state, COUNT_REQUEST_NORMAL);
    if (!read.ok()) return fail(options, kFailed, read, options.args[1]);
    return printLines(options, *valve, {{"valve", state != 0 ? "\"open\"" : "\"closed\""}});
}

int latch(const Options& options) {
    const std::string& what = options.args[2];
    LATCH_CHOICE choice = LATCH_CHOICE_NONE;
    if (what == "set") {
        if (options.args.size() != 4 || options.args[3].size() != 1 || options.args[3][0] < '0' ||
            options.args[3][0] > '4') {
            return usage(options, "latch set takes a CHOICE of 0 to 4");
        }
        choice = static_cast<LATCH_CHOICE>(options.args[3][0] - '0');
    } else if ((what != "clear" && what != "read") || options.args.size() != 3) {
        return usage(options, "latch takes set CHOICE, clear or read");
    }
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    ZelModule& m = *target.module;
    if (what != "read") {
        const ZelResults r = m.setLatch(what == "set" ? LATCH_SET : LATCH_CLEAR, choice);
        if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    }
    unsigned char latch[5] = {};
    const ZelResults r = m.getLatch(latch, 5);
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    const long values[5] = {latch[0], latch[1], latch[2], latch[3], latch[4]};
    return printLines(options, m,
                      {{"latch", std::to_string(latch[0])}, {"base inputs", list(values + 1, 4)}});
}

int reference(const Options& options) {
    const std::string& what = options.args[3];
    char* end = nullptr;
    const long channel = std::strtol(options.args[2].c_str(), &end, 10);
    if (options.args[2].empty() || *end != '\0' || channel < 0 || channel > 7) {
        return usage(options, "CHANNEL is 0 to 7, not '" + options.args[2] + "'");
    }
    REFERENCE_MARK_ENUM mark = REFERENCE_MARK_SINGLE;
    if (what == "start") {
        const std::string kind = options.args.size() > 4 ? options.args[4] : "single";
        if (kind != "single" && kind != "coded") return usage(options, "single or coded marks");
        mark = kind == "coded" ? REFERENCE_MARK_DISTANCE_CODED : REFERENCE_MARK_SINGLE;
    } else if ((what != "ack" && what != "state") || options.args.size() != 4) {
        return usage(options, "reference takes start [single|coded], ack or state");
    }
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const auto ch = static_cast<unsigned char>(channel);
    auto* vpp = dynamic_cast<Zel1VppModule*>(target.module);
    auto* ttl = dynamic_cast<ZelTtlModule*>(target.module);
    if (vpp == nullptr && ttl == nullptr) {
        return fail(options, kNotFound, "not a 1 Vpp or TTL module", options.args[1]);
    }
    ZelResults r;
    if (what == "start") {
        r = vpp ? vpp->initAbsolutePosition(ch, mark, 0) : ttl->initReferencing(ch, mark, 0);
    } else if (what == "ack") {
        r = vpp ? vpp->acknowledgeAbsolutePosition(ch) : ttl->acknowledgeReferencing(ch);
    }
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    REF_MARK_STATE state = REF_MARK_STATE_IDLE;
    r = vpp ? vpp->getReferencingState(ch, &state) : ttl->getReferencingState(ch, &state);
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    const char* names[] = {"\"idle\"", "\"searching\"", "\"found\""};
    return printLines(options, *target.module,
                      {{"channel", std::to_string(channel)},
                       {"referencing", state <= 2 ? names[state] : std::to_string(state)}});
}

int diag(const Options& options) {
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    ZelModule& m = *target.module;
    Lines lines;
    const unsigned short channels = std::min<unsigned short>(m.getNumChannels(), 8);
    ZelResults r;
    if (auto* kalix = dynamic_cast<ZelKalixModule*>(&m)) {
        for (unsigned short ch = 0; ch < channels && r.ok(); ++ch) {
            DeviceData d{};
            kalix->getDeviceData(&d, ch);
            if (d.measuringStep == 0) continue;
            KALIX_ERROR_RESULT errors[KALIX_ERROR_FLAGS], warnings[KALIX_WARNING_FLAGS];
            unsigned char bytes[KALIX_DIAG_BYTES] = {};
            r = kalix->getErrors(ch, errors, KALIX_ERROR_FLAGS);
            if (r.ok()) r = kalix->getWarnings(ch, warnings, KALIX_WARNING_FLAGS);
            if (r.ok()) r = kalix->getDiag(static_cast<unsigned char>(ch), bytes, KALIX_DIAG_BYTES);
            if (!r.ok()) break;
            long e[KALIX_ERROR_FLAGS], w[KALIX_WARNING_FLAGS], b[KALIX_DIAG_BYTES];
            for (int i = 0; i < KALIX_ERROR_FLAGS; ++i) e[i] = errors[i];
            for (int i = 0; i < KALIX_WARNING_FLAGS; ++i) w[i] = warnings[i];
            for (int i = 0; i < KALIX_DIAG_BYTES; ++i) b[i] = bytes[i];
            const std::string c = "ch " + std::to_string(ch) + " ";
            lines.push_back({c + "errors", list(e, KALIX_ERROR_FLAGS)});
            lines.push_back({c + "warnings", list(w, KALIX_WARNING_FLAGS)});
            lines.push_back({c + "diagnostics", list(b, KALIX_DIAG_BYTES)});
        }
    }
    if (auto* vpp = dynamic_cast<Zel1VppModule*>(&m); vpp != nullptr && r.ok()) {
        for (unsigned short ch = 0; ch < channels && r.ok(); ++ch) {
            double values[2] = {};
            r = vpp->getDiag(static_cast<unsigned char>(ch), values, 2);
            if (r.ok())
                lines.push_back({"ch " + std::to_string(ch) + " analog (V)", list(values, 2)});
        }
    }
    if (auto* analog = dynamic_cast<ZelAnalogModule*>(&m); analog != nullptr && r.ok()) {
        double values[ZEL_ANALOG_DIAG_VALUES] = {};
        r = analog->getDiagVoltages(values, ZEL_ANALOG_DIAG_VALUES);
        if (r.ok()) lines.push_back({"diagnostic values", list(values, ZEL_ANALOG_DIAG_VALUES)});
    }
    auto* device = dynamic_cast<ZelDeviceModule*>(&m);
    if (device != nullptr && r.ok()) {
        for (unsigned short ch = 0; ch < channels && r.ok(); ++ch) {
            unsigned char status = 0;
            r = device->getChannelStatus(static_cast<unsigned char>(ch), &status);
            if (r.ok())
                lines.push_back({"ch " + std::to_string(ch) + " status", std::to_string(status)});
        }
    }
    if (r.ok()) {
        unsigned long errors = 0;
        double values[14] = {};
        r = m.getIntegrity(&errors, values, 14);
        if (r.ok()) {
            lines.push_back({"integrity errors", std::to_string(errors)});
            lines.push_back({"integrity values", list(values, 14, 3)});
        }
    }
    if (r.ok()) {
        short adc[5] = {};
        r = m.getAdcValues(adc, 5);
        const long values[5] = {adc[0], adc[1], adc[2], adc[3], adc[4]};
        if (r.ok()) lines.push_back({"ADC values", list(values, 5)});
    }
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    return printLines(options, m, lines);
}

int listen(const Options& options) {
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    ZelModule& m = *target.module;
    const ModuleData d = m.getModuleData();
    unsigned short port = 0;
    const net::SocketHandle socket = bindMessagePort(port);
    if (socket == net::kInvalidSocket) {
        return fail(options, kFailed, "no free port for the module's messages (1024 to 49151)");
    }
    ZelResults r = m.setAsyncPort(&port);
    if (r.ok()) r = m.setAsyncMode(true);
    if (!r.ok()) {
        net::closeSocket(socket);
        return fail(options, kFailed, r, options.args[1]);
    }
    if (!options.json()) {
        std::fprintf(stderr, "zeltool: listening on port %u for %s's messages (Ctrl-C ends)\n",
                     port, d.ipAddress);
    }
    const std::uint32_t from = net::parseAddress(d.ipAddress);
    const auto start = std::chrono::steady_clock::now();
    long received = 0;
    while (interrupts() == 0 && (options.samples == 0 || received < options.samples)) {
        if (net::waitReadable(socket, 0, 100000) != net::Readiness::Ready) continue;
        char message[512] = {};
        net::Peer peer;
        const long n = net::receiveFrom(socket, message, sizeof(message) - 1, &peer);
        if (n < 3 || peer.address != from) continue;
        const double t =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const UdpCmdType type = ZelComm::getAsyncMsgType(message);
        std::string text;
        if (type == UDP_CMD_LATCH) {
            unsigned char latch[5] = {};
            if (!ZelComm::decodeLatchMsg(message, latch).ok()) continue;
            const long values[4] = {latch[1], latch[2], latch[3], latch[4]};
            text = options.json()
                       ? "\"latch\": " + std::to_string(latch[0]) +
                             ", \"base inputs\": " + list(values, 4)
                       : "latch " + std::to_string(latch[0]) + "  base inputs " + list(values, 4);
        } else {
            unsigned short channel = 0, status = 0;
            if (!ZelComm::decodeChannelStatusMsg(message, &channel, &status).ok()) continue;
            text = options.json()
                       ? "\"channel\": " + std::to_string(channel) +
                             ", \"status\": " + std::to_string(status)
                       : "channel " + std::to_string(channel) + " status " + std::to_string(status);
        }
        if (options.json()) {
            std::printf("{\"time\": %.3f, %s}\n", t, text.c_str());
        } else {
            std::printf("%.3f %s %s\n", t, d.ipAddress, text.c_str());
        }
        std::fflush(stdout);
        ++received;
    }
    net::closeSocket(socket);
    // The module stops sending once nobody listens.
    r = m.setAsyncMode(false);
    if (interrupts() > 0) return kInterrupted;
    if (!r.ok()) return fail(options, kFailed, r, options.args[1]);
    return kOk;
}

}  // namespace zeltool
