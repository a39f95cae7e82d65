// Applying the file's channel settings to the module objects, and to the
// modules for the settings they keep themselves (TTL interpolation,
// direction and presence, LVDT excitation, probe gain and presence, error
// checking). Every value was checked when the file was read; what a module
// still refuses is reported with the element, module and channel.
#include <cstdarg>
#include <cstdio>

#include "config/zel_config_base.h"
#include "station/station_plan.h"

namespace {

class Applier {
  public:
    Applier(const ModulePlan& m, unsigned short position) : m_(m), position_(position) {}

    void setChannel(unsigned short c) { channel_ = c; }

    // A setter of the object that returns false.
    bool check(bool ok, ZEL_XML_ELEMENTS e, ZelStationStatus& failed) {
        if (!ok) failed = name(stationStatus(ZEL_STATION_VALUE_REFUSED, "%s", "refused"), e);
        return ok;
    }
    // A module command.
    bool check(const ZelResults& r, ZEL_XML_ELEMENTS e, ZelStationStatus& failed) {
        if (!r.ok()) failed = name(stationStatus(r, "%s", ZelResults::showRespCode(r.code())), e);
        return r.ok();
    }

  private:
    ZelStationStatus name(ZelStationStatus s, ZEL_XML_ELEMENTS e) {
        std::string text = ZelConfigBase::decodeElementType(e) + " of module " +
                           std::to_string(position_ + 1) + " (" + m_.info.label + ")";
        if (channel_ >= 0) text += ", channel " + std::to_string(channel_ + 1);
        text += std::string(" not applied: ") + s.message;
        copyField(s.message, text);
        s.element = static_cast<int>(e);
        s.position = position_;
        s.channel = channel_;
        return s;
    }

