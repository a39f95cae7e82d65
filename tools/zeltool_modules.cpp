// zeltool: the subcommands that talk to modules.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "platform/net.h"
#include "zeltool.h"
// The C header after the classes' headers, whose enumerations it reuses.
#include "capi/zel_capi.h"

namespace zeltool {

// ---- Watch ----------------------------------------------------------------------

long long nowUs() { return zel::platform::monotonicMicroseconds(); }

Watch::Watch(const Options& options)
    : options_(options),
      wanted_(options.watch ? options.samples : 1),
      periodUs_(static_cast<long long>(std::llround(1e6 / options.rate))),
      startUs_(nowUs()) {
    if (periodUs_ < 1) periodUs_ = 1;
}

bool Watch::more() const { return interrupts() == 0 && (wanted_ == 0 || taken_ < wanted_); }

double Watch::seconds(long long us) const { return static_cast<double>(us - startUs_) / 1e6; }

void Watch::failedAt(const std::string& about) {
    ++failed_;
    lastFailure_ = about;
}

bool Watch::next() {
    ++taken_;
    if (!options_.watch) return false;
    ++slot_;
    long long due = startUs_ + slot_ * periodUs_;
    const long long now = nowUs();
    if (now >= due + periodUs_) {
        // Late by whole periods: those rounds are lost, not bunched up.
        const long long skipped = (now - due) / periodUs_;
        skipped_ += skipped;
        unreported_ += skipped;
        slot_ += skipped;
        due = startUs_ + slot_ * periodUs_;
        if (lastReportUs_ == 0 || now - lastReportUs_ >= 1000000) {
            char at[32];
            std::snprintf(at, sizeof at, "%.3f", seconds(due));
            const std::string text = "missed the sample times of " + std::to_string(unreported_) +
                                     " sample(s) before t = " + at + " s (" +
                                     std::to_string(skipped_) +
                                     " so far); the samples keep their pace";
            if (options_.json())
                std::fprintf(stderr, "{\"warning\": %s}\n", jsonText(text).c_str());
            else
                std::fprintf(stderr, "zeltool: %s\n", text.c_str());
            unreported_ = 0;
            lastReportUs_ = now;
        }
    }
    while (interrupts() == 0 && nowUs() < due) {
        const long long left = due - nowUs();
        std::this_thread::sleep_for(std::chrono::microseconds(left < 20000 ? left : 20000));
    }
    return true;
}

int Watch::finish(long readsPerRound) const {
    if (options_.watch && failed_ > 0) {
        std::fprintf(stderr, "zeltool: %ld of %ld module reads failed (the last at %s)\n", failed_,
                     taken_ * readsPerRound, lastFailure_.c_str());
    }
    if (skipped_ > 0)
        std::fprintf(stderr, "zeltool: %lld sample time(s) missed in all\n", skipped_);
    if (interrupts() > 0) return kInterrupted;
    return failed_ > 0 ? kFailed : kOk;
}

namespace {

namespace net = zel::platform;

constexpr int kMaxModules = 64;
constexpr long kLibraryTimeoutMs = 800;  // the library's default answer time-out

bool isAddress(const std::string& text) { return text.find('.') != std::string::npos; }

bool interrupted() { return interrupts() > 0; }

// When simulating, only the simulated chain may be touched: an address
// outside its subnet could be real hardware.
std::string outsideSimulation(const Options& options, const std::string& address) {
    if (options.simulatedSubnet == 0) return "";
    const std::uint32_t a = addressValue(address);
    const std::uint32_t subnet = 0x7F000000u | static_cast<std::uint32_t>(options.simulatedSubnet)
                                                   << 16;
    if ((a & 0xFFFF0000u) == subnet) return "";
    return address + " lies outside the simulated chain (127." +
           std::to_string(options.simulatedSubnet) +
           ".0.0/16); give --local-ip to work on a real network";
}

// The library's first contact waits 5 s for the connect answer; the tool
// first asks for the configuration with the user's time-out and retries,
// so an absent module is reported as such, and quickly.
bool answers(const Options& options, const std::string& address) {
    const net::SocketHandle socket = net::openUdpSocket();
    if (socket == net::kInvalidSocket) return true;  // let the library report it
    const std::uint32_t ip = net::parseAddress(address.c_str());
    const long timeoutMs = options.timeoutMs >= 0 ? options.timeoutMs : kLibraryTimeoutMs;
    const int attempts = 1 + (options.retries >= 0 ? options.retries : 0);
    const unsigned char request[3] = {UDP_CMD_GET_CONFIG, 0, 0};
    bool answered = false;
    for (int i = 0; i < attempts && !answered && !interrupted(); ++i) {
        if (net::sendTo(socket, request, sizeof(request), ip, 27015) < 0) break;
        const long long deadline = net::monotonicMicroseconds() + timeoutMs * 1000LL;
        for (long long left = timeoutMs * 1000LL; left > 0 && !answered;
             left = deadline - net::monotonicMicroseconds()) {
            if (net::waitReadable(socket, static_cast<long>(left / 1000000),
                                  static_cast<long>(left % 1000000)) != net::Readiness::Ready) {
                break;
            }
            unsigned char answer[512];
            net::Peer from;
            answered = net::receiveFrom(socket, answer, sizeof(answer), &from) > 0 &&
                       from.address == ip && from.port == 27015;
        }
    }
    net::closeSocket(socket);
    return answered;
}

int openByAddress(const Options& options, const std::string& ip, Target& target) {
    if (const std::string p = outsideSimulation(options, ip); !p.empty()) return usage(options, p);
    if (!answers(options, ip)) {
        if (interrupted()) return kInterrupted;
        const long timeoutMs = options.timeoutMs >= 0 ? options.timeoutMs : kLibraryTimeoutMs;
        const int attempts = 1 + (options.retries >= 0 ? options.retries : 0);
        return fail(options, kNotFound,
                    "no module answers at " + ip + ":27015 (" + std::to_string(attempts) +
                        " attempt(s) of " + std::to_string(timeoutMs) +
                        " ms; more with --timeout and --retries)",
                    ip);
    }
    ZelModule probe;
    applyExchangeSettings(options, probe);
    ZelResults r = probe.initializeModule(ip.c_str(), false);
    if (!r.ok()) return fail(options, kFailed, r, ip);
    target.own = makeModule(probe.getModuleData().moduleId);
    applyExchangeSettings(options, *target.own);
    r = target.own->initializeModule(ip.c_str(), false);
    if (!r.ok()) return fail(options, kFailed, r, ip);
    target.module = target.own.get();
    return kOk;
}

// A bind failure says which address and port, and why when it can tell.
int chainFailure(const Options& options, const ZelResults& result) {
    ZelResults r = result;
    if (r.getCode() == ZEL_UDP_BIND_FAILED) {
        const net::SocketHandle s = net::openUdpSocket();
        const bool ours = s != net::kInvalidSocket &&
                          net::bindSocket(s, net::parseAddress(options.localIp.c_str()), 0);
        net::closeSocket(s);
        const std::string where = options.localIp + ":" + std::to_string(options.port);
        return fail(
            options, kFailed,
            "cannot bind " + where + ": " +
                (ours ? "the port is in use (try another --port, or 0)"
                      : options.localIp + " is not an address of this machine (see --local-ip)"),
            "", r.getCode(), r.getMethod());
    }
    return fail(options, kFailed, r);
}

// Runs `work` on a thread of its own while this one looks for Ctrl-C every
// 20 ms (calling `poll` too): discovery and ordering wait seconds inside the
// library and cannot be cut short, so an interrupt ends the process at once.
void interruptible(const std::function<void()>& work, const std::function<void()>& poll,
                   const std::function<std::string()>& leftBehind) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        if (interrupted()) {
            const std::string note = leftBehind ? leftBehind() : "";
            std::fflush(stdout);
            std::fprintf(stderr, "zeltool: interrupted%s%s\n", note.empty() ? "" : "; ",
                         note.c_str());
            std::fflush(stderr);
            ZelCapture::stop();
            std::_Exit(kInterrupted);
        }
        if (poll) poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
}

// Orders the chain, telling the stages on stderr unless the output is for a program.
ZelResults createChain(const Options& options, ZelInterface& chain) {
    int last = -1;
    ZelResults r;
    interruptible(
        [&] {
            r = chain.createChain(options.localIp.c_str(), options.port, false,
                                  options.netmask.c_str());
        },
        [&] {
            const int state = chain.getChainCreationState();
            if (state != last && options.output == Output::Text) {
                if (state == ZEL_CHAIN_DISCOVERING) {
                    std::fprintf(stderr, "zeltool: discovering modules from %s (5 s)...\n",
                                 options.localIp.c_str());
                }
                if (state == ZEL_CHAIN_ORDERING)
                    std::fprintf(stderr, "zeltool: ordering the chain...\n");
            }
            last = state;
        },
        [&]() -> std::string {
            return last == ZEL_CHAIN_ORDERING
                       ? "a module may keep its right output on until the chain is ordered again"
                       : "";
        });
    return r;
}

int openChain(const Options& options, ZelInterface& chain) {
    ZelResults r = createChain(options, chain);
    if (interrupted()) return kInterrupted;
    return r.ok() ? kOk : chainFailure(options, r);
}

// ---- Readings ------------------------------------------------------------------

enum class Shown { Number, Count, SignedCount, Switch };
// What a reading carries besides its value.
enum class Extra { None, Turn, Raw };

// One value of a module: every surface (text, CSV, JSON; read, read all,
// chain) shows the same reading of a channel in the same unit.
struct Reading {
    std::string name;  // "ch 0", "input 3", ...
    double value = 0.0;
    std::string unit;
    Shown shown = Shown::Number;
    Extra extra = Extra::None;
    long extraValue = 0;  // the turn of a Kalix rotary channel, the raw LVDT reading
};

std::string valueText(const Reading& r) {
    char text[64];
    switch (r.shown) {
        case Shown::Switch:
            return r.value != 0.0 ? "on" : "off";
        case Shown::Count:
            std::snprintf(text, sizeof text, "%.0f", r.value);
            return text;
        case Shown::SignedCount: {
            // A linear channel's 32-bit count runs below zero.
            const auto raw = static_cast<std::uint32_t>(static_cast<long long>(r.value));
            std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(raw));
            return text;
        }
        case Shown::Number:
            break;
    }
    std::snprintf(text, sizeof text, "%.4f", r.value);
    if (std::strcmp(text, "-0.0000") == 0) return "0.0000";
    return text;
}

