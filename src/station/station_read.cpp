// Reading a station: one snapshot of every measuring module through the
// station's sampler, each value carrying its channel's label, unit and
// display step from the file; a channel found by its label.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modules/module_kinds.h"
#include "station/station_plan.h"

namespace {

ZelStationReading readingOf(const ModulePlan& m, const ChannelPlan& c, unsigned short position,
                            unsigned short channel, double value, const ZelResults& result) {
    ZelStationReading r;
    r.position = position;
    r.channel = channel;
    copyField(r.moduleLabel, std::string(m.info.label));
    copyField(r.label, c.label);
    copyField(r.unit, std::string(c.unit));
    r.value = value;
    r.displayResolution = c.displayResolution;
    r.result = result;
    return r;
}

// The values a kind's snapshot holds per channel: one, or for a kind whose
// values are not one per channel (analog: voltage, then current) its
// values shared among its channels.
unsigned short valuesPerChannel(const ModulePlan& m) {
    if (!m.kind.has_value()) return 1;
    const unsigned values = zel::identity::kindInfo(*m.kind).sampleValues;
    const unsigned channels = zel::identity::channels(m.info.moduleId);
    return values == 0 || channels == 0 ? 1 : static_cast<unsigned short>(values / channels);
}

// The readings of one sampled module, appended in channel order. The first
// value of a channel reads in the file's unit, any further one in the
// unit the kind gives it.
void appendReadings(const ModulePlan& m, ZelModule* object, const ZelChainSample& s,
                    std::vector<ZelStationReading>& out) {
    const unsigned short per = valuesPerChannel(m);
    const char* units[zel::kinds::kSampleCapacity] = {};
    if (per > 1 && object != nullptr && m.kind.has_value()) {
        const zel::kinds::Row& row = zel::kinds::row(*m.kind);
        if (row.units != nullptr) row.units(*object, units);
    }
    for (std::size_t i = 0; i < m.channels.size(); ++i) {
        const auto ch = static_cast<unsigned short>(i);
        const ChannelPlan& c = m.channels[i];
        if (!c.populated) continue;
        const unsigned first = static_cast<unsigned>(ch) * per;
        if (first + per > s.numValues) continue;
        for (unsigned v = first; v < first + per; ++v) {
            ZelStationReading r = readingOf(m, c, s.position, ch, s.values[v], s.result);
            if (v != first && units[v] != nullptr) copyField(r.unit, std::string(units[v]));
            out.push_back(r);
        }
    }
}

}  // namespace

ZelStationStatus ZelStation::findChannel(const char* label, unsigned short* position,
                                         unsigned short* channel) const {
    if (label == nullptr || position == nullptr || channel == nullptr) {
        return stationStatus(ZEL_STATION_BAD_ARGUMENT, "a null pointer");
    }
    if (!plan) return stationStatus(ZEL_STATION_NOT_OPEN, "no configuration file loaded");
    for (std::size_t i = 0; i < plan->modules.size(); ++i) {
        const auto& channels = plan->modules[i].channels;
        for (std::size_t c = 0; c < channels.size(); ++c) {
            if (channels[c].label == label) {
                *position = static_cast<unsigned short>(i);
                *channel = static_cast<unsigned short>(c);
                return ZelStationStatus{};
            }
        }
    }
    // "POS.CH" names a channel by its numbers.
    unsigned p = 0;
    unsigned c = 0;
    char tail = 0;
    if (std::sscanf(label, "%u.%u%c", &p, &c, &tail) == 2 && p < plan->modules.size() &&
        c < plan->modules[p].channels.size()) {
        *position = static_cast<unsigned short>(p);
        *channel = static_cast<unsigned short>(c);
        return ZelStationStatus{};
    }
    return stationStatus(ZEL_STATION_NO_SUCH_CHANNEL, "no channel labelled '%s' in %s", label,
                         plan->path.c_str());
}

ZelStationStatus ZelStation::read(std::vector<ZelStationReading>& readings) {
    readings.clear();
    if (!opened) return stationStatus(ZEL_STATION_NOT_OPEN, "the station is not open");
    ZelChainSampler& sampler = *impl->sampler;
    sampler.selectKinds(nullptr);
    const ZelResults r = sampler.sample();
    ZelStationStatus status;
    for (unsigned short i = 0; i < sampler.size(); ++i) {
        const ZelChainSample& s = sampler.at(i);
        const ModulePlan& m = plan->modules[s.position];
        appendReadings(m, impl->byPosition[s.position], s, readings);
        if (!s.result.ok() && status.ok()) {
            status =
                stationStatus(s.result, "module %u (%s) at %s: %s", s.position + 1u, m.info.label,
                              m.info.address, ZelResults::showRespCode(s.result.code()));
            status.position = s.position;
        }
    }
    (void)r;
    return status;
}

ZelStationStatus ZelStation::readLabel(const char* label, ZelStationReading* reading) {
    if (reading == nullptr) return stationStatus(ZEL_STATION_BAD_ARGUMENT, "a null pointer");
    unsigned short position = 0;
    unsigned short channel = 0;
    ZelStationStatus s = findChannel(label, &position, &channel);
    if (!s.ok()) return s;
    if (!opened) return stationStatus(ZEL_STATION_NOT_OPEN, "the station is not open");
    ZelChainSampler& sampler = *impl->sampler;
    if (!sampler.selectPositions(&position, 1).ok()) {
        return stationStatus(ZEL_STATION_NO_SUCH_CHANNEL,
                             "'%s' is on module %u, which is missing or of another kind", label,
                             position + 1u);
    }
    // The one module's outcome is its record's, checked below.
    (void)sampler.sample();
    const ZelChainSample& sample = sampler.at(0);
    const ModulePlan& m = plan->modules[position];
    std::vector<ZelStationReading> all;
    appendReadings(m, impl->byPosition[position], sample, all);
    sampler.selectKinds(nullptr);
    if (!sample.result.ok()) {
        s = stationStatus(sample.result, "module %u (%s) at %s: %s", position + 1u, m.info.label,
                          m.info.address, ZelResults::showRespCode(sample.result.code()));
        s.position = position;
        s.channel = channel;
        return s;
    }
    for (const auto& r : all) {
        if (r.channel == channel) {
            *reading = r;
            return ZelStationStatus{};
        }
    }
    return stationStatus(ZEL_STATION_NO_SUCH_CHANNEL, "'%s' is not a populated channel", label);
}
