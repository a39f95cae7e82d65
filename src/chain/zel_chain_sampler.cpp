// ZelChainSampler: the counts requests of many modules in flight at once.
#include "chain/zel_chain_sampler.h"

#include <algorithm>
#include <cstring>

#include "foundation/result_helpers.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"
#include "platform/clock.h"
#include "platform/net.h"

namespace net = zel::platform;

namespace {

constexpr char kMethod[] = "ZelChainSampler::sample";

bool isMeasuring(const MODULE_ID& id) {
    return ZelModule::isKalixModule(id) || ZelModule::is1VppModule(id) ||
           ZelModule::isTtlModule(id) || ZelModule::isLvdtModule(id) ||
           ZelModule::isAnalogModule(id);
}

}  // namespace

ZelChainSampler::ZelChainSampler(ZelInterface& chain) {
    std::vector<ZelModule*> modules;
    std::vector<unsigned short> positions;
    for (unsigned short i = 0; i < chain.getNumModules(); ++i) {
        modules.push_back(chain.getModule(i));
        positions.push_back(i);
    }
    collect(modules, positions);
}

ZelChainSampler::ZelChainSampler(ZelModule* const* modules, unsigned short count) {
    std::vector<ZelModule*> list;
    std::vector<unsigned short> positions;
    for (unsigned short i = 0; modules != nullptr && i < count; ++i) {
        list.push_back(modules[i]);
        positions.push_back(i);
    }
    collect(list, positions);
}

ZelChainSampler::~ZelChainSampler() = default;

void ZelChainSampler::collect(std::vector<ZelModule*> modules,
                              const std::vector<unsigned short>& positions) {
    for (std::size_t i = 0; i < modules.size(); ++i) {
        if (modules[i] == nullptr || !isMeasuring(modules[i]->getModuleData().moduleId)) continue;
        all.push_back(modules[i]);
        allPositions.push_back(positions[i]);
    }
    selectKinds(isMeasuring);
}

void ZelChainSampler::selectKinds(bool (*kind)(const MODULE_ID& id)) {
    records.clear();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (kind != nullptr && !kind(all[i]->getModuleData().moduleId)) continue;
        ZelChainSample r;
        r.module = all[i];
        r.position = allPositions[i];
        records.push_back(r);
    }
    prepare();
}

void ZelChainSampler::prepare() {
    inFlight.assign(records.size(), Slot{});
    readyTags.assign(records.size() + 1, 0);
    waitSet = std::make_unique<net::WaitSet>();
    registered.assign(records.size(), -1);
    registeredGeneration.assign(records.size(), 0);
}

ZelResults ZelChainSampler::selectPositions(const unsigned short* positions, unsigned short count) {
    constexpr char kSelect[] = "ZelChainSampler::selectPositions";
    if (positions == nullptr && count > 0) return ZEL_RESULT(ZEL_NULL_POINTER, kSelect);
    std::vector<ZelChainSample> chosen;
    for (unsigned short k = 0; k < count; ++k) {
        const auto at = std::find(allPositions.begin(), allPositions.end(), positions[k]);
        if (at == allPositions.end()) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kSelect);
        ZelChainSample r;
        r.module = all[static_cast<std::size_t>(at - allPositions.begin())];
        r.position = positions[k];
        chosen.push_back(r);
    }
    records = chosen;
    prepare();
    return ZelResults(ZEL_OK, kSelect, __LINE__);
}

unsigned short ZelChainSampler::failures() const {
    unsigned short n = 0;
    for (const ZelChainSample& r : records) {
        ZelResults copy = r.result;
        n += copy.ok() ? 0 : 1;
    }
    return n;
}

// The sockets are waited on as one set, kept from sample to sample (a
// module initialised again has a new socket, registered afresh).
void ZelChainSampler::registerSockets() {
    for (std::size_t i = 0; i < inFlight.size(); ++i) {
        const UdpSocket& socket = inFlight[i].module->udpSocket;
        if (registered[i] == socket.handle() &&
            registeredGeneration[i] == socket.socketGeneration())
            continue;
        if (registered[i] != -1) waitSet->remove(registered[i]);
        registered[i] = waitSet->add(socket.handle(), i) ? socket.handle() : -1;
        registeredGeneration[i] = socket.socketGeneration();
    }
}

// Answers owed by earlier samples are waited for on all sockets together,
// each until its own window closes, and thrown away (with anything else
// that arrives meanwhile: it would be thrown away before the requests).
void ZelChainSampler::waitOutOwedAnswers() {
    char scratch[UdpSocket::kScratchSize];
    for (;;) {
        long long until = 0;
        const long long now = net::monotonicMicroseconds();
        for (Slot& slot : inFlight) {
            UdpSocket& socket = slot.module->udpSocket;
            if (!socket.owesAnswers()) continue;
            if (socket.owedUntil() <= now) {
                socket.forgiveOwed();
                continue;
            }
            until = std::max(until, socket.owedUntil());
        }
        if (until == 0) return;
        const int n = waitSet->wait(until - now, readyTags.data(), readyTags.size());
        if (n < 0) {
            for (Slot& slot : inFlight) slot.module->udpSocket.forgiveOwed();
            return;
        }
        for (int k = 0; k < n; ++k) {
            UdpSocket& socket = inFlight[readyTags[static_cast<std::size_t>(k)]].module->udpSocket;
            // An answer after its time-out, or more than was asked for: the
            // module's link is suspect.
            if (socket.readWaiting(scratch, sizeof(scratch)) >= 0) socket.markSuspect();
        }
    }
}

