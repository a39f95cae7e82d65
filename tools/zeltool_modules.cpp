// zeltool: the subcommands that talk to modules.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <unistd.h>

#include "zeltool.h"
// The C header after the classes' headers, whose enumerations it reuses.
#include "capi/zel_capi.h"

namespace zeltool {

namespace {

constexpr int kMaxModules = 64;
volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

// A module the tool works on: by address (probed for its identity, then
// opened as its kind) or by position in the ordered chain.
struct Target {
    ZelInterface chain;
    std::unique_ptr<ZelModule> own;
    ZelModule* module = nullptr;
};

bool isAddress(const std::string& text) { return text.find('.') != std::string::npos; }

// Four decimal numbers 0 to 255 joined by dots, nothing else (inet_addr
// would also take "1.2.3", hexadecimal and octal forms).
bool isDottedQuad(const std::string& text) {
    int parts = 0;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t j = i;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
        if (j == i || j - i > 3 || std::stoi(text.substr(i, j - i)) > 255) return false;
        ++parts;
        if (j == text.size()) break;
        if (text[j] != '.') return false;
        i = j + 1;
    }
    return parts == 4;
}

ZelResults openByAddress(const Options& options, const std::string& ip, Target& target) {
    ZelModule probe;
    applyExchangeSettings(options, probe);
    ZelResults r = probe.initializeModule(ip.c_str(), false);
    if (!r.ok()) return r;
    target.own = makeModule(probe.getModuleData().moduleId);
    applyExchangeSettings(options, *target.own);
    r = target.own->initializeModule(ip.c_str(), false);
    if (r.ok()) target.module = target.own.get();
    return r;
}

// Orders the chain, telling the stages on stderr unless the output is JSON.
ZelResults createChain(const Options& options, ZelInterface& chain) {
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        int last = -1;
        while (!done) {
            const int state = chain.getChainCreationState();
            if (state != last && !options.json) {
                if (state == ZEL_CHAIN_DISCOVERING) std::fprintf(stderr, "zeltool: discovering modules...\n");
                if (state == ZEL_CHAIN_ORDERING) std::fprintf(stderr, "zeltool: ordering the chain...\n");
            }
            last = state;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    ZelResults r = chain.createChain(options.localIp.c_str(), options.port, false,
                                     options.netmask.c_str());
    done = true;
    watcher.join();
    return r;
}

// Opens the operand: a dotted address, or a chain position (which orders the chain).
int openTarget(const Options& options, const std::string& operand, Target& target) {
    if (isAddress(operand)) {
        if (!isDottedQuad(operand)) {
            return fail("'" + operand + "' is not an IPv4 address (four numbers 0 to 255, as 172.31.46.12)", 2);
        }
        ZelResults r = openByAddress(options, operand, target);
        return r.ok() ? 0 : fail(r, operand);
    }
    char* end = nullptr;
    errno = 0;
    const long position = std::strtol(operand.c_str(), &end, 10);
    if (operand.empty() || *end != '\0' || operand[0] == '-' || operand[0] == '+') {
        return fail("'" + operand + "' is neither an address nor a chain position", 2);
    }
    // Parsed whole: a position is never folded into a smaller type.
    if (errno == ERANGE || position >= ZEL_MAX_CHAIN_MODULES) {
        return fail("chain position " + operand + " is out of range (a chain holds positions 0 to " +
                        std::to_string(ZEL_MAX_CHAIN_MODULES - 1) + ")",
                    2);
    }
    ZelResults r = createChain(options, target.chain);
    if (!r.ok()) return fail(r);
    target.module = target.chain.getModule(static_cast<unsigned short>(position));
    if (target.module == nullptr) {
        return fail("no module at position " + operand + " (the chain has " +
                    std::to_string(target.chain.getNumModules()) + ")");
    }
    applyExchangeSettings(options, *target.module);
    return 0;
}

int needOperands(const Options& options, std::size_t n, const char* usage) {
    if (options.args.size() < n + 1) return fail(std::string("usage: zeltool ") + usage, 2);
    return 0;
}

const char* unitOf(UOM uom) {
    switch (uom) {
        case UOM_MILLIMETRE: return "mm";
        case UOM_INCH: return "in";
        case UOM_DEGREE: return "deg";
        default: return "counts";
    }
}

const char* unitOf(LVDT_UOM uom) {
    switch (uom) {
        case LVDT_UOM_MILLIMETRE: return "mm";
        case LVDT_UOM_INCH: return "in";
        case LVDT_UOM_MICROMETRE: return "um";
        default: return "counts";
    }
}

struct Reading {
    std::string name;  // "ch 0", "input 3", ...
    double value;
    std::string unit;
    long extra = 0;     // Kalix: the turn count
    bool hasExtra = false;
};

ZelResults readEncoder(ZelDeviceModule& m, double* positions, std::vector<Reading>& out) {
    for (unsigned short ch = 0; ch < m.getNumChannels() && ch < 8; ++ch) {
        UOM uom = UOM_COUNTS;
        m.getUom(&uom, ch);
        out.push_back({"ch " + std::to_string(ch), positions[ch], unitOf(uom)});
    }
    return ZelResults();
}

ZelResults readModule(ZelModule& module, std::vector<Reading>& out) {
    const MODULE_ID id = module.getModuleData().moduleId;
    double values[8] = {};
    if (auto* kalix = dynamic_cast<ZelKalixModule*>(&module)) {
        long turns[8] = {};
        ZelResults r = kalix->getPositions(values, turns, 8, COUNT_REQUEST_NORMAL);
        if (!r.ok()) return r;
        readEncoder(*kalix, values, out);
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i].extra = turns[i];
            out[i].hasExtra = out[i].unit == "deg";
        }
        return r;
    }
    if (auto* vpp = dynamic_cast<Zel1VppModule*>(&module)) {
        ZelResults r = vpp->getPositions(values, 8, COUNT_REQUEST_NORMAL);
        return r.ok() ? readEncoder(*vpp, values, out) : r;
    }
    if (auto* ttl = dynamic_cast<ZelTtlModule*>(&module)) {
        ZelResults r = ttl->getPositions(values, 8, COUNT_REQUEST_NORMAL);
        return r.ok() ? readEncoder(*ttl, values, out) : r;
    }
    if (auto* lvdt = dynamic_cast<ZelLvdtModule*>(&module)) {
        // Positions need a resolution per channel; until one is set the
        // probe's demodulated voltage and raw reading tell where it stands.
        ZelResults r = lvdt->getPositions(values, 8, COUNT_REQUEST_NORMAL);
        if (!r.ok()) return r;
        for (unsigned short ch = 0; ch < lvdt->getNumChannels() && ch < 8; ++ch) {
            double resolution = 0.0;
            lvdt->getResolution(ch, &resolution);
            if (resolution != 0.0) {
                LVDT_UOM uom = LVDT_UOM_MILLIMETRE;
                lvdt->getUom(&uom, ch);
                out.push_back({"ch " + std::to_string(ch), values[ch], unitOf(uom)});
                continue;
            }
            double volts = 0.0;
            long raw = 0;
            r = lvdt->getVoltage(ch, &volts, &raw);
            if (!r.ok()) return r;
            out.push_back({"ch " + std::to_string(ch), volts, "V", raw, true});
        }
        return ZelResults();
    }
    if (auto* analog = dynamic_cast<ZelAnalogModule*>(&module)) {
        double currents[8] = {};
        ZelResults r = analog->getVoltage(values, 2, COUNT_REQUEST_NORMAL);
        if (r.ok()) r = analog->getCurrent(currents, 2, COUNT_REQUEST_NORMAL);
        if (!r.ok()) return r;
        for (int ch = 0; ch < 2; ++ch) {
            out.push_back({"ch " + std::to_string(ch) + " voltage", values[ch], "V"});
            out.push_back({"ch " + std::to_string(ch) + " current", currents[ch], "mA"});
        }
        return r;
    }
    if (auto* valve = dynamic_cast<ZelPneumaticModule*>(&module)) {
        unsigned char state = 0;
        ZelResults r = valve->getOutput(&state, COUNT_REQUEST_NORMAL);
        if (r.ok()) out.push_back({"valve", state != 0 ? 1.0 : 0.0, "on/off"});
        return r;
    }
    if (auto* io = dynamic_cast<ZelIoModule*>(&module)) {
        unsigned char inputs = 0, outputs = 0;
        ZelResults r = io->getInputs(&inputs);
        if (r.ok()) r = io->getOutputs(&outputs);
        if (!r.ok()) return r;
        for (int bit = 0; bit < 4; ++bit) {
            out.push_back({"input " + std::to_string(bit + 1), double((inputs >> bit) & 1), "on/off"});
        }
        for (int bit = 0; bit < 4; ++bit) {
            out.push_back({"output " + std::to_string(bit + 1), double((outputs >> bit) & 1), "on/off"});
        }
        return r;
    }
    (void)id;
    short adc[5] = {};
    ZelResults r = module.getAdcValues(adc, 5);
    if (r.ok()) {
        for (int i = 0; i < 5; ++i) out.push_back({"adc " + std::to_string(i), double(adc[i]), "raw"});
    }
    return r;
}

