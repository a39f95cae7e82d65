// Reading a station's configuration file: the document check first, then
// every value the station applies, turned into the module objects' own
// settings. A value that cannot be applied is refused here, before any
// module is touched, with the element, the module and the channel it
// stands in.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "config/zel_config_reader.h"
#include "foundation/common_utils.h"
#include "modules/module_kinds.h"
#include "modules/module_units.h"
#include "station/station_plan.h"

namespace {

ZelStationStatus vstatus(ZEL_STATION_CODE code, const ZelResults* lower, const char* format,
                         va_list args) {
    ZelStationStatus s;
    s.code = code;
    if (lower != nullptr) s.lower = *lower;
    std::vsnprintf(s.message, sizeof(s.message), format, args);
    return s;
}

// The element, module and channel of one value being read.
class Site {
  public:
    Site(ZelConfigReader& file, const ModulePlan& module, unsigned short number)
        : file_(file), module_(module), number_(number) {}

    void setChannel(unsigned short channel) { channel_ = channel; }

    // The element's text at module level (channel 0) or channel level.
    std::string text(ZEL_XML_ELEMENTS e) {
        std::string t;
        const ZEL_XML_RETURN r = channel_ == 0 ? file_.getElement(e, t, number_)
                                               : file_.getElement(e, t, number_, channel_);
        if (r != ZEL_XML_OK) t.clear();
        return t;
    }

