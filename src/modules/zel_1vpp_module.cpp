// Zel1VppModule: positions from counts and wrap counters, analog
// diagnostics, referencing and the signal type.
#include "modules/zel_1vpp_module.h"

#include <cstdint>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "modules/module_units.h"

using zelbus::paramCount;
using zelbus::params;

namespace {

constexpr std::uint32_t kInterpolation = 4096;
using zel::units::kInchPerMillimetre;
using zelbus::kCountEntryBytes;
// Sub-operations of command 27 (sampling settings).
constexpr unsigned char kDiagRead = 0;
constexpr unsigned char kDiagEnable = 1;
constexpr unsigned char kDiagDisable = 2;
// Sub-operations of commands 32 and 33 for referencing.
constexpr unsigned char kReferenceStart = 1;
constexpr unsigned char kReferenceAcknowledge = 2;
constexpr unsigned char kReferenceComplete = 3;
// Sub-operations of command 15 for the signal type.
constexpr unsigned char kSignalTypeRead = 9;
constexpr unsigned char kSignalTypeSelect = 10;
constexpr unsigned char kSignalTypeDetect = 11;
// A diagnostic word is 5/4096 V per step around 2.5 V, divided by 3.5.
constexpr double kDiagStep = 0.001220703125;
constexpr double kDiagDivisor = 3.5;
constexpr double kDiagOffset = 0.7142857142857143;

bool validChannel(unsigned short channel) { return channel < ZEL_CHANNEL_CAPACITY; }

}  // namespace

Zel1VppModule::Zel1VppModule() : lineCount{}, signalPeriod{}, overflowCount{} {}

Zel1VppModule::~Zel1VppModule() = default;

ZelResults Zel1VppModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "Zel1VppModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    const unsigned short channels = getModuleData().numChannels;
    for (unsigned short c = 0; c < channels && c < ZEL_CHANNEL_CAPACITY; ++c) {
        EncoderInfo info;  // type none, unit none, step 0, direction true, compensation 1
        info.uom = UOM_COUNTS;
        ZelDeviceModule::setEncoderInfo(&info, c);
    }
    setModuleDataInitialized(1);
    // Best effort: the module starts with its diagnostics off, this only
    // makes sure; a refusal leaves the module as it was.
    (void)enableAnalogDiag(0, false);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

bool Zel1VppModule::setLineCount(unsigned long lines, unsigned short channel) {
    if (!validChannel(channel)) return false;
    lineCount[channel] = static_cast<std::uint32_t>(lines);
    const std::uint32_t countsPerRevolution = lineCount[channel] * kInterpolation;
    // A line count whose counts per revolution wrap to 0 has no resolution.
    setResolution(countsPerRevolution == 0 ? 0.0 : 360.0 / countsPerRevolution, channel);
    return true;
}

bool Zel1VppModule::getLineCount(unsigned long* lines, unsigned short channel) {
    if (lines == nullptr || !validChannel(channel)) return false;
    *lines = lineCount[channel];
    return true;
}

bool Zel1VppModule::setSignalPeriod(unsigned short period, unsigned short channel) {
    if (!validChannel(channel)) return false;
    signalPeriod[channel] = period;
    setResolution(period / 1000.0 * 0.25 * 0.0009765625, channel);
    return true;
}

bool Zel1VppModule::getSignalPeriod(unsigned short* period, unsigned short channel) {
    if (period == nullptr || !validChannel(channel)) return false;
    *period = signalPeriod[channel];
    return true;
}

bool Zel1VppModule::setCountingDirection(bool direction, unsigned short channel) {
    return replaceCountingDirection(direction, channel);
}
bool Zel1VppModule::setUom(UOM uom, unsigned short channel) { return replaceUom(uom, channel); }
bool Zel1VppModule::setEncoderType(ENCODER_TYPES_ENUM type, unsigned short channel) {
    return replaceEncoderType(type, channel);
}

