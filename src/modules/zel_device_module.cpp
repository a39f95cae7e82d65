// ZelDeviceModule: per-channel encoder settings and the shared channel
// commands (33 and the debouncing of 32).
#include "modules/zel_device_module.h"

#include <cmath>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "modules/module_units.h"

namespace {

// Second request byte of command 33: the channel function.
constexpr unsigned char kReadStatus = 0;
constexpr unsigned char kClearErrorsAndWarnings = 1;
constexpr unsigned char kErrorCheckingOff = 4;
constexpr unsigned char kErrorCheckingOn = 5;
// First request byte of command 32: the debouncing time.
constexpr unsigned char kDebouncing = 0;
constexpr unsigned char kReferencingState = 3;
using zel::units::kWrapSpan;

bool validChannel(unsigned short channel) { return channel < ZEL_CHANNEL_CAPACITY; }

}  // namespace

ZelDeviceModule::ZelDeviceModule() : resolution{}, scaling{}, encoderInfo{} {
    for (double& s : scaling) s = 1.0;
}

ZelDeviceModule::~ZelDeviceModule() = default;

bool ZelDeviceModule::getEncoderInfo(EncoderInfo* info, unsigned short channel) {
    if (info == nullptr || !isCommInitialized() || !validChannel(channel)) return false;
    *info = encoderInfo[channel];
    return true;
}

bool ZelDeviceModule::setEncoderInfo(EncoderInfo* info, unsigned short channel) {
    if (info == nullptr || !isCommInitialized() || !validChannel(channel)) return false;
    encoderInfo[channel] = *info;
    return true;
}

bool ZelDeviceModule::getCountingDirection(bool* value, unsigned short channel) {
    if (value == nullptr || !validChannel(channel)) return false;
    *value = encoderInfo[channel].countingDirection;
    return true;
}

bool ZelDeviceModule::setErrorCompensation(double value, unsigned short channel) {
    if (!validChannel(channel)) return false;
    encoderInfo[channel].errorCompensation = value;
    return true;
}

bool ZelDeviceModule::getErrorCompensation(double* value, unsigned short channel) {
    if (value == nullptr || !validChannel(channel)) return false;
    *value = encoderInfo[channel].errorCompensation;
    return true;
}

bool ZelDeviceModule::setScaling(double value, unsigned short channel) {
    if (!validChannel(channel)) return false;
    scaling[channel] = value;
    return true;
}

bool ZelDeviceModule::getScaling(double* value, unsigned short channel) {
    if (value == nullptr || !validChannel(channel)) return false;
    *value = scaling[channel];
    return true;
}

bool ZelDeviceModule::setResolution(double value, unsigned short channel) {
    if (!validChannel(channel)) return false;
    resolution[channel] = value;
    return true;
}

bool ZelDeviceModule::getResolution(double* value, unsigned short channel) {
    if (value == nullptr || !validChannel(channel)) return false;
    *value = resolution[channel];
    return true;
}

bool ZelDeviceModule::getEncoderType(ENCODER_TYPES_ENUM* type, unsigned short channel) {
    if (type == nullptr) return false;
    if (!validChannel(channel)) {
        *type = ENCODER_TYPE_NONE;
        return false;
    }
    *type = encoderInfo[channel].encoderType;
    return true;
}

bool ZelDeviceModule::getUom(UOM* uom, unsigned short channel) {
    if (uom == nullptr) return false;
    if (!validChannel(channel)) {
        *uom = UOM_NONE;
        return false;
    }
    *uom = encoderInfo[channel].uom;
    return true;
}

ZelResults ZelDeviceModule::channelFunction(unsigned char channel, unsigned char function,
                                            ZelbusResponse* response) {
    return getUdpData(ZelRequest::channelStatus(channel, function), response);
}

