// The simulated segment: sockets, the serving loop, faults and the request
// log, and the common command handlers.
#include "sim_segment.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/net.h"

namespace net = zel::platform;

namespace zelsim {
namespace {

constexpr std::uint16_t kModulePort = 27015;
constexpr std::size_t kReceiveSize = 2048;

std::uint32_t addressOf(const std::string& dotted) { return net::parseAddress(dotted.c_str()); }

// The four octets of a dotted address, first octet first.
std::array<std::uint8_t, 4> octets(const std::string& dotted) {
    const std::uint32_t a = addressOf(dotted);
    std::array<std::uint8_t, 4> o{};
    std::memcpy(o.data(), &a, 4);
    return o;
}

// The connect message: identity and network record of the module.
Bytes connectMessage(const ModuleState& s) {
    Bytes p(37, 0);
    const auto ip = octets(s.address);
    std::copy(ip.begin(), ip.end(), p.begin());
    p[6] = static_cast<std::uint8_t>(kModulePort >> 8);  // big-endian port, bytes 7 to 10
    p[7] = static_cast<std::uint8_t>(kModulePort & 0xFF);
    p[8] = s.connectFlag ? 1 : 0;
    p[9] = s.dhcp ? 1 : 0;
    std::copy(s.mac.begin(), s.mac.end(), p.begin() + 10);
    const auto mask = octets(s.netmask);
    std::copy(mask.begin(), mask.end(), p.begin() + 16);
    for (std::size_t i = 0; i < 8 && i < s.serial.size(); ++i) p[20 + i] = s.serial[i];
    std::copy(ip.begin(), ip.end(), p.begin() + 28);
    std::copy(mask.begin(), mask.end(), p.begin() + 32);
    p[36] = static_cast<std::uint8_t>(s.revision);
    return frame(18, 11, p);
}

}  // namespace

Bytes frame(int type, std::uint8_t count, const Bytes& params) {
    Bytes f(3 + params.size());
    f[0] = static_cast<std::uint8_t>(type);
    f[1] = count;
    f[2] = static_cast<std::uint8_t>(params.size());
    for (std::size_t i = 0; i < params.size(); ++i) f[3 + i] = params[i];
    return f;
}

std::map<int, Handler> commonHandlers() {
    std::map<int, Handler> h;
    h[0] = [](ModuleState& s, const Bytes&) { return std::optional<Bytes>(connectMessage(s)); };
    h[3] = [](ModuleState&, const Bytes&) { return std::optional<Bytes>(frame(3, 0, {})); };
    h[4] = [](ModuleState& s, const Bytes& r) {
        // The new static address and netmask, each first octet last.
        if (r.size() >= 11) {
            char text[16];
            std::snprintf(text, sizeof(text), "%u.%u.%u.%u", r[10], r[9], r[8], r[7]);
            s.netmask = text;
        }
        return std::optional<Bytes>(frame(4, 0, {}));
    };
    h[5] = [](ModuleState& s, const Bytes& r) {
        s.dhcp = r.size() > 3 && r[3] != 0;
        return std::optional<Bytes>(frame(5, 0, {}));
    };
    h[6] = [](ModuleState&, const Bytes&) { return std::optional<Bytes>(frame(6, 0, {})); };
    h[7] = [](ModuleState& s, const Bytes&) {
        // Address least significant byte first, DHCP flag, then the
        // bootloader and firmware versions as numbers with release kinds 0.
        const auto ip = octets(s.address);
        Bytes p(19, 0);
        for (int i = 0; i < 4; ++i) p[i] = ip[3 - i];
        p[4] = s.dhcp ? 1 : 0;
        p[5] = s.bootloaderVersion[0];
        p[7] = s.bootloaderVersion[1];
        p[9] = s.bootloaderVersion[2];
        p[10] = s.firmwareVersion[0];
        p[12] = s.firmwareVersion[1];
        p[14] = s.firmwareVersion[2];
        return std::optional<Bytes>(frame(7, 4, p));
    };
    h[8] = [](ModuleState& s, const Bytes&) {
        const auto ip = octets(s.address);
        Bytes p{ip[3], ip[2], ip[1], ip[0], static_cast<std::uint8_t>(s.leftInput), 0, 0, 0};
        return std::optional<Bytes>(frame(8, 5, p));
    };
    h[9] = [](ModuleState& s, const Bytes& r) {
        s.rightOutput = r.size() > 3 && r[3] != 0;
        return std::optional<Bytes>(frame(9, 0, {}));
    };
    h[10] = [](ModuleState& s, const Bytes&) {
        Bytes p(10, 0);
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<std::uint8_t>(s.moduleId >> (8 * i));
            p[4 + i] = static_cast<std::uint8_t>(s.moduleNumber >> (8 * i));
        }
        p[8] = s.typeByte;
        p[9] = s.numChannels;
        return std::optional<Bytes>(frame(10, 4, p));
    };
    h[13] = [](ModuleState& s, const Bytes& r) {
        // Byte 3: 1 reads the port, 0 sets it from bytes 4 (high) and 5 (low).
        if (r.size() >= 6 && r[3] == 0) s.asyncPort = static_cast<std::uint16_t>(r[4] << 8 | r[5]);
        return std::optional<Bytes>(frame(
            13, 2,
            {static_cast<std::uint8_t>(s.asyncPort >> 8), static_cast<std::uint8_t>(s.asyncPort)}));
    };
    h[24] = [](ModuleState& s, const Bytes& r) {
        // Byte 3: 1 writes the bytes from 5 on into field r[4], 0 reads it.
        if (r.size() < 5) return std::optional<Bytes>(frame(17, 0, {}));
        if (r[3] == 1) {
            // The host sends most fields reversed; the module stores them in
            // the order it reads them back.
            Bytes stored(r.begin() + 5, r.end());
            if (r[4] == 8) stored.resize(1);
            if (r[4] != 3 && r[4] != 4 && r[4] != 8) std::reverse(stored.begin(), stored.end());
            s.fram[r[4]] = stored;
            return std::optional<Bytes>(frame(24, 0, {}));
        }
        const auto field = s.fram.find(r[4]);
        if (field == s.fram.end()) return std::optional<Bytes>(frame(17, 0, {}));
        Bytes p{static_cast<std::uint8_t>(field->second.size())};
        p.insert(p.end(), field->second.begin(), field->second.end());
        return std::optional<Bytes>(frame(24, 2, p));
    };
    h[25] = [](ModuleState& s, const Bytes& r) {
        s.asyncMode = r.size() > 3 && r[3] != 0;
        return std::optional<Bytes>(frame(25, 1, {static_cast<std::uint8_t>(s.asyncMode)}));
    };
    // The factory-defaults broadcast is never answered.
    h[34] = [](ModuleState&, const Bytes&) { return std::optional<Bytes>(); };
    return h;
}

