// ZelKalixModule: encoder records, the decoding of the 64-bit encoder values
// and their conversion to positions, and the encoder status reads.
#include "modules/zel_kalix_module.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "modules/module_units.h"

using zelbus::paramCount;
using zelbus::params;

namespace {

constexpr unsigned char kStatusRead = 0;
using zelbus::kCountEntryBytes;
constexpr std::size_t kPresenceEntryBytes = 4;
using zel::units::kInchPerMillimetre;
constexpr double kMillimetrePerNanometre = 1e-6;

void setBlank(char* text, std::size_t capacity) {
    std::memset(text, 0, capacity);
    text[0] = ' ';
}

// The record of an empty channel.
DeviceData emptyRecord() {
    DeviceData d{};
    setBlank(d.encoderName, sizeof(d.encoderName));
    setBlank(d.encoderId, sizeof(d.encoderId));
    setBlank(d.serialNumber, sizeof(d.serialNumber));
    d.measuringStep = 1;
    return d;
}

// Copies `length` characters and terminates at the last position.
void copyField(char* destination, std::size_t capacity, const unsigned char* source,
               std::size_t length) {
    std::memset(destination, 0, capacity);
    std::memcpy(destination, source, length < capacity ? length : capacity - 1);
    destination[capacity - 1] = '\0';
}

KALIX_ERROR_RESULT flagState(unsigned char value) {
    return value >= 2 ? KALIX_ERROR_UNKNOWN : static_cast<KALIX_ERROR_RESULT>(value);
}

// One channel's entry of a counts answer, split by the encoder's kind.
struct Entry {
    enum Kind { Linear, SingleTurn, MultiTurn, Skipped } kind;
    unsigned long low;     // low 32 bits of the value (linear, single-turn)
    long long turn;        // single-turn bits of a multi-turn value
    long long revolution;  // signed revolution field
};

Entry splitEntry(long long v, const DeviceData& d) {
    Entry e{Entry::Linear, static_cast<unsigned long>(v) & 0xFFFFFFFFUL, 0, 0};
    if (!d.isRotary) return e;
    if (d.distinguishableRevolutions == 1) {
        e.kind = Entry::SingleTurn;
        e.revolution = static_cast<short>((static_cast<unsigned long long>(v) >> 32) & 0xFFFF);
        return e;
    }
    const unsigned short revolutionBits =
        d.distinguishableRevolutions == 0
            ? 0
            : static_cast<unsigned short>(static_cast<int>(
                  std::log(static_cast<double>(d.distinguishableRevolutions)) / std::log(2.0)));
    const unsigned short turnBits = static_cast<unsigned short>(d.positionBits - revolutionBits);
    if (turnBits >= d.positionBits) {
        e.kind = Entry::Skipped;
        return e;
    }
    e.kind = Entry::MultiTurn;
    // turnBits < positionBits <= 255; values are 64 bits wide.
    if (turnBits >= 64) {
        e.revolution = v < 0 ? -1 : 0;
        e.turn = v;
    } else {
        e.revolution = v >> turnBits;
        e.turn = static_cast<long long>(static_cast<unsigned long long>(v) &
                                        ((1ULL << turnBits) - 1ULL));
    }
    return e;
}

// turn + step * revolution, held at the ends of the 64-bit range where a
// module's values would take it past them.
long long turnsToCount(long long turn, long long step, long long revolution) {
    long long product = 0;
    long long sum = 0;
    const bool negative = (step < 0) != (revolution < 0);
    if (__builtin_mul_overflow(step, revolution, &product)) {
        return negative ? LLONG_MIN : LLONG_MAX;
    }
    if (__builtin_add_overflow(turn, product, &sum)) return product < 0 ? LLONG_MIN : LLONG_MAX;
    return sum;
}

// Entries of a counts answer: 6 counts as 4, at most 8.
int entryCount(const ZelbusResponse& response) {
    int n = paramCount(response);
    if (n == 6) n = 4;
    return n > static_cast<int>(ZEL_CHANNEL_CAPACITY) ? static_cast<int>(ZEL_CHANNEL_CAPACITY) : n;
}

}  // namespace

ZelKalixModule::ZelKalixModule() {
    for (DeviceData& d : deviceData) d = emptyRecord();
}

ZelKalixModule::~ZelKalixModule() = default;

