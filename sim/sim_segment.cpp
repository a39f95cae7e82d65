// The simulated segment: sockets, the serving loop, faults, the request log
// and the wiring of neighbour signals.
#include "sim_segment.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <utility>

#include "platform/clock.h"
#include "platform/net.h"
#include "platform/thread.h"

namespace net = zel::platform;

namespace zelsim {
namespace {

constexpr std::uint16_t kModulePort = 27015;
constexpr std::size_t kReceiveSize = 2048;

std::uint32_t addressOf(const std::string& dotted) { return net::parseAddress(dotted.c_str()); }

}  // namespace

struct Segment::Module {
    ModuleState state;
    std::intptr_t socket = net::kInvalidSocket;
    std::map<int, Handler> handlers = commonHandlers();
    std::map<int, Fault> faults;
    Gate gate;
    std::deque<Request> log;
    std::size_t sent = 0;
    std::string boundAddress;
    std::uint32_t hostIp = 0;  // who last sent a command
    // What the module sent last on its own, to send again only on a change.
    std::array<std::uint8_t, 5> lastLatch{};
    std::array<std::uint8_t, 8> lastStatus{};
    long long nextAsyncUs = 0;
    // A pulled cable: nothing reaches the module or leaves it until then.
    long long unpluggedUntilUs = 0;
    // The settings factory defaults restore, as they were when it started.
    struct Factory {
        bool dhcp = false;
        std::string ipStatic;
        std::string netmaskStatic;
        std::map<int, Bytes> fram;
    } factory;
};

struct Segment::Pending {
    long long dueUs;
    Module* module;
    Bytes bytes;
    std::uint32_t ip;
    std::uint16_t port;
    bool foreign;
};

Segment::Segment(int subnet)
    : subnet_(subnet),
      broadcastSocket_(net::kInvalidSocket),
      wakeSocket_(net::kInvalidSocket),
      foreignSocket_(net::kInvalidSocket) {
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
    if (foreignSocket_ != net::kInvalidSocket) net::closeSocket(foreignSocket_);
}

std::string Segment::foreignAddress() const { return "127." + std::to_string(subnet_) + ".254.1"; }

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
    if (s.ipStatic.empty()) {
        s.ipStatic = "127." + std::to_string(subnet_) + ".200." + std::to_string(host & 0xFF);
    }
    if (s.netmaskStatic.empty()) s.netmaskStatic = "255.255.255.0";
    s.numChannels = static_cast<std::uint8_t>(channelsOfIdentity(s.moduleId, s.numChannels));
    addKindHandlers(s.moduleId, m->handlers);
    addProgrammingHandlers(m->handlers);
    const std::uint32_t hardware = s.moduleId / 100;
    s.fram.emplace(
        1, Bytes{static_cast<std::uint8_t>(hardware), static_cast<std::uint8_t>(hardware >> 8),
                 static_cast<std::uint8_t>(hardware >> 16),
                 static_cast<std::uint8_t>(s.moduleId % 100)});
    // Field 2 holds the identity as a number; the programming reads it.
    Bytes identity(4);
    for (int i = 0; i < 4; ++i) identity[i] = static_cast<std::uint8_t>(s.moduleId >> (8 * i));
    s.fram.emplace(2, identity);
    s.fram.emplace(3, Bytes(s.mac.begin(), s.mac.end()));
    s.fram.emplace(4, Bytes(s.serial.begin(), s.serial.end()));
    // Fields the programming procedure writes; present and zero on a new module.
    s.fram.emplace(6, Bytes(4, 0));
    s.fram.emplace(8, Bytes{0});
    s.fram.emplace(22, Bytes{0});
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
        m->boundAddress = m->state.address;
        m->factory = {m->state.dhcp, m->state.ipStatic, m->state.netmaskStatic, m->state.fram};
        m->lastLatch = m->state.latch;
        m->lastStatus = m->state.channelStatus;
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
    // Another sender on the segment, for foreign answers.
    foreignSocket_ = net::openUdpSocket();
    if (foreignSocket_ == net::kInvalidSocket ||
        !net::bindSocket(foreignSocket_, addressOf(foreignAddress()), kModulePort)) {
        return false;
    }
    stopping_ = false;
    running_ = true;
    // The serving thread places itself; start() returns once it has.
    std::promise<bool> placed;
    std::future<bool> placement = placed.get_future();
    thread_ = std::thread(
        [this](std::promise<bool> kept) {
            const unsigned cpu = static_cast<unsigned>(servingCpu_);
            servingRealtime_ =
                servingPriority_ > 0 && net::raiseCurrentThreadToRealtime(servingPriority_);
            kept.set_value(servingCpu_ < 0 || zel::platform::pinCurrentThread(cpu));
            serve();
        },
        std::move(placed));
    servingCpuRefused_ = !placement.get();
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
    // A delayed answer leaves at its own due time: the system would
    // otherwise let the wait run up to 50 us past it, a quarter of a
    // module's 200 us of processing.
    net::tightenTimerSlack();
    // One kept wait set over every socket (epoll where there is one): a wait
    // costs what is ready, not what is open, so a host that sends to many
    // modules back to back is answered as fast as it sends.
    net::WaitSet waitSet;
    std::vector<std::intptr_t> registered;
    waitSet.add(wakeSocket_, 0);
    waitSet.add(broadcastSocket_, 1);
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        registered.push_back(modules_[i]->socket);
        waitSet.add(modules_[i]->socket, i + 2);
    }
    std::vector<std::size_t> ready(modules_.size() + 2);
    unsigned char buffer[kReceiveSize];
    for (;;) {
        long long timeoutUs = -1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            const long long now = net::monotonicMicroseconds();
            // Send what is due, then sleep until the next delayed answer.
            for (auto it = pending_.begin(); it != pending_.end();) {
                if (it->dueUs <= now) {
                    sendFrom(*it->module, it->foreign, it->bytes, it->ip, it->port);
                    it = pending_.erase(it);
                } else {
                    ++it;
                }
            }
            for (const auto& p : pending_) {
                const long long us = p.dueUs - now;
                timeoutUs = timeoutUs < 0 ? us : std::min(timeoutUs, us);
            }
            for (auto& m : modules_) {
                const long long due = sendPeriodic(*m, now);
                if (due > 0) timeoutUs = timeoutUs < 0 ? due - now : std::min(timeoutUs, due - now);
            }
        }
        const int n = waitSet.wait(timeoutUs, ready.data(), ready.size());
        for (int k = 0; k < n; ++k) {
            const std::size_t tag = ready[static_cast<std::size_t>(k)];
            const std::intptr_t socket = tag == 0   ? wakeSocket_
                                         : tag == 1 ? broadcastSocket_
                                                    : modules_[tag - 2]->socket;
            net::Peer from;
            const long length = net::receiveFrom(socket, buffer, sizeof(buffer), &from);
            if (length < 0 || tag == 0) continue;
            const Bytes request(buffer, buffer + length);
            std::lock_guard<std::mutex> lock(mutex_);
            // A module whose cable is out never sees the datagram.
            if (tag >= 2 && unplugged(*modules_[tag - 2], net::monotonicMicroseconds())) continue;
            if (pcap_.isOpen()) {
                const std::uint32_t to = tag == 1 ? addressOf(broadcastAddress())
                                                  : addressOf(modules_[tag - 2]->boundAddress);
                pcap_.write(from.address, from.port, to, kModulePort, buffer,
                            static_cast<std::size_t>(length));
            }
            if (tag == 1) {
                const long long now = net::monotonicMicroseconds();
                for (auto& m : modules_) {
                    if (!unplugged(*m, now)) handle(*m, request, from.address, from.port, true);
                }
            } else {
                handle(*modules_[tag - 2], request, from.address, from.port, false);
            }
            // A module that took a new address answers on a new socket.
            for (std::size_t i = 0; i < modules_.size(); ++i) {
                if (modules_[i]->socket == registered[i]) continue;
                waitSet.remove(registered[i]);
                registered[i] = modules_[i]->socket;
                waitSet.add(registered[i], i + 2);
            }
        }
    }
}