// `seconds`: time since the first sample, shown with --watch.
void printReadings(const Options& options, ZelModule& module, const std::vector<Reading>& readings,
                   double seconds) {
    const ModuleData& d = module.getModuleData();
    if (options.json) {
        if (options.watch) std::printf("{\"time\": %.3f, ", seconds);
        else std::printf("{");
        std::printf("\"address\": %s, \"model\": %s, \"kind\": %s, \"values\": [", jsonText(d.ipAddress).c_str(),
                    jsonText(ZelModule::showModuleType(d.moduleId)).c_str(), jsonText(kindName(d.moduleId)).c_str());
        for (std::size_t i = 0; i < readings.size(); ++i) {
            std::printf("%s{\"name\": %s, \"value\": %.6f, \"unit\": %s", i ? ", " : "",
                        jsonText(readings[i].name).c_str(), readings[i].value, jsonText(readings[i].unit).c_str());
            if (readings[i].hasExtra) {
                std::printf(readings[i].unit == "V" ? ", \"raw\": %ld" : ", \"turns\": %ld", readings[i].extra);
            }
            std::printf("}");
        }
        std::printf("]}\n");
    } else {
        std::printf("%s %s (%s)", d.ipAddress, ZelModule::showModuleType(d.moduleId), kindName(d.moduleId));
        if (options.watch) std::printf("  t = %.3f s", seconds);
        std::printf("\n");
        for (const Reading& r : readings) {
            std::printf("  %-16s %14.4f %s", r.name.c_str(), r.value, r.unit.c_str());
            if (r.hasExtra) std::printf(r.unit == "V" ? "  (raw %ld)" : "  (turn %ld)", r.extra);
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

}  // namespace

int discover(const Options& options) {
    static char ips[kMaxModules * 18];
    static char netmasks[kMaxModules * 18];
    unsigned short ports[kMaxModules];
    short count = 0;
    ZelModuleHandle finder = ZelModuleCreate();
    ZelModuleSetBroadcastingNetmask(finder, options.netmask.c_str());
    const int code = ZelModuleBroadcast(finder, options.localIp.c_str(), options.port, &count, ips,
                                        netmasks, ports);
    ZelModuleDelete(finder);
    if (code != ZEL_OK) return fail(ZelResults(static_cast<ZEL_RESPONSE_CODE>(code), "ZelModuleBroadcast", 0));

    if (options.json) std::printf("[");
    else std::printf("%-15s %-17s %-11s %-9s %-10s %-10s %-10s %s\n", "ADDRESS", "MAC", "SERIAL", "MODEL",
                     "ID", "BOOTLOADER", "FIRMWARE", "DHCP");
    int status = 0;
    int printed = 0;
    for (char* ip = std::strtok(ips, " "); ip != nullptr; ip = std::strtok(nullptr, " ")) {
        ZelModule m;
        applyExchangeSettings(options, m);
        ZelResults r = m.initializeModule(ip, false);
        if (!r.ok()) {
            status = fail(r, ip);
            continue;
        }
        const ModuleData& d = m.getModuleData();
        if (options.json) {
            std::printf("%s\n  {\"address\": %s, \"mac\": %s, \"serial\": %s, \"model\": %s, \"id\": %s, "
                        "\"kind\": %s, \"bootloader\": %s, \"firmware\": %s, \"dhcp\": %s, \"netmask\": %s, "
                        "\"channels\": %u}",
                        printed ? "," : "", jsonText(d.ipAddress).c_str(), jsonText(d.macAddress).c_str(),
                        jsonText(d.serialNumber).c_str(), jsonText(ZelModule::showModuleType(d.moduleId)).c_str(),
                        jsonText(ZelModule::showModuleId(d.moduleId)).c_str(), jsonText(kindName(d.moduleId)).c_str(),
                        jsonText(d.bootloaderVersion).c_str(), jsonText(d.firmwareVersion).c_str(),
                        d.usingDhcp ? "true" : "false", jsonText(d.netmask).c_str(), m.getNumChannels());
        } else {
            std::printf("%-15s %-17s %-11s %-9s %-10s %-10s %-10s %s\n", d.ipAddress, d.macAddress, d.serialNumber,
                        ZelModule::showModuleType(d.moduleId), ZelModule::showModuleId(d.moduleId),
                        d.bootloaderVersion, d.firmwareVersion, d.usingDhcp ? "yes" : "no");
        }
        ++printed;
    }
    if (options.json) std::printf("%s]\n", printed ? "\n" : "");
    else std::printf("%d module%s answered\n", count, count == 1 ? "" : "s");
    return status;
}

int chain(const Options& options) {
    ZelInterface chain;
    ZelResults r = createChain(options, chain);
    if (!r.ok()) return fail(r);
    if (options.json) std::printf("[");
    else std::printf("%-4s %-15s %-9s %-10s %-14s %s\n", "POS", "ADDRESS", "MODEL", "ID", "KIND", "CHANNELS");
    for (unsigned short i = 0; i < chain.getNumModules(); ++i) {
        ZelModule* m = chain.getModule(i);
        const ModuleData& d = m->getModuleData();
        if (options.json) {
            std::printf("%s\n  {\"position\": %u, \"address\": %s, \"model\": %s, \"id\": %s, \"kind\": %s, "
                        "\"channels\": %u}",
                        i ? "," : "", i, jsonText(d.ipAddress).c_str(),
                        jsonText(ZelModule::showModuleType(d.moduleId)).c_str(),
                        jsonText(ZelModule::showModuleId(d.moduleId)).c_str(),
                        jsonText(kindName(d.moduleId)).c_str(), m->getNumChannels());
        } else {
            std::printf("%-4u %-15s %-9s %-10s %-14s %u\n", i, d.ipAddress, ZelModule::showModuleType(d.moduleId),
                        ZelModule::showModuleId(d.moduleId), kindName(d.moduleId), m->getNumChannels());
        }
    }
    if (options.json) std::printf("%s]\n", chain.getNumModules() ? "\n" : "");
    if (!options.json) {
        // What the measuring modules read, as the chain stands.
        std::printf("\n%-4s %s\n", "POS", "READINGS");
        for (unsigned short i = 0; i < chain.getNumModules(); ++i) {
            ZelModule* m = chain.getModule(i);
            const MODULE_ID id = m->getModuleData().moduleId;
            if (!ZelModule::isKalixModule(id) && !ZelModule::is1VppModule(id) && !ZelModule::isTtlModule(id) &&
                !ZelModule::isLvdtModule(id) && !ZelModule::isAnalogModule(id)) {
                continue;
            }
            std::vector<Reading> readings;
            ZelResults r = readModule(*m, readings);
            if (!r.ok()) {
                std::printf("%-4u %s\n", i, ZelResults::showRespCode(r.code()));
                continue;
            }
            std::printf("%-4u", i);
            const std::size_t shown = readings.size() < 4 ? readings.size() : 4;
            for (std::size_t k = 0; k < shown; ++k) {
                std::printf("%s %.4f %s", k ? "," : "", readings[k].value, readings[k].unit.c_str());
            }
            std::printf("%s\n", readings.size() > shown ? ", ..." : "");
        }
    }
    return 0;
}

int read(const Options& options) {
    if (int s = needOperands(options, 1, "read ADDRESS|POSITION [--watch] [--rate HZ] [--count N]")) return s;
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    std::signal(SIGINT, onInterrupt);
    long taken = 0;
    const long wanted = options.watch ? options.samples : 1;
    const auto period = std::chrono::duration<double>(1.0 / (options.rate > 0 ? options.rate : 2.0));
    const auto start = std::chrono::steady_clock::now();
    auto next = start;
    while (!interrupted && (wanted == 0 || taken < wanted)) {
        std::vector<Reading> readings;
        ZelResults r = readModule(*target.module, readings);
        if (!r.ok()) return fail(r);
        printReadings(options, *target.module, readings,
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ++taken;
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        if (options.watch) std::this_thread::sleep_until(next);
    }
    return 0;
}

int setIp(const Options& options) {
    if (int s = needOperands(options, 2, "set-ip ADDRESS|POSITION NEW_ADDRESS [NETMASK] [--yes]")) return s;
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const ModuleData& d = target.module->getModuleData();
    const std::string ip = options.args[2];
    const std::string mask = options.args.size() > 3 ? options.args[3] : d.netmaskStatic;
    if (!confirm(options, "give the module at " + std::string(d.ipAddress) + " the static address " + ip +
                              " netmask " + mask + "?")) {
        return fail("nothing changed", 1);
    }
    ZelResults r = target.module->setIp(ip.c_str(), mask.c_str());
    if (!r.ok()) return fail(r);
    std::printf("%s: static address %s netmask %s set\n", d.ipAddress, ip.c_str(), mask.c_str());
    return 0;
}

int dhcp(const Options& options) {
    if (int s = needOperands(options, 2, "dhcp ADDRESS|POSITION on|off [--yes]")) return s;
    const std::string mode = options.args[2];
    if (mode != "on" && mode != "off") return fail("dhcp takes on or off", 2);
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const std::string ip = target.module->getModuleData().ipAddress;
    if (!confirm(options, "switch DHCP " + mode + " on the module at " + ip + "?")) return fail("nothing changed");
    ZelResults r = target.module->setDhcp(mode == "on" ? 1 : 0);
    if (!r.ok()) return fail(r);
    std::printf("%s: DHCP %s\n", ip.c_str(), mode.c_str());
    return 0;
}

int asyncPort(const Options& options) {
    if (int s = needOperands(options, 2, "async-port ADDRESS|POSITION PORT [--yes]")) return s;
    char* end = nullptr;
    const long value = std::strtol(options.args[2].c_str(), &end, 10);
    if (*end != '\0' || value < 0 || value > 65535) return fail("'" + options.args[2] + "' is not a port", 2);
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    const std::string ip = target.module->getModuleData().ipAddress;
    if (!confirm(options, "send the asynchronous messages of the module at " + ip + " to port " +
                              options.args[2] + "?")) {
        return fail("nothing changed");
    }
    const unsigned short port = static_cast<unsigned short>(value);
    ZelResults r = target.module->setAsyncPort(&port);
    if (!r.ok()) return fail(r);
    std::printf("%s: asynchronous port %u\n", ip.c_str(), port);
    return 0;
}

int factoryReset(const Options& options) {
    if (!confirm(options, "restore the factory defaults of every module on the segment of " + options.localIp +
                              " netmask " + options.netmask + "?")) {
        return fail("nothing changed");
    }
    ZelInterface chain;
    ZelResults r = chain.restoreFactoryDefaults(options.localIp.c_str(), options.port, options.netmask.c_str());
    if (!r.ok()) return fail(r);
    std::printf("factory defaults broadcast to the segment of %s\n", options.localIp.c_str());
    return 0;
}

int program(const Options& options) {
    if (int s = needOperands(options, 2, "program ADDRESS|POSITION IMAGE_FILE [--bootloader] [--yes]")) return s;
    const std::string file = options.args[2];
    Target target;
    if (int s = openTarget(options, options.args[1], target)) return s;
    ZelModule& module = *target.module;
    const std::string ip = module.getModuleData().ipAddress;
    if (!confirm(options, std::string("write the ") + (options.bootloader ? "bootloader" : "firmware") + " of " +
                              file + " to the module at " + ip + "?")) {
        return fail("nothing changed");
    }
    ZelResults result;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        result = module.program(file.c_str(), options.bootloader);
        done = true;
    });
    // State and percentage are polled from here while the worker programs.
    static const char* kStates[] = {"idle", "preparing", "sending", "finishing", "complete", "failed"};
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
        std::fprintf(stderr, "%s[%.*s%.*s] %3d %% %s%s", tty ? "\r\033[K" : "", filled, "####################",
                     20 - filled, "....................", whole, kStates[state >= 0 && state <= 5 ? state : 0],
                     tty && !final ? "" : "\n");
        lastShown = whole;
        lastState = state;
    };
    while (!done) {
        show(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    show(true);
    if (!result.ok()) return fail(result, ip);
    // The versions the module reports now that it runs the new image.
    ZelModule updated;
    applyExchangeSettings(options, updated);
    ZelResults r = updated.initializeModule(ip.c_str(), false);
    if (!r.ok()) return fail(r, ip);
    std::printf("%s: %s programmed; the module reports firmware %s, bootloader %s\n", ip.c_str(),
                options.bootloader ? "bootloader" : "firmware", updated.getModuleData().firmwareVersion,
                updated.getModuleData().bootloaderVersion);
    return 0;
}

}  // namespace zeltool
