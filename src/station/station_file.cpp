// Reading a station's configuration file: the document check first, then
// every value the station applies, turned into the module objects' own
// settings. What a kind takes beyond what every channel holds, its row
// reads (station_kinds.cpp). A value that cannot be applied is refused
// here, before any module is touched, with the element, the module and the
// channel it stands in.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "foundation/common_utils.h"
#include "station/station_kinds.h"

namespace {

ZelStationStatus vstatus(ZEL_STATION_CODE code, const ZelResults* lower, const char* format,
                         va_list args) {
    ZelStationStatus s;
    s.code = code;
    if (lower != nullptr) s.lower = *lower;
    std::vsnprintf(s.message, sizeof(s.message), format, args);
    return s;
}

bool readChannel(FileSite& site, ModulePlan& m, ChannelPlan& c, ZelStationStatus& refused) {
    c.label = site.text(ZEL_XML_CHANNEL_LABEL);
    int v = 0;
    if (!site.choice(ZEL_XML_POPULATED, {0, 1}, v, refused)) return false;
    c.populated = v != 0;
    // A kind whose channels hold no measuring elements (I/O, valves).
    if (zel::identity::elementsOf(m.info.moduleId) == 0) return true;

    if (!site.choice(ZEL_XML_ERROR_MONITORING, {0, 1}, v, refused)) return false;
    c.errorMonitoring = v != 0;
    if (!site.number(ZEL_XML_SCALE_FACTOR, c.scaleFactor, refused)) return false;
    if (c.scaleFactor == 0.0) {
        refused = site.refuse(ZEL_XML_SCALE_FACTOR, "a factor of 0");
        return false;
    }
    if (!site.number(ZEL_XML_DISPLAY_RESOLUTION, c.displayResolution, refused)) return false;
    if (c.displayResolution < 0) {
        refused = site.refuse(ZEL_XML_DISPLAY_RESOLUTION, "a negative step");
        return false;
    }
    if (!site.number(ZEL_XML_RESOLUTION, c.resolution, refused)) return false;

    const StationKindRow* kind = stationKindRow(m.kind);
    // Power supplies and unknown identities: nothing to apply.
    if (kind == nullptr || kind->readChannel == nullptr) return true;
    if (!kind->readChannel(site, c, refused)) return false;

    // Mastering: the reading moves by MasterOffset, given in MasterUom.
    if (!site.choice(ZEL_XML_MASTERING_ENABLED, {0, 1}, v, refused)) return false;
    if (v == 0) return true;
    double offset = 0;
    if (!site.number(ZEL_XML_MASTER_OFFSET, offset, refused)) return false;
    if (!site.choice(ZEL_XML_MASTER_UOM, {0, 1, 2, 3, 4}, v, refused)) return false;
    if (offset == 0.0 || kind->masterFactor == nullptr) {
        c.deviceOffset += offset;
        return true;
    }
    double factor = 1.0;
    if (!kind->masterFactor(c, static_cast<UOM>(v), factor)) {
        refused = site.refuse(ZEL_XML_MASTER_UOM,
                              "an offset in unit %d cannot move a reading in %s", v, c.unit);
        return false;
    }
    c.deviceOffset += offset * factor;
    return true;
}

}  // namespace

std::string FileSite::text(ZEL_XML_ELEMENTS e) {
    std::string t;
    const ZEL_XML_RETURN r =
        channel_ == 0 ? file_.getElement(e, t, number_) : file_.getElement(e, t, number_, channel_);
    if (r != ZEL_XML_OK) t.clear();
    return t;
}

bool FileSite::number(ZEL_XML_ELEMENTS e, double& value, ZelStationStatus& refused) {
    const std::string t = text(e);
    const char* begin = t.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
    if (t.empty() || end == begin || *end != '\0' || !std::isfinite(v)) {
        refused = refuse(e, "'%s' is not a number", t.c_str());
        return false;
    }
    value = v;
    return true;
}

bool FileSite::choice(ZEL_XML_ELEMENTS e, std::initializer_list<int> allowed, int& value,
                      ZelStationStatus& refused) {
    double v = 0;
    if (!number(e, v, refused)) return false;
    for (int a : allowed) {
        if (v == a) {
            value = a;
            return true;
        }
    }
    refused = refuse(e, "%s cannot be applied to a channel of this module", text(e).c_str());
    return false;
}

