// The station's flat C interface: handles over ZelInterface,
// ZelChainSampler and ZelStation. Every function checks its pointers and
// keeps whatever the C++ side throws from reaching the host.
// clang-format off
#include "station/zel_station.h"
#include "station/zel_station_capi.h"
// clang-format on

#include <cstdio>
#include <cstring>
#include <new>

#include "station/station_capi_objects.h"

namespace {

constexpr int kNull = ZEL_NULL_POINTER;
constexpr int kRange = ZEL_OUT_OF_RANGE;
constexpr int kUnknown = ZEL_UNKNOWN_ERROR;

template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

ZelStationModuleHandle handleOf(ZelModule* m) {
    return reinterpret_cast<ZelStationModuleHandle>(m);
}

template <std::size_t N>
void copyOut(char* out, const char (&text)[N]) {
    std::snprintf(out, N, "%s", text);
}

// Keeps the outcome for ZelStationGetMessage and returns its code.
int keep(ZelStationObject* s, const ZelStationStatus& status) {
    s->last = status;
    return status.code;
}

int notOpen(ZelStationObject* s) {
    ZelStationStatus st;
    st.code = ZEL_STATION_NOT_OPEN;
    std::snprintf(st.message, sizeof(st.message), "the station is not open");
    return keep(s, st);
}

}  // namespace