ZelResults ZelKalixModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelKalixModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    const unsigned short channels = getModuleData().numChannels;
    std::memset(deviceData, 0, sizeof(deviceData));
    for (unsigned short c = 0; c < channels && c < ZEL_CHANNEL_CAPACITY; ++c) {
        unsigned char present = 0;
        r = getChannelPresence(&present, c);
        if (!r.ok()) return r;
        EncoderInfo info;
        info.countingDirection = true;
        info.errorCompensation = 1.0;
        if (present == 0) {
            info.encoderType = ENCODER_TYPE_NONE;
            info.uom = UOM_COUNTS;
            info.measuringStep = 1;
            ZelDeviceModule::setEncoderInfo(&info, c);
            deviceData[c] = emptyRecord();
            continue;
        }
        r = getInfo(static_cast<unsigned char>(c), &deviceData[c]);
        if (!r.ok()) return r;
        r = getParams(c, &deviceData[c]);
        if (!r.ok()) return r;
        const DeviceData& d = deviceData[c];
        info.encoderType = d.isRotary ? ENCODER_TYPE_ROTARY : ENCODER_TYPE_LINEAR;
        info.uom = d.isRotary ? UOM_DEGREE : UOM_MILLIMETRE;
        info.measuringStep = d.measuringStep;
        info.countingDirection = !d.directionInverted;
        ZelDeviceModule::setEncoderInfo(&info, c);
        updateResolution(d.measuringStep, c);
    }
    setModuleDataInitialized(1);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

void ZelKalixModule::updateResolution(unsigned int step, unsigned short channel) {
    EncoderInfo info;
    if (!getEncoderInfo(&info, channel) || channel >= ZEL_CHANNEL_CAPACITY) return;
    const double s = static_cast<double>(step);
    if (info.encoderType == ENCODER_TYPE_ROTARY) {
        setResolution(step != 0 ? 360.0 / s : s, channel);
    } else {
        setResolution(s / 1000000.0, channel);  // nanometres to millimetres
    }
}

