// zeltool: the command-line tool of the library, for the field and the desk.
// Without --local-ip it starts a simulated chain on loopback and runs
// against that, so every subcommand can be tried without hardware.
//
// One table of options and one of commands drive the parser, the help
// texts, the manual page (--manpage) and the bash completion
// (--completion), so none of them can drift from the others.
#include "zeltool.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

#include "sim_chain_file.h"
#include "sim_control.h"
#include "zel_rotation.h"
#include "zel_version.h"

namespace {

using zeltool::Options;
using zeltool::Output;

struct OptionSpec {
    const char* name;
    const char* value;     // the value's name, null for a flag
    const char* commands;  // the commands it belongs to, blank-separated; null: every one
    const char* help;
};

const OptionSpec kOptions[] = {
    {"--local-ip", "IP", nullptr,
     "the host's address on the modules' network; without it zeltool runs against a simulated "
     "chain on loopback"},
    {"--simulate", "SPEC", nullptr,
     "simulate 'default' (one module of each kind) or the modules of a configuration file "
     "(--simulate=FILE)"},
    {"--config", "FILE", nullptr,
     "run the station FILE describes: each module at the file's address, no discovery; targets "
     "by position or label"},
    {"--sim-control", "PORT", nullptr,
     "take the simulated chain's control commands (faults, restart, unplug; see zelsim --help) "
     "as datagrams on 127.0.0.1:PORT (0: a free port, printed)"},
    {"--port", "N", nullptr, "local port of discovery and chain creation (default 0: any)"},
    {"--netmask", "MASK", nullptr, "netmask of the discovery broadcast (default 255.255.255.0)"},
    {"--timeout", "MS", nullptr,
     "answer time-out of every module command, first contact included (1 to 10000)"},
    {"--retries", "N", nullptr,
     "retries of every module command, first contact included (0 to 10)"},
    {"--json", nullptr, "discover chain read diag listen acquire recording",
     "print JSON; errors become JSON objects on stderr"},
    {"--csv", nullptr, "discover chain read acquire recording",
     "print comma-separated values with a header line"},
    {"--yes", nullptr, "set-ip dhcp async-port factory-reset program",
     "change settings without asking"},
    {"--watch", nullptr, "read", "read again and again until Ctrl-C (or --count)"},
    {"--rate", "HZ", "read acquire",
     "samples per second with --watch or acquire (above 0, up to 1000; default 2)"},
    {"--count", "N", "read listen acquire",
     "stop --watch, listen or acquire after N samples (messages)"},
    {"--duration", "S", "acquire", "stop acquire after S seconds (default: at Ctrl-C)"},
    {"--record", "FILE", "acquire",
     "acquire: record the samples, gaps and events with their context to a new SQLite file"},
    {"--rotate", "SIZE|DURATION", "acquire",
     "with --record: a new part every SIZE (64k, 100M, 2G) or DURATION (90s, 15min, 1h)"},
    {"--from", "T", "recording",
     "recording export: from this UTC time (2026-12-07T23:10:00Z) or seconds after the start"},
    {"--to", "T", "recording", "recording export: up to (not including) this time"},
    {"--stop-on-error", nullptr, "read", "end --watch at the first failed sample"},
    {"--bootloader", nullptr, "program image", "the bootloader image rather than the firmware"},
    {"--force", nullptr, "program image",
     "program: a file that fails the image check (not recommended); image build: replace an "
     "existing file"},
    {"--pcap", "FILE", nullptr,
     "write every datagram the library sends and receives to FILE (pcap, for Wireshark; no "
     "privileges needed)"},
    {"--strict", nullptr, "config", "config validate: check every value as well as every element"},
    {"--help", nullptr, nullptr, "this help, or a command's (also -h)"},
    {"--version", nullptr, nullptr, "the versions of zeltool and the library"},
};

struct CommandSpec {
    const char* name;
    const char* synopsis;  // the operands
    int minOperands;
    int maxOperands;
    bool network;
    int (*run)(const Options&);
    const char* help;
};

const CommandSpec kCommands[] = {
    {"discover", "", 0, 0, true, zeltool::discover,
     "list every module that answers the discovery broadcast, with its network record and "
     "versions"},
    {"chain", "", 0, 0, true, zeltool::chain,
     "order the chain through the neighbour signals; positions, kinds, channels and readings"},
    {"read", "TARGET|all", 1, 1, true, zeltool::read,
     "counts, positions or values with their units; 'all' reads every measuring module of the "
     "chain"},
    {"set-ip", "TARGET ADDRESS [NETMASK]", 2, 3, true, zeltool::setIp,
     "give the module a new static address (and netmask; default: its present static netmask)"},
    {"dhcp", "TARGET on|off", 2, 2, true, zeltool::dhcp, "switch the module's DHCP on or off"},
    {"async-port", "TARGET PORT", 2, 2, true, zeltool::asyncPort,
     "the port (1024 to 49151) the module sends its asynchronous messages to"},
    {"factory-reset", "", 0, 0, true, zeltool::factoryReset,
     "factory defaults for every module of the segment, by broadcast"},
    {"program", "TARGET FILE", 2, 2, true, zeltool::program,
     "update the firmware (or, with --bootloader, the bootloader) from an image file, checked "
     "first"},
    {"image", "info FILE | check FILE | build FILE VERSION", 2, 3, false, zeltool::image,
     "show, check or build (for the simulator) a firmware image file"},
    {"config",
     "validate FILE | show FILE [MODULE [CHANNEL]] | get FILE ELEMENT [MODULE [CHANNEL]] | "
     "set FILE ELEMENT VALUE MODULE [CHANNEL] | check FILE | capture FILE",
     2, 6, false, zeltool::config,
     "check, show, read or edit a chain's configuration file; check the live chain against it, "
     "or capture it from the live chain"},
    {"io", "TARGET OUTPUT on|off", 3, 3, true, zeltool::io,
     "switch one output (1 to 4) of an I/O module"},
    {"valve", "TARGET on|off", 2, 2, true, zeltool::valve, "switch a pneumatic module's valve"},
    {"latch", "TARGET set CHOICE | clear | read", 2, 3, true, zeltool::latch,
     "arm a latch (choice 0 to 4), clear it, or read the latch states"},
    {"reference", "TARGET CHANNEL start [single|coded] | ack | state", 3, 4, true,
     zeltool::reference,
     "start referencing a 1 Vpp or TTL channel, acknowledge it, or show its state"},
    {"diag", "TARGET", 1, 1, true, zeltool::diag,
     "error, warning and diagnostic flags, channel status, integrity counters, ADC values and "
     "the kind's own diagnostics"},
    {"listen", "TARGET", 1, 1, true, zeltool::listen,
     "switch the module's asynchronous messages on and print its latch and channel-status "
     "messages as they come (until Ctrl-C or --count)"},
    {"acquire", "", 0, 0, true, zeltool::acquire,
     "sample every measuring module on fixed deadlines, with UTC time stamps, missed deadlines, "
     "module failures, losses, returns and restores as they happen, and per-channel statistics "
     "at the end"},
    {"recording", "info FILE | export FILE", 2, 2, false, zeltool::recording,
     "what a recording of acquire --record holds (span, modules, channels, samples, gaps, "
     "events), or its records printed as acquire printed them (--from, --to: a span)"},
    {"help", "[COMMAND]", 0, 1, false, nullptr, "this help, or a command's"},
};

const char kTargetNote[] =
    "TARGET is a module's address (as 172.31.46.12) or its position in the ordered chain (0 to "
    "63).";

const char kExitNote[] =
    "Exit status: 0 success, 1 module or network failure, 2 usage error, 3 file invalid, "
    "4 no module at the address or position, 130 interrupted.";

const CommandSpec* findCommand(const std::string& name) {
    for (const CommandSpec& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

const OptionSpec* findOption(const std::string& name) {
    for (const OptionSpec& o : kOptions) {
        if (name == o.name) return &o;
    }
    return nullptr;
}

bool belongsTo(const OptionSpec& option, const std::string& command) {
    if (option.commands == nullptr) return true;
    const std::string list = std::string(" ") + option.commands + " ";
    return list.find(" " + command + " ") != std::string::npos;
}

std::string optionText(const OptionSpec& o) {
    return std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
}

void printHelp(FILE* out) {
    std::fprintf(out, "usage: zeltool [OPTIONS] COMMAND [OPERANDS]\n\nCommands:\n");
    for (const CommandSpec& c : kCommands) {
        std::fprintf(out, "  %s%s%s\n      %s\n", c.name, *c.synopsis ? " " : "", c.synopsis,
                     c.help);
    }
    std::fprintf(out, "\n%s\n\nOptions:\n", kTargetNote);
    for (const OptionSpec& o : kOptions) {
        std::fprintf(out, "  %-20s %s\n", optionText(o).c_str(), o.help);
    }
    std::fprintf(out, "\n%s\n", kExitNote);
}

void printCommandHelp(const CommandSpec& c) {
    std::printf("usage: zeltool [OPTIONS] %s %s\n\n%s.\n", c.name, c.synopsis, c.help);
    if (c.network) std::printf("\n%s\n", kTargetNote);
    std::printf("\nOptions:\n");
    for (const OptionSpec& o : kOptions) {
        if (o.commands != nullptr && belongsTo(o, c.name)) {
            std::printf("  %-20s %s\n", optionText(o).c_str(), o.help);
        }
    }
    if (c.network) {
        for (const OptionSpec& o : kOptions) {
            if (o.commands == nullptr && std::strcmp(o.name, "--help") != 0 &&
                std::strcmp(o.name, "--version") != 0) {
                std::printf("  %-20s %s\n", optionText(o).c_str(), o.help);
            }
        }
    }
}

// roff needs its own escapes for backslashes, leading dots and dashes.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

void printManPage() {
    std::printf(".TH ZELTOOL 1 \"\" \"zeltool %s\" \"User Commands\"\n", ZEL_VERSION_TEXT);
    std::printf(".SH NAME\nzeltool \\- drive a chain of measuring modules over Ethernet\n");
    std::printf(".SH SYNOPSIS\n.B zeltool\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIOPERANDS\\fR]\n");
    std::printf(
        ".SH DESCRIPTION\nzeltool discovers the modules of a segment, orders their chain, reads "
        "them, "
        "changes their network settings, updates their firmware, and checks and edits "
        "configuration "
        "and image files. Without \\fB\\-\\-local\\-ip\\fR it runs against a simulated chain on "
        "loopback "
        "and refuses every address outside it.\n.PP\n%s\n",
        roff(kTargetNote).c_str());
    std::printf(".SH COMMANDS\n");
    for (const CommandSpec& c : kCommands) {
        std::printf(".TP\n.B %s\n%s\n", roff(std::string(c.name) + " " + c.synopsis).c_str(),
                    roff(c.help).c_str());
    }
    std::printf(".SH OPTIONS\n");
    for (const OptionSpec& o : kOptions) {
        std::printf(".TP\n.B %s\n%s%s\n", roff(optionText(o)).c_str(), roff(o.help).c_str(),
                    o.commands ? roff(std::string(" (") + o.commands + ")").c_str() : "");
    }
    std::printf(".SH EXIT STATUS\n%s\n", roff(kExitNote).c_str());
}

void printCompletion() {
    std::string commands;
    for (const CommandSpec& c : kCommands) commands += std::string(c.name) + " ";
    std::printf("# bash completion for zeltool, generated by zeltool --completion\n");
    std::printf("_zeltool() {\n    local cur prev words cword\n    _init_completion || return\n");
    std::printf("    local command=\"\" w\n    for w in \"${words[@]:1:cword-1}\"; do\n");
    std::printf("        case \"$w\" in -*) ;; *) command=\"$w\"; break ;; esac\n    done\n");
    std::printf("    case \"$prev\" in\n");
    std::string valued;
    for (const OptionSpec& o : kOptions) {
        if (o.value != nullptr) valued += (valued.empty() ? "" : "|") + std::string(o.name);
    }
    std::printf("        %s) return ;;\n    esac\n", valued.c_str());
    std::printf(
        "    if [[ \"$cur\" == -* ]]; then\n        local opts=\"-h\"\n        case \"$command\" "
        "in\n");
    for (const CommandSpec& c : kCommands) {
        std::string opts;
        for (const OptionSpec& o : kOptions) {
            if (belongsTo(o, c.name)) opts += std::string(o.name) + " ";
        }
        std::printf("            %s) opts=\"%s\" ;;\n", c.name, opts.c_str());
    }
    std::string all;
    for (const OptionSpec& o : kOptions) all += std::string(o.name) + " ";
    std::printf("            *) opts=\"%s\" ;;\n        esac\n", all.c_str());
    std::printf(
        "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n        return\n    fi\n");
    std::printf(
        "    case \"$command\" in\n        \"\") COMPREPLY=($(compgen -W \"%s\" -- \"$cur\")) ;;\n",
        commands.c_str());
    std::printf(
        "        image) [[ $cword -le 2 ]] && COMPREPLY=($(compgen -W \"info check build\" -- "
        "\"$cur\")) "
        "|| _filedir ;;\n");
    std::printf(
        "        config) [[ $cword -le 2 ]] && COMPREPLY=($(compgen -W \"validate show get set\" "
        "-- "
        "\"$cur\")) || _filedir ;;\n");
    std::printf(
        "        program) _filedir ;;\n        dhcp) COMPREPLY=($(compgen -W \"on off\" -- "
        "\"$cur\")) ;;\n");
    std::printf("        help) COMPREPLY=($(compgen -W \"%s\" -- \"$cur\")) ;;\n    esac\n}\n",
                commands.c_str());
    std::printf("complete -F _zeltool zeltool\n");
}

bool wholeNumber(const std::string& text, long low, long high, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && out >= low && out <= high;
}

enum class Parsed { Run, Exit };

// Options anywhere on the line; the first word that is no option is the
// command. An unknown option is an error on its own, never taking the word
// after it.
Parsed parse(int argc, char** argv, Options& o, bool& simulateAsked, bool& helpAsked, int& status) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h") a = "--help";
        if (a.rfind("--", 0) != 0 || a == "--") {
            if (a != "--") o.args.push_back(a);
            continue;
        }
        std::string value;
        bool hasValue = false;
        const std::size_t eq = a.find('=');
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            hasValue = true;
        }
        const OptionSpec* spec = findOption(a);
        if (spec == nullptr) {
            status = zeltool::usage(o, "unknown option " + std::string(argv[i]));
            return Parsed::Exit;
        }
        if (a == "--simulate") {
            simulateAsked = true;
            o.simulate = hasValue ? value : "default";
            if (o.simulate.empty()) {
                status = zeltool::usage(o, "--simulate= needs 'default' or a configuration file");
                return Parsed::Exit;
            }
            continue;
        }
        if (spec->value == nullptr) {
            if (hasValue) {
                status = zeltool::usage(o, a + " takes no value");
                return Parsed::Exit;
            }
            if (a == "--json" || a == "--csv") {
                const Output asked = a == "--json" ? Output::Json : Output::Csv;
                if (o.output != Output::Text && o.output != asked) {
                    status = zeltool::usage(o, "--csv and --json exclude each other");
                    return Parsed::Exit;
                }
                o.output = asked;
                continue;
            }
            if (a == "--help")
                helpAsked = true;
            else if (a == "--version") {
                std::printf("zeltool %s, library %s\n", ZEL_VERSION_TEXT,
                            ZelModule::getLibraryVersion());
                status = zeltool::kOk;
                return Parsed::Exit;
            } else if (a == "--yes")
                o.yes = true;
            else if (a == "--watch")
                o.watch = true;
            else if (a == "--stop-on-error")
                o.stopOnError = true;
            else if (a == "--bootloader")
                o.bootloader = true;
            else if (a == "--force")
                o.force = true;
            else if (a == "--strict")
                o.strict = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                status = zeltool::usage(o, a + " needs a value (" + spec->value + ")");
                return Parsed::Exit;
            }
            value = argv[++i];
        }
        long n = 0;
        bool ok = true;
        if (a == "--local-ip") {
            ok = zeltool::isDottedQuad(value);
            o.localIp = value;
            o.localIpGiven = true;
        } else if (a == "--netmask") {
            ok = zeltool::netmaskProblem(value).empty() || value == "0.0.0.0";
            o.netmask = value;
        } else if (a == "--port") {
            ok = wholeNumber(value, 0, 65535, n);
            o.port = static_cast<unsigned short>(n);
        } else if (a == "--timeout") {
            ok = wholeNumber(value, 1, 10000, n);
            o.timeoutMs = n;
        } else if (a == "--retries") {
            ok = wholeNumber(value, 0, 10, n);
            o.retries = static_cast<short>(n);
        } else if (a == "--config") {
            ok = !value.empty();
            o.config = value;
        } else if (a == "--pcap") {
            ok = !value.empty();
            o.pcap = value;
        } else if (a == "--record") {
            ok = !value.empty();
            o.record = value;
        } else if (a == "--rotate") {
            ok = zelRotationLimit(value, o.rotateBytes, o.rotateSeconds);
        } else if (a == "--from") {
            ok = !value.empty();
            o.from = value;
        } else if (a == "--to") {
            ok = !value.empty();
            o.to = value;
        } else if (a == "--count") {
            ok = wholeNumber(value, 1, 1000000000, n);
            o.samples = n;
        } else if (a == "--duration") {
            char* end = nullptr;
            o.durationS = std::strtod(value.c_str(), &end);
            ok = !value.empty() && *end == '\0' && o.durationS > 0 && o.durationS <= 1e7;
        } else if (a == "--sim-control") {
            ok = wholeNumber(value, 0, 65535, n);
            o.simControl = static_cast<int>(n);
        } else if (a == "--rate") {
            char* end = nullptr;
            o.rate = std::strtod(value.c_str(), &end);
            ok = !value.empty() && *end == '\0' && o.rate > 0 && o.rate <= 1000;
            o.rateGiven = true;
        }
        if (!ok) {
            status =
                zeltool::usage(o, "bad value '" + value + "' for " + a + " (" + spec->help + ")");
            return Parsed::Exit;
        }
    }
    return Parsed::Run;
}