ZelResults ZelDeviceModule::enableErrorChecking(bool enable, unsigned short channel) {
    constexpr char kMethod[] = "ZelDeviceModule::enableErrorChecking";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = channelFunction(static_cast<unsigned char>(channel),
                                   enable ? kErrorCheckingOn : kErrorCheckingOff, &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelDeviceModule::getChannelStatus(unsigned char channel, unsigned char* status) {
    constexpr char kMethod[] = "ZelDeviceModule::getChannelStatus";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = channelFunction(channel, kReadStatus, &response);
    if (!r.ok()) return r;
    if (response.data[1] == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    const unsigned char* p = response.data + zelbus::kHeaderSize;
    if (p[0] != channel) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    *status = p[1];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelDeviceModule::clearErrorsAndWarnings(unsigned short channel) {
    constexpr char kMethod[] = "ZelDeviceModule::clearErrorsAndWarnings";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r =
        channelFunction(static_cast<unsigned char>(channel), kClearErrorsAndWarnings, &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelDeviceModule::setLatchDebouncing(unsigned char channel, unsigned short debounceTime) {
    constexpr char kMethod[] = "ZelDeviceModule::setLatchDebouncing";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    // The time goes big-endian.
    const ZelRequest request =
        ZelRequest::channelSettings(kDebouncing, channel,
                                    {static_cast<unsigned char>(debounceTime >> 8),
                                     static_cast<unsigned char>(debounceTime & 0xFF)});
    ZelbusResponse response{};
    ZelResults r = getUdpData(request, &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

EncoderInfo* ZelDeviceModule::storedEncoderInfo(unsigned short channel) {
    if (!isCommInitialized() || !validChannel(channel)) return nullptr;
    return &encoderInfo[channel];
}

bool ZelDeviceModule::replaceUom(UOM uom, unsigned short channel) {
    EncoderInfo* info = storedEncoderInfo(channel);
    if (info == nullptr) return false;
    info->uom = uom;
    return true;
}

bool ZelDeviceModule::replaceEncoderType(ENCODER_TYPES_ENUM type, unsigned short channel) {
    EncoderInfo* info = storedEncoderInfo(channel);
    if (info == nullptr) return false;
    info->encoderType = type;
    return true;
}

bool ZelDeviceModule::replaceCountingDirection(bool direction, unsigned short channel) {
    EncoderInfo* info = storedEncoderInfo(channel);
    if (info == nullptr) return false;
    info->countingDirection = direction;
    return true;
}

double ZelDeviceModule::incrementalAngle(double counterDegrees, double countsPerRevolution,
                                         int wraps, double deviceOffset, ROTARY_FORMAT format) {
    // One wrap moves the reading by the fraction of a turn that 2^32 - 1
    // counts leave over. Without a resolution there is no such fraction.
    double shift = 0.0;
    if (countsPerRevolution != 0.0) {
        const double turns = kWrapSpan / countsPerRevolution;
        shift = 360.0 * turns - 360.0 * std::floor(turns);
    }
    double correction = 0.0;
    if (wraps < 0) {
        correction = 360.0 - shift * std::fabs(static_cast<double>(wraps));
    } else if (wraps > 0) {
        correction = shift * wraps;
    }
    double p = counterDegrees + correction + deviceOffset;
    foldIncrementalAngle(&p, &countsPerRevolution, &wraps, &correction, &format);
    return p;
}

ZelResults ZelDeviceModule::readReferencingState(unsigned char channel, REF_MARK_STATE* state,
                                                 const char* method, int line) {
    if (!isCommInitialized()) return ZelResults(ZEL_COMM_NOT_INITIALIZED, method, line);
    if (state == nullptr) return ZelResults(ZEL_NULL_POINTER, method, line);
    ZelbusResponse response{};
    ZelResults r =
        getUdpData(ZelRequest::channelSettings(kReferencingState, channel, {}), &response);
    if (!r.ok()) return r;
    *state = static_cast<REF_MARK_STATE>(
        CommonUtils::uCharsToUShortEndianSwap(zelbus::params(response)));
    return ZelResults(ZEL_OK, method, line);
}

ZelResults ZelDeviceModule::moduleSettings(std::initializer_list<unsigned char> parameters,
                                           ZelbusResponse* response) {
    return getUdpData(ZelRequest::moduleSettings(parameters), response);
}