void Segment::handle(Module& m, const Bytes& request, std::uint32_t fromIp, std::uint16_t fromPort,
                     bool broadcast) {
    answer(m, request, fromIp, fromPort, broadcast);
    // A new static address takes effect once the answer is out.
    if (m.state.address != m.boundAddress) rebind(m);
    sendChanges(m);
}

void Segment::restoreFactoryDefaults(Module& m) {
    ModuleState& s = m.state;
    s.dhcp = m.factory.dhcp;
    s.ipStatic = m.factory.ipStatic;
    s.netmaskStatic = m.factory.netmaskStatic;
    s.fram = m.factory.fram;
    s.asyncPort = 0;
    s.asyncMode = false;
    // Without DHCP the module takes its static address; with it, it keeps
    // what the server gave.
    if (!s.dhcp) {
        s.address = s.ipStatic;
        s.netmask = s.netmaskStatic;
    }
}

bool Segment::asyncReady(const Module& m) const {
    return m.state.asyncMode && m.state.asyncPort != 0 && m.hostIp != 0;
}

void Segment::sendChanges(Module& m) {
    const ModuleState& s = m.state;
    if (s.latch != m.lastLatch && asyncReady(m)) send(m, latchMessage(s), m.hostIp, s.asyncPort);
    m.lastLatch = s.latch;
    for (std::size_t c = 0; c < s.channelStatus.size(); ++c) {
        if (s.channelStatus[c] != m.lastStatus[c] && asyncReady(m)) {
            send(m, channelStatusMessage(static_cast<int>(c), s.channelStatus[c]), m.hostIp,
                 s.asyncPort);
        }
    }
    m.lastStatus = s.channelStatus;
}