extern "C" {

ZelChainHandle ZEL_CALL ZelChainCreate(void) {
    return guarded<ZelChainHandle>(nullptr, [] { return new (std::nothrow) ZelChainObject(); });
}

void ZEL_CALL ZelChainDelete(ZelChainHandle chain) { delete chain; }

int ZEL_CALL ZelChainCreateChain(ZelChainHandle chain, const char* localIp,
                                 unsigned short localPort, bool connectOption,
                                 const char* broadcastNetmask) {
    if (chain == nullptr) return kNull;
    return guarded<int>(kUnknown, [&] {
        return static_cast<int>(
            chain->chain.createChain(localIp, localPort, connectOption, broadcastNetmask).code());
    });
}

int ZEL_CALL ZelChainGetNumModules(ZelChainHandle chain, unsigned short* count) {
    if (chain == nullptr || count == nullptr) return kNull;
    *count = chain->chain.getNumModules();
    return ZEL_OK;
}

int ZEL_CALL ZelChainGetModule(ZelChainHandle chain, unsigned short position,
                               ZelStationModuleHandle* module) {
    if (chain == nullptr || module == nullptr) return kNull;
    ZelModule* m = chain->chain.getModule(position);
    if (m == nullptr) return kRange;
    *module = handleOf(m);
    return ZEL_OK;
}

int ZEL_CALL ZelChainGetModuleAddress(ZelChainHandle chain, unsigned short position,
                                      char* address) {
    if (chain == nullptr || address == nullptr) return kNull;
    ZelModule* m = chain->chain.getModule(position);
    if (m == nullptr) return kRange;
    const ModuleData d = m->getModuleData();
    copyOut(address, d.ipAddress);
    return ZEL_OK;
}

int ZEL_CALL ZelChainGetModuleId(ZelChainHandle chain, unsigned short position, unsigned long* id) {
    if (chain == nullptr || id == nullptr) return kNull;
    ZelModule* m = chain->chain.getModule(position);
    if (m == nullptr) return kRange;
    *id = static_cast<unsigned long>(m->getModuleData().moduleId);
    return ZEL_OK;
}

ZelSamplerHandle ZEL_CALL ZelSamplerCreate(ZelChainHandle chain) {
    if (chain == nullptr) return nullptr;
    return guarded<ZelSamplerHandle>(nullptr, [&]() -> ZelSamplerHandle {
        auto* s = new (std::nothrow) ZelSamplerObject();
        if (s == nullptr) return nullptr;
        s->owned = std::make_unique<ZelChainSampler>(chain->chain);
        s->sampler = s->owned.get();
        return s;
    });
}

void ZEL_CALL ZelSamplerDelete(ZelSamplerHandle sampler) {
    if (sampler == nullptr || !sampler->owned) return;
    delete sampler;
}

int ZEL_CALL ZelSamplerSample(ZelSamplerHandle sampler) {
    if (sampler == nullptr || sampler->sampler == nullptr) return kNull;
    return guarded<int>(kUnknown,
                        [&] { return static_cast<int>(sampler->sampler->sample().code()); });
}

int ZEL_CALL ZelSamplerGetSize(ZelSamplerHandle sampler, unsigned short* count) {
    if (sampler == nullptr || sampler->sampler == nullptr || count == nullptr) return kNull;
    *count = sampler->sampler->size();
    return ZEL_OK;
}

int ZEL_CALL ZelSamplerGetRecord(ZelSamplerHandle sampler, unsigned short index,
                                 unsigned short* position, int* code, double* values,
                                 unsigned short capacity, unsigned short* numValues) {
    if (sampler == nullptr || sampler->sampler == nullptr || position == nullptr ||
        code == nullptr || numValues == nullptr || (values == nullptr && capacity > 0)) {
        return kNull;
    }
    if (index >= sampler->sampler->size()) return kRange;
    const ZelChainSample& s = sampler->sampler->at(index);
    *position = s.position;
    *code = s.result.code();
    const unsigned short n = s.numValues < capacity ? s.numValues : capacity;
    for (unsigned short i = 0; i < n; ++i) values[i] = s.values[i];
    *numValues = s.numValues;
    return ZEL_OK;
}

ZelStationHandle ZEL_CALL ZelStationCreate(void) {
    return guarded<ZelStationHandle>(nullptr, [] { return new (std::nothrow) ZelStationObject(); });
}

void ZEL_CALL ZelStationDelete(ZelStationHandle station) { delete station; }

int ZEL_CALL ZelStationLoad(ZelStationHandle station, const char* path) {
    if (station == nullptr || path == nullptr) return kNull;
    return guarded<int>(kUnknown, [&] {
        station->readings.clear();
        station->lent.sampler = nullptr;
        return keep(station, station->station.load(path));
    });
}

int ZEL_CALL ZelStationSetModuleAddress(ZelStationHandle station, unsigned short position,
                                        const char* address) {
    if (station == nullptr || address == nullptr) return kNull;
    return keep(station, station->station.setModuleAddress(position, address));
}

int ZEL_CALL ZelStationOpen(ZelStationHandle station, ZEL_STATION_OPEN_MODE mode,
                            const char* localIp, unsigned short localPort,
                            const char* broadcastNetmask) {
    if (station == nullptr) return kNull;
    return guarded<int>(kUnknown, [&] {
        ZelStationOptions options;
        options.mode =
            mode == ZEL_STATION_OPEN_DISCOVER ? ZEL_STATION_OPEN_DISCOVER : ZEL_STATION_OPEN_DIRECT;
        options.localIp = localIp;
        options.localPort = localPort;
        options.broadcastNetmask = broadcastNetmask;
        station->readings.clear();
        const int code = keep(station, station->station.open(options));
        station->lent.sampler = station->station.getSampler();
        return code;
    });
}

int ZEL_CALL ZelStationGetMessage(ZelStationHandle station, char* message) {
    if (station == nullptr || message == nullptr) return kNull;
    copyOut(message, station->last.message);
    return ZEL_OK;
}

int ZEL_CALL ZelStationGetRefusedSite(ZelStationHandle station, int* element, int* position,
                                      int* channel) {
    if (station == nullptr || element == nullptr || position == nullptr || channel == nullptr) {
        return kNull;
    }
    *element = station->last.element;
    *position = station->last.position;
    *channel = station->last.channel;
    return ZEL_OK;
}

int ZEL_CALL ZelStationGetNumModules(ZelStationHandle station, unsigned short* count) {
    if (station == nullptr || count == nullptr) return kNull;
    *count = station->station.getNumModules();
    return ZEL_OK;
}

int ZEL_CALL ZelStationGetModule(ZelStationHandle station, unsigned short position,
                                 ZelStationModuleHandle* module) {
    if (station == nullptr || module == nullptr) return kNull;
    ZelModule* m = station->station.getModule(position);
    if (m == nullptr) return kRange;
    *module = handleOf(m);
    return ZEL_OK;
}

int ZEL_CALL ZelStationGetNumDifferences(ZelStationHandle station, unsigned short* count) {
    if (station == nullptr || count == nullptr) return kNull;
    *count = static_cast<unsigned short>(station->station.differences().size());
    return ZEL_OK;
}

int ZEL_CALL ZelStationGetDifference(ZelStationHandle station, unsigned short index,
                                     ZEL_STATION_DIFFERENCE* kind, short* filePosition,
                                     short* chainPosition, char* expected, char* found) {
    if (station == nullptr || kind == nullptr || filePosition == nullptr ||
        chainPosition == nullptr || expected == nullptr || found == nullptr) {
        return kNull;
    }
    const auto& report = station->station.differences();
    if (index >= report.size()) return kRange;
    const ZelStationDifference& d = report[index];
    *kind = d.kind;
    *filePosition = d.filePosition;
    *chainPosition = d.chainPosition;
    copyOut(expected, d.expected);
    copyOut(found, d.found);
    return ZEL_OK;
}

int ZEL_CALL ZelStationRead(ZelStationHandle station) {
    if (station == nullptr) return kNull;
    if (!station->station.isOpen()) return notOpen(station);
    return guarded<int>(kUnknown,
                        [&] { return keep(station, station->station.read(station->readings)); });
}

int ZEL_CALL ZelStationGetNumReadings(ZelStationHandle station, unsigned short* count) {
    if (station == nullptr || count == nullptr) return kNull;
    *count = static_cast<unsigned short>(station->readings.size());
    return ZEL_OK;
}

int ZEL_CALL ZelStationGetReading(ZelStationHandle station, unsigned short index, char* label,
                                  char* unit, double* value, unsigned short* position,
                                  unsigned short* channel) {
    if (station == nullptr || label == nullptr || unit == nullptr || value == nullptr ||
        position == nullptr || channel == nullptr) {
        return kNull;
    }
    if (index >= station->readings.size()) return kRange;
    const ZelStationReading& r = station->readings[index];
    copyOut(label, r.label);
    copyOut(unit, r.unit);
    *value = r.value;
    *position = r.position;
    *channel = r.channel;
    return ZEL_OK;
}

int ZEL_CALL ZelStationReadLabel(ZelStationHandle station, const char* label, double* value,
                                 char* unit) {
    if (station == nullptr || label == nullptr || value == nullptr || unit == nullptr) {
        return kNull;
    }
    return guarded<int>(kUnknown, [&] {
        ZelStationReading r;
        const int code = keep(station, station->station.readLabel(label, &r));
        if (code == ZEL_STATION_OK) {
            *value = r.value;
            copyOut(unit, r.unit);
        }
        return code;
    });
}

int ZEL_CALL ZelStationGetSampler(ZelStationHandle station, ZelSamplerHandle* sampler) {
    if (station == nullptr || sampler == nullptr) return kNull;
    if (station->lent.sampler == nullptr || !station->station.isOpen()) return notOpen(station);
    *sampler = &station->lent;
    return ZEL_OK;
}

int ZEL_CALL ZelStationCapture(ZelChainHandle chain, const char* path, const char* baseLabel) {
    if (chain == nullptr || path == nullptr || baseLabel == nullptr) return kNull;
    return guarded<int>(kUnknown, [&] {
        return static_cast<int>(ZelStation::capture(chain->chain, path, baseLabel).code);
    });
}

}  // extern "C"
