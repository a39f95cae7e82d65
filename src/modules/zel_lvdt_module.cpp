// ZelLvdtModule: excitation, readings and positions, probe gain and the
// module settings of command 15.
#include "modules/zel_lvdt_module.h"

#include <cmath>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"

using zelbus::paramCount;
using zelbus::params;

namespace {

constexpr long kExplicitTimeoutMs = 2000;
constexpr short kExplicitRetries = 1;
// Sub-operations of command 15.
constexpr unsigned char kPresenceRead = 0;
constexpr unsigned char kPresenceSet = 1;
constexpr unsigned char kVoltageSet = 2;
constexpr unsigned char kExcitationRead = 3;
constexpr unsigned char kChannelVoltage = 5;
constexpr unsigned char kFrequencySet = 6;
constexpr unsigned char kDiagnostics = 9;
constexpr unsigned char kGainSet = 10;
constexpr unsigned char kGainRead = 11;
constexpr unsigned char kFpgaRevision = 12;
constexpr unsigned char kOversampling = 13;
// The excitation clock and its limits.
constexpr long kClockHz = 25000000;
constexpr unsigned kMaxDivider = 511;
constexpr unsigned kDefaultDivider = 63;
constexpr unsigned kMaxPrescaler = 49;
constexpr unsigned kDefaultPrescaler = 9;
constexpr unsigned short kLowFrequencyRevision = 512;
constexpr unsigned long kReadingSign = 0x800000UL;
constexpr long kReadingSpan = 0x1000000L;

bool validChannel(unsigned short channel) { return channel < ZEL_CHANNEL_CAPACITY; }

// The excitation prescaler for a band of frequencies.
long prescalerFor(double kilohertz) {
    if (kilohertz < 5.0) return 50;
    if (kilohertz < 10.0) return 25;
    if (kilohertz < 27.0) return 10;
    return 5;
}

}  // namespace

ZelLvdtModule::ZelLvdtModule() : lvdtResolution{}, lvdtUom{}, fpgaRevision(0) {
    for (LVDT_UOM& u : lvdtUom) u = LVDT_UOM_MILLIMETRE;
}

ZelLvdtModule::~ZelLvdtModule() = default;

long ZelLvdtModule::readingOf(unsigned long raw) {
    const auto v = static_cast<long>(raw & 0xFFFFFFFFUL);
    return raw < kReadingSign ? -v : kReadingSpan - v;
}

ZelResults ZelLvdtModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelLvdtModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    setModuleDataInitialized(1);
    setNumChannels(ZEL_CHANNEL_CAPACITY);
    // A module that does not tell its revision keeps revision 0.
    (void)getFpgaRevision(&fpgaRevision);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::explicitSettings(std::initializer_list<unsigned char> parameters) {
    ZelbusResponse response{};
    return sendCommandWait(ZelRequest::moduleSettings(parameters), &response, kExplicitTimeoutMs,
                           kExplicitRetries);
}

ZelResults ZelLvdtModule::settings(std::initializer_list<unsigned char> parameters,
                                   ZelbusResponse* response, const char* method, int line) {
    if (!isModuleDataInitialized()) {
        return ZelResults(ZEL_MODULE_DATA_NOT_INITIALIZED, method, line);
    }
    ZelResults r = moduleSettings(parameters, response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, method, line);
}

ZelResults ZelLvdtModule::setChannelPresence(unsigned char presence, unsigned char channel) {
    ZelbusResponse response{};
    return settings({kPresenceSet, channel, presence}, &response,
                    "ZelLvdtModule::setChannelPresence");
}