long long Segment::sendPeriodic(Module& m, long long nowUs) {
    const ModuleState& s = m.state;
    if (s.asyncPeriodMs <= 0 || !asyncReady(m) || unplugged(m, nowUs) ||
        s.programming.silentUntilUs > nowUs) {
        m.nextAsyncUs = 0;
        return 0;
    }
    if (m.nextAsyncUs == 0) m.nextAsyncUs = nowUs + s.asyncPeriodMs * 1000LL;
    if (m.nextAsyncUs <= nowUs) {
        send(m, latchMessage(s), m.hostIp, s.asyncPort);
        const std::size_t channels = std::min<std::size_t>(s.numChannels, s.channelStatus.size());
        for (std::size_t c = 0; c < channels; ++c) {
            send(m, channelStatusMessage(static_cast<int>(c), s.channelStatus[c]), m.hostIp,
                 s.asyncPort);
        }
        m.nextAsyncUs = nowUs + s.asyncPeriodMs * 1000LL;
    }
    return m.nextAsyncUs;
}

void Segment::answer(Module& m, const Bytes& request, std::uint32_t fromIp, std::uint16_t fromPort,
                     bool broadcast) {
    const long long now = net::monotonicMicroseconds();
    if (m.log.size() == kRequestLog) m.log.pop_front();
    m.log.push_back(Request{now, request, broadcast});
    m.hostIp = fromIp;
    if (request.empty()) return;
    // Rebooting or restarting with a new image: the module hears nothing.
    if (m.state.programming.silentUntilUs > now) return;
    const int command = request[0];
    // A request whose count or length does not fit its command is dropped
    // unanswered, as a module's frame check does.
    if (!wellFormedRequest(request)) {
        ++m.state.refusedRequests;
        return;
    }
    if (m.gate && !m.gate(m.state, request, fromIp, fromPort)) return;

    std::optional<Bytes> reply;
    const auto handler = m.handlers.find(command);
    if (handler != m.handlers.end()) {
        reply = handler->second(m.state, request);
        if (command == 34 && !reply) restoreFactoryDefaults(m);
    } else {
        reply = frame(17, 0, {});  // a command the module does not know
    }
    // The left input of each module follows its physical left neighbour's
    // right output; the modules are in physical order.
    for (std::size_t i = 0; i < modules_.size(); ++i) {
        ModuleState& state = modules_[i]->state;
        state.leftInput = !state.leftInputDead && i > 0 && modules_[i - 1]->state.rightOutput;
    }
    if (!reply) return;

    Fault fault;
    const auto armed = m.faults.find(command);
    if (armed != m.faults.end()) {
        Fault& f = armed->second;
        ++f.seen;
        const bool hit = f.every <= 1 || (f.seen % f.every) == 0;
        if (hit) {
            fault = f;
            if (f.drop > 0) --f.drop;
            if (f.stopAfter > 0) --f.stopAfter;
        } else if (f.stopAfter == 0) {
            return;
        }
    }
    if (fault.drop != 0 || fault.stopAfter == 0) return;
    Bytes& a = *reply;
    if (fault.type) a[0] = static_cast<std::uint8_t>(*fault.type);
    if (fault.paramCount && a.size() > 1) a[1] = static_cast<std::uint8_t>(*fault.paramCount);
    if (fault.paramLength && a.size() > 2) a[2] = static_cast<std::uint8_t>(*fault.paramLength);
    if (fault.oversize > static_cast<int>(a.size()))
        a.resize(static_cast<std::size_t>(fault.oversize), 0xEE);
    if (fault.truncate >= 0 && fault.truncate < static_cast<int>(a.size())) {
        a.resize(static_cast<std::size_t>(fault.truncate));
    }

    struct Out {
        Bytes bytes;
        bool foreign;
        long long extraUs;
    };
    std::vector<Out> out;
    for (int i = 0; i < fault.unsolicited; ++i) {
        out.push_back({frame(17, 1, {static_cast<std::uint8_t>(i)}), false, 0});
    }
    for (int i = 0; i < fault.foreign; ++i) {
        Bytes other = a;
        for (std::size_t k = 3; k < other.size(); ++k)
            other[k] = static_cast<std::uint8_t>(~other[k]);
        out.push_back({other, true, 0});
    }
    out.push_back({a, false, 0});
    if (fault.duplicate && (fault.duplicateEvery <= 1 || fault.seen % fault.duplicateEvery == 0)) {
        out.push_back({a, false, fault.duplicateGapUs});
    }
    const long long due = now + static_cast<long long>(fault.delayMs) * 1000 + fault.delayUs;
    for (auto& o : out) {
        if (due + o.extraUs > now) {
            pending_.push_back(
                Pending{due + o.extraUs, &m, std::move(o.bytes), fromIp, fromPort, o.foreign});
        } else {
            sendFrom(m, o.foreign, o.bytes, fromIp, fromPort);
        }
    }
}

