// zeltool: error reporting, text conversions, module kinds, the checks of
// addresses, netmasks, versions and configuration values, and Ctrl-C.
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "station/zel_acquisition_text.h"
#include "zeltool.h"

namespace zeltool {

namespace {

std::atomic<int> interruptCount{0};
std::atomic<bool> hungUp{false};

void onInterrupt(int) {
    // The second Ctrl-C of a firmware update is the user's insistence; the
    // update's own loop decides what to do with it. Elsewhere the loops
    // look at the count between exchanges.
    interruptCount.fetch_add(1);
}

// A closed terminal counts as one interrupt however often it is signalled:
// nobody is left to insist.
[[maybe_unused]] void onHangup(int) { hungUp = true; }

}  // namespace

int fail(const Options& options, int status, const std::string& text, const std::string& about,
         int code, const char* method) {
    if (options.json()) {
        std::string line = "{\"error\": " + jsonText(text);
        if (!about.empty()) line += ", \"about\": " + jsonText(about);
        if (code >= 0) line += ", \"code\": " + std::to_string(code);
        if (method != nullptr) line += ", \"method\": " + jsonText(method);
        line += ", \"status\": " + std::to_string(status) + "}";
        std::fprintf(stderr, "%s\n", line.c_str());
    } else {
        // A text that already begins with what it is about (a station's
        // message names its file) is not prefixed twice.
        const bool named = about.empty() || text.compare(0, about.size(), about) == 0;
        std::string line = "zeltool: " + (named ? "" : about + ": ") + text;
        if (code >= 0)
            line += " (code " + std::to_string(code) +
                    (method ? std::string(" in ") + method : "") + ")";
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return status;
}

int fail(const Options& options, int status, const ZelResults& result, const std::string& about) {
    ZelResults r = result;
    return fail(options, status, ZelResults::showRespCode(r.getCode()), about, r.getCode(),
                r.getMethod());
}

int usage(const Options& options, const std::string& text) {
    const std::string command =
        options.args.empty() || !isCommand(options.args[0]) ? "" : options.args[0] + " ";
    if (options.json()) return fail(options, kUsage, text);
    std::fprintf(stderr, "zeltool: %s\nzeltool: try 'zeltool %s--help'\n", text.c_str(),
                 command.c_str());
    return kUsage;
}

bool confirm(const Options& options, const std::string& question) {
    if (options.yes) return true;
    std::fprintf(stderr, "zeltool: %s [y/N] ", question.c_str());
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fputc('\n', stderr);  // no answer came (end of input): end the question's line
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::string jsonText(const std::string& text) { return zelJsonText(text); }

std::string csvText(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

bool utf8ToLatin1(const std::string& utf8, std::string& latin1) {
    latin1.clear();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            latin1 += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            latin1 += static_cast<char>(((c & 0x03) << 6) |
                                        (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
            ++i;
        } else {
            return false;  // beyond U+00FF, or no UTF-8 at all
        }
    }
    return true;
}

std::string latin1ToUtf8(const std::string& latin1) {
    std::string out;
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

const char* kindName(MODULE_ID id) {
    const zel::identity::KindInfo* kind = zel::identity::kindOf(id);
    return kind != nullptr ? kind->name : "unknown";
}

std::string kindName(const ModuleData& data) {
    // Identity 0 with a bootloader version and no firmware: only the
    // bootloader runs.
    if (data.moduleId == MODULE_ID_NONE && data.bootloaderVersion[0] != '\0' &&
        data.firmwareVersion[0] == '\0') {
        return "bootloader only, firmware needs programming";
    }
    return kindName(data.moduleId);
}

bool isMeasuring(MODULE_ID id) {
    return zel::identity::has(id, &zel::identity::KindInfo::measuring);
}

std::unique_ptr<ZelModule> makeModule(MODULE_ID id) {
    return std::unique_ptr<ZelModule>(zel::kinds::create(id, false));
}

void applyExchangeSettings(const Options& options, ZelModule& module) {
    if (options.timeoutMs >= 0) module.setUdpTimeout(options.timeoutMs);
    if (options.retries >= 0) module.setUdpNumRetries(options.retries);
}

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

std::uint32_t addressValue(const std::string& dottedQuad) {
    std::uint32_t value = 0;
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = dottedQuad.find('.', i);
        value = value << 8 | static_cast<std::uint32_t>(std::stoul(dottedQuad.substr(i, dot - i)));
        i = dot + 1;
    }
    return value;
}

std::string netmaskProblem(const std::string& netmask) {
    if (!isDottedQuad(netmask))
        return "'" + netmask + "' is not a netmask (four numbers 0 to 255, as 255.255.255.0)";
    const std::uint32_t mask = addressValue(netmask);
    // Contiguous: the ones, then only zeros.
    if ((~mask & (~mask + 1)) != 0)
        return "netmask " + netmask + " is not contiguous (its ones must come first)";
    return "";
}

std::string moduleAddressProblem(const std::string& address, const std::string& netmask) {
    if (!isDottedQuad(address))
        return "'" + address + "' is not an IPv4 address (four numbers 0 to 255, as 172.31.46.12)";
    const std::uint32_t a = addressValue(address);
    if (a == 0) return "0.0.0.0 cannot be a module's address";
    if (a == 0xFFFFFFFFu) return "255.255.255.255 is the broadcast address";
    if ((a >> 28) == 0xE) return address + " is a multicast address";
    if ((a >> 28) == 0xF) return address + " is a reserved address";
    if ((a >> 24) == 0) return address + " lies in 0.0.0.0/8, which names no host";
    if (!netmask.empty() && isDottedQuad(netmask)) {
        const std::uint32_t m = addressValue(netmask);
        if (m != 0xFFFFFFFFu && m != 0xFFFFFFFEu) {
            if ((a & ~m) == ~m)
                return address + " is the broadcast address of its subnet (netmask " + netmask +
                       ")";
            if ((a & ~m) == 0)
                return address + " is the network address of its subnet (netmask " + netmask + ")";
        }
    }
    return "";
}

std::string versionProblem(const std::string& version) {
    int parts = 0;
    std::size_t i = 0;
    while (i <= version.size()) {
        std::size_t j = i;
        while (j < version.size() && version[j] >= '0' && version[j] <= '9') ++j;
        if (j == i || j - i > 3) break;
        ++parts;
        if (j == version.size())
            return parts == 3 ? ""
                              : "'" + version + "' is not a version of three numbers, as 2.4.0";
        if (version[j] != '.') break;
        i = j + 1;
    }
    return "'" + version + "' is not a version of three numbers, as 2.4.0";
}

namespace {

bool integer(const std::string& text, long low, long high) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0 && n >= low && n <= high;
}

bool decimal(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(d);
}

bool oneOf(const std::string& text, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        if (text == w) return true;
    }
    return false;
}

bool isMac(const std::string& text) {
    if (text.size() != 17) return false;
    for (std::size_t i = 0; i < 17; ++i) {
        if (i % 3 == 2 ? text[i] != ':' && text[i] != '-'
                       : !std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string elementValueProblem(ZEL_XML_ELEMENTS element, const std::string& value) {
    const std::string tag = ZelConfigBase::decodeElementType(element);
    const auto bad = [&](const std::string& what) {
        return "'" + value + "' is no value for " + tag + ": " + what;
    };
    switch (element) {
        case ZEL_XML_MODULE_ID:
            return integer(value, 0, 4294967295L) ? "" : bad("an identity number, as 58031401");
        case ZEL_XML_IP:
        case ZEL_XML_IP_STATIC:
            return isDottedQuad(value) ? "" : bad("an IPv4 address, as 172.31.46.12");
        case ZEL_XML_NETMASK:
        case ZEL_XML_NETMASK_STATIC:
            return netmaskProblem(value).empty() ? ""
                                                 : bad("a contiguous netmask, as 255.255.255.0");
        case ZEL_XML_MAC:
            return isMac(value) ? "" : bad("a MAC address, as 00:1A:2B:3C:4D:5E");
        case ZEL_XML_PORT:
            return integer(value, 0, 65535) ? "" : bad("a port, 0 to 65535");
        case ZEL_XML_USING_DHCP:
        case ZEL_XML_ACTIVE:
        case ZEL_XML_ERROR_MONITORING:
        case ZEL_XML_POPULATED:
        case ZEL_XML_MASTERING_ENABLED:
        case ZEL_XML_COUNTING_DIRECTION:
            return oneOf(value, {"0", "1", "true", "false"}) ? "" : bad("0 or 1 (or true, false)");
        case ZEL_XML_UOM:
        case ZEL_XML_MASTER_UOM:
            return integer(value, 0, 4) ? ""
                                        : bad("a unit: 0 none, 1 counts, 2 inch, 3 mm, 4 degree");
        case ZEL_XML_ROTARY_FORMAT_TYPE:
            return integer(value, 0, 4) ? "" : bad("a rotary format, 0 to 4");
        case ZEL_XML_INTERPOLATION:
            return oneOf(value, {"1", "2", "5", "10", "20", "25", "50", "100"})
                       ? ""
                       : bad("an interpolation factor: 1, 2, 5, 10, 20, 25, 50 or 100");
        case ZEL_XML_DISTINGUISHABLE_REVOLUTIONS:
        case ZEL_XML_LINE_COUNT:
            return integer(value, 1, 4294967295L) ? "" : bad("a whole number from 1");
        case ZEL_XML_RESOLUTION:
            // Counts to units: 0 or below gives no position at all.
            return decimal(value) && std::strtod(value.c_str(), nullptr) > 0.0
                       ? ""
                       : bad("a number above 0");
        case ZEL_XML_SIGNAL_PERIOD:
        case ZEL_XML_ERROR_COMPENSATION:
        case ZEL_XML_SCALE_FACTOR:
        case ZEL_XML_MASTER_DESIRED:
        case ZEL_XML_MASTER_OFFSET:
        case ZEL_XML_DISPLAY_RESOLUTION:
        case ZEL_XML_OFFSET:
        case ZEL_XML_PRIMARY_EXCITATION_VOLTAGE:
        case ZEL_XML_PRIMARY_EXCITATION_FREQUENCY:
        case ZEL_XML_INSTRUMENTATION_MIN:
        case ZEL_XML_INSTRUMENTATION_MAX:
        case ZEL_XML_ACTUAL_MIN:
        case ZEL_XML_ACTUAL_MAX:
            return decimal(value) ? "" : bad("a number");
        case ZEL_XML_DEVICE_TYPE:
        case ZEL_XML_REFERENCE_MARK:
        case ZEL_XML_GAIN_CODE:
        case ZEL_XML_SIGNAL_TYPE:
        case ZEL_XML_RECALIBRATION_TIMER:
            return integer(value, 0, 65535) ? "" : bad("a whole number from 0");
        default:
            return "";  // labels, names, versions, dates: any text
    }
}

void catchInterrupts() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    // A closed terminal ends the tool as Ctrl-C does (a firmware update is
    // finished first), and a reader gone from the output is no reason to die.
    // (Windows has neither signal: a closed console sends Ctrl-Close.)
#ifdef SIGHUP
    std::signal(SIGHUP, onHangup);
#endif
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int interrupts() { return interruptCount.load() + (hungUp.load() ? 1 : 0); }

bool hangup() { return hungUp.load(); }

}  // namespace zeltool