std::string unitText(const Reading& r) { return r.shown == Shown::Switch ? "" : r.unit; }

// The turn of a Kalix rotary channel, for the CSV column of its own.
std::string turnText(const Reading& r) {
    return r.extra == Extra::Turn ? std::to_string(r.extraValue) : "";
}

// "12.5000 mm", "210.2344 deg (turn 3)": a reading in a line of text.
std::string readingText(const Reading& r) {
    std::string text = valueText(r);
    if (!unitText(r).empty()) text += " " + unitText(r);
    if (r.extra == Extra::Turn) text += " (turn " + std::to_string(r.extraValue) + ")";
    return text;
}

}  // namespace

namespace {

// The readings a module gives, named and with their units but without
// values: what its columns are, known before anything is read. A measuring
// kind's come from its row: the names and units of its snapshot's values.
// A value in counts shows as a whole number (signed on a linear encoder
// channel, whose 32-bit count runs below zero), except where the kind can
// read the sensor's voltage instead: a channel without a resolution then
// reads in volts, never in a unit no resolution was set for.
std::vector<Reading> layoutOf(ZelModule& module) {
    std::vector<Reading> out;
    const MODULE_ID id = module.getModuleData().moduleId;
    const zel::kinds::Row* row = zel::kinds::rowOf(id);
    if (row != nullptr && row->units != nullptr) {
        const char* units[zel::kinds::kSampleCapacity] = {};
        const unsigned short n = row->units(module, units);
        auto* encoder = zel::identity::has(id, &zel::identity::KindInfo::encoder)
                            ? dynamic_cast<ZelDeviceModule*>(&module)
                            : nullptr;
        for (unsigned short v = 0; v < n; ++v) {
            Reading r{zel::kinds::valueName(*row, v), 0.0, units[v]};
            if (r.unit == "counts" && row->rawVoltage != nullptr) {
                r.unit = "V";
                r.extra = Extra::Raw;
            } else if (r.unit == "counts") {
                EncoderInfo info;
                if (encoder != nullptr) encoder->getEncoderInfo(&info, v);
                r.shown = encoder != nullptr && info.encoderType == ENCODER_TYPE_ROTARY
                              ? Shown::Count
                              : Shown::SignedCount;
            } else if (row->turns && r.unit == "deg") {
                r.extra = Extra::Turn;
            }
            out.push_back(r);
        }
    } else if (dynamic_cast<ZelPneumaticModule*>(&module) != nullptr) {
        out.push_back({"valve", 0.0, "", Shown::Switch});
    } else if (dynamic_cast<ZelIoModule*>(&module) != nullptr) {
        for (const char* kind : {"input ", "output "}) {
            for (int bit = 1; bit <= 4; ++bit)
                out.push_back({kind + std::to_string(bit), 0.0, "", Shown::Switch});
        }
    } else {
        for (int i = 0; i < 5; ++i)
            out.push_back({"adc " + std::to_string(i), 0.0, "raw", Shown::Count});
    }
    return out;
}

// The voltages of the channels that read in volts (one exchange each).
ZelResults readRawVoltages(ZelModule& module, std::vector<Reading>& readings) {
    const zel::kinds::Row* row = zel::kinds::rowOf(module.getModuleData().moduleId);
    for (unsigned short c = 0; c < readings.size(); ++c) {
        if (readings[c].extra != Extra::Raw || row == nullptr || row->rawVoltage == nullptr)
            continue;
        ZelResults r = row->rawVoltage(module, c, &readings[c].value, &readings[c].extraValue);
        if (!r.ok()) return r;
    }
    return ZelResults();
}

// A module that runs only its bootloader has no firmware to read from.
bool runsOnlyBootloader(ZelModule& module) {
    const ModuleData d = module.getModuleData();
    return kindName(d) != kindName(d.moduleId);
}

// The readings of one module's part of a snapshot: the snapshot's values
// and turns, and the voltage of each channel that reads in volts (asked
// right after).
ZelResults sampleReadings(const ZelChainSample& s, std::vector<Reading>& out) {
    out = layoutOf(*s.module);
    ZelResults r = s.result;
    if (!r.ok()) return r;
    for (std::size_t i = 0; i < out.size() && i < 8; ++i) {
        out[i].value = s.values[i];
        if (out[i].extra == Extra::Turn) out[i].extraValue = s.revolutions[i];
    }
    return readRawVoltages(*s.module, out);
}

// Reads the module once into `out`, laid out as layoutOf says. A measuring
// module is read as a snapshot of itself alone: one counts request, its
// answer decoded by its kind's row as a chain's snapshot decodes it.
ZelResults readModule(ZelModule& module, std::vector<Reading>& out) {
    out = layoutOf(module);
    if (runsOnlyBootloader(module)) return ZelResults(ZEL_FIRMWARE_NOT_LOADED, "zeltool", 0);
    if (isMeasuring(module.getModuleData().moduleId)) {
        ZelModule* const alone[] = {&module};
        ZelChainSampler sampler(alone, 1);
        // Its result is the record's, which sampleReadings returns.
        (void)sampler.sample();
        return sampleReadings(sampler.at(0), out);
    }
    ZelResults r;
    if (auto* valve = dynamic_cast<ZelPneumaticModule*>(&module)) {
        unsigned char state = 0;
        r = valve->getOutput(&state, COUNT_REQUEST_NORMAL);
        out[0].value = state != 0 ? 1.0 : 0.0;
    } else if (auto* io = dynamic_cast<ZelIoModule*>(&module)) {
        unsigned char inputs = 0, outputs = 0;
        r = io->getInputs(&inputs);
        if (r.ok()) r = io->getOutputs(&outputs);
        for (int bit = 0; bit < 4; ++bit) {
            out[bit].value = (inputs >> bit) & 1;
            out[4 + bit].value = (outputs >> bit) & 1;
        }
    } else {
        short adc[5] = {};
        r = module.getAdcValues(adc, 5);
        for (int i = 0; i < 5; ++i) out[i].value = adc[i];
    }
    return r;
}

std::string readingsJson(const std::vector<Reading>& readings);

// read all: one line per snapshot of every measuring module of the chain.
// The columns are fixed before the first snapshot; a module whose read
// failed keeps its place (empty in CSV, an error in JSON and text).
int readAll(const Options& options, ZelInterface& chain) {
    for (unsigned short i = 0; i < chain.getNumModules(); ++i)
        applyExchangeSettings(options, *chain.getModule(i));
    ZelChainSampler sampler(chain);
    if (sampler.size() == 0) return fail(options, kNotFound, "the chain holds no measuring module");
    if (options.csv()) {
        std::string header = "time";
        for (unsigned short i = 0; i < sampler.size(); ++i) {
            const std::string position = std::to_string(sampler.at(i).position);
            for (const Reading& r : layoutOf(*sampler.at(i).module)) {
                header += "," + csvText(position + " " + r.name +
                                        (unitText(r).empty() ? "" : " (" + unitText(r) + ")"));
                if (r.extra == Extra::Turn)
                    header += "," + csvText(position + " " + r.name + " turn");
            }
        }
        std::printf("%s\n", header.c_str());
    }
    Watch watch(options);
    while (watch.more()) {
        const long long started = nowUs();
        // Each module's outcome is its record's, shown with its readings.
        (void)sampler.sample();
        if (interrupted()) break;
        // The snapshot's time: when its first request went out.
        long long sent = 0;
        for (unsigned short i = 0; i < sampler.size(); ++i) {
            const long long s = sampler.at(i).sentUs;
            if (s > 0 && (sent == 0 || s < sent)) sent = s;
        }
        char time[32];
        std::snprintf(time, sizeof time, "%.3f", watch.seconds(sent > 0 ? sent : started));
        std::string line;
        if (options.json())
            line = std::string("{\"time\": ") + time + ", \"modules\": [";
        else if (options.csv())
            line = time;
        else
            line = std::string("t = ") + time + " s";
        bool failed = false;
        for (unsigned short i = 0; i < sampler.size(); ++i) {
            const ZelChainSample& s = sampler.at(i);
            std::vector<Reading> readings;
            ZelResults r = sampleReadings(s, readings);
            if (!r.ok()) {
                const std::string about = s.module->getModuleData().ipAddress;
                watch.failedAt(about);
                fail(options, kFailed, r, about);
                failed = true;
            }
            if (options.json()) {
                line += std::string(i ? ", " : "") +
                        "{\"position\": " + std::to_string(s.position) +
                        ", \"address\": " + jsonText(s.module->getModuleData().ipAddress);
                line += r.ok() ? ", \"values\": " + readingsJson(readings) + "}"
                               : ", \"error\": " + jsonText(ZelResults::showRespCode(r.getCode())) +
                                     "}";
            } else if (options.csv()) {
                for (const Reading& reading : readings) {
                    line += "," + (r.ok() ? valueText(reading) : "");
                    if (reading.extra == Extra::Turn)
                        line += "," + (r.ok() ? turnText(reading) : "");
                }
            } else {
                line += "  [" + std::to_string(s.position) + "]";
                if (!r.ok()) {
                    line += std::string(" ") + ZelResults::showRespCode(r.getCode());
                    continue;
                }
                for (const Reading& reading : readings) line += " " + readingText(reading);
            }
        }
        if (options.json()) line += "]}";
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        if (failed && (options.stopOnError || !options.watch)) {
            watch.finish(sampler.size());
            return kFailed;
        }
        if (!watch.next()) break;
    }
    return watch.finish(sampler.size());
}

std::string jsonValue(const Reading& r) {
    if (r.shown == Shown::Switch) return r.value != 0.0 ? "true" : "false";
    return valueText(r);
}

std::string readingsJson(const std::vector<Reading>& readings) {
    std::string out = "[";
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        out += (i ? ", " : "") + std::string("{\"name\": ") + jsonText(r.name) +
               ", \"value\": " + jsonValue(r);
        if (!unitText(r).empty()) out += ", \"unit\": " + jsonText(r.unit);
        if (r.extra == Extra::Raw) out += ", \"raw\": " + std::to_string(r.extraValue);
        if (r.extra == Extra::Turn) out += ", \"turns\": " + std::to_string(r.extraValue);
        out += "}";
    }
    return out + "]";
}

