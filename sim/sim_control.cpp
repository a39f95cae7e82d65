// The control channel's commands: parsed whole (a number with trailing
// letters is refused, not read in part), applied under the segment's lock
// through its public calls, answered with one line.
#include "sim_control.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/net.h"

namespace zelsim {

const char kControlHelp[] =
    "control commands (standard input, or one a datagram to the --control port):\n"
    "  fault POS CMD KEY[=VALUE]...  arm a fault on command CMD of module POS; keys:\n"
    "      drop=N|always   leave the next N requests (or every one) unanswered\n"
    "      delay=MS        answer MS milliseconds late; late=MS is the same, for an\n"
    "                      answer that comes after the host gave up on it\n"
    "      delay-us=US     and US microseconds more\n"
    "      duplicate[=US]  answer twice, the copy US microseconds later\n"
    "      duplicate-every=N  only every N-th answer twice\n"
    "      truncate=N      cut the answer to N bytes\n"
    "      oversize=N      pad the answer to N bytes\n"
    "      type=T count=N length=N  another answer type, parameter count, length\n"
    "      unsolicited=N   N stray datagrams before the answer\n"
    "      foreign=N       N answers from another sender (127.N.254.1) first\n"
    "      stop-after=K    answer K more requests, then none\n"
    "      every=N         only every N-th request of CMD gets the fault\n"
    "  clear POS [CMD]     remove the faults of module POS (or only those of CMD)\n"
    "  restart POS [MS] [bootloader|broken]\n"
    "                      power cycle: the settings it keeps while powered go back to\n"
    "                      their defaults, silent for MS milliseconds (default 1000);\n"
    "                      bootloader: it comes back running only its bootloader (a\n"
    "                      reset, command 3, starts its firmware); broken: the same,\n"
    "                      and a reset leaves it in its bootloader\n"
    "  unplug POS [MS]     pull its cable: silent, settings kept, for MS milliseconds\n"
    "                      or until plug\n"
    "  plug POS            put the cable back\n"
    "  modules             list the positions\n"
    "  help                this text\n"
    "POS is a position in the physical order, as listed at start, or all.\n"
    "Each command is answered with one line, \"ok ...\" or \"error: ...\".\n";

// The whole of `text` as a number from `low` to `high`: trailing letters or
// an overflow are refused, not read in part.
bool wholeNumber(const std::string& text, long low, long high, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || n < low || n > high) return false;
    out = n;
    return true;
}

namespace {

// Sets one key of a fault; an empty text when it took it, else the reason.
std::string applyKey(Fault& f, const std::string& item) {
    const std::size_t eq = item.find('=');
    const std::string key = item.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
    long n = 0;
    auto number = [&](long low, long high) {
        if (wholeNumber(value, low, high, n)) return true;
        return false;
    };
    const std::string bad = "'" + item + "': ";
    if (key == "drop") {
        if (value == "always") {
            f.drop = -1;
            return "";
        }
        if (!number(1, 1000000)) return bad + "drop takes a count or always";
        f.drop = static_cast<int>(n);
    } else if (key == "delay" || key == "late") {
        if (!number(0, 600000)) return bad + key + " takes 0 to 600000 ms";
        f.delayMs = static_cast<int>(n);
    } else if (key == "delay-us") {
        if (!number(0, 999999)) return bad + "delay-us takes 0 to 999999";
        f.delayUs = static_cast<int>(n);
    } else if (key == "duplicate") {
        f.duplicate = true;
        if (eq != std::string::npos) {
            if (!number(0, 10000000)) return bad + "duplicate takes a gap of 0 to 10000000 us";
            f.duplicateGapUs = static_cast<int>(n);
        }
    } else if (key == "duplicate-every") {
        if (!number(1, 1000000)) return bad + "duplicate-every takes 1 to 1000000";
        f.duplicate = true;
        f.duplicateEvery = static_cast<int>(n);
    } else if (key == "truncate") {
        if (!number(0, 65535)) return bad + "truncate takes 0 to 65535 bytes";
        f.truncate = static_cast<int>(n);
    } else if (key == "oversize") {
        if (!number(1, 65000)) return bad + "oversize takes 1 to 65000 bytes";
        f.oversize = static_cast<int>(n);
    } else if (key == "type" || key == "count" || key == "length") {
        if (!number(0, 255)) return bad + key + " takes 0 to 255";
        (key == "type"    ? f.type
         : key == "count" ? f.paramCount
                          : f.paramLength) = static_cast<int>(n);
    } else if (key == "unsolicited") {
        if (!number(1, 100)) return bad + "unsolicited takes 1 to 100";
        f.unsolicited = static_cast<int>(n);
    } else if (key == "foreign") {
        if (!number(1, 100)) return bad + "foreign takes 1 to 100";
        f.foreign = static_cast<int>(n);
    } else if (key == "stop-after") {
        if (!number(0, 1000000)) return bad + "stop-after takes 0 to 1000000";
        f.stopAfter = static_cast<int>(n);
    } else if (key == "every") {
        if (!number(1, 1000000)) return bad + "every takes 1 to 1000000";
        f.every = static_cast<int>(n);
    } else {
        return "unknown fault key '" + key + "'";
    }
    return "";
}

}  // namespace

