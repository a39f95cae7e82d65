// Each module kind's settings in the station: what it reads from a
// configuration file beyond what every channel holds, how it applies that
// to its object and module, what it checks back after a restart and what a
// commissioning file records of it. The functions of a kind stand together
// and end in its row.
#include "station/station_kinds.h"

#include <cmath>
#include <iterator>

#include "modules/module_kinds.h"
#include "modules/module_units.h"

namespace {

// ---- shared by several kinds ----

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

// Two-point calibration: the instrument's reading at InstrumentationMin and
// Max stands for ActualMin and Max.
bool readCalibration(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
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

// ---- the encoder kinds (Kalix, 1 Vpp, TTL) ----

// The elements every encoder channel holds.
bool readEncoderChannel(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
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
    return true;
}

// The elements of an incremental encoder's scale: its lines, its signal
// period (whole micrometres where the module takes no fraction) and its
// reference mark.
bool readScale(FileSite& site, ChannelPlan& c, bool wholeMicrometres, ZelStationStatus& refused) {
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
    if (wholeMicrometres && c.signalPeriod != std::floor(c.signalPeriod)) {
        refused = site.refuse(ZEL_XML_SIGNAL_PERIOD, "a 1 Vpp channel takes whole micrometres");
        return false;
    }
    int v = 0;
    if (!site.choice(ZEL_XML_REFERENCE_MARK, {0, 1}, v, refused)) return false;
    c.referenceMark = static_cast<REFERENCE_MARK_ENUM>(v);
    return true;
}

// A rotary channel takes an offset in degrees; a linear one in millimetres
// or inches.
bool encoderMasterFactor(const ChannelPlan& c, UOM master, double& factor) {
    if (c.encoderType == ENCODER_TYPE_ROTARY) {
        factor = 1.0;
        return master == UOM_DEGREE;
    }
    double from = 0;
    double to = 0;
    if (!millimetresPer(master, from) || !millimetresPer(c.uom, to)) return false;
    factor = from / to;
    return true;
}

// The settings every encoder kind keeps in its object.
bool applyEncoderCommon(ZelDeviceModule& d, const ChannelPlan& c, unsigned short ch,
                        SettingsApplier& a, ZelStationStatus& failed) {
    return a.check(d.setErrorCompensation(c.errorCompensation, ch), ZEL_XML_ERROR_COMPENSATION,
                   failed) &&
           a.check(d.setScaling(c.scaleFactor, ch), ZEL_XML_SCALE_FACTOR, failed);
}

// The channel's presence as a TTL or LVDT module keeps it, compared with
// the file's.
template <class Module>
bool readBackPresence(Module& m, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
                      ZelStationStatus& failed) {
    unsigned char presence = 0;
    return a.check(m.getChannelPresence(&presence, static_cast<unsigned char>(ch)),
                   ZEL_XML_POPULATED, failed) &&
           a.check((presence != 0) == c.populated, ZEL_XML_POPULATED, failed);
}

// A channel's presence as the module reports it; present when it does not
// answer.
template <class Module>
bool presenceOf(Module& m, unsigned short ch) {
    unsigned char p = 1;
    return !m.getChannelPresence(&p, static_cast<unsigned char>(ch)).ok() || p != 0;
}

// ---- Kalix ----

bool readKalix(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
    return readEncoderChannel(site, c, refused);
}

bool applyKalix(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
                ZelStationStatus& failed) {
    auto& k = static_cast<ZelKalixModule&>(object);
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

void captureKalix(ZelModule& object, unsigned short ch, CapturedChannel& out) {
    auto& k = static_cast<ZelKalixModule&>(object);
    DeviceData d{};
    k.getDeviceData(&d, ch);
    out.populated = d.measuringStep != 0;
    k.getDistinguishableRevolutions(&out.revolutions, ch);
    char name[10] = {};
    char id[11] = {};
    char serial[17] = {};
    k.getEncoderName(name, ch);
    k.getEncoderId(id, ch);
    k.getSerialNumber(serial, ch);
    out.encoderName = name;
    out.encoderId = id;
    out.encoderSerial = serial;
}

// ---- 1 Vpp ----

bool readOneVpp(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
    return readEncoderChannel(site, c, refused) && readScale(site, c, true, refused);
}

bool applyOneVpp(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
                 ZelStationStatus& failed) {
    auto& v = static_cast<Zel1VppModule&>(object);
    return a.check(v.setEncoderType(c.encoderType, ch), ZEL_XML_DEVICE_TYPE, failed) &&
           a.check(v.setUom(c.uom, ch), ZEL_XML_UOM, failed) &&
           a.check(v.setCountingDirection(c.countingDirection, ch), ZEL_XML_COUNTING_DIRECTION,
                   failed) &&
           a.check(v.setLineCount(c.lineCount, ch), ZEL_XML_LINE_COUNT, failed) &&
           a.check(v.setSignalPeriod(static_cast<unsigned short>(c.signalPeriod), ch),
                   ZEL_XML_SIGNAL_PERIOD, failed) &&
           applyEncoderCommon(v, c, ch, a, failed);
}

void captureOneVpp(ZelModule& object, unsigned short ch, CapturedChannel& out) {
    auto& v = static_cast<Zel1VppModule&>(object);
    unsigned short period = 0;
    v.getLineCount(&out.lines, ch);
    v.getSignalPeriod(&period, ch);
    out.period = period;
}

// ---- TTL ----

bool readTtl(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
    if (!readEncoderChannel(site, c, refused) || !readScale(site, c, false, refused)) {
        return false;
    }
    int v = 0;
    if (!site.choice(ZEL_XML_INTERPOLATION, {1, 2, 5, 10, 20, 25, 50, 100}, v, refused)) {
        return false;
    }
    c.interpolation = static_cast<TTL_INTERPOLATION>(v);
    return true;
}

bool applyTtl(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
              ZelStationStatus& failed) {
    auto& t = static_cast<ZelTtlModule&>(object);
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

bool readBackTtl(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
                 ZelStationStatus& failed) {
    return readBackPresence(static_cast<ZelTtlModule&>(object), c, ch, a, failed);
}

void captureTtl(ZelModule& object, unsigned short ch, CapturedChannel& out) {
    auto& t = static_cast<ZelTtlModule&>(object);
    out.populated = presenceOf(t, ch);
    TTL_INTERPOLATION interpolation = TTL_INTERPOLATION_1;
    t.getLineCount(&out.lines, &interpolation, ch);
    t.getSignalPeriod(&out.period, &interpolation, ch);
    out.interpolation = interpolation;
}

// ---- LVDT ----

bool readLvdtModule(FileSite& site, ModulePlan& m, ZelStationStatus& refused) {
    if (!site.number(ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, m.excitationVolts, refused)) return false;
    if (m.excitationVolts < 1.5 || m.excitationVolts > 5.5) {
        refused = site.refuse(ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, "%g V is outside 1.5 to 5.5 V",
                              m.excitationVolts);
        return false;
    }
    if (!site.number(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, m.excitationKilohertz, refused)) {
        return false;
    }
    if (m.excitationKilohertz < 3 || m.excitationKilohertz > 50) {
        refused = site.refuse(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, "%g kHz is outside 3 to 50 kHz",
                              m.excitationKilohertz);
        return false;
    }
    return true;
}

bool readLvdt(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
    int v = 0;
    if (!site.choice(ZEL_XML_UOM, {0, 1, 2, 3, 4}, v, refused)) return false;
    c.lvdtUom = static_cast<LVDT_UOM>(v);
    c.unit = zel::kinds::unitName(c.lvdtUom);
    if (c.resolution <= 0) {
        refused = site.refuse(ZEL_XML_RESOLUTION, "a resolution of %g", c.resolution);
        return false;
    }
    if (!readCalibration(site, c, refused)) return false;
    // Position = reading x resolution x scaling + offset: the calibration's
    // shift joins the offset, its gain the scaling (applyLvdt).
    c.deviceOffset += c.calibrationShift;
    double gain = 0;
    if (!site.number(ZEL_XML_GAIN_CODE, gain, refused)) return false;
    if (gain < 0 || gain > 255 || gain != std::floor(gain)) {
        refused = site.refuse(ZEL_XML_GAIN_CODE, "%g is not a gain code (0 to 255)", gain);
        return false;
    }
    c.gainCode = static_cast<int>(gain);
    return true;
}

bool lvdtMasterFactor(const ChannelPlan& c, UOM master, double& factor) {
    double from = 0;
    double to = 0;
    if (!millimetresPer(master, from) || !millimetresPer(c.lvdtUom, to)) return false;
    factor = from / to;
    return true;
}

bool applyLvdtModule(ZelModule& object, const ModulePlan& m, SettingsApplier& a,
                     ZelStationStatus& failed) {
    auto& l = static_cast<ZelLvdtModule&>(object);
    return a.check(l.setExcitationVoltage(m.excitationVolts), ZEL_XML_PRIMARY_EXCITATION_VOLTAGE,
                   failed) &&
           a.check(l.setExcitationFrequency(m.excitationKilohertz),
                   ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, failed);
}

bool applyLvdt(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
               ZelStationStatus& failed) {
    auto& l = static_cast<ZelLvdtModule&>(object);
    const auto uch = static_cast<unsigned char>(ch);
    if (!a.check(l.setChannelPresence(c.populated ? 1 : 0, uch), ZEL_XML_POPULATED, failed)) {
        return false;
    }
    if (!c.populated) return true;
    return a.check(l.setUom(c.lvdtUom, ch), ZEL_XML_UOM, failed) &&
           a.check(l.setResolution(ch, c.resolution), ZEL_XML_RESOLUTION, failed) &&
           a.check(l.setScaling(c.scaleFactor * c.calibrationGain, ch), ZEL_XML_SCALE_FACTOR,
                   failed) &&
           a.check(l.setSensorGain(ch, static_cast<unsigned char>(c.gainCode)), ZEL_XML_GAIN_CODE,
                   failed);
}

bool readBackLvdt(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
                  ZelStationStatus& failed) {
    auto& l = static_cast<ZelLvdtModule&>(object);
    if (!readBackPresence(l, c, ch, a, failed)) return false;
    if (!c.populated || c.gainCode < 0) return true;
    unsigned char gain = 0;
    return a.check(l.getSensorGain(ch, &gain), ZEL_XML_GAIN_CODE, failed) &&
           a.check(gain == c.gainCode, ZEL_XML_GAIN_CODE, failed);
}

ZelResults captureLvdtModule(ZelModule& object, CapturedModule& out) {
    return static_cast<ZelLvdtModule&>(object).getExcitationValues(&out.excitationVolts,
                                                                   &out.excitationKilohertz);
}

void captureLvdt(ZelModule& object, unsigned short ch, CapturedChannel& out) {
    auto& l = static_cast<ZelLvdtModule&>(object);
    out.populated = presenceOf(l, ch);
    LVDT_UOM u = LVDT_UOM_MILLIMETRE;
    l.getUom(&u, ch);
    out.uom = u;
    // A probe nobody set a resolution for (or a refused channel, which
    // leaves 0) reads its raw steps.
    (void)l.getResolution(ch, &out.resolution);
    if (out.resolution <= 0.0) {
        out.resolution = 1.0;
        out.uom = LVDT_UOM_COUNTS;
    }
    unsigned char gain = 0;
    // A channel the module refuses keeps gain code 0 in the file.
    (void)l.getSensorGain(ch, &gain);
    out.gainCode = gain;
}

// ---- analog ----

bool readAnalog(FileSite& site, ChannelPlan& c, ZelStationStatus& refused) {
    if (!readCalibration(site, c, refused)) return false;
    double offset = 0;
    if (!site.number(ZEL_XML_OFFSET, offset, refused)) return false;
    c.deviceOffset += offset;
    c.unit = "V";
    return true;
}

bool applyAnalog(ZelModule& object, const ChannelPlan& c, unsigned short ch, SettingsApplier& a,
                 ZelStationStatus& failed) {
    auto& an = static_cast<ZelAnalogModule&>(object);
    double resolution = 0;
    double offset = 0;
    return a.check(an.computeResolutionAndOffset(ch, &resolution, &offset, c.actualMax, c.actualMin,
                                                 c.instrumentationMax, c.instrumentationMin),
                   ZEL_XML_ACTUAL_MAX, failed) &&
           a.check(an.setScaling(ch, c.scaleFactor), ZEL_XML_SCALE_FACTOR, failed);
}

void captureAnalog(ZelModule& object, unsigned short ch, CapturedChannel& out) {
    static_cast<ZelAnalogModule&>(object).getScaling(ch, &out.scaling);
}

using Kind = zel::identity::Kind;

// One row per kind, in the order of Kind. Power supplies, I/O and
// pneumatic modules take nothing from the file beyond what every channel
// holds.
constexpr StationKindRow kRows[] = {
    {Kind::Kalix, nullptr, readKalix, encoderMasterFactor, nullptr, applyKalix, nullptr, nullptr,
     captureKalix},
    {Kind::OneVpp, nullptr, readOneVpp, encoderMasterFactor, nullptr, applyOneVpp, nullptr, nullptr,
     captureOneVpp},
    {Kind::PowerSupply, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {Kind::Io, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {Kind::Pneumatic, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {Kind::Analog, nullptr, readAnalog, nullptr, nullptr, applyAnalog, nullptr, nullptr,
     captureAnalog},
    {Kind::Ttl, nullptr, readTtl, encoderMasterFactor, nullptr, applyTtl, readBackTtl, nullptr,
     captureTtl},
    {Kind::Lvdt, readLvdtModule, readLvdt, lvdtMasterFactor, applyLvdtModule, applyLvdt,
     readBackLvdt, captureLvdtModule, captureLvdt},
};

// Each row in the order of Kind; a measuring kind reads and applies its
// channels' settings, and a kind whose module holds elements of its own
// reads and records them.
constexpr bool rowsAgreeWithKinds() {
    int i = 0;
    for (const StationKindRow& r : kRows) {
        const zel::identity::KindInfo& k = zel::identity::kKinds[i];
        if (static_cast<int>(r.kind) != i++) return false;
        if ((r.readChannel != nullptr) != k.measuring) return false;
        if ((r.applyChannel != nullptr) != k.measuring) return false;
        const bool moduleElements = (k.elements & zel::identity::kExcitation) != 0;
        if ((r.readModule != nullptr) != moduleElements) return false;
        if ((r.captureModule != nullptr) != moduleElements) return false;
    }
    return i == static_cast<int>(std::size(zel::identity::kKinds));
}
static_assert(rowsAgreeWithKinds(),
              "kRows has one row per Kind, in the order of Kind, agreeing with kKinds");

}  // namespace

const StationKindRow* stationKindRow(MaybeKind kind) {
    return kind.has_value() ? &kRows[static_cast<int>(*kind)] : nullptr;
}