// One sample of one module: `position` < 0 when it was named by address.
void printSample(const Options& options, ZelModule& module, int position,
                 const std::vector<Reading>& readings, double seconds, bool header) {
    const ModuleData& d = module.getModuleData();
    const std::string model = ZelModule::showModuleType(d.moduleId);
    if (options.json()) {
        std::string line = "{";
        if (options.watch) line += "\"time\": " + std::to_string(seconds) + ", ";
        if (position >= 0) line += "\"position\": " + std::to_string(position) + ", ";
        line += "\"address\": " + jsonText(d.ipAddress) + ", \"model\": " + jsonText(model) +
                ", \"kind\": " + jsonText(kindName(d)) + ", \"values\": " + readingsJson(readings) +
                "}";
        std::printf("%s\n", line.c_str());
    } else if (options.csv()) {
        if (header) std::printf("time,position,address,name,value,unit,turn\n");
        for (const Reading& r : readings) {
            std::printf("%.3f,%s,%s,%s,%s,%s,%s\n", seconds,
                        position >= 0 ? std::to_string(position).c_str() : "", d.ipAddress,
                        csvText(r.name).c_str(), valueText(r).c_str(), csvText(unitText(r)).c_str(),
                        turnText(r).c_str());
        }
    } else {
        if (position >= 0) std::printf("%d ", position);
        std::printf("%s %s (%s)", d.ipAddress, model.c_str(), kindName(d).c_str());
        if (options.watch) std::printf("  t = %.3f s", seconds);
        std::printf("\n");
        for (const Reading& r : readings) {
            std::printf("  %-16s %14s %s", r.name.c_str(), valueText(r).c_str(),
                        unitText(r).c_str());
            if (r.extra == Extra::Raw) std::printf("  (raw %ld)", r.extraValue);
            if (r.extra == Extra::Turn) std::printf("  (turn %ld)", r.extraValue);
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}
}  // namespace

// Opens the operand: a dotted address, or a chain position (which orders the chain).
int openTarget(const Options& options, const std::string& operand, Target& target) {
    if (!options.config.empty()) {
        target.station = std::make_unique<ZelStation>();
        if (int s = openStation(options, *target.station)) return s;
        return stationTarget(options, *target.station, operand, target);
    }
    if (const std::string p = targetProblem(operand, false); !p.empty()) return usage(options, p);
    if (isAddress(operand)) return openByAddress(options, operand, target);
    const long position = std::strtol(operand.c_str(), nullptr, 10);
    if (int s = openChain(options, target.chain)) return s;
    target.module = target.chain.getModule(static_cast<unsigned short>(position));
    target.position = static_cast<int>(position);
    if (target.module == nullptr) {
        return fail(options, kNotFound,
                    "no module at position " + operand + " (the chain has " +
                        std::to_string(target.chain.getNumModules()) + ")");
    }
    applyExchangeSettings(options, *target.module);
    return kOk;
}

std::string targetProblem(const std::string& operand, bool allAllowed) {
    if (allAllowed && operand == "all") return "";
    if (isAddress(operand)) {
        return isDottedQuad(operand)
                   ? ""
                   : "'" + operand +
                         "' is not an IPv4 address (four numbers 0 to 255, as 172.31.46.12)";
    }
    char* end = nullptr;
    errno = 0;
    const long position = std::strtol(operand.c_str(), &end, 10);
    if (operand.empty() || *end != '\0' || operand[0] == '-' || operand[0] == '+') {
        return "'" + operand + "' is neither an address nor a chain position";
    }
    // Parsed whole: a position is never folded into a smaller type.
    if (errno == ERANGE || position >= ZEL_MAX_CHAIN_MODULES) {
        return "chain position " + operand + " is out of range (a chain holds positions 0 to " +
               std::to_string(ZEL_MAX_CHAIN_MODULES - 1) + ")";
    }
    return "";
}

int discover(const Options& options) {
    static char ips[kMaxModules * 18];
    static char netmasks[kMaxModules * 18];
    unsigned short ports[kMaxModules];
    short count = 0;
    if (options.output == Output::Text && isatty(fileno(stderr))) {
        std::fprintf(stderr,
                     "zeltool: listening for answers on %s:%u for 5 s after the last one...\n",
                     options.localIp.c_str(), options.port);
    }
    ZelModuleHandle finder = ZelModuleCreate();
    ZelModuleSetBroadcastingNetmask(finder, options.netmask.c_str());
    int code = ZEL_OK;
    interruptible(
        [&] {
            code = ZelModuleBroadcast(finder, options.localIp.c_str(), options.port, &count, ips,
                                      netmasks, ports);
        },
        nullptr, nullptr);
    ZelModuleDelete(finder);
    if (code != ZEL_OK)
        return chainFailure(
            options, ZelResults(static_cast<ZEL_RESPONSE_CODE>(code), "ZelModuleBroadcast", 0));

    if (options.json())
        std::printf("[");
    else if (options.csv())
        std::printf("address,mac,serial,model,id,kind,bootloader,firmware,dhcp,netmask,channels\n");
    else
        std::printf("%-15s %-17s %-11s %-9s %-10s %-10s %-10s %-5s %s\n", "ADDRESS", "MAC",
                    "SERIAL", "MODEL", "ID", "BOOTLOADER", "FIRMWARE", "DHCP", "KIND");
    int status = kOk;
    int printed = 0;
    for (char* ip = std::strtok(ips, " "); ip != nullptr && !interrupted();
         ip = std::strtok(nullptr, " ")) {
        // The object of the module's kind, as the chain makes it, so both
        // commands count channels alike.
        ZelModule probe;
        applyExchangeSettings(options, probe);
        ZelResults r = probe.initializeModule(ip, false);
        std::unique_ptr<ZelModule> m = makeModule(probe.getModuleData().moduleId);
        applyExchangeSettings(options, *m);
        if (r.ok()) r = m->initializeModule(ip, false);
        if (!r.ok()) {
            status = fail(options, kFailed, r, ip);
            continue;
        }
        const ModuleData& d = m->getModuleData();
        const std::string model = ZelModule::showModuleType(d.moduleId);
        const std::string id = ZelModule::showModuleId(d.moduleId);
        if (options.json()) {
            std::printf(
                "%s\n  {\"address\": %s, \"mac\": %s, \"serial\": %s, \"model\": %s, \"id\": %s, "
                "\"kind\": %s, \"bootloader\": %s, \"firmware\": %s, \"dhcp\": %s, \"netmask\": "
                "%s, "
                "\"channels\": %u}",
                printed ? "," : "", jsonText(d.ipAddress).c_str(), jsonText(d.macAddress).c_str(),
                jsonText(d.serialNumber).c_str(), jsonText(model).c_str(), jsonText(id).c_str(),
                jsonText(kindName(d)).c_str(), jsonText(d.bootloaderVersion).c_str(),
                jsonText(d.firmwareVersion).c_str(), d.usingDhcp ? "true" : "false",
                jsonText(d.netmask).c_str(), m->getNumChannels());
        } else if (options.csv()) {
            std::printf("%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%u\n", d.ipAddress, d.macAddress,
                        csvText(d.serialNumber).c_str(), csvText(model).c_str(), id.c_str(),
                        csvText(kindName(d)).c_str(), d.bootloaderVersion, d.firmwareVersion,
                        d.usingDhcp ? "yes" : "no", d.netmask, m->getNumChannels());
        } else {
            std::printf("%-15s %-17s %-11s %-9s %-10s %-10s %-10s %-5s %s\n", d.ipAddress,
                        d.macAddress, d.serialNumber, model.c_str(), id.c_str(),
                        d.bootloaderVersion, d.firmwareVersion, d.usingDhcp ? "yes" : "no",
                        kindName(d).c_str());
        }
        ++printed;
    }
    if (options.json())
        std::printf("%s]\n", printed ? "\n" : "");
    else if (options.output == Output::Text)
        std::printf("%d module%s answered\n", count, count == 1 ? "" : "s");
    if (interrupted()) return kInterrupted;
    if (count == 0) {
        return fail(options, kNotFound,
                    "no module answered the broadcast from " + options.localIp + " (netmask " +
                        options.netmask + "); check --local-ip and --netmask");
    }
    return status;
}

int chain(const Options& options) {
    ZelInterface chain;
    if (int s = openChain(options, chain)) return s;
    if (options.json())
        std::printf("[");
    else if (options.csv())
        std::printf("position,address,model,id,kind,channels,name,value,unit,turn\n");
    else
        std::printf("%-4s %-15s %-9s %-10s %-14s %s\n", "POS", "ADDRESS", "MODEL", "ID", "KIND",
                    "CHANNELS");
    std::vector<std::string> summaries;
    // Ctrl-C stops between modules; what was printed stays well-formed.
    for (unsigned short i = 0; i < chain.getNumModules() && !interrupted(); ++i) {
        ZelModule* m = chain.getModule(i);
        const ModuleData& d = m->getModuleData();
        const std::string model = ZelModule::showModuleType(d.moduleId);
        const std::string id = ZelModule::showModuleId(d.moduleId);
        // What each measuring module reads, as the chain stands.
        std::vector<Reading> readings;
        ZelResults read;
        if (isMeasuring(d.moduleId)) read = readModule(*m, readings);
        if (options.json()) {
            std::printf(
                "%s\n  {\"position\": %u, \"address\": %s, \"model\": %s, \"id\": %s, \"kind\": "
                "%s, "
                "\"channels\": %u",
                i ? "," : "", i, jsonText(d.ipAddress).c_str(), jsonText(model).c_str(),
                jsonText(id).c_str(), jsonText(kindName(d)).c_str(), m->getNumChannels());
            if (isMeasuring(d.moduleId)) {
                if (read.ok())
                    std::printf(", \"values\": %s", readingsJson(readings).c_str());
                else
                    std::printf(", \"error\": %s",
                                jsonText(ZelResults::showRespCode(read.code())).c_str());
            }
            std::printf("}");
        } else if (options.csv()) {
            const std::string head = std::to_string(i) + "," + d.ipAddress + "," + csvText(model) +
                                     "," + id + "," + csvText(kindName(d)) + "," +
                                     std::to_string(m->getNumChannels());
            if (readings.empty()) std::printf("%s,,,,\n", head.c_str());
            for (const Reading& r : readings) {
                std::printf("%s,%s,%s,%s,%s\n", head.c_str(), csvText(r.name).c_str(),
                            read.ok() ? valueText(r).c_str() : "", csvText(unitText(r)).c_str(),
                            read.ok() ? turnText(r).c_str() : "");
            }
        } else {
            std::printf("%-4u %-15s %-9s %-10s %-14s %u\n", i, d.ipAddress, model.c_str(),
                        id.c_str(), kindName(d).c_str(), m->getNumChannels());
            if (!isMeasuring(d.moduleId)) continue;
            std::string line = std::to_string(i);
            line.resize(4, ' ');
            if (!read.ok()) {
                summaries.push_back(line + ZelResults::showRespCode(read.code()));
                continue;
            }
            const std::size_t shown = readings.size() < 4 ? readings.size() : 4;
            for (std::size_t k = 0; k < shown; ++k)
                line += (k ? ", " : " ") + readingText(readings[k]);
            summaries.push_back(line + (readings.size() > shown ? ", ..." : ""));
        }
    }
    if (options.json()) std::printf("%s]\n", chain.getNumModules() ? "\n" : "");
    if (options.output == Output::Text) {
        std::printf("\n%-4s %s\n", "POS", "READINGS");
        for (const std::string& s : summaries) std::printf("%s\n", s.c_str());
    }
    return interrupted() ? kInterrupted : kOk;
}

int read(const Options& options) {
    if (!options.config.empty()) return readStation(options);
    // The modules to read: one target, or every measuring module of the chain.
    Target target;
    struct Read {
        ZelModule* module;
        int position;
    };
    std::vector<Read> reads;
    if (options.args[1] == "all") {
        if (int s = openChain(options, target.chain)) return s;
        return readAll(options, target.chain);
    } else {
        if (int s = openTarget(options, options.args[1], target)) return s;
        reads.push_back(
            {target.module, isAddress(options.args[1]) ? -1 : std::atoi(options.args[1].c_str())});
    }
    if (runsOnlyBootloader(*target.module)) {
        return fail(options, kFailed,
                    "runs only its bootloader: there is no firmware to read from; program one "
                    "with 'zeltool program " +
                        options.args[1] + " FILE'",
                    target.module->getModuleData().ipAddress);
    }
    Watch watch(options);
    bool header = true;
    while (watch.more()) {
        for (const Read& one : reads) {
            if (interrupted()) break;
            std::vector<Reading> readings;
            // The sample's time: when its request goes out.
            const double seconds = watch.seconds(nowUs());
            ZelResults r = readModule(*one.module, readings);
            if (!r.ok()) {
                const std::string about = one.module->getModuleData().ipAddress;
                watch.failedAt(about);
                fail(options, kFailed, r, about);
                if (!options.watch || options.stopOnError) return kFailed;
                continue;
            }
            printSample(options, *one.module, one.position, readings, seconds, header);
            header = false;
        }
        if (!watch.next()) break;
    }
    return watch.finish(static_cast<long>(reads.size()));
}

int setIp(const Options& options) {
    const std::string ip = options.args[2];
    const bool maskGiven = options.args.size() > 3;
    // What can be checked without the module, before anything is sent.
    if (const std::string p = moduleAddressProblem(ip, maskGiven ? options.args[3] : "");
        !p.empty()) {
        return usage(options, p);
    }
    if (maskGiven) {
        if (const std::string p = netmaskProblem(options.args[3]); !p.empty())
            return usage(options, p);
    }
    if (const std::string p = outsideSimulation(options, ip); !p.empty()) return usage(options, p);
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const ModuleData& d = target.module->getModuleData();
    const std::string mask = maskGiven ? options.args[3] : d.netmaskStatic;
    if (const std::string p = netmaskProblem(mask); !p.empty())
        return usage(options, "the module's static " + p + "; give NETMASK");
    if (const std::string p = moduleAddressProblem(ip, mask); !p.empty()) return usage(options, p);
    // Two modules on one address: the module would not move, and neither
    // could be told apart. Ask the address first.
    if (ip != d.ipAddress && answers(options, ip)) {
        return fail(options, kFailed,
                    "another module answers at " + ip +
                        " already; nothing changed (give it "
                        "another address first, or choose a free one)",
                    d.ipAddress);
    }
    if (interrupted()) return kInterrupted;
    if (!confirm(options, "give the module at " + std::string(d.ipAddress) +
                              " the static address " + ip + " netmask " + mask + "?")) {
        return fail(options, kFailed, "nothing changed");
    }
    ZelResults r = target.module->setIp(ip.c_str(), mask.c_str());
    if (!r.ok()) return fail(options, kFailed, r, d.ipAddress);
    std::printf("%s: static address %s netmask %s set\n", d.ipAddress, ip.c_str(), mask.c_str());
    return kOk;
}

int dhcp(const Options& options) {
    const std::string mode = options.args[2];
    if (mode != "on" && mode != "off") return usage(options, "dhcp takes on or off");
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const std::string ip = target.module->getModuleData().ipAddress;
    if (!confirm(options, "switch DHCP " + mode + " on the module at " + ip + "?")) {
        return fail(options, kFailed, "nothing changed");
    }
    ZelResults r = target.module->setDhcp(mode == "on" ? 1 : 0);
    if (!r.ok()) return fail(options, kFailed, r, ip);
    std::printf("%s: DHCP %s\n", ip.c_str(), mode.c_str());
    return kOk;
}

int asyncPort(const Options& options) {
    const std::string& text = options.args[2];
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1024 || value > 49151) {
        return usage(options, "'" + text + "' is no asynchronous port: ports 1024 to 49151");
    }
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const std::string ip = target.module->getModuleData().ipAddress;
    if (!confirm(options, "send the asynchronous messages of the module at " + ip + " to port " +
                              text + "?")) {
        return fail(options, kFailed, "nothing changed");
    }
    const unsigned short port = static_cast<unsigned short>(value);
    ZelResults r = target.module->setAsyncPort(&port);
    if (!r.ok()) return fail(options, kFailed, r, ip);
    std::printf("%s: asynchronous port %u\n", ip.c_str(), port);
    return kOk;
}