    const ModulePlan& m_;
    unsigned short position_;
    int channel_ = -1;
};

// The settings every encoder kind keeps in its object.
bool applyEncoderCommon(ZelDeviceModule& d, const ChannelPlan& c, unsigned short ch, Applier& a,
                        ZelStationStatus& failed) {
    return a.check(d.setErrorCompensation(c.errorCompensation, ch), ZEL_XML_ERROR_COMPENSATION,
                   failed) &&
           a.check(d.setScaling(c.scaleFactor, ch), ZEL_XML_SCALE_FACTOR, failed);
}

bool applyKalix(ZelKalixModule& k, const ChannelPlan& c, unsigned short ch, Applier& a,
                ZelStationStatus& failed) {
    DeviceData data{};
    k.getDeviceData(&data, ch);
    if (data.measuringStep == 0) return true;  // no encoder on the channel
    if (c.encoderType != ENCODER_TYPE_NONE &&
        (c.encoderType == ENCODER_TYPE_ROTARY) != data.isRotary) {
        failed = stationStatus(ZEL_STATION_VALUE_REFUSED, "%s", "");
        return a.check(false, ZEL_XML_DEVICE_TYPE, failed);
    }
    EncoderInfo info;
    if (!a.check(k.getEncoderInfo(&info, ch), ZEL_XML_DEVICE_TYPE, failed)) return false;
    info.encoderType = c.encoderType;
    info.uom = c.uom;
    info.errorCompensation = c.errorCompensation;
    return a.check(k.setEncoderInfo(&info, ch), ZEL_XML_UOM, failed) &&
           applyEncoderCommon(k, c, ch, a, failed);
}

bool applyVpp(Zel1VppModule& v, const ChannelPlan& c, unsigned short ch, Applier& a,
              ZelStationStatus& failed) {
    return a.check(v.setEncoderType(c.encoderType, ch), ZEL_XML_DEVICE_TYPE, failed) &&
           a.check(v.setUom(c.uom, ch), ZEL_XML_UOM, failed) &&
           a.check(v.setCountingDirection(c.countingDirection, ch), ZEL_XML_COUNTING_DIRECTION,
                   failed) &&
           a.check(v.setLineCount(c.lineCount, ch), ZEL_XML_LINE_COUNT, failed) &&
           a.check(v.setSignalPeriod(static_cast<unsigned short>(c.signalPeriod), ch),
                   ZEL_XML_SIGNAL_PERIOD, failed) &&
           applyEncoderCommon(v, c, ch, a, failed);
}

bool applyTtl(ZelTtlModule& t, const ChannelPlan& c, unsigned short ch, Applier& a,
              ZelStationStatus& failed) {
    if (!a.check(t.setChannelPresence(c.populated ? 1 : 0, static_cast<unsigned char>(ch)),
                 ZEL_XML_POPULATED, failed)) {
        return false;
    }
    if (!c.populated) return true;
    const bool rotary = c.encoderType == ENCODER_TYPE_ROTARY;
    // The line count or the signal period also sends the interpolation.
    const bool counted = rotary ? t.setLineCount(c.lineCount, c.interpolation, ch)
                                : t.setSignalPeriod(c.signalPeriod, c.interpolation, ch);
    return a.check(counted, ZEL_XML_INTERPOLATION, failed) &&
           a.check(t.setEncoderType(c.encoderType, ch), ZEL_XML_DEVICE_TYPE, failed) &&
           a.check(t.setUom(c.uom, ch), ZEL_XML_UOM, failed) &&
           a.check(t.setCountingDirection(c.countingDirection ? 1 : 0, ch),
                   ZEL_XML_COUNTING_DIRECTION, failed) &&
           applyEncoderCommon(t, c, ch, a, failed);
}

bool applyLvdt(ZelLvdtModule& l, const ChannelPlan& c, unsigned short ch, Applier& a,
               ZelStationStatus& failed) {
    const auto uch = static_cast<unsigned char>(ch);
    if (!a.check(l.setChannelPresence(c.populated ? 1 : 0, uch), ZEL_XML_POPULATED, failed)) {
        return false;
    }
    if (!c.populated) return true;
    // Position = reading x resolution x scaling + offset, with the two-point
    // calibration folded into the scaling and the offset.
    return a.check(l.setUom(c.lvdtUom, ch), ZEL_XML_UOM, failed) &&
           a.check(l.setResolution(ch, c.resolution), ZEL_XML_RESOLUTION, failed) &&
           a.check(l.setScaling(c.scaleFactor * c.calibrationGain, ch), ZEL_XML_SCALE_FACTOR,
                   failed) &&
           a.check(l.setSensorGain(ch, static_cast<unsigned char>(c.gainCode)), ZEL_XML_GAIN_CODE,
                   failed);
}

bool applyAnalog(ZelAnalogModule& an, const ChannelPlan& c, unsigned short ch, Applier& a,
                 ZelStationStatus& failed) {
    double resolution = 0;
    double offset = 0;
    return a.check(an.computeResolutionAndOffset(ch, &resolution, &offset, c.actualMax, c.actualMin,
                                                 c.instrumentationMax, c.instrumentationMin),
                   ZEL_XML_ACTUAL_MAX, failed) &&
           a.check(an.setScaling(ch, c.scaleFactor), ZEL_XML_SCALE_FACTOR, failed);
}

}  // namespace

ZelStationStatus ZelStation::applySettings() {
    for (std::size_t i = 0; i < plan->modules.size(); ++i) {
        ZelStationStatus s = applyModuleSettings(i);
        if (!s.ok()) return s;
    }
    return ZelStationStatus{};
}