void Segment::sendFrom(Module& m, bool foreign, const Bytes& bytes, std::uint32_t ip,
                       std::uint16_t port) {
    if (foreign) {
        net::sendTo(foreignSocket_, bytes.data(), bytes.size(), ip, port);
        pcap_.write(addressOf(foreignAddress()), kModulePort, ip, port, bytes.data(), bytes.size());
    } else {
        send(m, bytes, ip, port);
    }
}

void Segment::rebind(Module& m) {
    const std::intptr_t s = net::openUdpSocket();
    if (s == net::kInvalidSocket) return;
    if (!net::bindSocket(s, addressOf(m.state.address), kModulePort)) {
        net::closeSocket(s);
        return;
    }
    net::closeSocket(m.socket);
    m.socket = s;
    m.boundAddress = m.state.address;
}

bool Segment::sendAsync(std::size_t module, const Bytes& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    Module& m = *modules_.at(module);
    if (!m.state.asyncMode || m.state.asyncPort == 0 || m.hostIp == 0) return false;
    send(m, message, m.hostIp, m.state.asyncPort);
    return true;
}

void Segment::send(Module& m, const Bytes& bytes, std::uint32_t ip, std::uint16_t port) {
    if (unplugged(m, net::monotonicMicroseconds())) return;
    if (net::sendTo(m.socket, bytes.data(), bytes.size(), ip, port) >= 0) ++m.sent;
    pcap_.write(addressOf(m.boundAddress), kModulePort, ip, port, bytes.data(), bytes.size());
}

bool Segment::capture(const std::string& pcapFile) {
    std::lock_guard<std::mutex> lock(mutex_);
    return pcap_.open(pcapFile);
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

bool Segment::fault(std::size_t module, int command, Fault* out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& faults = modules_.at(module)->faults;
    const auto f = faults.find(command);
    if (f == faults.end()) return false;
    *out = f->second;
    return true;
}

void Segment::clearFaults(std::size_t module, int command) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& faults = modules_.at(module)->faults;
    if (command < 0) {
        faults.clear();
    } else {
        faults.erase(command);
    }
}