int factoryReset(const Options& options) {
    if (!confirm(options, "restore the factory defaults of every module on the segment of " +
                              options.localIp + " netmask " + options.netmask + "?")) {
        return fail(options, kFailed, "nothing changed");
    }
    ZelInterface chain;
    ZelResults r = chain.restoreFactoryDefaults(options.localIp.c_str(), options.port,
                                                options.netmask.c_str());
    if (!r.ok()) return chainFailure(options, r);
    std::printf("factory defaults broadcast to the segment of %s\n", options.localIp.c_str());
    return kOk;
}

namespace {

// A word as the shell reads it back.
std::string shellWord(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789._-/:=@%+,") == std::string::npos) {
        return word;
    }
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// How to finish an update that was stopped: the same update again, with
// every option that reaches the module.
std::string recovery(const Options& options, const std::string& ip, const std::string& file) {
    if (options.simulatedSubnet != 0) {
        return "The simulated chain ends with zeltool; nothing needs recovering.";
    }
    std::string command = "zeltool --local-ip " + shellWord(options.localIp);
    if (options.timeoutMs >= 0) command += " --timeout " + std::to_string(options.timeoutMs);
    if (options.retries >= 0) command += " --retries " + std::to_string(options.retries);
    command += " program " + shellWord(ip) + " " + shellWord(file);
    if (options.bootloader) command += " --bootloader";
    if (options.force) command += " --force";
    return "Recover with: " + command;
}

}  // namespace