ZelResults ZelLvdtModule::getChannelPresence(unsigned char* presence, unsigned char channel) {
    constexpr char kMethod[] = "ZelLvdtModule::getChannelPresence";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (presence == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = settings({kPresenceRead, channel}, &response, kMethod);
    if (r.ok()) *presence = params(response)[0];
    return r;
}

bool ZelLvdtModule::getUom(LVDT_UOM* uom, unsigned short channel) {
    if (uom == nullptr || !validChannel(channel)) return false;
    *uom = lvdtUom[channel];
    return true;
}

bool ZelLvdtModule::setUom(LVDT_UOM uom, unsigned short channel) {
    if (!validChannel(channel)) return false;
    lvdtUom[channel] = uom;
    return true;
}

ZelResults ZelLvdtModule::getExcitationValues(double* volts, double* kilohertz) {
    constexpr char kMethod[] = "ZelLvdtModule::getExcitationValues";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (volts == nullptr || kilohertz == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = settings({kExcitationRead}, &response, kMethod);
    if (!r.ok()) return r;
    unsigned char* p = params(response);
    unsigned divider = CommonUtils::uCharsToUShort(p + 2);
    if (divider > kMaxDivider) divider = kDefaultDivider;
    unsigned prescaler = CommonUtils::uCharsToUShort(p + 4);
    if (prescaler > kMaxPrescaler) prescaler = kDefaultPrescaler;
    const long clock = (kClockHz / static_cast<long>(prescaler + 1)) / 2;
    *volts = CommonUtils::uCharsToUShort(p) / 1000.0;
    *kilohertz = static_cast<double>(clock) / (divider + 1) * 0.5 / 1000.0;
    return r;
}

ZelResults ZelLvdtModule::setExcitationVoltage(double volts) {
    constexpr char kMethod[] = "ZelLvdtModule::setExcitationVoltage";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (!(volts >= 1.5 && volts <= 5.5)) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    const auto millivolts = static_cast<unsigned short>(static_cast<long>(volts * 1000.0) & 0xFFFF);
    ZelResults r = explicitSettings({kVoltageSet, static_cast<unsigned char>(millivolts & 0xFF),
                                     static_cast<unsigned char>(millivolts >> 8)});
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::setExcitationFrequency(double kilohertz) {
    constexpr char kMethod[] = "ZelLvdtModule::setExcitationFrequency";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (!(kilohertz >= 3.0 && kilohertz <= 50.0)) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    if (kilohertz < 17.5 && fpgaRevision < kLowFrequencyRevision) {
        return ZEL_RESULT(ZEL_FIRMWARE_REVISION_INVALID, kMethod);
    }
    const long prescaler = prescalerFor(kilohertz);
    const long clock = (kClockHz / prescaler) / 2;
    const double steps = static_cast<double>(clock) / (2.0 * kilohertz * 1000.0);
    if (steps < 0) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    const auto divider =
        static_cast<unsigned char>(static_cast<long>(std::floor(steps + 0.5)) & 0xFF);
    ZelResults r = explicitSettings({kFrequencySet, static_cast<unsigned char>(prescaler - 1),
                                     static_cast<unsigned char>(divider == 0 ? 0 : divider - 1)});
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::getVoltage(unsigned short channel, double* volts, long* reading) {
    constexpr char kMethod[] = "ZelLvdtModule::getVoltage";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (volts == nullptr || reading == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    // Channels come in pairs; the answer holds both voltages, then both readings.
    const auto pair = static_cast<unsigned char>(validChannel(channel) ? channel / 2 : 0);
    ZelbusResponse response{};
    ZelResults r = settings({kChannelVoltage, pair}, &response, kMethod);
    if (!r.ok()) return r;
    unsigned char* p = params(response);
    const bool first = channel < ZEL_CHANNEL_CAPACITY && channel % 2 == 0;
    *volts = static_cast<short>(CommonUtils::uCharsToUShort(p + (first ? 0 : 2))) / 1000.0;
    *reading = readingOf(CommonUtils::uCharsToULong(p + (first ? 4 : 8)));
    return r;
}

ZelResults ZelLvdtModule::getPositions(double* positions, unsigned short length,
                                       COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelLvdtModule::getPositions";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (positions == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return positionsFromAnswer(response, positions, length);
}

ZelResults ZelLvdtModule::positionsFromAnswer(ZelbusResponse& response, double* positions,
                                              unsigned short length) {
    constexpr char kMethod[] = "ZelLvdtModule::getPositions";
    long readings[ZEL_CHANNEL_CAPACITY];
    const int m = decodeReadings(response, readings);
    for (int i = 0; i < m && i < length; ++i) {
        const auto c = static_cast<unsigned short>(i);
        double scaling = 1.0;
        if (!getScaling(&scaling, c) || scaling == 0.0) scaling = 1.0;
        positions[i] =
            static_cast<double>(readings[i]) * lvdtResolution[i] * scaling + getDeviceOffset(c);
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

int ZelLvdtModule::decodeReadings(ZelbusResponse& response, long* readings) {
    int m = paramCount(response);
    if (m > getNumChannels()) m = getNumChannels();
    if (m > static_cast<int>(ZEL_CHANNEL_CAPACITY)) m = ZEL_CHANNEL_CAPACITY;
    // m 16-bit values, then m 32-bit readings.
    unsigned char* raw = params(response) + zelbus::kWordBytes * static_cast<std::size_t>(m);
    for (int i = 0; i < m; ++i)
        readings[i] = readingOf(CommonUtils::uCharsToULong(raw + zelbus::kLongBytes * i));
    return m;
}

ZelResults ZelLvdtModule::getReadings(long* readings, unsigned short length,
                                      COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelLvdtModule::getReadings";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (readings == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return readingsFromAnswer(response, readings, length);
}

ZelResults ZelLvdtModule::readingsFromAnswer(ZelbusResponse& response, long* readings,
                                             unsigned short length) {
    constexpr char kMethod[] = "ZelLvdtModule::getReadings";
    long decoded[ZEL_CHANNEL_CAPACITY];
    const int m = decodeReadings(response, decoded);
    for (int i = 0; i < m && i < length; ++i) readings[i] = decoded[i];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::getResolution(unsigned short channel, double* resolution) {
    constexpr char kMethod[] = "ZelLvdtModule::getResolution";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    if (resolution == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    *resolution = lvdtResolution[channel];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::setResolution(unsigned short channel, double resolution) {
    constexpr char kMethod[] = "ZelLvdtModule::setResolution";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    lvdtResolution[channel] = resolution;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::setDiagnosticsEnabled(LVDT_UPDATE_CHOICES choice) {
    ZelbusResponse response{};
    return settings({kDiagnostics, static_cast<unsigned char>(choice)}, &response,
                    "ZelLvdtModule::setDiagnosticsEnabled");
}

ZelResults ZelLvdtModule::getSensorGain(unsigned short channel, unsigned char* gain) {
    constexpr char kMethod[] = "ZelLvdtModule::getSensorGain";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (gain == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r =
        settings({kGainRead, static_cast<unsigned char>(channel), 0}, &response, kMethod);
    if (r.ok()) *gain = params(response)[0];
    return r;
}

ZelResults ZelLvdtModule::setSensorGain(unsigned short channel, unsigned char gain) {
    constexpr char kMethod[] = "ZelLvdtModule::setSensorGain";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelResults r = explicitSettings({kGainSet, static_cast<unsigned char>(channel), gain, 0});
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::teachSensorGain(unsigned short channel) {
    constexpr char kMethod[] = "ZelLvdtModule::teachSensorGain";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelResults r = explicitSettings({kGainSet, static_cast<unsigned char>(channel), 0, 1});
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelLvdtModule::getTeachSensorGainFinished(unsigned short channel,
                                                     unsigned short* finished) {
    constexpr char kMethod[] = "ZelLvdtModule::getTeachSensorGainFinished";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (finished == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r =
        settings({kGainRead, static_cast<unsigned char>(channel), 1}, &response, kMethod);
    if (r.ok()) *finished = params(response)[0];
    return r;
}

ZelResults ZelLvdtModule::getFpgaRevision(unsigned short* revision) {
    constexpr char kMethod[] = "ZelLvdtModule::getFpgaRevision";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (revision == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = settings({kFpgaRevision}, &response, kMethod);
    if (r.ok()) *revision = CommonUtils::uCharsToUShort(params(response));
    return r;
}

ZelResults ZelLvdtModule::setOversampling(const LVDT_OVERSAMPLING_CHOICES& choice) {
    constexpr char kMethod[] = "ZelLvdtModule::setOversampling";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelResults r = explicitSettings({kOversampling, 0, static_cast<unsigned char>(choice)});
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