    // A number, whole text only; false with `refused` filled otherwise.
    bool number(ZEL_XML_ELEMENTS e, double& value, ZelStationStatus& refused) {
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

    // A whole number among the allowed ones.
    bool choice(ZEL_XML_ELEMENTS e, std::initializer_list<int> allowed, int& value,
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

    ZelStationStatus refuse(ZEL_XML_ELEMENTS e, const char* format, ...)
        __attribute__((format(printf, 3, 4))) {
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

  private:
    ZelConfigReader& file_;
    const ModulePlan& module_;
    unsigned short number_;
    unsigned short channel_ = 0;
};

// Millimetres per unit of the linear units a mastering offset may be given in.
bool millimetresPer(UOM unit, double& factor) {
    switch (unit) {
        case UOM_MILLIMETRE:
            factor = 1.0;
            return true;
        case UOM_INCH:
            factor = zel::units::kMillimetresPerInch;
            return true;
        default:
            return false;
    }
}

bool millimetresPer(LVDT_UOM unit, double& factor) {
    switch (unit) {
        case LVDT_UOM_MILLIMETRE:
            factor = 1.0;
            return true;
        case LVDT_UOM_INCH:
            factor = zel::units::kMillimetresPerInch;
            return true;
        case LVDT_UOM_MICROMETRE:
            factor = 0.001;
            return true;
        default:
            return false;
    }
}

// The channel's settings of an encoder module (Kalix, 1 Vpp, TTL).
bool readEncoderChannel(Site& site, MaybeKind kind, ChannelPlan& c, ZelStationStatus& refused) {
    int v = 0;
    if (!site.choice(ZEL_XML_DEVICE_TYPE, {0, 1, 3}, v, refused)) return false;
    c.encoderType = static_cast<ENCODER_TYPES_ENUM>(v);
    if (!site.choice(ZEL_XML_UOM, {0, 1, 2, 3, 4}, v, refused)) return false;
    c.uom = static_cast<UOM>(v);
    if (c.encoderType == ENCODER_TYPE_LINEAR && c.uom == UOM_DEGREE) {
        refused = site.refuse(ZEL_XML_UOM, "degrees on a linear channel");
        return false;
    }
    if (!site.choice(ZEL_XML_ROTARY_FORMAT_TYPE, {0, 1, 2, 3, 4}, v, refused)) return false;
    c.rotaryFormat = static_cast<ROTARY_FORMAT>(v);
    if (!site.number(ZEL_XML_ERROR_COMPENSATION, c.errorCompensation, refused)) return false;
    if (c.errorCompensation == 0.0) {
        refused = site.refuse(ZEL_XML_ERROR_COMPENSATION, "a factor of 0");
        return false;
    }
    if (!site.choice(ZEL_XML_COUNTING_DIRECTION, {0, 1}, v, refused)) return false;
    c.countingDirection = v != 0;
    c.unit = zel::kinds::encoderUnitName(c.uom, c.encoderType);
    if (kind == StationKind::Kalix) return true;

    double lines = 0;
    if (!site.number(ZEL_XML_LINE_COUNT, lines, refused)) return false;
    if (lines < 1 || lines > 1e7 || lines != std::floor(lines)) {
        refused = site.refuse(ZEL_XML_LINE_COUNT, "%g lines", lines);
        return false;
    }
    c.lineCount = static_cast<unsigned long>(lines);
    if (!site.number(ZEL_XML_SIGNAL_PERIOD, c.signalPeriod, refused)) return false;
    if (c.signalPeriod <= 0 || c.signalPeriod > 65535) {
        refused = site.refuse(ZEL_XML_SIGNAL_PERIOD, "a period of %g", c.signalPeriod);
        return false;
    }
    if (kind == StationKind::OneVpp && c.signalPeriod != std::floor(c.signalPeriod)) {
        refused = site.refuse(ZEL_XML_SIGNAL_PERIOD, "a 1 Vpp channel takes whole micrometres");
        return false;
    }
    if (!site.choice(ZEL_XML_REFERENCE_MARK, {0, 1}, v, refused)) return false;
    c.referenceMark = static_cast<REFERENCE_MARK_ENUM>(v);
    if (kind == StationKind::Ttl) {
        if (!site.choice(ZEL_XML_INTERPOLATION, {1, 2, 5, 10, 20, 25, 50, 100}, v, refused)) {
            return false;
        }
        c.interpolation = static_cast<TTL_INTERPOLATION>(v);
    }
    return true;
}

// Two-point calibration: the instrument's reading at InstrumentationMin and
// Max stands for ActualMin and Max.
bool readCalibration(Site& site, ChannelPlan& c, ZelStationStatus& refused) {
    if (!site.number(ZEL_XML_INSTRUMENTATION_MIN, c.instrumentationMin, refused) ||
        !site.number(ZEL_XML_INSTRUMENTATION_MAX, c.instrumentationMax, refused) ||
        !site.number(ZEL_XML_ACTUAL_MIN, c.actualMin, refused) ||
        !site.number(ZEL_XML_ACTUAL_MAX, c.actualMax, refused)) {
        return false;
    }
    if (c.instrumentationMax == c.instrumentationMin) {
        refused = site.refuse(ZEL_XML_INSTRUMENTATION_MAX, "equal to InstrumentationMin");
        return false;
    }
    if (c.actualMax == c.actualMin) {
        refused = site.refuse(ZEL_XML_ACTUAL_MAX, "equal to ActualMin");
        return false;
    }
    c.calibrationGain = (c.actualMax - c.actualMin) / (c.instrumentationMax - c.instrumentationMin);
    c.calibrationShift = c.actualMin - c.instrumentationMin * c.calibrationGain;
    return true;
}

bool readChannel(Site& site, ModulePlan& m, ChannelPlan& c, ZelStationStatus& refused) {
    c.label = site.text(ZEL_XML_CHANNEL_LABEL);
    int v = 0;
    if (!site.choice(ZEL_XML_POPULATED, {0, 1}, v, refused)) return false;
    c.populated = v != 0;
    if (m.kind == StationKind::Io || m.kind == StationKind::Pneumatic) return true;

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

    if (isEncoderKind(m.kind)) {
        if (!readEncoderChannel(site, m.kind, c, refused)) return false;
    } else if (m.kind == StationKind::Lvdt) {
        if (!site.choice(ZEL_XML_UOM, {0, 1, 2, 3, 4}, v, refused)) return false;
        c.lvdtUom = static_cast<LVDT_UOM>(v);
        c.unit = zel::kinds::unitName(c.lvdtUom);
        if (c.resolution <= 0) {
            refused = site.refuse(ZEL_XML_RESOLUTION, "a resolution of %g", c.resolution);
            return false;
        }
        if (!readCalibration(site, c, refused)) return false;
        double gain = 0;
        if (!site.number(ZEL_XML_GAIN_CODE, gain, refused)) return false;
        if (gain < 0 || gain > 255 || gain != std::floor(gain)) {
            refused = site.refuse(ZEL_XML_GAIN_CODE, "%g is not a gain code (0 to 255)", gain);
            return false;
        }
        c.gainCode = static_cast<int>(gain);
    } else if (m.kind == StationKind::Analog) {
        if (!readCalibration(site, c, refused)) return false;
        double offset = 0;
        if (!site.number(ZEL_XML_OFFSET, offset, refused)) return false;
        c.deviceOffset += offset;
        c.unit = "V";
    } else {
        return true;  // power supplies and unknown identities: nothing to apply
    }

    // Mastering: the reading moves by MasterOffset, given in MasterUom.
    if (!site.choice(ZEL_XML_MASTERING_ENABLED, {0, 1}, v, refused)) return false;
    if (v == 0) return true;
    double offset = 0;
    if (!site.number(ZEL_XML_MASTER_OFFSET, offset, refused)) return false;
    if (!site.choice(ZEL_XML_MASTER_UOM, {0, 1, 2, 3, 4}, v, refused)) return false;
    const auto masterUom = static_cast<UOM>(v);
    if (offset == 0.0 || m.kind == StationKind::Analog) {
        c.deviceOffset += offset;
        return true;
    }
    double from = 0;
    double to = 0;
    bool same = false;
    if (isEncoderKind(m.kind)) {
        const bool rotary = c.encoderType == ENCODER_TYPE_ROTARY;
        same = rotary ? masterUom == UOM_DEGREE
                      : (millimetresPer(masterUom, from) && millimetresPer(c.uom, to));
        if (rotary && same) from = to = 1.0;
    } else {
        same = millimetresPer(masterUom, from) && millimetresPer(c.lvdtUom, to);
    }
    if (!same) {
        refused = site.refuse(ZEL_XML_MASTER_UOM,
                              "an offset in unit %d cannot move a reading in %s", v, c.unit);
        return false;
    }
    c.deviceOffset += offset * from / to;
    return true;
}

}  // namespace

MaybeKind stationKindOf(MODULE_ID id) {
    const zel::identity::KindInfo* k = zel::identity::kindOf(id);
    if (k == nullptr) return std::nullopt;
    return k->kind;
}

bool isMeasuringKind(MaybeKind kind) {
    return kind.has_value() && zel::identity::kindInfo(*kind).measuring;
}

bool isEncoderKind(MaybeKind kind) {
    return kind.has_value() && zel::identity::kindInfo(*kind).encoder;
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
        Site site(file, m, number);
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
        if (m.kind == StationKind::Lvdt) {
            if (!site.number(ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, m.excitationVolts, refused)) {
                return refused;
            }
            if (m.excitationVolts < 1.5 || m.excitationVolts > 5.5) {
                return site.refuse(ZEL_XML_PRIMARY_EXCITATION_VOLTAGE,
                                   "%g V is outside 1.5 to 5.5 V", m.excitationVolts);
            }
            if (!site.number(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, m.excitationKilohertz,
                             refused)) {
                return refused;
            }
            if (m.excitationKilohertz < 3 || m.excitationKilohertz > 50) {
                return site.refuse(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY,
                                   "%g kHz is outside 3 to 50 kHz", m.excitationKilohertz);
            }
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
