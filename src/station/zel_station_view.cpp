// The running station's state, fed by the acquisition's stream.
#include "station/zel_station_view.h"

#include <algorithm>
#include <chrono>

#include "modules/module_kinds.h"

const std::vector<long long>& ZelStationView::roundTripBoundsUs() {
    static const std::vector<long long> bounds = {50,    100,   250,   500,    1000,   2500,   5000,
                                                  10000, 25000, 50000, 100000, 250000, 1000000};
    return bounds;
}

ZelStationView::ZelStationView(double rateHz, std::size_t ringCapacity)
    : rate(rateHz > 0.0 ? rateHz : 1.0), capacity(ringCapacity) {
    if (capacity == 0) capacity = static_cast<std::size_t>(std::min(rate * 60.0, 1e9));
    capacity = std::min(std::max<std::size_t>(capacity, 64), kMaxRing);
    tally.rateHz = rate;
}

std::vector<ZelViewModule> ZelStationView::describe(ZelStation& station) {
    std::vector<ZelViewModule> list;
    std::vector<ZelStationReading> readings;
    station.read(readings);  // which channels the station reads (the file's populated ones)
    for (unsigned short p = 0; p < station.getNumModules(); ++p) {
        ZelStationModule info;
        if (!station.getModuleInfo(p, &info)) break;
        ZelViewModule m;
        m.position = p;
        const zel::identity::KindInfo* kind = zel::identity::kindOf(info.moduleId);
        m.kind = kind != nullptr ? kind->name : "unknown";
        m.model = info.model;
        m.label = info.label;
        m.address = info.address;
        m.serialNumber = info.serialNumber;
        m.firmwareVersion = info.firmwareVersion;
        m.module = station.getModule(p);
        m.found = m.module != nullptr;
        const zel::kinds::Row* row =
            m.found ? zel::kinds::rowOf(m.module->getModuleData().moduleId) : nullptr;
        m.sampled = row != nullptr && row->units != nullptr;
        if (m.sampled) {
            // Every value the engine gives, in its order, named by its
            // channel's label. The unit is the station's reading's (a rotary
            // channel reads degrees whatever its linear unit), else the kind's;
            // populated when the station reads the channel. An analog channel
            // gives two values (V, then mA).
            const char* units[zel::kinds::kSampleCapacity] = {};
            const unsigned short n = row->units(*m.module, units);
            const unsigned short channels = m.module->getNumChannels();
            const unsigned perChannel = channels != 0 && n > channels ? n / channels : 1;
            for (unsigned short v = 0; v < n; ++v) {
                const unsigned short channel = static_cast<unsigned short>(v / perChannel);
                ZelViewChannel c{station.getChannelLabel(p, channel), units[v], false};
                unsigned k = 0;
                for (const ZelStationReading& r : readings) {
                    if (r.position != p || r.channel != channel) continue;
                    if (k++ == v % perChannel) {
                        c.unit = r.unit;
                        c.populated = true;
                    }
                }
                m.channels.push_back(c);
            }
        }
        list.push_back(m);
    }
    return list;
}

void ZelStationView::setChain(const std::vector<ZelViewModule>& list) {
    std::lock_guard<std::mutex> hold(lock);
    modules = list;
    tally.modules.assign(list.size(), ZelViewModuleCounts{});
    for (std::size_t i = 0; i < list.size(); ++i) {
        ZelViewModuleCounts& c = tally.modules[i];
        c.health = list[i].sampled ? ZEL_ACQ_HEALTH_OK : -1;
        c.roundTripBuckets.assign(roundTripBoundsUs().size() + 1, 0);
    }
}

ZelViewModuleCounts& ZelStationView::moduleAt(unsigned short position) {
    if (position >= tally.modules.size()) {
        // A record of a module the chain did not name: counted all the same.
        const std::size_t old = tally.modules.size();
        tally.modules.resize(position + 1u);
        for (std::size_t i = old; i < tally.modules.size(); ++i)
            tally.modules[i].roundTripBuckets.assign(roundTripBoundsUs().size() + 1, 0);
    }
    return tally.modules[position];
}

