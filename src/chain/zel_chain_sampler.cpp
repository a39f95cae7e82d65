// ZelChainSampler: the counts requests of many modules in flight at once.
#include "chain/zel_chain_sampler.h"

#include <algorithm>
#include <cstring>

#include "foundation/result_helpers.h"
#include "modules/module_kinds.h"
#include "platform/clock.h"
#include "platform/net.h"

namespace net = zel::platform;

namespace {

constexpr char kMethod[] = "ZelChainSampler::sample";

bool isMeasuring(const MODULE_ID& id) {
    return zel::identity::has(id, &zel::identity::KindInfo::measuring);
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
    readyTags.assign(2 * records.size() + 1, 0);
    waitSet = std::make_unique<net::WaitSet>();
    registered.assign(2 * records.size(), -1);
    registeredGeneration.assign(2 * records.size(), 0);
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

// Both ports of every module's socket are waited on as one set, kept from
// sample to sample; a port made anew (a retry after a fault, a module
// initialised again) is registered afresh. All the ports that changed
// leave the set before any joins it: a new socket may have the number of
// another module's old one.
void ZelChainSampler::registerSockets() {
    std::size_t changed = 0;
    for (std::size_t t = 0; t < registered.size(); ++t) {
        const UdpSocket& socket = inFlight[t / 2].module->exchangeSocket();
        const int port = static_cast<int>(t % 2);
        if (registered[t] == socket.handle(port) &&
            registeredGeneration[t] == socket.socketGeneration(port))
            continue;
        if (registered[t] != -1) waitSet->remove(registered[t]);
        registered[t] = -2;  // to be added below
        ++changed;
    }
    if (changed == 0) return;
    for (std::size_t t = 0; t < registered.size(); ++t) {
        if (registered[t] != -2) continue;
        const UdpSocket& socket = inFlight[t / 2].module->exchangeSocket();
        const int port = static_cast<int>(t % 2);
        const std::intptr_t h = socket.handle(port);
        registered[t] = h != -1 && waitSet->add(h, t) ? h : -1;
        registeredGeneration[t] = socket.socketGeneration(port);
    }
}

bool ZelChainSampler::send(std::size_t i, COUNT_REQUEST_OPTION option, long long nowUs,
                           bool retry) {
    Slot& slot = inFlight[i];
    const ZelRequest request = ZelModule::countsRequest(option);
    zel::transport::AnswerPairing& pairing = slot.module->exchangeSocket().pairing();
    if (pairing.sendAttempt(reinterpret_cast<const char*>(request.bytes()), request.size(), retry,
                            false) != zel::transport::AnswerPairing::Outcome::Answer) {
        return false;
    }
    records[i].sentUs = nowUs;
    ++records[i].attempts;
    slot.deadlineUs = nowUs + slot.module->getUdpTimeout() * 1000LL;
    return true;
}

// Gives up on the slots past their deadline with no retry left and asks
// again those with one; returns the earliest deadline of the slots still
// waiting, and how many wait.
long long ZelChainSampler::lookOver(COUNT_REQUEST_OPTION option, long long now,
                                    std::size_t* remaining) {
    long long next = now;
    *remaining = 0;
    for (std::size_t i = 0; i < inFlight.size(); ++i) {
        Slot& slot = inFlight[i];
        if (slot.done) continue;
        if (slot.deadlineUs <= now) {
            zel::transport::AnswerPairing& pairing = slot.module->exchangeSocket().pairing();
            if (pairing.inFlight()) pairing.timedOut();
            if (slot.retriesLeft <= 0) {
                records[i].result = ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kMethod);
                slot.done = true;
                continue;
            }
            --slot.retriesLeft;
            // A retry leaves from the same port: no socket changes.
            if (!send(i, option, now, true)) {
                records[i].result = ZEL_RESULT(ZEL_UDP_SEND_FAILED, kMethod);
                slot.done = true;
                continue;
            }
        }
        next = *remaining == 0 ? slot.deadlineUs : std::min(next, slot.deadlineUs);
        ++*remaining;
    }
    return next;
}

// Reads one datagram of port `tag % 2` of module `tag / 2`; true when it was
// the whole answer the slot waited for.
bool ZelChainSampler::takeAnswer(std::size_t tag) {
    using Outcome = zel::transport::AnswerPairing::Outcome;
    const std::size_t i = tag / 2;
    Slot& slot = inFlight[i];
    // Read aside: a datagram that is not the answer must leave the one
    // taken untouched.
    unsigned char buffer[sizeof(slot.answer.data)];
    long length = 0;
    const Outcome o = slot.module->exchangeSocket().pairing().take(
        static_cast<int>(tag % 2), reinterpret_cast<char*>(buffer),
        static_cast<int>(sizeof(buffer)), &length);
    if (o != Outcome::Answer || slot.done) {
        // Empty, cut short or oversize: a failed attempt, retried at its
        // deadline like a lost answer. Another sender's datagram, or one at
        // a port not waiting: thrown away.
        if (o == Outcome::WaitFailed && !slot.done) {
            records[i].result = ZEL_RESULT(ZEL_UDP_READ_FAILED, kMethod);
            slot.done = true;
        }
        return false;
    }
    slot.answer = ZelbusResponse{};
    std::memcpy(slot.answer.data, buffer, static_cast<std::size_t>(length));
    slot.length = static_cast<int>(length);
    slot.done = true;
    records[i].receivedUs = net::monotonicMicroseconds();
    return true;
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
    // Whatever is queued before the requests was asked for by nobody: one
    // look over the whole set finds it, and its port is made anew before it
    // sends again.
    const int stale = waitSet->wait(0, readyTags.data(), readyTags.size());
    for (int k = 0; k < stale; ++k) takeAnswer(readyTags[static_cast<std::size_t>(k)]);
    for (std::size_t i = 0; i < inFlight.size(); ++i) {
        if (inFlight[i].done) continue;
        inFlight[i].module->exchangeSocket().pairing().beginCall();
        if (!send(i, option, net::monotonicMicroseconds(), false)) {
            records[i].result = ZEL_RESULT(ZEL_UDP_SEND_FAILED, kMethod);
            inFlight[i].done = true;
        }
    }
    registerSockets();

    // The slots are looked over when the earliest deadline of the last look
    // is due, not after every answer: answers that come in time cost no
    // walk over the whole selection.
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
            if (takeAnswer(readyTags[static_cast<std::size_t>(k)])) --remaining;
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

// Each answer is checked and decoded by the functions the module's own
// getters use, with the module's settings, so a snapshot and per-module
// reads agree value for value.
void ZelChainSampler::decode(std::size_t i, COUNT_REQUEST_OPTION option) {
    ZelChainSample& r = records[i];
    ZelModule* m = r.module;
    ZelbusResponse& answer = inFlight[i].answer;
    answer.command = answer.data[0];
    ZelResults result = m->checkAnswer(UDP_CMD_GET_COUNTS, &answer);
    const MODULE_ID id = m->getModuleData().moduleId;
    const zel::kinds::Row* kind = zel::kinds::rowOf(id);
    if (result.ok()) {
        if (kind == nullptr || kind->decode == nullptr) {
            result = ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);
        } else {
            zel::kinds::Decoded out{};
            result = kind->decode(*m, answer, option, out);
            std::copy(std::begin(out.values), std::end(out.values), r.values);
            std::copy(std::begin(out.counts), std::end(out.counts), r.counts);
            std::copy(std::begin(out.revolutions), std::end(out.revolutions), r.revolutions);
        }
    }
    const unsigned short channels = m->getNumChannels() < 8 ? m->getNumChannels() : 8;
    const zel::identity::KindInfo* info = zel::identity::kindOf(id);
    const unsigned short values = info != nullptr ? info->sampleValues : 0;
    r.numValues = values != 0 ? values : channels;
    r.numCounts = info != nullptr && info->sampleCounts ? channels : 0;
    r.result = result;
}