std::string control(Segment& segment, const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty()) return "error: empty command";
    const std::string& verb = words[0];
    if (verb == "help") return "ok\n" + std::string(kControlHelp);
    const std::size_t count = segment.moduleCount();
    if (verb == "modules") {
        std::string out = "ok " + std::to_string(count) + " modules";
        for (std::size_t i = 0; i < count; ++i) {
            std::string address;
            segment.withState(i, [&address](ModuleState& s) { address = s.address; });
            out += " " + std::to_string(i) + "=" + address;
        }
        return out;
    }
    const bool known = verb == "fault" || verb == "clear" || verb == "restart" ||
                       verb == "unplug" || verb == "plug";
    if (!known) return "error: unknown command '" + verb + "' (try help)";
    if (words.size() < 2) return "error: " + verb + " needs a module position";
    std::size_t first = 0;
    std::size_t last = 0;
    long n = 0;
    if (words[1] == "all" && count > 0) {
        last = count - 1;
    } else if (count > 0 && wholeNumber(words[1], 0, static_cast<long>(count) - 1, n)) {
        first = last = static_cast<std::size_t>(n);
    } else {
        return "error: no module at position '" + words[1] + "' (0 to " +
               std::to_string(count == 0 ? 0 : count - 1) + ")";
    }
    const std::string which = words[1] == "all" ? "every module" : "module " + words[1];

    if (verb == "fault" || verb == "clear") {
        long command = -1;
        if (words.size() >= 3 && !wholeNumber(words[2], 0, 255, command)) {
            return "error: '" + words[2] + "' is no command code (0 to 255)";
        }
        if (verb == "clear") {
            if (words.size() > 3) return "error: clear takes a position and a command at most";
            for (std::size_t i = first; i <= last; ++i) segment.clearFaults(i, command);
            return "ok faults cleared on " + which;
        }
        if (command < 0) return "error: fault needs a command code";
        if (words.size() < 4) return "error: fault needs at least one key (try help)";
        Fault f;
        for (std::size_t k = 3; k < words.size(); ++k) {
            const std::string problem = applyKey(f, words[k]);
            if (!problem.empty()) return "error: " + problem;
        }
        for (std::size_t i = first; i <= last; ++i) {
            segment.setFault(i, static_cast<int>(command), f);
        }
        return "ok fault armed on command " + std::to_string(command) + " of " + which;
    }
    if (verb == "plug") {
        if (words.size() > 2) return "error: plug takes a position only";
        for (std::size_t i = first; i <= last; ++i) segment.plugModule(i);
        return "ok " + which + " plugged in";
    }
    long ms = verb == "restart" ? 1000 : -1;
    // restart: the way it comes back, last.
    Segment::Restart into = Segment::Restart::Firmware;
    std::string intoText;
    if (verb == "restart" && words.size() >= 3 &&
        (words.back() == "bootloader" || words.back() == "broken")) {
        into = words.back() == "bootloader" ? Segment::Restart::Bootloader
                                            : Segment::Restart::BrokenFirmware;
        intoText = words.back() == "bootloader" ? ", back in its bootloader"
                                                : ", back in its bootloader with broken firmware";
        words.pop_back();
    }
    if (words.size() > 3) {
        return "error: " + verb + " takes a position and a time at most" +
               (verb == "restart" ? std::string(", then bootloader or broken") : "");
    }
    if (words.size() == 3 && !wholeNumber(words[2], 0, 3600000, ms)) {
        return "error: '" + words[2] + "' is no time in ms (0 to 3600000)";
    }
    for (std::size_t i = first; i <= last; ++i) {
        if (verb == "restart") {
            segment.restartModule(i, static_cast<int>(ms), into);
        } else {
            segment.unplugModule(i, static_cast<int>(ms));
        }
    }
    if (verb == "restart") {
        return "ok " + which + " restarted, silent for " + std::to_string(ms) + " ms" + intoText;
    }
    return "ok " + which + " unplugged" +
           (ms < 0 ? std::string(" until plug") : " for " + std::to_string(ms) + " ms");
}

namespace net = zel::platform;

bool ControlPort::open(int port) {
    close();
    const std::uint32_t loopback = net::parseAddress("127.0.0.1");
    socket_ = net::openUdpSocket();
    wake_ = net::openUdpSocket();
    net::Peer local;
    if (socket_ == net::kInvalidSocket || wake_ == net::kInvalidSocket ||
        !net::bindSocket(socket_, loopback, static_cast<std::uint16_t>(port)) ||
        !net::bindSocket(wake_, loopback, 0) || !net::localAddress(wake_, &wakeFrom_) ||
        !net::localAddress(socket_, &local)) {
        close();
        return false;
    }
    port_ = local.port;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void ControlPort::close() {
    if (thread_.joinable()) {
        // An empty datagram from the wake socket ends the serving loop.
        net::sendTo(wake_, "", 0, net::parseAddress("127.0.0.1"),
                    static_cast<std::uint16_t>(port_));
        thread_.join();
    }
    if (socket_ != net::kInvalidSocket) net::closeSocket(socket_);
    if (wake_ != net::kInvalidSocket) net::closeSocket(wake_);
    socket_ = wake_ = net::kInvalidSocket;
    port_ = 0;
}

void ControlPort::serve() {
    char buffer[1024];
    for (;;) {
        net::Peer from;
        const long length = net::receiveFrom(socket_, buffer, sizeof(buffer), &from);
        if (length < 0) continue;
        if (length == 0 && from.port == wakeFrom_.port) return;
        std::string command(buffer, static_cast<std::size_t>(length));
        while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) {
            command.pop_back();
        }
        const std::string reply = control(segment_, command);
        net::sendTo(socket_, reply.data(), reply.size(), from.address, from.port);
    }
}

}  // namespace zelsim
