// zeltool: the command-line tool of the library, for the field and the desk.
// Without --local-ip it starts a simulated chain on loopback and runs
// against that, so every subcommand can be tried without hardware.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>

#include "sim_chain_file.h"
#include "zeltool.h"

namespace zeltool {

int fail(const ZelResults& result, const std::string& context) {
    ZelResults r = result;
    std::fprintf(stderr, "zeltool: %s%s%s (code %d) in %s\n", context.c_str(), context.empty() ? "" : ": ",
                 ZelResults::showRespCode(r.getCode()), r.getCode(), r.getMethod());
    return 1;
}

int fail(const std::string& text, int status) {
    std::fprintf(stderr, "zeltool: %s\n", text.c_str());
    return status;
}

bool confirm(const Options& options, const std::string& question) {
    if (options.yes) return true;
    std::fprintf(stderr, "zeltool: %s [y/N] ", question.c_str());
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

const char* kindName(MODULE_ID id) {
    if (ZelModule::isKalixModule(id)) return "Kalix encoder";
    if (ZelModule::is1VppModule(id)) return "1 Vpp encoder";
    if (ZelModule::isTtlModule(id)) return "TTL encoder";
    if (ZelModule::isLvdtModule(id)) return "LVDT";
    if (ZelModule::isAnalogModule(id)) return "analog";
    if (ZelModule::isIOModule(id)) return "I/O";
    if (ZelModule::isPneumaticModule(id)) return "pneumatic";
    if (ZelModule::isPowerSupplyModule(id)) return "power supply";
    return "unknown";
}

std::unique_ptr<ZelModule> makeModule(MODULE_ID id) {
    if (ZelModule::isKalixModule(id)) return std::make_unique<ZelKalixModule>();
    if (ZelModule::is1VppModule(id)) return std::make_unique<Zel1VppModule>();
    if (ZelModule::isTtlModule(id)) return std::make_unique<ZelTtlModule>();
    if (ZelModule::isLvdtModule(id)) return std::make_unique<ZelLvdtModule>();
    if (ZelModule::isAnalogModule(id)) return std::make_unique<ZelAnalogModule>();
    if (ZelModule::isPneumaticModule(id)) return std::make_unique<ZelPneumaticModule>();
    if (ZelModule::isIOModule(id)) return std::make_unique<ZelIoModule>();
    return std::make_unique<ZelModule>();
}

void applyExchangeSettings(const Options& options, ZelModule& module) {
    if (options.timeoutMs >= 0) module.setUdpTimeout(options.timeoutMs);
    if (options.retries >= 0) module.setUdpNumRetries(options.retries);
}

}  // namespace zeltool

namespace {

using zeltool::Options;

const char kUsage[] =
    "usage: zeltool [options] COMMAND [operands]\n"
    "\n"
    "Modules (TARGET is a module address, or a position in the ordered chain):\n"
    "  discover                          list every module that answers the discovery\n"
    "  chain                             order the chain; positions, kinds, channels\n"
    "  read TARGET [--watch] [--rate HZ] [--count N]\n"
    "                                    counts, positions or values with their units\n"
    "  set-ip TARGET ADDRESS [NETMASK]   give the module a new static address\n"
    "  dhcp TARGET on|off                switch DHCP\n"
    "  async-port TARGET PORT            port of the module's asynchronous messages\n"
    "  factory-reset                     factory defaults for every module of the segment\n"
    "  program TARGET FILE [--bootloader]  update firmware (or bootloader) from an image file\n"
    "Files:\n"
    "  image info FILE | image check FILE | image build FILE VERSION [--bootloader]\n"
    "  config validate FILE | config show FILE [MODULE [CHANNEL]]\n"
    "  config get FILE ELEMENT [MODULE [CHANNEL]] | config set FILE ELEMENT VALUE MODULE [CHANNEL]\n"
    "\n"
    "Options:\n"
    "  --local-ip IP       the host's address on the modules' network; without it zeltool\n"
    "                      runs against a simulated chain on loopback\n"
    "  --simulate[=SPEC]   simulate: 'default' (one module of each kind) or a configuration file\n"
    "  --port N            local port of discovery and chain creation (default 0: any)\n"
    "  --netmask MASK      netmask of the discovery broadcast (default 255.255.255.0)\n"
    "  --timeout MS        answer time-out of module commands\n"
    "  --retries N         retries of module commands\n"
    "  --json              discover, chain and read print JSON\n"
    "  --yes               change settings without asking\n";

bool number(const std::string& text, long low, long high, long& out) {
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && out >= low && out <= high;
}

// Parses the options wherever they stand; false with a message on error.
bool parse(int argc, char** argv, Options& o, bool& simulateAsked, std::string& error) {
    const std::map<std::string, bool*> flags = {
        {"--json", &o.json}, {"--yes", &o.yes}, {"--watch", &o.watch}, {"--bootloader", &o.bootloader}};
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            o.args.push_back(a);
            continue;
        }
        if (auto f = flags.find(a); f != flags.end()) {
            *f->second = true;
            continue;
        }
        if (a == "--simulate" || a.rfind("--simulate=", 0) == 0) {
            simulateAsked = true;
            o.simulate = a.size() > 11 ? a.substr(11) : "default";
            continue;
        }
        std::string value;
        const std::size_t eq = a.find('=');
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = a + " needs a value";
            return false;
        }
        long n = 0;
        if (a == "--local-ip") {
            o.localIp = value;
        } else if (a == "--netmask") {
            o.netmask = value;
        } else if (a == "--port" && number(value, 0, 65535, n)) {
            o.port = static_cast<unsigned short>(n);
        } else if (a == "--timeout" && number(value, 0, 10000, n)) {
            o.timeoutMs = n;
        } else if (a == "--retries" && number(value, 0, 100, n)) {
            o.retries = static_cast<short>(n);
        } else if (a == "--count" && number(value, 1, 1000000000, n)) {
            o.samples = n;
        } else if (a == "--rate") {
            o.rate = std::strtod(value.c_str(), nullptr);
            if (!(o.rate > 0 && o.rate <= 1000)) {
                error = "--rate takes samples per second, above 0 and up to 1000";
                return false;
            }
        } else {
            error = "unknown option or bad value: " + a + " " + value;
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool simulateAsked = false;
    std::string error;
    if (!parse(argc, argv, options, simulateAsked, error)) return zeltool::fail(error + "\n" + kUsage, 2);
    if (options.args.empty() || options.args[0] == "help") {
        std::fputs(kUsage, options.args.empty() ? stderr : stdout);
        return options.args.empty() ? 2 : 0;
    }
    using Command = int (*)(const Options&);
    const std::map<std::string, Command> network = {
        {"discover", zeltool::discover}, {"chain", zeltool::chain},
        {"read", zeltool::read},         {"set-ip", zeltool::setIp},
        {"dhcp", zeltool::dhcp},         {"async-port", zeltool::asyncPort},
        {"factory-reset", zeltool::factoryReset}, {"program", zeltool::program}};
    const std::map<std::string, Command> files = {{"image", zeltool::image}, {"config", zeltool::config}};
    const std::string& name = options.args[0];
    if (auto f = files.find(name); f != files.end()) return f->second(options);
    auto command = network.find(name);
    if (command == network.end()) return zeltool::fail("unknown command '" + name + "'\n" + kUsage, 2);

    if (simulateAsked && !options.localIp.empty()) {
        return zeltool::fail("--simulate and --local-ip exclude each other", 2);
    }
    // Without a host address: an embedded simulated chain on its own loopback subnet.
    std::optional<zelsim::Segment> segment;
    if (options.localIp.empty()) {
        std::vector<zelsim::PlannedModule> plan;
        if (options.simulate.empty() || options.simulate == "default") {
            plan = zelsim::defaultChain();
        } else if (!zelsim::chainFromFile(options.simulate, plan, error)) {
            return zeltool::fail(error);
        }
        segment.emplace();
        zelsim::addChain(*segment, plan);
        if (!segment->start()) return zeltool::fail("cannot bind the simulated chain's loopback sockets");
        options.localIp = segment->hostAddress();
        options.netmask = zelsim::Segment::kNetmask;
        std::fprintf(stderr,
                     "zeltool: %s: a simulated chain of %zu modules on 127.%d.0.0/16, host side %s "
                     "(give --local-ip for a real network)\n",
                     simulateAsked ? "--simulate" : "no --local-ip given", plan.size(), segment->subnet(),
                     options.localIp.c_str());
    }
    return command->second(options);
}