// What the options and operands must agree on before anything is sent.
bool consistent(const Options& o, const CommandSpec& command, int& status) {
    const std::string name = command.name;
    const int operands = static_cast<int>(o.args.size()) - 1;
    if (operands < command.minOperands || operands > command.maxOperands) {
        status =
            zeltool::usage(o, std::string(operands < command.minOperands ? "missing" : "extra") +
                                  " operands: zeltool " + name + " " + command.synopsis);
        return false;
    }
    if (o.localIpGiven && o.localIp.empty()) {
        status = zeltool::usage(o, "--local-ip needs an address");
        return false;
    }
    if (!o.watch && name != "listen" && name != "acquire" &&
        (o.samples != 0 || o.rateGiven || o.stopOnError)) {
        status = zeltool::usage(o, "--count, --rate and --stop-on-error go with --watch");
        return false;
    }
    if ((o.rotateBytes != 0 || o.rotateSeconds != 0) && o.record.empty()) {
        status = zeltool::usage(o, "--rotate goes with --record");
        return false;
    }
    // Every option that names commands must be one of them.
    for (int i = 0; i < static_cast<int>(sizeof(kOptions) / sizeof(kOptions[0])); ++i) {
        const OptionSpec& spec = kOptions[i];
        if (spec.commands == nullptr || belongsTo(spec, name)) continue;
        const bool set = (std::strcmp(spec.name, "--json") == 0 && o.json()) ||
                         (std::strcmp(spec.name, "--csv") == 0 && o.csv()) ||
                         (std::strcmp(spec.name, "--yes") == 0 && o.yes) ||
                         (std::strcmp(spec.name, "--watch") == 0 && o.watch) ||
                         (std::strcmp(spec.name, "--bootloader") == 0 && o.bootloader) ||
                         (std::strcmp(spec.name, "--force") == 0 && o.force) ||
                         (std::strcmp(spec.name, "--strict") == 0 && o.strict) ||
                         (std::strcmp(spec.name, "--record") == 0 && !o.record.empty()) ||
                         (std::strcmp(spec.name, "--rotate") == 0 &&
                          (o.rotateBytes != 0 || o.rotateSeconds != 0)) ||
                         (std::strcmp(spec.name, "--from") == 0 && !o.from.empty()) ||
                         (std::strcmp(spec.name, "--to") == 0 && !o.to.empty());
        if (set) {
            status = zeltool::usage(o, std::string(spec.name) + " does not go with " + name);
            return false;
        }
    }
    return true;
}

}  // namespace

