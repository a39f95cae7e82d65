// Applying the file's channel settings to the module objects, and to the
// modules for the settings they keep themselves (TTL interpolation,
// direction and presence, LVDT excitation, probe gain and presence, error
// checking), each kind through its row (station_kinds.cpp). Every value
// was checked when the file was read; what a module still refuses is
// reported with the element, module and channel.
#include <cstdarg>
#include <cstdio>

#include "config/zel_config_base.h"
#include "station/station_kinds.h"

bool SettingsApplier::check(bool ok, ZEL_XML_ELEMENTS e, ZelStationStatus& failed) {
    if (!ok) failed = name(stationStatus(ZEL_STATION_VALUE_REFUSED, "%s", "refused"), e);
    return ok;
}

bool SettingsApplier::check(const ZelResults& r, ZEL_XML_ELEMENTS e, ZelStationStatus& failed) {
    if (!r.ok()) failed = name(stationStatus(r, "%s", ZelResults::showRespCode(r.code())), e);
    return r.ok();
}

ZelStationStatus SettingsApplier::name(ZelStationStatus s, ZEL_XML_ELEMENTS e) {
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
    const StationKindRow* kind = stationKindRow(m.kind);
    if (kind == nullptr) return ZelStationStatus{};
    SettingsApplier a(m, static_cast<unsigned short>(i));
    ZelStationStatus failed;
    if (kind->applyModule != nullptr && !kind->applyModule(*object, m, a, failed)) return failed;
    if (kind->applyChannel == nullptr) return ZelStationStatus{};
    const unsigned short channels =
        static_cast<unsigned short>(std::min<std::size_t>(m.channels.size(), ZEL_CHANNEL_CAPACITY));
    for (unsigned short ch = 0; ch < channels; ++ch) {
        const ChannelPlan& c = m.channels[ch];
        a.setChannel(ch);
        if (!kind->applyChannel(*object, c, ch, a, failed)) return failed;
        object->setRotaryFormat(ch, c.rotaryFormat);
        object->setDeviceOffset(ch, c.deviceOffset);
        // Error checking is kept by the objects of the counting kinds.
        auto* device = dynamic_cast<ZelDeviceModule*>(object);
        if (device != nullptr && c.populated &&
            !a.check(device->enableErrorChecking(c.errorMonitoring, ch), ZEL_XML_ERROR_MONITORING,
                     failed)) {
            return failed;
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
    const StationKindRow* kind = stationKindRow(m.kind);
    if (kind == nullptr || kind->readBackChannel == nullptr) return ZelStationStatus{};
    SettingsApplier a(m, static_cast<unsigned short>(i));
    ZelStationStatus failed;
    const unsigned short channels =
        static_cast<unsigned short>(std::min<std::size_t>(m.channels.size(), ZEL_CHANNEL_CAPACITY));
    for (unsigned short ch = 0; ch < channels; ++ch) {
        a.setChannel(ch);
        if (!kind->readBackChannel(*object, m.channels[ch], ch, a, failed)) return failed;
    }
    return ZelStationStatus{};
}