int program(const Options& options) {
    const std::string file = options.args[2];
    // The file first: nothing is sent for a file that would leave a module
    // with half a firmware.
    bool bootloaderFile = false;
    const std::vector<ImageProblem> problems = checkImageFile(file, &bootloaderFile);
    for (const ImageProblem& p : problems) {
        std::fprintf(stderr, "zeltool: %s%s%s: %s\n", file.c_str(), p.line ? ":" : "",
                     p.line ? std::to_string(p.line).c_str() : "", p.text.c_str());
    }
    if (!problems.empty() && !options.force) {
        return fail(
            options, kFileInvalid,
            "the image fails the check (see above); nothing was sent. --force programs it anyway, "
            "which can leave the module running only its bootloader",
            file);
    }
    if (!problems.empty())
        std::fprintf(stderr,
                     "zeltool: warning: --force: programming a file that fails the check\n");
    if (bootloaderFile != options.bootloader) {
        return usage(options, bootloaderFile
                                  ? file + " holds a bootloader image: add --bootloader"
                                  : file + " holds firmware images: leave out --bootloader");
    }
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    ZelModule& module = *target.module;
    const std::string ip = module.getModuleData().ipAddress;
    if (!confirm(options, std::string("write the ") +
                              (options.bootloader ? "bootloader" : "firmware") + " of " + file +
                              " to the module at " + ip + "?")) {
        return fail(options, kFailed, "nothing changed");
    }
    ZelResults result;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = module.program(file.c_str(), options.bootloader);
        done = true;
    });
    // State and percentage are polled from here while the worker programs.
    static const char* kStates[] = {"idle",      "preparing", "sending",
                                    "finishing", "complete",  "failed"};
    const bool tty = isatty(fileno(stderr)) != 0;
    int lastShown = -1;
    int lastState = -1;
    auto show = [&](bool final) {
        const int state = module.getProgrammingState();
        if (state == PROGRAMMING_IDLE && !final) return;
        const double percent = module.getProgrammingPercentComplete();
        const int whole = static_cast<int>(std::floor(percent));
        if (!final && whole == lastShown && state == lastState) return;
        if (!tty && !final && state == lastState && whole / 10 == lastShown / 10) return;
        const int filled = whole / 5;
        // On a terminal the line is redrawn in place and cleared to its end,
        // so a shorter state text leaves nothing of a longer one behind.
        std::fprintf(stderr, "%s[%.*s%.*s] %3d %% %s%s", tty ? "\r\033[K" : "", filled,
                     "####################", 20 - filled, "....................", whole,
                     kStates[state >= 0 && state <= 5 ? state : 0], tty && !final ? "" : "\n");
        lastShown = whole;
        lastState = state;
    };
    int warned = 0;
    while (!done) {
        if (interrupts() > warned) {
            warned = interrupts();
            if (warned == 1 && hangup()) {
                std::fprintf(stderr,
                             "%szeltool: the terminal was closed; finishing the update so that "
                             "the module at %s is not left in its bootloader\n",
                             tty ? "\r\033[K" : "", ip.c_str());
            } else if (warned == 1) {
                std::fprintf(
                    stderr,
                    "%szeltool: stopping now leaves the module at %s in its bootloader, without "
                    "a working firmware; press Ctrl-C again to stop anyway\n",
                    tty ? "\r\033[K" : "", ip.c_str());
            } else {
                std::fprintf(
                    stderr, "%szeltool: stopped; the module at %s runs only its bootloader. %s\n",
                    tty ? "\r\033[K" : "", ip.c_str(), recovery(options, ip, file).c_str());
                std::fflush(stderr);
                ZelCapture::stop();
                std::_Exit(kInterrupted);
            }
        }
        show(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    show(true);
    if (!result.ok()) return fail(options, kFailed, result, ip);
    // The versions the module reports now that it runs the new image.
    ZelModule updated;
    applyExchangeSettings(options, updated);
    ZelResults r = updated.initializeModule(ip.c_str(), false);
    if (!r.ok()) return fail(options, kFailed, r, ip);
    std::printf("%s: %s programmed; the module reports firmware %s, bootloader %s\n", ip.c_str(),
                options.bootloader ? "bootloader" : "firmware",
                updated.getModuleData().firmwareVersion, updated.getModuleData().bootloaderVersion);
    return kOk;
}

int openOrderedChain(const Options& options, ZelInterface& chain) {
    return openChain(options, chain);
}

}  // namespace zeltool