bool ZelChainSampler::send(std::size_t i, COUNT_REQUEST_OPTION option, long long nowUs) {
    Slot& slot = inFlight[i];
    unsigned char request[zelbus::kFrameSize] = {};
    ZelModule::countsRequest(option, request);
    const long timeoutMs = slot.module->getUdpTimeout();
    if (!slot.module->udpSocket.sendAttempt(reinterpret_cast<const char*>(request),
                                            zelbus::frameLength(request), timeoutMs)) {
        return false;
    }
    records[i].sentUs = nowUs;
    ++records[i].attempts;
    slot.deadlineUs = nowUs + timeoutMs * 1000LL;
    slot.holdUntilUs = 0;
    return true;
}

void ZelChainSampler::accept(std::size_t i, const ZelbusResponse& answer, int length,
                             long long nowUs, bool heldAlone) {
    Slot& slot = inFlight[i];
    slot.answer = answer;
    slot.length = length;
    slot.done = true;
    records[i].receivedUs = nowUs;
    slot.module->udpSocket.learnRoundTrip(nowUs - records[i].sentUs, heldAlone);
}

// Gives up on the slots past their deadline with no retry left, asks
// again those with one, takes a held answer nothing followed; returns the
// earliest deadline or hold of the slots still waiting, and how many wait.
long long ZelChainSampler::lookOver(COUNT_REQUEST_OPTION option, long long now,
                                    std::size_t* remaining) {
    long long next = now;
    *remaining = 0;
    for (std::size_t i = 0; i < inFlight.size(); ++i) {
        Slot& slot = inFlight[i];
        if (slot.done) continue;
        if (slot.holdUntilUs != 0 && slot.holdUntilUs <= now) {
            // Nothing followed the early answer: it is the answer, with the
            // round trip it came in.
            accept(i, slot.held, slot.heldLength, slot.heldAtUs, true);
            continue;
        }
        if (slot.deadlineUs <= now) {
            if (slot.retriesLeft <= 0) {
                records[i].result = ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kMethod);
                slot.done = true;
                continue;
            }
            --slot.retriesLeft;
            slot.module->udpSocket.discardQueued();
            if (!send(i, option, now)) {
                records[i].result = ZEL_RESULT(ZEL_UDP_SEND_FAILED, kMethod);
                slot.done = true;
                continue;
            }
        }
        const long long due =
            slot.holdUntilUs != 0 ? std::min(slot.holdUntilUs, slot.deadlineUs) : slot.deadlineUs;
        next = *remaining == 0 ? due : std::min(next, due);
        ++*remaining;
    }
    return next;
}