ZelResults ZelKalixModule::getInfo(unsigned char channel, DeviceData* data) {
    constexpr char kMethod[] = "ZelKalixModule::getInfo";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (data == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::kalixInfo(channel), &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    unsigned char* p = params(response);
    if (p[0] != channel) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    copyField(data->encoderName, sizeof(data->encoderName), p + 1, 9);
    copyField(data->encoderId, sizeof(data->encoderId), p + 10, 10);
    copyField(data->serialNumber, sizeof(data->serialNumber), p + 20, 16);
    data->infoValueA = static_cast<unsigned int>(CommonUtils::uCharsToULong(p + 36));
    data->infoValueB = static_cast<unsigned int>(CommonUtils::uCharsToULong(p + 40));
    const unsigned short revolutions = CommonUtils::uCharsToUShort(p + 44);
    data->distinguishableRevolutions = revolutions == 0 ? 1 : revolutions;
    data->positionBits = p[46];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelKalixModule::getParams(unsigned short channel, DeviceData* data) {
    constexpr char kMethod[] = "ZelKalixModule::getParams";
    if (data == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r =
        getUdpData(ZelRequest::kalixParams(static_cast<unsigned char>(channel)), &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    if (paramCount(response) != 4) return ZEL_RESULT(ZEL_PARAM_COUNT_MISMATCH, kMethod);
    unsigned char* p = params(response);
    if (p[0] != channel) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    data->directionInverted = p[1] != 0;
    data->isRotary = p[2] != 0;
    data->measuringStep = static_cast<unsigned int>(CommonUtils::uCharsToULong(p + 3));
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelKalixModule::getChannelPresence(unsigned char* presence, unsigned short channel) {
    constexpr char kMethod[] = "ZelKalixModule::getChannelPresence";
    if (presence == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::kalixChannelPresence(), &response);
    if (!r.ok()) return r;
    const int n = paramCount(response);
    if (n == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    if (n > static_cast<int>(ZEL_CHANNEL_CAPACITY))
        return ZEL_RESULT(ZEL_PARAM_COUNT_MISMATCH, kMethod);
    *presence = channel < n ? params(response)[kPresenceEntryBytes * channel] : 0;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelKalixModule::readStatus(unsigned char channel, ZelbusResponse* response) {
    return getUdpData(ZelRequest::channelStatus(channel, kStatusRead), response);
}

ZelResults ZelKalixModule::readFlags(unsigned short channel, KALIX_ERROR_RESULT* flags,
                                     unsigned char length, unsigned char count, int offset,
                                     const char* method) {
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, method);
    if (flags == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, method);
    ZelbusResponse response{};
    ZelResults r = readStatus(static_cast<unsigned char>(channel), &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, method);
    const unsigned char* p = params(response);
    if (p[0] != channel) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, method);
    if (length < count) return ZEL_RESULT(ZEL_PARAM_COUNT_MISMATCH, method);
    for (int i = 0; i < count; ++i) flags[i] = flagState(p[offset + i]);
    return ZelResults(ZEL_OK, method, __LINE__);
}

// The status answer: channel, status byte, seven error flags, five warning
// flags, nine diagnostic bytes.
ZelResults ZelKalixModule::getErrors(unsigned short channel, KALIX_ERROR_RESULT* errors,
                                     unsigned char length) {
    return readFlags(channel, errors, length, KALIX_ERROR_FLAGS, 2, "ZelKalixModule::getErrors");
}

ZelResults ZelKalixModule::getWarnings(unsigned short channel, KALIX_ERROR_RESULT* warnings,
                                       unsigned char length) {
    return readFlags(channel, warnings, length, KALIX_WARNING_FLAGS, 9,
                     "ZelKalixModule::getWarnings");
}

ZelResults ZelKalixModule::getDiag(unsigned char channel, unsigned char* buffer,
                                   unsigned char length) {
    constexpr char kMethod[] = "ZelKalixModule::getDiag";
    if (!isModuleDataInitialized()) return ZEL_RESULT(ZEL_MODULE_DATA_NOT_INITIALIZED, kMethod);
    if (buffer == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readStatus(channel, &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) {
        std::memset(buffer, 0, length < KALIX_DIAG_BYTES ? length : KALIX_DIAG_BYTES);
    } else if (length >= KALIX_DIAG_BYTES) {
        std::memcpy(buffer, params(response) + 14, KALIX_DIAG_BYTES);
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelKalixModule::getCounts(unsigned long* counts, long* revolutions,
                                     unsigned short length, COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelKalixModule::getCounts";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (counts == nullptr || revolutions == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return countsFromAnswer(response, counts, revolutions, length);
}

ZelResults ZelKalixModule::countsFromAnswer(ZelbusResponse& response, unsigned long* counts,
                                            long* revolutions, unsigned short length) {
    constexpr char kMethod[] = "ZelKalixModule::getCounts";
    int n = entryCount(response);
    for (int i = 0; i < n && i < length; ++i) {
        const long long v = CommonUtils::uCharsToLongLong(params(response) + kCountEntryBytes * i);
        const Entry e = splitEntry(v, deviceData[i]);
        switch (e.kind) {
            case Entry::Linear:
                if (n > getNumChannels()) n = getNumChannels();
                counts[i] = e.low;
                revolutions[i] = 1;
                break;
            case Entry::SingleTurn:
                counts[i] = e.low;
                revolutions[i] = static_cast<long>(e.revolution);
                break;
            case Entry::MultiTurn:
                counts[i] = static_cast<unsigned long>(e.turn) & 0xFFFFFFFFUL;
                revolutions[i] = static_cast<long>(e.revolution & 0xFFFF);
                break;
            case Entry::Skipped:
                break;
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelKalixModule::getPositions(double* positions, long* revolutions,
                                        const unsigned short& length, COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelKalixModule::getPositions";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (positions == nullptr || revolutions == nullptr)
        return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return positionsFromAnswer(response, positions, revolutions, length);
}

ZelResults ZelKalixModule::positionsFromAnswer(ZelbusResponse& response, double* positions,
                                               long* revolutions, unsigned short length) {
    constexpr char kMethod[] = "ZelKalixModule::getPositions";
    int n = entryCount(response);
    for (int i = 0; i < n; ++i) {
        EncoderInfo info;
        if (!getEncoderInfo(&info, static_cast<unsigned short>(i))) {
            return ZEL_RESULT(ZEL_UNKNOWN_ERROR, kMethod);
        }
        const bool inRange = i < length;
        const long long v = CommonUtils::uCharsToLongLong(params(response) + kCountEntryBytes * i);
        const DeviceData& d = deviceData[i];
        const Entry e = splitEntry(v, d);
        if (e.kind == Entry::Linear && n > getNumChannels()) n = getNumChannels();
        if (info.uom == UOM_NONE || info.uom == UOM_COUNTS) {
            if (inRange) positions[i] = static_cast<double>(e.low);
            continue;
        }
        const long long step = d.measuringStep;
        long long count = 0;
        long revolution = 0;
        switch (e.kind) {
            case Entry::Linear:
                if (inRange) revolutions[i] = 1;
                count = static_cast<long long>(e.low);
                break;
            case Entry::SingleTurn:
                revolution = static_cast<long>(e.revolution);
                if (inRange) revolutions[i] = revolution;
                // Revolution fields 0 and 1 are both the first turn.
                if (revolution >= 2) {
                    count = turnsToCount(static_cast<long long>(e.low), step, revolution - 1);
                } else if (revolution <= -1) {
                    count = turnsToCount(static_cast<long long>(e.low), step, revolution);
                } else {
                    count = static_cast<long long>(e.low);
                }
                break;
            case Entry::MultiTurn:
                revolution = static_cast<long>(static_cast<int>(e.revolution & 0xFFFFFFFFLL));
                if (inRange) revolutions[i] = revolution;
                count = turnsToCount(e.turn, step, revolution);
                break;
            case Entry::Skipped:
                continue;
        }
        const double p = countsToPosition(count, static_cast<unsigned short>(i), revolution);
        if (inRange) positions[i] = p;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

double ZelKalixModule::countsToPosition(long long count, unsigned short channel, long revolution) {
    EncoderInfo info;
    if (!getEncoderInfo(&info, channel) || info.encoderType == ENCODER_TYPE_NONE) return 0.0;
    const double step = info.measuringStep == 0 ? 1.0 : static_cast<double>(info.measuringStep);
    const double compensation = info.errorCompensation == 0.0 ? 1.0 : info.errorCompensation;
    double scaling = 1.0;
    if (!getScaling(&scaling, channel) || scaling == 0.0) scaling = 1.0;
    double p = compensation * static_cast<double>(count);
    p = scaling * p;
    if (info.encoderType == ENCODER_TYPE_ROTARY) {
        p = p / step * 360.0;
        p = p + getDeviceOffset(channel);
        return applyRotaryFormat(p, deviceData[channel].distinguishableRevolutions, revolution,
                                 getRotaryFormat(channel));
    }
    p = p * step;
    if (info.uom == UOM_INCH) {
        p = p * kMillimetrePerNanometre * kInchPerMillimetre;
    } else if (info.uom == UOM_MILLIMETRE || info.uom == UOM_DEGREE) {
        p = p * kMillimetrePerNanometre;
    }
    return p + getDeviceOffset(channel);
}

double ZelKalixModule::applyRotaryFormat(double degrees, unsigned short revolutions,
                                         long revolution, ROTARY_FORMAT format) {
    double p = degrees;
    if (format == ROTARY_FORMAT_0_360 || format == ROTARY_FORMAT_PLUS_MINUS_180) {
        foldIncrementalAngle(&p, nullptr, nullptr, nullptr, &format);
        return p;
    }
    if (format != ROTARY_FORMAT_MOD_360 && format != ROTARY_FORMAT_CONTINUOUS) return p;
    if (revolutions > 1) {
        // The upper half of the revolution range stands for negative turns.
        if (revolution >= revolutions / 2) {
            const double span = static_cast<double>(revolutions) * 360.0;
            p = p >= 0 ? p - span : p + span;
        }
    } else if (format == ROTARY_FORMAT_CONTINUOUS) {
        return p;
    }
    if (format == ROTARY_FORMAT_MOD_360) p = std::fmod(p, 360.0);
    return p;
}

bool ZelKalixModule::getDeviceData(DeviceData* data, unsigned short channel) {
    if (data == nullptr || channel >= ZEL_CHANNEL_CAPACITY) return false;
    *data = deviceData[channel];
    return true;
}

bool ZelKalixModule::getDistinguishableRevolutions(short* revolutions, unsigned short channel) {
    if (revolutions == nullptr) return false;
    if (channel >= ZEL_CHANNEL_CAPACITY) {
        *revolutions = 1;
        return false;
    }
    *revolutions = static_cast<short>(deviceData[channel].distinguishableRevolutions);
    return true;
}

namespace {

bool copyText(char* out, unsigned short channel, const char* text, std::size_t capacity) {
    if (out == nullptr) return false;
    if (channel >= ZEL_CHANNEL_CAPACITY) {
        std::memcpy(out, " ", 2);
        return false;
    }
    // The text and its terminator, never the rest of the fixed-size field.
    const std::size_t length = strnlen(text, capacity - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

}  // namespace

bool ZelKalixModule::getEncoderName(char* name, unsigned short channel) {
    const char* text = channel < ZEL_CHANNEL_CAPACITY ? deviceData[channel].encoderName : "";
    return copyText(name, channel, text, sizeof(DeviceData::encoderName));
}

bool ZelKalixModule::getEncoderId(char* id, unsigned short channel) {
    const char* text = channel < ZEL_CHANNEL_CAPACITY ? deviceData[channel].encoderId : "";
    return copyText(id, channel, text, sizeof(DeviceData::encoderId));
}

bool ZelKalixModule::getSerialNumber(char* serial, unsigned short channel) {
    const char* text = channel < ZEL_CHANNEL_CAPACITY ? deviceData[channel].serialNumber : "";
    return copyText(serial, channel, text, sizeof(DeviceData::serialNumber));
}

bool ZelKalixModule::setEncoderInfo(EncoderInfo* info, unsigned short channel) {
    if (info == nullptr) return false;
    if (info->errorCompensation == 0.0) info->errorCompensation = 1.0;
    EncoderInfo current;
    if (channel >= ZEL_CHANNEL_CAPACITY || !getEncoderInfo(&current, channel)) return false;
    info->measuringStep = current.measuringStep;  // the encoder's own step
    return ZelDeviceModule::setEncoderInfo(info, channel);
}

bool ZelKalixModule::setUom(UOM uom, unsigned short channel) { return replaceUom(uom, channel); }
