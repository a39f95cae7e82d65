// The acquisition engine's C functions: a handle owns the module objects it
// made from the addresses and the engine over them; records are copied into
// the caller's plain structures.
#include "station/zel_acquisition_capi.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"
#include "station/station_capi_objects.h"
#include "station/zel_acquisition.h"
#include "station/zel_acquisition_station.h"

struct ZelAcquisitionObject {
    std::vector<std::unique_ptr<ZelModule>> owned;  // empty over a station
    std::vector<ZelModule*> list;
    std::unique_ptr<ZelStationRestorer> restorer;  // over a station: the file's settings
    std::unique_ptr<ZelAcquisition> engine;
};

namespace {

// The object of the kind a module reports; a plain module for the kinds the
// engine does not sample.
std::unique_ptr<ZelModule> objectOfKind(MODULE_ID id) {
    if (ZelModule::isKalixModule(id)) return std::make_unique<ZelKalixModule>();
    if (ZelModule::is1VppModule(id)) return std::make_unique<Zel1VppModule>();
    if (ZelModule::isTtlModule(id)) return std::make_unique<ZelTtlModule>();
    if (ZelModule::isLvdtModule(id)) return std::make_unique<ZelLvdtModule>();
    if (ZelModule::isAnalogModule(id)) return std::make_unique<ZelAnalogModule>();
    return std::make_unique<ZelModule>();
}

void copyRecord(const ZelAcqRecord& from, ZelAcqRecordC& to) {
    to.kind = from.kind;
    to.sequence = from.sequence;
    to.count = from.count;
    to.deadlineUs = from.deadlineUs;
    to.requestUs = from.requestUs;
    to.answerUs = from.answerUs;
    to.utcUs = from.utcUs;
    to.position = from.position;
    to.health = from.health;
    to.previous = from.previous;
    to.returned = from.returned;
    to.code = from.code;
    to.messageType = from.messageType;
    std::copy(from.latch, from.latch + 5, to.latch);
    to.channel = from.channel;
    to.status = from.status;
    const std::size_t n = std::min<std::size_t>(from.modules.size(), ZEL_ACQ_MAX_MODULES);
    to.numModules = static_cast<unsigned short>(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ZelAcqModuleValues& m = from.modules[i];
        ZelAcqModuleC& c = to.modules[i];
        c.position = m.position;
        c.code = m.code;
        c.health = m.health;
        c.numValues = m.numValues;
        std::copy(m.values, m.values + 8, c.values);
        c.sentUs = m.sentUs;
        c.receivedUs = m.receivedUs;
    }
}

}  // namespace

extern "C" {

int ZelAcquisitionCreate(const char* const* addresses, unsigned short count,
                         ZelAcquisitionHandle* out) {
    if (addresses == nullptr || out == nullptr) return ZEL_NULL_POINTER;
    if (count < 1 || count > ZEL_ACQ_MAX_MODULES) return ZEL_OUT_OF_RANGE;
    auto* h = new (std::nothrow) ZelAcquisitionObject;
    if (h == nullptr) return ZEL_UNKNOWN_ERROR;
    std::unique_ptr<ZelAcquisitionObject> held(h);
    for (unsigned short i = 0; i < count; ++i) {
        if (addresses[i] == nullptr) return ZEL_NULL_POINTER;
        // The module says what it is; then the object of its kind talks to it.
        ZelModule probe;
        ZelResults r = probe.initializeModule(addresses[i], false);
        if (r.code() != ZEL_OK) return r.code();
        auto object = objectOfKind(probe.getModuleData().moduleId);
        r = object->initializeModule(addresses[i], false);
        if (r.code() != ZEL_OK) return r.code();
        h->list.push_back(object.get());
        h->owned.push_back(std::move(object));
    }
    h->engine = std::make_unique<ZelAcquisition>(h->list.data(), count);
    *out = held.release();
    return ZEL_OK;
}

int ZelAcquisitionCreateForStation(ZelStationObject* station, ZelAcquisitionHandle* out) {
    if (station == nullptr || out == nullptr) return ZEL_NULL_POINTER;
    if (!station->station.isOpen()) return ZEL_STATION_NOT_OPEN;
    auto* h = new (std::nothrow) ZelAcquisitionObject;
    if (h == nullptr) return ZEL_UNKNOWN_ERROR;
    std::unique_ptr<ZelAcquisitionObject> held(h);
    h->list = stationModules(station->station);
    const auto present = std::count_if(h->list.begin(), h->list.end(),
                                       [](const ZelModule* m) { return m != nullptr; });
    if (present == 0 || h->list.size() > ZEL_ACQ_MAX_MODULES) return ZEL_OUT_OF_RANGE;
    h->engine = std::make_unique<ZelAcquisition>(h->list.data(),
                                                 static_cast<unsigned short>(h->list.size()));
    h->restorer = std::make_unique<ZelStationRestorer>(station->station);
    *out = held.release();
    return ZEL_OK;
}

void ZelAcquisitionDelete(ZelAcquisitionHandle h) { delete h; }

int ZelAcquisitionStart(ZelAcquisitionHandle h, double rateHz, unsigned long queueCapacity,
                        int asyncMessages) {
    if (h == nullptr) return ZEL_NULL_POINTER;
    ZelAcquisitionOptions o;
    o.rateHz = rateHz;
    if (queueCapacity != 0) o.queueCapacity = queueCapacity;
    o.asyncMessages = asyncMessages != 0;
    o.restorer = h->restorer.get();
    return h->engine->start(o).code();
}

int ZelAcquisitionStop(ZelAcquisitionHandle h) {
    if (h == nullptr) return ZEL_NULL_POINTER;
    h->engine->stop();
    return ZEL_OK;
}

int ZelAcquisitionNext(ZelAcquisitionHandle h, ZelAcqRecordC* record, long timeoutMs) {
    if (h == nullptr || record == nullptr) return ZEL_NULL_POINTER;
    ZelAcqRecord r;
    if (!h->engine->next(r, timeoutMs)) return ZEL_RESPONSE_TIMEOUT;
    copyRecord(r, *record);
    return ZEL_OK;
}

int ZelAcquisitionGetStatistics(ZelAcquisitionHandle h, ZelAcqStatisticsC* out) {
    if (h == nullptr || out == nullptr) return ZEL_NULL_POINTER;
    const ZelAcqStatistics s = h->engine->statistics();
    out->samples = s.samples;
    out->missedDeadlines = s.missedDeadlines;
    out->overflows = s.overflows;
    out->moduleFailures = s.moduleFailures;
    out->asyncMessages = s.asyncMessages;
    out->losses = s.losses;
    out->returns = s.returns;
    out->restores = s.restores;
    out->maxLatenessUs = s.maxLatenessUs;
    out->queued = static_cast<unsigned long>(s.queued);
    out->queueCapacity = static_cast<unsigned long>(s.queueCapacity);
    out->wallClockSynchronised = s.wallClockSynchronised ? 1 : 0;
    out->wallClockMaxErrorUs = s.wallClockMaxErrorUs;
    out->realtime = s.realtime ? 1 : 0;
    out->firmwareStarts = s.firmwareStarts;
    return ZEL_OK;
}

}  // extern "C"