ZelResults ZelChainSampler::sample(COUNT_REQUEST_OPTION option) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].result = ZelResults();
        records[i].numCounts = records[i].numValues = records[i].attempts = 0;
        records[i].sentUs = records[i].receivedUs = 0;
        inFlight[i] = Slot{};
        inFlight[i].module = records[i].module;
        inFlight[i].retriesLeft = records[i].module->getUdpNumRetries();
        if (!records[i].module->isCommInitialized()) {
            records[i].result = ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
            inFlight[i].done = true;
        }
    }
    registerSockets();
    waitOutOwedAnswers();
    // Every request goes out back to back, after the stale datagrams of its
    // socket are gone: one look over the whole set finds the sockets that
    // hold any.
    for (std::size_t i = 0; i < inFlight.size(); ++i) {
        if (!inFlight[i].done) inFlight[i].module->udpSocket.countExchange();
    }
    const int stale = waitSet->wait(0, readyTags.data(), readyTags.size());
    for (int k = 0; k < stale; ++k) {
        const std::size_t i = readyTags[static_cast<std::size_t>(k)];
        if (!inFlight[i].done) inFlight[i].module->udpSocket.discardQueued();
    }
    for (std::size_t i = 0; i < inFlight.size(); ++i) {
        if (inFlight[i].done) continue;
        if (!send(i, option, net::monotonicMicroseconds())) {
            records[i].result = ZEL_RESULT(ZEL_UDP_SEND_FAILED, kMethod);
            inFlight[i].done = true;
        }
    }

    char buffer[UdpSocket::kScratchSize];
    // The slots are looked over when the earliest deadline or hold of the
    // last look is due, not after every answer: answers that come in time
    // cost no walk over the whole selection.
    long long lookAt = 0;
    std::size_t remaining = 0;
    const long long spinFrom = net::monotonicMicroseconds();
    for (;;) {
        const long long now = net::monotonicMicroseconds();
        if (now >= lookAt) lookAt = lookOver(option, now, &remaining);
        if (remaining == 0) break;
        const long long sleepUs =
            now - spinFrom < spinWaitUs ? 0 : std::max<long long>(0, lookAt - now);
        const int n = waitSet->wait(sleepUs, readyTags.data(), readyTags.size());
        if (n < 0) {
            for (std::size_t i = 0; i < inFlight.size(); ++i) {
                if (inFlight[i].done) continue;
                records[i].result = ZEL_RESULT(ZEL_UDP_READ_FAILED, kMethod);
                inFlight[i].done = true;
            }
            break;
        }
        for (int k = 0; k < n; ++k) {
            const std::size_t i = readyTags[static_cast<std::size_t>(k)];
            Slot& slot = inFlight[i];
            const long length = slot.module->udpSocket.readWaiting(buffer, sizeof(buffer));
            if (length < 0) continue;  // another sender's datagram (kForeign) or an error
            if (slot.done) {
                // More than was asked for (a duplicate): the link is suspect.
                slot.module->udpSocket.markSuspect();
                continue;
            }
            const long long at = net::monotonicMicroseconds();
            ZelbusResponse answer{};
            if (length > static_cast<long>(sizeof(answer.data)))
                continue;  // oversize: not an answer
            std::memcpy(answer.data, buffer, static_cast<std::size_t>(length));
            // Cut short of what its header announces: a failed attempt,
            // retried at its deadline like a lost answer.
            if (length < static_cast<long>(zelbus::kHeaderSize) ||
                length < zelbus::frameLength(answer.data)) {
                continue;
            }
            if (slot.holdUntilUs != 0) {
                // Something followed the early answer: the early one was a
                // duplicate or an older answer.
                accept(i, answer, static_cast<int>(length), at, false);
                --remaining;
                continue;
            }
            const long long usual = slot.module->udpSocket.usualRoundTrip();
            const long long roundTrip = at - records[i].sentUs;
            if (slot.module->udpSocket.isEarly(roundTrip)) {
                slot.module->udpSocket.markSuspect();
                slot.held = answer;
                slot.heldLength = static_cast<int>(length);
                slot.heldAtUs = at;
                slot.holdUntilUs = std::min(slot.deadlineUs, at + 3 * usual);
                lookAt = std::min(lookAt, slot.holdUntilUs);
                continue;
            }
            accept(i, answer, static_cast<int>(length), at, false);
            --remaining;
        }
    }

    ZelResults overall(ZEL_OK, kMethod, __LINE__);
    bool failed = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (inFlight[i].done && inFlight[i].length > 0) decode(i, option);
        ZelResults copy = records[i].result;
        if (!failed && !copy.ok()) {
            overall = records[i].result;
            failed = true;
        }
    }
    return overall;
}

// The module decodes its own answer with its own settings, through the
// same operations a host calls one module at a time.
void ZelChainSampler::decode(std::size_t i, COUNT_REQUEST_OPTION option) {
    ZelChainSample& r = records[i];
    ZelModule* m = r.module;
    m->setSampledAnswer(&inFlight[i].answer);
    const MODULE_ID id = m->getModuleData().moduleId;
    ZelResults result;
    if (auto* kalix = dynamic_cast<ZelKalixModule*>(m)) {
        result = kalix->getPositions(r.values, r.revolutions, 8, option);
        if (result.ok()) result = kalix->getCounts(r.counts, r.revolutions, 8, option);
    } else if (auto* ttl = dynamic_cast<ZelTtlModule*>(m)) {
        result = ttl->getPositions(r.values, 8, option);
        if (result.ok()) result = ttl->getCounts(r.counts, 8, option);
    } else if (auto* vpp = dynamic_cast<Zel1VppModule*>(m)) {
        result = vpp->getPositions(r.values, 8, option);
        if (result.ok()) result = m->ZelModule::getCounts(r.counts, 8, option);
    } else if (auto* lvdt = dynamic_cast<ZelLvdtModule*>(m)) {
        result = lvdt->getPositions(r.values, 8, option);
        long readings[8] = {};
        if (result.ok()) result = lvdt->getReadings(readings, 8, option);
        for (int c = 0; c < 8; ++c) r.counts[c] = static_cast<unsigned long>(readings[c]);
    } else if (auto* analog = dynamic_cast<ZelAnalogModule*>(m)) {
        result = analog->getScaledValues(r.values, 4, option);
    } else {
        result = ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
    }
    m->setSampledAnswer(nullptr);
    const unsigned short channels = m->getNumChannels() < 8 ? m->getNumChannels() : 8;
    r.numValues = ZelModule::isAnalogModule(id) ? 4 : channels;
    r.numCounts = ZelModule::isAnalogModule(id) ? 0 : channels;
    r.result = result;
}