ZelStationStatus ZelStation::applyModuleSettings(std::size_t i) {
    ZelModule* object = impl->byPosition[i];
    if (object == nullptr || !impl->sameKind[i]) return ZelStationStatus{};
    const ModulePlan& m = plan->modules[i];
    Applier a(m, static_cast<unsigned short>(i));
    ZelStationStatus failed;
    if (m.kind == StationKind::Lvdt) {
        auto& l = static_cast<ZelLvdtModule&>(*object);
        if (!a.check(l.setExcitationVoltage(m.excitationVolts), ZEL_XML_PRIMARY_EXCITATION_VOLTAGE,
                     failed) ||
            !a.check(l.setExcitationFrequency(m.excitationKilohertz),
                     ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, failed)) {
            return failed;
        }
    }
    const unsigned short channels =
        static_cast<unsigned short>(std::min<std::size_t>(m.channels.size(), ZEL_CHANNEL_CAPACITY));
    for (unsigned short ch = 0; ch < channels; ++ch) {
        const ChannelPlan& c = m.channels[ch];
        a.setChannel(ch);
        bool ok = true;
        if (!m.kind.has_value()) continue;
        switch (*m.kind) {
            case StationKind::Kalix:
                ok = applyKalix(static_cast<ZelKalixModule&>(*object), c, ch, a, failed);
                break;
            case StationKind::OneVpp:
                ok = applyVpp(static_cast<Zel1VppModule&>(*object), c, ch, a, failed);
                break;
            case StationKind::Ttl:
                ok = applyTtl(static_cast<ZelTtlModule&>(*object), c, ch, a, failed);
                break;
            case StationKind::Lvdt:
                ok = applyLvdt(static_cast<ZelLvdtModule&>(*object), c, ch, a, failed);
                break;
            case StationKind::Analog:
                ok = applyAnalog(static_cast<ZelAnalogModule&>(*object), c, ch, a, failed);
                break;
            default:
                continue;
        }
        if (!ok) return failed;
        const double shift = m.kind == StationKind::Lvdt ? c.calibrationShift : 0.0;
        object->setRotaryFormat(ch, c.rotaryFormat);
        object->setDeviceOffset(ch, c.deviceOffset + shift);
        if (m.kind != StationKind::Analog && c.populated) {
            auto& d = static_cast<ZelDeviceModule&>(*object);
            if (!a.check(d.enableErrorChecking(c.errorMonitoring, ch), ZEL_XML_ERROR_MONITORING,
                         failed)) {
                return failed;
            }
        }
    }
    return ZelStationStatus{};
}

ZelStationStatus ZelStation::reapplySettings(unsigned short position) {
    if (!opened) return stationStatus(ZEL_STATION_NOT_OPEN, "%s", "the station is not open");
    if (position >= plan->modules.size() || impl->byPosition[position] == nullptr) {
        return stationStatus(ZEL_STATION_NO_SUCH_CHANNEL, "no module at position %u",
                             static_cast<unsigned>(position));
    }
    ZelStationStatus s = applyModuleSettings(position);
    return s.ok() ? readBackSettings(position) : s;
}

ZelStationStatus ZelStation::readBackSettings(std::size_t i) {
    ZelModule* object = impl->byPosition[i];
    if (object == nullptr || !impl->sameKind[i]) return ZelStationStatus{};
    const ModulePlan& m = plan->modules[i];
    if (m.kind != StationKind::Ttl && m.kind != StationKind::Lvdt) return ZelStationStatus{};
    Applier a(m, static_cast<unsigned short>(i));
    ZelStationStatus failed;
    const unsigned short channels =
        static_cast<unsigned short>(std::min<std::size_t>(m.channels.size(), ZEL_CHANNEL_CAPACITY));
    for (unsigned short ch = 0; ch < channels; ++ch) {
        const ChannelPlan& c = m.channels[ch];
        a.setChannel(ch);
        const auto uch = static_cast<unsigned char>(ch);
        unsigned char presence = 0;
        const ZelResults r =
            m.kind == StationKind::Ttl
                ? static_cast<ZelTtlModule&>(*object).getChannelPresence(&presence, uch)
                : static_cast<ZelLvdtModule&>(*object).getChannelPresence(&presence, uch);
        if (!a.check(r, ZEL_XML_POPULATED, failed) ||
            !a.check((presence != 0) == c.populated, ZEL_XML_POPULATED, failed)) {
            return failed;
        }
        if (m.kind != StationKind::Lvdt || !c.populated || c.gainCode < 0) continue;
        unsigned char gain = 0;
        if (!a.check(static_cast<ZelLvdtModule&>(*object).getSensorGain(ch, &gain),
                     ZEL_XML_GAIN_CODE, failed) ||
            !a.check(gain == c.gainCode, ZEL_XML_GAIN_CODE, failed)) {
            return failed;
        }
    }
    return ZelStationStatus{};
}
