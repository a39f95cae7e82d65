// ZelTtlModule: counts and positions, interpolation, channel settings kept
// in the module, and referencing.
#include "modules/zel_ttl_module.h"

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "modules/module_units.h"

using zelbus::paramCount;
using zelbus::params;

namespace {

using zel::units::kInchPerMillimetre;
using zelbus::kLongBytes;
constexpr unsigned char kAcknowledge = 2;
// Sub-operations of command 15.
constexpr unsigned char kPresenceRead = 0;
constexpr unsigned char kPresenceSet = 1;
constexpr unsigned char kReferenceStart = 2;
constexpr unsigned char kReferenceComplete = 3;
constexpr unsigned char kDirection = 5;
constexpr unsigned char kFpgaRevision = 6;
constexpr unsigned char kInterpolation = 8;

bool validChannel(unsigned short channel) { return channel < ZEL_CHANNEL_CAPACITY; }

}  // namespace

ZelTtlModule::ZelTtlModule()
    : lineCount{}, signalPeriod{}, interpolation{}, fpgaRevision(0), overflowCount{} {
    for (unsigned short& factor : interpolation) factor = TTL_INTERPOLATION_1;
}

ZelTtlModule::~ZelTtlModule() = default;

ZelResults ZelTtlModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelTtlModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    setModuleDataInitialized(1);
    // The variant's count; none on a module of another kind.
    const MODULE_ID id = getModuleData().moduleId;
    setNumChannels(zel::identity::isKind(id, zel::identity::Kind::Ttl) ? zel::identity::channels(id)
                                                                       : 0);
    for (unsigned short c = 0; c < ZEL_CHANNEL_CAPACITY; ++c) {
        replaceEncoderType(ENCODER_TYPE_NONE, c);
        replaceUom(UOM_COUNTS, c);
    }
    // A module that does not tell its revision keeps revision 0.
    (void)getFpgaRevision(&fpgaRevision);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::setInterpolation(unsigned short channel, TTL_INTERPOLATION factor) {
    constexpr char kMethod[] = "ZelTtlModule::setInterpolation";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    interpolation[channel] = static_cast<unsigned short>(factor);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({kInterpolation, static_cast<unsigned char>(channel),
                                   static_cast<unsigned char>(interpolation[channel] >> 8),
                                   static_cast<unsigned char>(interpolation[channel] & 0xFF)},
                                  &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

bool ZelTtlModule::setLineCount(unsigned long lines, TTL_INTERPOLATION factor,
                                unsigned short channel) {
    if (!validChannel(channel) || !setInterpolation(channel, factor).ok()) return false;
    lineCount[channel] = static_cast<std::uint32_t>(lines);
    const std::uint32_t countsPerRevolution =
        static_cast<std::uint32_t>(factor) * lineCount[channel] * 4U;
    setResolution(lines == 0 ? 0.0 : static_cast<double>(countsPerRevolution), channel);
    return true;
}

bool ZelTtlModule::getLineCount(unsigned long* lines, TTL_INTERPOLATION* factor,
                                unsigned short channel) {
    if (lines == nullptr || factor == nullptr || !validChannel(channel)) return false;
    *lines = lineCount[channel];
    *factor = static_cast<TTL_INTERPOLATION>(interpolation[channel]);
    return true;
}

bool ZelTtlModule::setSignalPeriod(double period, TTL_INTERPOLATION factor,
                                   unsigned short channel) {
    if (!validChannel(channel) || !setInterpolation(channel, factor).ok()) return false;
    signalPeriod[channel] = period;
    // A factor of 0 leaves the channel without a resolution.
    setResolution(factor == 0 ? 0.0 : period / 1000.0 * 0.25 / factor, channel);
    return true;
}

bool ZelTtlModule::getSignalPeriod(double* period, TTL_INTERPOLATION* factor,
                                   unsigned short channel) {
    if (period == nullptr || factor == nullptr || !validChannel(channel)) return false;
    *period = signalPeriod[channel];
    *factor = static_cast<TTL_INTERPOLATION>(interpolation[channel]);
    return true;
}

bool ZelTtlModule::setUom(UOM uom, unsigned short channel) { return replaceUom(uom, channel); }
bool ZelTtlModule::setEncoderType(ENCODER_TYPES_ENUM type, unsigned short channel) {
    return replaceEncoderType(type, channel);
}

ZelResults ZelTtlModule::getCounts(unsigned long* counts, unsigned short length,
                                   COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelTtlModule::getCounts";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (counts == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return countsFromAnswer(response, counts, length);
}

ZelResults ZelTtlModule::countsFromAnswer(ZelbusResponse& response, unsigned long* counts,
                                          unsigned short length) {
    constexpr char kMethod[] = "ZelTtlModule::getCounts";
    int n = paramCount(response);
    if (n == 6) n = 4;
    if (n > static_cast<int>(ZEL_CHANNEL_CAPACITY)) n = ZEL_CHANNEL_CAPACITY;
    for (int i = 0; i < n && i < length; ++i) {
        counts[i] = CommonUtils::uCharsToULong(params(response) + kLongBytes * i);
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::getPositions(double* positions, unsigned short length,
                                      COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelTtlModule::getPositions";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (positions == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return positionsFromAnswer(response, positions, length);
}

ZelResults ZelTtlModule::positionsFromAnswer(ZelbusResponse& response, double* positions,
                                             unsigned short length) {
    constexpr char kMethod[] = "ZelTtlModule::getPositions";
    unsigned short m = getNumChannels();
    if (m > ZEL_CHANNEL_CAPACITY) m = ZEL_CHANNEL_CAPACITY;
    unsigned char* p = params(response);
    // The wrap counters follow the m counts.
    for (unsigned short i = 0; i < m; ++i) {
        overflowCount[i] =
            static_cast<std::int32_t>(CommonUtils::uCharsToLong(p + kLongBytes * (m + i)));
    }
    int n = paramCount(response);
    if (n > static_cast<int>(ZEL_CHANNEL_CAPACITY)) n = ZEL_CHANNEL_CAPACITY;
    for (unsigned short i = 0; i < m; ++i) {
        EncoderInfo info;
        if (!getEncoderInfo(&info, i)) return ZEL_RESULT(ZEL_UNKNOWN_ERROR, kMethod);
        const std::uint32_t count =
            i < n ? static_cast<std::uint32_t>(CommonUtils::uCharsToULong(p + kLongBytes * i)) : 0;
        const double value = info.uom == UOM_NONE || info.uom == UOM_COUNTS
                                 ? static_cast<double>(count)
                                 : countsToPosition(count, i);
        if (i < length) positions[i] = value;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

double ZelTtlModule::countsToPosition(std::uint32_t count, unsigned short channel) {
    double resolution = 0.0;
    if (!getResolution(&resolution, channel)) resolution = 0.0;
    EncoderInfo info;
    if (!getEncoderInfo(&info, channel)) return 0.0;
    const double compensation = info.errorCompensation == 0.0 ? 1.0 : info.errorCompensation;
    const bool rotary = info.encoderType == ENCODER_TYPE_ROTARY;
    const double c =
        rotary ? static_cast<double>(count) : static_cast<double>(static_cast<std::int32_t>(count));
    double scaling = 1.0;
    if (!getScaling(&scaling, channel) || scaling == 0.0) scaling = 1.0;
    // The module counts in the direction set by setCountingDirection.
    double p = scaling * (compensation * c);
    if (rotary) {
        if (resolution != 0.0) p = p / resolution;
        return incrementalAngle(p * 360.0, resolution, overflowCount[channel],
                                getDeviceOffset(channel), getRotaryFormat(channel));
    }
    if (info.encoderType == ENCODER_TYPE_NONE) return 0.0;
    if (info.uom == UOM_MILLIMETRE || info.uom == UOM_DEGREE) {
        p = p * resolution;
    } else if (info.uom == UOM_INCH) {
        p = p * resolution * kInchPerMillimetre;
    }
    return p + getDeviceOffset(channel);
}

ZelResults ZelTtlModule::setCountingDirection(unsigned char direction, unsigned short channel) {
    constexpr char kMethod[] = "ZelTtlModule::setCountingDirection";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r =
        moduleSettings({kDirection, static_cast<unsigned char>(channel), direction}, &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::getChannelPresence(unsigned char* presence, unsigned char channel) {
    constexpr char kMethod[] = "ZelTtlModule::getChannelPresence";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (presence == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({kPresenceRead, channel}, &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    *presence = params(response)[0];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::setChannelPresence(unsigned char presence, unsigned char channel) {
    constexpr char kMethod[] = "ZelTtlModule::setChannelPresence";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({kPresenceSet, channel, presence}, &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::getFpgaRevision(unsigned short* revision) {
    constexpr char kMethod[] = "ZelTtlModule::getFpgaRevision";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (revision == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({kFpgaRevision}, &response);
    if (!r.ok()) return r;
    *revision = CommonUtils::uCharsToUShort(params(response));
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::initReferencing(unsigned char channel, REFERENCE_MARK_ENUM mark,
                                         unsigned short markParameter) {
    constexpr char kMethod[] = "ZelTtlModule::initReferencing";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({kReferenceStart, channel, static_cast<unsigned char>(mark),
                                   static_cast<unsigned char>(markParameter & 0xFF),
                                   static_cast<unsigned char>(markParameter >> 8)},
                                  &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::isReferencingComplete(unsigned char channel, bool* complete) {
    constexpr char kMethod[] = "ZelTtlModule::isReferencingComplete";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (complete == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = moduleSettings({kReferenceComplete, channel}, &response);
    if (!r.ok()) return r;
    *complete = params(response)[0] != 0;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::acknowledgeReferencing(unsigned char channel) {
    constexpr char kMethod[] = "ZelTtlModule::acknowledgeReferencing";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::channelStatus(channel, kAcknowledge), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelTtlModule::getReferencingState(unsigned char channel, REF_MARK_STATE* state) {
    return readReferencingState(channel, state, "ZelTtlModule::getReferencingState");
}