struct Segment::Module {
    ModuleState state;
    std::intptr_t socket = net::kInvalidSocket;
    std::map<int, Handler> handlers = commonHandlers();
    std::map<int, Fault> faults;
    std::vector<Request> log;
    std::size_t sent = 0;
};

struct Segment::Pending {
    long long dueUs;
    Module* module;
    Bytes bytes;
    std::uint32_t ip;
    std::uint16_t port;
};

Segment::Segment(int subnet) : subnet_(subnet), broadcastSocket_(net::kInvalidSocket),
                               wakeSocket_(net::kInvalidSocket) {
    const int first = subnet == 0 ? 2 : subnet;
    const int last = subnet == 0 ? 254 : subnet;
    for (int n = first; n <= last; ++n) {
        const std::intptr_t s = net::openUdpSocket();
        if (s == net::kInvalidSocket) return;
        subnet_ = n;
        if (net::bindSocket(s, addressOf(broadcastAddress()), kModulePort)) {
            broadcastSocket_ = s;
            return;
        }
        net::closeSocket(s);
    }
}

Segment::~Segment() {
    stop();
    for (auto& m : modules_) {
        if (m->socket != net::kInvalidSocket) net::closeSocket(m->socket);
    }
    if (broadcastSocket_ != net::kInvalidSocket) net::closeSocket(broadcastSocket_);
}