ZelResults Zel1VppModule::getPositions(double* positions, unsigned short length,
                                       COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "Zel1VppModule::getPositions";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (positions == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return positionsFromAnswer(response, positions, length);
}

ZelResults Zel1VppModule::positionsFromAnswer(ZelbusResponse& response, double* positions,
                                              unsigned short length) {
    constexpr char kMethod[] = "Zel1VppModule::getPositions";
    convertCountsCommand(&response);
    unsigned short m = getNumChannels();
    if (m > ZEL_CHANNEL_CAPACITY) m = ZEL_CHANNEL_CAPACITY;
    // The wrap counters follow the m count entries.
    unsigned char* wraps = params(response) + kCountEntryBytes * m;
    for (unsigned short i = 0; i < m; ++i) {
        overflowCount[i] =
            static_cast<std::int32_t>(CommonUtils::uCharsToLong(wraps + zelbus::kLongBytes * i));
    }
    for (unsigned short i = 0; i < m; ++i) {
        EncoderInfo info;
        if (!getEncoderInfo(&info, i)) return ZEL_RESULT(ZEL_UNKNOWN_ERROR, kMethod);
        const auto count = static_cast<std::uint32_t>(response.counts[i]);
        const double p = info.uom == UOM_NONE || info.uom == UOM_COUNTS
                             ? static_cast<double>(count)
                             : countsToPosition(count, i);
        if (i < length) positions[i] = p;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

double Zel1VppModule::countsToPosition(std::uint32_t count, unsigned short channel) {
    EncoderInfo info;
    if (!getEncoderInfo(&info, channel)) return 0.0;
    const double compensation = info.errorCompensation == 0.0 ? 1.0 : info.errorCompensation;
    const bool rotary = info.encoderType == ENCODER_TYPE_ROTARY;
    double c =
        rotary ? static_cast<double>(count) : static_cast<double>(static_cast<std::int32_t>(count));
    if (!info.countingDirection) c = c * -1.0;
    double scaling = 1.0;
    if (!getScaling(&scaling, channel) || scaling == 0.0) scaling = 1.0;
    double p = scaling * (compensation * c);
    // A reading counted backwards wraps the other way. The wrap counter
    // comes from the network: the lowest 32-bit value has no negation, and
    // the highest stands for it (the angle folds the same either way).
    if (p < 0) {
        const std::int32_t w = overflowCount[channel];
        overflowCount[channel] = w == INT32_MIN ? INT32_MAX : -w;
    }
    if (rotary) {
        std::uint32_t n = lineCount[channel] * kInterpolation;
        if (n == 0) n = 1;
        const double countsPerRevolution = n;
        return incrementalAngle(p / countsPerRevolution * 360.0, countsPerRevolution,
                                overflowCount[channel], getDeviceOffset(channel),
                                getRotaryFormat(channel));
    }
    if (info.encoderType == ENCODER_TYPE_NONE) return 0.0;
    double micrometresPerCount = signalPeriod[channel] * 0.25 * 0.0009765625;
    if (micrometresPerCount == 0.0) micrometresPerCount = 1.0;
    p = micrometresPerCount * p;
    if (info.uom == UOM_MILLIMETRE || info.uom == UOM_DEGREE) {
        p = p * 0.001;
    } else if (info.uom == UOM_INCH) {
        p = p * 0.001 * kInchPerMillimetre;
    }
    return p + getDeviceOffset(channel);
}

ZelResults Zel1VppModule::getDiag(unsigned char channel, double* values, unsigned char length) {
    constexpr char kMethod[] = "Zel1VppModule::getDiag";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (values == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::samplingSettings(channel, kDiagRead), &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    if (length >= 2) {
        unsigned char* p = params(response);
        for (int i = 0; i < 2; ++i) {
            const double raw = CommonUtils::uCharsToUShort(p + zelbus::kWordBytes * i);
            values[i] = raw * kDiagStep / kDiagDivisor - kDiagOffset;
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults Zel1VppModule::enableAnalogDiag(unsigned char channel, bool enable) {
    constexpr char kMethod[] = "Zel1VppModule::enableAnalogDiag";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(
        ZelRequest::samplingSettings(channel, enable ? kDiagEnable : kDiagDisable), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults Zel1VppModule::initAbsolutePosition(unsigned char channel, REFERENCE_MARK_ENUM mark,
                                               unsigned short markParameter) {
    constexpr char kMethod[] = "Zel1VppModule::initAbsolutePosition";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    // The mark, then its parameter little-endian.
    const ZelRequest request = ZelRequest::channelSettings(
        kReferenceStart, channel,
        {static_cast<unsigned char>(mark), static_cast<unsigned char>(markParameter & 0xFF),
         static_cast<unsigned char>(markParameter >> 8)});
    ZelbusResponse response{};
    ZelResults r = getUdpData(request, &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults Zel1VppModule::isReferencingComplete(unsigned char channel, bool* complete) {
    constexpr char kMethod[] = "Zel1VppModule::isReferencingComplete";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (complete == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::channelStatus(channel, kReferenceComplete), &response);
    if (!r.ok()) return r;
    *complete = params(response)[0] != 0;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults Zel1VppModule::acknowledgeAbsolutePosition(unsigned char channel) {
    constexpr char kMethod[] = "Zel1VppModule::acknowledgeAbsolutePosition";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::channelStatus(channel, kReferenceAcknowledge), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults Zel1VppModule::getReferencingState(unsigned char channel, REF_MARK_STATE* state) {
    return readReferencingState(channel, state, "Zel1VppModule::getReferencingState");
}

ZelResults Zel1VppModule::readSignalType(unsigned short channel, unsigned char subOperation,
                                         SIGNAL_TYPE* type, const char* method) {
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, method);
    if (type == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, method);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({subOperation, static_cast<unsigned char>(channel)}, &response);
    if (!r.ok()) return r;
    const bool current = paramCount(response) != 0 && params(response)[0] == 1;
    *type = current ? SIGNAL_TYPE_CURRENT : SIGNAL_TYPE_VOLTAGE;
    return ZelResults(ZEL_OK, method, __LINE__);
}

ZelResults Zel1VppModule::getSignalType(unsigned short channel, SIGNAL_TYPE* type) {
    return readSignalType(channel, kSignalTypeRead, type, "Zel1VppModule::getSignalType");
}

ZelResults Zel1VppModule::detectSignalType(unsigned short channel, SIGNAL_TYPE* type) {
    return readSignalType(channel, kSignalTypeDetect, type, "Zel1VppModule::detectSignalType");
}

ZelResults Zel1VppModule::setSignalType(unsigned short channel, SIGNAL_TYPE type) {
    constexpr char kMethod[] = "Zel1VppModule::setSignalType";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = moduleSettings(
        {kSignalTypeSelect, static_cast<unsigned char>(channel), static_cast<unsigned char>(type)},
        &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