bool zeltool::isCommand(const std::string& name) { return findCommand(name) != nullptr; }

int main(int argc, char** argv) {
    Options options;
    bool simulateAsked = false;
    bool helpAsked = false;
    int status = 0;
    if (argc == 2 && std::strcmp(argv[1], "--manpage") == 0) {
        printManPage();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--completion") == 0) {
        printCompletion();
        return 0;
    }
    if (parse(argc, argv, options, simulateAsked, helpAsked, status) == Parsed::Exit) return status;
    if (options.args.empty()) {
        if (helpAsked) {
            printHelp(stdout);
            return zeltool::kOk;
        }
        return zeltool::usage(options, "no command given");
    }
    const std::string& name = options.args[0];
    const CommandSpec* command = findCommand(name);
    if (command == nullptr) return zeltool::usage(options, "unknown command '" + name + "'");
    if (name == "help") {
        if (options.args.size() == 1) {
            printHelp(stdout);
            return zeltool::kOk;
        }
        const CommandSpec* about = findCommand(options.args[1]);
        if (about == nullptr)
            return zeltool::usage(options, "no command '" + options.args[1] + "'");
        printCommandHelp(*about);
        return zeltool::kOk;
    }
    if (helpAsked) {
        printCommandHelp(*command);
        return zeltool::kOk;
    }
    if (!consistent(options, *command, status)) return status;
    // Checking a file against the live chain and capturing one talk to modules.
    const bool liveConfig =
        name == "config" && (options.args[1] == "check" || options.args[1] == "capture");
    if (!command->network && !liveConfig) return command->run(options);
    int (*run)(const Options&) = command->run;
    if (liveConfig) {
        if (options.args.size() != 3) {
            return zeltool::usage(options, "config " + options.args[1] + " takes one FILE");
        }
        run = options.args[1] == "check" ? zeltool::configCheck : zeltool::configCapture;
    }

    // The target's form is checked before a simulated chain is started (a
    // station's targets are positions or labels of its file).
    if (name != "discover" && name != "chain" && name != "factory-reset" && name != "acquire" &&
        !liveConfig && options.config.empty()) {
        const std::string p = zeltool::targetProblem(options.args[1], name == "read");
        if (!p.empty()) return zeltool::usage(options, p);
    }
    if (simulateAsked && options.localIpGiven) {
        return zeltool::usage(options, "--simulate and --local-ip exclude each other");
    }
    // Without a host address: an embedded simulated chain on its own loopback subnet.
    std::optional<zelsim::Segment> segment;
    std::optional<zelsim::ControlPort> control;
    if (!options.localIpGiven) {
        std::vector<zelsim::PlannedModule> plan;
        std::string error;
        if (options.simulate.empty() || options.simulate == "default") {
            plan = zelsim::defaultChain();
        } else if (!zelsim::chainFromFile(options.simulate, plan, error)) {
            return zeltool::simulationFileFailure(options, options.simulate, error);
        }
        segment.emplace();
        zelsim::addChain(*segment, plan);
        if (!segment->start()) {
            return zeltool::fail(options, zeltool::kFailed,
                                 "cannot bind the simulated chain's loopback sockets");
        }
        options.localIp = segment->hostAddress();
        options.netmask = zelsim::Segment::kNetmask;
        options.simulatedSubnet = segment->subnet();
        if (!options.json()) {
            std::fprintf(
                stderr,
                "zeltool: %s: a simulated chain of %zu modules on 127.%d.0.0/16, host side %s "
                "(give --local-ip for a real network)\n",
                simulateAsked ? "--simulate" : "no --local-ip given", plan.size(),
                segment->subnet(), options.localIp.c_str());
        }
        if (options.simControl >= 0) {
            control.emplace(*segment);
            if (!control->open(options.simControl)) {
                return zeltool::fail(options, zeltool::kFailed,
                                     "cannot bind the simulator's control port",
                                     "127.0.0.1:" + std::to_string(options.simControl));
            }
            std::fprintf(stderr, "zeltool: simulator control port 127.0.0.1:%d\n", control->port());
        }
    } else if (options.simControl >= 0) {
        return zeltool::usage(options, "--sim-control goes with a simulated chain, not --local-ip");
    }
    zeltool::catchInterrupts();
    if (!options.pcap.empty() && !ZelCapture::start(options.pcap.c_str())) {
        return zeltool::fail(options, zeltool::kFailed, "cannot create the capture file",
                             options.pcap);
    }
    const int result = run(options);
    ZelCapture::stop();
    return result;
}