ZelStationStatus FileSite::refuse(ZEL_XML_ELEMENTS e, const char* format, ...) {
    char what[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof(what), format, args);
    va_end(args);
    const std::string tag = ZelConfigBase::decodeElementType(e);
    ZelStationStatus s;
    if (channel_ == 0) {
        s = stationStatus(ZEL_STATION_VALUE_REFUSED, "%s of module %u (%s): %s", tag.c_str(),
                          number_, module_.info.label, what);
    } else {
        s = stationStatus(ZEL_STATION_VALUE_REFUSED, "%s of module %u (%s), channel %u: %s",
                          tag.c_str(), number_, module_.info.label, channel_, what);
    }
    s.element = static_cast<int>(e);
    s.position = number_ - 1;
    s.channel = channel_ == 0 ? -1 : channel_ - 1;
    return s;
}

MaybeKind stationKindOf(MODULE_ID id) {
    const zel::identity::KindInfo* k = zel::identity::kindOf(id);
    if (k == nullptr) return std::nullopt;
    return k->kind;
}

ZelStationStatus stationStatus(ZEL_STATION_CODE code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    ZelStationStatus s = vstatus(code, nullptr, format, args);
    va_end(args);
    return s;
}

ZelStationStatus stationStatus(const ZelResults& lower, const char* format, ...) {
    va_list args;
    va_start(args, format);
    ZelStationStatus s = vstatus(static_cast<ZEL_STATION_CODE>(lower.code()), &lower, format, args);
    va_end(args);
    return s;
}

ZelStationStatus readStationFile(const char* path, ZelStation::Plan& plan) {
    ZelConfigReader file;
    ZEL_XML_RETURN r = file.loadXml(path);
    if (r != ZEL_XML_OK) {
        return stationStatus(ZEL_STATION_FILE_INVALID, "%s: %s", path,
                             ZelConfigBase::decodeErrorType(r).c_str());
    }
    ZEL_XML_ELEMENTS element = ZEL_XML_BASE_LABEL;
    unsigned short module = 0;
    unsigned short channel = 0;
    r = file.validateElements(element, module, channel);
    if (r != ZEL_XML_OK) {
        ZelStationStatus s =
            stationStatus(ZEL_STATION_FILE_INVALID, "%s: %s: %s of module %u, channel %u", path,
                          ZelConfigBase::decodeErrorType(r).c_str(),
                          ZelConfigBase::decodeElementType(element).c_str(), module, channel);
        s.element = static_cast<int>(element);
        s.position = module == 0 ? -1 : module - 1;
        s.channel = channel == 0 ? -1 : channel - 1;
        return s;
    }
    unsigned short modules = 0;
    file.getNumModules(modules);
    if (modules > ZEL_MAX_CHAIN_MODULES) {
        return stationStatus(ZEL_STATION_FILE_INVALID, "%s: %u modules, a chain holds at most %u",
                             path, modules, ZEL_MAX_CHAIN_MODULES);
    }
    ZelStation::Plan result;
    result.path = path;
    file.getElement(ZEL_XML_BASE_LABEL, result.baseLabel);
    for (unsigned short number = 1; number <= modules; ++number) {
        ModulePlan m;
        FileSite site(file, m, number);
        copyField(m.info.label, site.text(ZEL_XML_LABEL));
        copyField(m.info.model, site.text(ZEL_XML_MODEL));
        copyField(m.info.serialNumber, site.text(ZEL_XML_SERIAL_NUMBER));
        copyField(m.info.firmwareVersion, site.text(ZEL_XML_FIRMWARE_VERSION));
        ZelStationStatus refused;
        double id = 0;
        if (!site.number(ZEL_XML_MODULE_ID, id, refused)) return refused;
        m.info.moduleId = static_cast<MODULE_ID>(static_cast<unsigned long>(id));
        m.kind = stationKindOf(m.info.moduleId);
        const std::string ip = site.text(ZEL_XML_IP);
        if (ip.empty() || ip.size() >= ZEL_IP_TEXT_CAPACITY ||
            CommonUtils::strToIpAddr(ip.c_str()) == 0) {
            return site.refuse(ZEL_XML_IP, "'%s' is not an address", ip.c_str());
        }
        copyField(m.info.address, ip);
        const StationKindRow* kind = stationKindRow(m.kind);
        if (kind != nullptr && kind->readModule != nullptr && !kind->readModule(site, m, refused)) {
            return refused;
        }
        unsigned short channels = 0;
        file.getNumChannels(number, channels);
        if (channels > ZEL_CHANNEL_CAPACITY) {
            return site.refuse(ZEL_XML_CHANNEL_LABEL, "%u channels, a module has at most %u",
                               channels, ZEL_CHANNEL_CAPACITY);
        }
        m.info.numChannels = channels;
        for (unsigned short c = 1; c <= channels; ++c) {
            site.setChannel(c);
            ChannelPlan cp;
            if (!readChannel(site, m, cp, refused)) return refused;
            m.channels.push_back(cp);
        }
        result.modules.push_back(m);
    }
    plan = std::move(result);
    return ZelStationStatus{};
}