std::string Segment::hostAddress() const { return "127." + std::to_string(subnet_) + ".0.1"; }

std::string Segment::broadcastAddress() const {
    return "127." + std::to_string(subnet_) + ".255.255";
}

ModuleState& Segment::addModule(int host, ModuleState state) {
    auto m = std::make_unique<Module>();
    m->state = std::move(state);
    m->state.address = "127." + std::to_string(subnet_) + "." + std::to_string(host >> 8) + "." +
                       std::to_string(host & 0xFF);
    ModuleState& s = m->state;
    const std::uint32_t hardware = s.moduleId / 100;
    s.fram.emplace(1, Bytes{static_cast<std::uint8_t>(hardware), static_cast<std::uint8_t>(hardware >> 8),
                            static_cast<std::uint8_t>(hardware >> 16),
                            static_cast<std::uint8_t>(s.moduleId % 100)});
    Bytes number(4);
    for (int i = 0; i < 4; ++i) number[i] = static_cast<std::uint8_t>(s.moduleNumber >> (8 * i));
    s.fram.emplace(2, number);
    s.fram.emplace(3, Bytes(s.mac.begin(), s.mac.end()));
    s.fram.emplace(4, Bytes(s.serial.begin(), s.serial.end()));
    modules_.push_back(std::move(m));
    return modules_.back()->state;
}

bool Segment::start() {
    if (running_ || broadcastSocket_ == net::kInvalidSocket) return false;
    for (auto& m : modules_) {
        m->socket = net::openUdpSocket();
        if (m->socket == net::kInvalidSocket ||
            !net::bindSocket(m->socket, addressOf(m->state.address), kModulePort)) {
            return false;
        }
    }
    // stop() wakes the loop with a datagram to this socket.
    wakeSocket_ = net::openUdpSocket();
    net::Peer local;
    if (wakeSocket_ == net::kInvalidSocket ||
        !net::bindSocket(wakeSocket_, addressOf("127.0.0.1"), 0) ||
        !net::localAddress(wakeSocket_, &local)) {
        return false;
    }
    wakePort_ = local.port;
    stopping_ = false;
    running_ = true;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void Segment::stop() {
    if (!running_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    const char wake = 0;
    net::sendTo(wakeSocket_, &wake, 1, addressOf("127.0.0.1"), wakePort_);
    thread_.join();
    net::closeSocket(wakeSocket_);
    wakeSocket_ = net::kInvalidSocket;
    running_ = false;
}

void Segment::serve() {
    std::vector<std::intptr_t> sockets{wakeSocket_, broadcastSocket_};
    for (auto& m : modules_) sockets.push_back(m->socket);
    auto flags = std::make_unique<bool[]>(sockets.size());
    unsigned char buffer[kReceiveSize];
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            const long long now = net::monotonicMicroseconds();
            // Send what is due, then sleep until the next delayed answer.
            for (auto it = pending_.begin(); it != pending_.end();) {
                if (it->dueUs <= now) {
                    send(*it->module, it->bytes, it->ip, it->port);
                    it = pending_.erase(it);
                } else {
                    ++it;
                }
            }
            for (const auto& p : pending_) {
                const int ms = static_cast<int>((p.dueUs - now + 999) / 1000);
                timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
            }
        }
        if (net::waitAnyReadable(sockets.data(), sockets.size(), flags.get(), timeoutMs) <= 0) {
            continue;
        }
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (!flags[i]) continue;
            net::Peer from;
            const long n = net::receiveFrom(sockets[i], buffer, sizeof(buffer), &from);
            if (n < 0 || i == 0) continue;
            const Bytes request(buffer, buffer + n);
            std::lock_guard<std::mutex> lock(mutex_);
            if (i == 1) {
                for (auto& m : modules_) handle(*m, request, from.address, from.port, true);
            } else {
                handle(*modules_[i - 2], request, from.address, from.port, false);
            }
        }
    }
}