void ZelStationView::onRecord(const ZelAcqRecord& r) {
    {
        std::lock_guard<std::mutex> hold(lock);
        ++tally.records;
        switch (r.kind) {
            case ZEL_ACQ_SAMPLE:
                ++tally.samples;
                for (const ZelAcqModuleValues& m : r.modules) {
                    ZelViewModuleCounts& c = moduleAt(m.position);
                    c.lastCode = m.code;
                    if (m.code == 1) ++c.timeouts;
                    if (m.code != 0) ++c.failures;
                    if (m.code != 0 || m.receivedUs == 0 || m.receivedUs < m.sentUs) continue;
                    const long long us = m.receivedUs - m.sentUs;
                    const std::vector<long long>& bounds = roundTripBoundsUs();
                    const std::size_t bucket = static_cast<std::size_t>(
                        std::lower_bound(bounds.begin(), bounds.end(), us) - bounds.begin());
                    ++c.roundTripBuckets[bucket];
                    ++c.roundTripCount;
                    c.roundTripSumUs += us;
                }
                newestSample = r;
                haveLatest = true;
                break;
            case ZEL_ACQ_MISSED:
                tally.missedDeadlines += r.count;
                break;
            case ZEL_ACQ_OVERFLOW:
                tally.overflows += r.count;
                break;
            case ZEL_ACQ_HEALTH: {
                ZelViewModuleCounts& c = moduleAt(r.position);
                c.health = r.health;
                if (r.code != 0) c.lastCode = r.code;
                break;
            }
            case ZEL_ACQ_GAP: {
                ZelViewModuleCounts& c = moduleAt(r.position);
                ++c.gaps;
                c.gapSamples += r.count;
                ++tally.gaps;
                break;
            }
            case ZEL_ACQ_RESTORED: {
                ZelViewModuleCounts& c = moduleAt(r.position);
                if (r.code == 0) {
                    ++c.restorations;
                    ++tally.restorations;
                } else {
                    ++c.restoreFailures;
                }
                break;
            }
            default:
                break;
        }
        ring.push_back({++numbered, r});
        while (ring.size() > capacity) ring.pop_front();
    }
    arrived.notify_all();
}

void ZelStationView::onStatistics(const ZelAcqStatistics& statistics) {
    std::lock_guard<std::mutex> hold(lock);
    tally.statistics = statistics;
}

void ZelStationView::setBroker(const ZelBrokerState& broker) {
    std::lock_guard<std::mutex> hold(lock);
    tally.brokerSet = true;
    tally.broker = broker;
}

std::vector<ZelViewModule> ZelStationView::chain() const {
    std::lock_guard<std::mutex> hold(lock);
    return modules;
}

std::vector<int> ZelStationView::health() const {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<int> h;
    for (const ZelViewModuleCounts& c : tally.modules) h.push_back(c.health);
    return h;
}

bool ZelStationView::latest(ZelAcqRecord& sample) const {
    std::lock_guard<std::mutex> hold(lock);
    if (haveLatest) sample = newestSample;
    return haveLatest;
}

std::vector<ZelViewRecord> ZelStationView::since(unsigned long long after, std::size_t limit,
                                                 unsigned long long* newest, bool* lost) const {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<ZelViewRecord> out;
    if (newest != nullptr) *newest = numbered;
    const unsigned long long oldest = ring.empty() ? numbered + 1 : ring.front().number;
    if (lost != nullptr) *lost = after + 1 < oldest && after < numbered;
    if (after >= numbered) return out;
    // Ring numbers are consecutive: the first wanted one is found by index.
    std::size_t from = after + 1 <= oldest ? 0 : static_cast<std::size_t>(after + 1 - oldest);
    for (std::size_t i = from; i < ring.size() && out.size() < limit; ++i) out.push_back(ring[i]);
    return out;
}

unsigned long long ZelStationView::waitAfter(unsigned long long after, long timeoutMs) const {
    std::unique_lock<std::mutex> hold(lock);
    arrived.wait_for(hold, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                     [&] { return numbered > after; });
    return numbered;
}

ZelViewCounts ZelStationView::counts() const {
    ZelViewCounts c;
    std::vector<ZelModule*> objects;
    {
        std::lock_guard<std::mutex> hold(lock);
        c = tally;
        for (const ZelViewModule& m : modules) objects.push_back(m.module);
    }
    // The objects' counters are atomics of their own: read outside the lock.
    for (std::size_t i = 0; i < objects.size() && i < c.modules.size(); ++i) {
        if (objects[i] == nullptr) continue;
        const zel::transport::PairingCounters p = objects[i]->getPairingCounters();
        c.modules[i].retries = p.retries;
        c.modules[i].strays = p.strays;
        c.modules[i].foreign = p.foreign;
    }
    return c;
}