bool Segment::unplugged(const Module& m, long long nowUs) const {
    return m.unpluggedUntilUs > nowUs;
}

void Segment::dropPending(const Module& m) {
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&m](const Pending& p) { return p.module == &m; }),
                   pending_.end());
}

void Segment::restartModule(std::size_t module, int silentMs, Restart into) {
    std::lock_guard<std::mutex> lock(mutex_);
    Module& m = *modules_.at(module);
    ModuleState& s = m.state;
    const ModuleState fresh;
    // What a module keeps only while powered; its identity, network
    // settings, FRAM, encoders and axes are physical or non-volatile.
    for (std::size_t c = 0; c < s.incremental.size(); ++c) {
        IncrementalChannel& ch = s.incremental[c];
        const IncrementalChannel& d = fresh.incremental[c];
        ch.signalType = d.signalType;
        ch.analogDiag = d.analogDiag;
        ch.direction = d.direction;
        ch.interpolation = d.interpolation;
        ch.markKind = d.markKind;
        ch.markParameter = d.markParameter;
        ch.pollsLeft = d.pollsLeft;
        ch.referenced = d.referenced;
        ch.acknowledged = d.acknowledged;
        ch.referenceState = d.referenceState;
    }
    const std::array<std::uint8_t, 8> lvdtPresence = s.lvdt.presence;
    const std::array<std::int32_t, 8> readings = s.lvdt.readings;
    const std::array<std::int16_t, 8> millivolts = s.lvdt.millivolts;
    const std::uint16_t fpga = s.lvdt.fpgaRevision;
    const std::uint8_t taught = s.lvdt.taughtGain;
    s.lvdt = fresh.lvdt;
    s.lvdt.presence = lvdtPresence;
    s.lvdt.readings = readings;
    s.lvdt.millivolts = millivolts;
    s.lvdt.fpgaRevision = fpga;
    s.lvdt.taughtGain = taught;
    s.analog.samples = fresh.analog.samples;
    s.asyncPort = fresh.asyncPort;
    s.asyncMode = fresh.asyncMode;
    s.latch = fresh.latch;
    s.latchOption = fresh.latchOption;
    s.latchChoice = fresh.latchChoice;
    s.diagMode = fresh.diagMode;
    s.errorChecking = fresh.errorChecking;
    s.debounceTime = fresh.debounceTime;
    s.channelStatus = fresh.channelStatus;
    s.outputs = fresh.outputs;
    s.rightOutput = fresh.rightOutput;
    m.lastLatch = s.latch;
    m.lastStatus = s.channelStatus;
    m.hostIp = 0;
    m.nextAsyncUs = 0;
    dropPending(m);
    const long long now = net::monotonicMicroseconds();
    s.programming.silentUntilUs = silentMs > 0 ? now + silentMs * 1000LL : 0;
    s.programming.active = false;
    if (into == Restart::BrokenFirmware) s.programming.firmwareStarts = false;
    s.bootloaderOnly = into != Restart::Firmware || !s.programming.firmwareStarts;
}

void Segment::unplugModule(std::size_t module, int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    Module& m = *modules_.at(module);
    m.unpluggedUntilUs =
        ms < 0 ? (1LL << 62) : net::monotonicMicroseconds() + static_cast<long long>(ms) * 1000;
    dropPending(m);
}

void Segment::plugModule(std::size_t module) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->unpluggedUntilUs = 0;
}

void Segment::setHandler(std::size_t module, int command, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->handlers[command] = std::move(handler);
}

void Segment::setGate(std::size_t module, Gate gate) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->gate = std::move(gate);
}

std::vector<Request> Segment::requests(std::size_t module) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& log = modules_.at(module)->log;
    return std::vector<Request>(log.begin(), log.end());
}

void Segment::clearRequests(std::size_t module) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_.at(module)->log.clear();
}

void Segment::withState(std::size_t module, const std::function<void(ModuleState&)>& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    Module& m = *modules_.at(module);
    f(m.state);
    sendChanges(m);
    // The serving thread may sleep without a time-out; a new period starts now.
    if (running_ && m.state.asyncPeriodMs > 0) {
        const char wake = 0;
        net::sendTo(wakeSocket_, &wake, 1, addressOf("127.0.0.1"), wakePort_);
    }
}

}  // namespace zelsim