void Segment::handle(Module& m, const Bytes& request, std::uint32_t fromIp,
                     std::uint16_t fromPort, bool broadcast) {
    const long long now = net::monotonicMicroseconds();
    m.log.push_back(Request{now, request, broadcast});
    if (request.empty()) return;
    const int command = request[0];

    std::optional<Bytes> answer;
    const auto handler = m.handlers.find(command);
    if (handler != m.handlers.end()) {
        answer = handler->second(m.state, request);
    } else {
        answer = frame(17, 0, {});  // a command the module does not know
    }
    // The left input of each module follows its physical left neighbour's
    // right output; the modules are in physical order.
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        modules_[i]->state.leftInput = i > 0 && modules_[i - 1]->state.rightOutput;
    }
    if (!answer) return;

    Fault fault;
    const auto armed = m.faults.find(command);
    if (armed != m.faults.end()) {
        fault = armed->second;
        if (armed->second.drop > 0) --armed->second.drop;
        if (armed->second.stopAfter > 0) --armed->second.stopAfter;
    }
    if (fault.drop != 0 || fault.stopAfter == 0) return;
    Bytes& a = *answer;
    if (fault.type) a[0] = static_cast<std::uint8_t>(*fault.type);
    if (fault.paramCount && a.size() > 1) a[1] = static_cast<std::uint8_t>(*fault.paramCount);
    if (fault.paramLength && a.size() > 2) a[2] = static_cast<std::uint8_t>(*fault.paramLength);
    if (fault.oversize > static_cast<int>(a.size())) a.resize(static_cast<std::size_t>(fault.oversize), 0xEE);

    std::vector<Bytes> out;
    for (int i = 0; i < fault.unsolicited; ++i) out.push_back(frame(17, 1, {static_cast<std::uint8_t>(i)}));
    out.push_back(a);
    if (fault.duplicate) out.push_back(a);
    const long long due = now + static_cast<long long>(fault.delayMs) * 1000;
    for (auto& bytes : out) {
        if (fault.delayMs > 0) {
            pending_.push_back(Pending{due, &m, std::move(bytes), fromIp, fromPort});
        } else {
            send(m, bytes, fromIp, fromPort);
        }
    }
}

void Segment::send(Module& m, const Bytes& bytes, std::uint32_t ip, std::uint16_t port) {
    if (net::sendTo(m.socket, bytes.data(), bytes.size(), ip, port) >= 0) ++m.sent;
}

std::size_t Segment::sent(std::size_t module) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return modules_.at(module)->sent;
}

bool Segment::waitForSent(std::size_t module, std::size_t count, int timeoutMs) const {
    const long long deadline = net::monotonicMicroseconds() + timeoutMs * 1000LL;
    while (sent(module) < count) {
        if (net::monotonicMicroseconds() > deadline) return false;
        net::Clock::system().sleepMs(1);
    }
    return true;
}

void Segment::setFault(std::size_t module, int command, const Fault& fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->faults[command] = fault;
}

void Segment::setHandler(std::size_t module, int command, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->handlers[command] = std::move(handler);
}

std::vector<Request> Segment::requests(std::size_t module) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return modules_.at(module)->log;
}

void Segment::clearRequests(std::size_t module) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->log.clear();
}

void Segment::withState(std::size_t module, const std::function<void(ModuleState&)>& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    f(modules_.at(module)->state);
}

}  // namespace zelsim
