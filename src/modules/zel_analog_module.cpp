// ZelAnalogModule: value words, calibration and diagnostics.
#include "modules/zel_analog_module.h"

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"

using zelbus::params;

namespace {

constexpr unsigned char kMaxSamples = 100;
constexpr unsigned short kValueWords = 4;

bool validChannel(unsigned short channel) { return channel < ZEL_ANALOG_CHANNELS; }

}  // namespace

AdcConverter::AdcConverter(double fullScale, unsigned bits, double gain)
    : fullScale_(fullScale),
      gain_(gain),
      step_(2.0 * fullScale / static_cast<double>(1UL << bits)) {}

double AdcConverter::convert(unsigned short raw, double factor) const {
    const double x = raw * step_;
    const double y = x < fullScale_ ? x + fullScale_ : x - fullScale_;
    return y * gain_ * factor;
}

double ZelAnalogModule::voltageOf(unsigned short word) {
    return (word / 1000.0 * 5.0 - 12.5) * -1.0;
}

double ZelAnalogModule::currentOf(unsigned short word) { return word / 1000.0 * 3.2 + 4.0; }

ZelAnalogModule::ZelAnalogModule() : adcConverter(2.5, 12, 1.0) {
    for (unsigned short c = 0; c < ZEL_ANALOG_CHANNELS; ++c) {
        calibrationResolution[c] = 1.0;
        calibrationOffset[c] = 0.0;
        calibrationScaling[c] = 1.0;
    }
}

ZelAnalogModule::~ZelAnalogModule() = default;

ZelResults ZelAnalogModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelAnalogModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    setModuleDataInitialized(1);
    setNumChannels(ZEL_ANALOG_CHANNELS);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelAnalogModule::setNumSamples(unsigned char channel, unsigned char samples) {
    constexpr char kMethod[] = "ZelAnalogModule::setNumSamples";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    if (samples > kMaxSamples) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::samplingSettings(channel, samples), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelAnalogModule::setResolution(unsigned short channel, double resolution) {
    constexpr char kMethod[] = "ZelAnalogModule::setResolution";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    calibrationResolution[channel] = resolution;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelAnalogModule::getResolution(unsigned short channel, double* resolution) {
    constexpr char kMethod[] = "ZelAnalogModule::getResolution";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    if (resolution == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    *resolution = calibrationResolution[channel];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelAnalogModule::setOffset(unsigned short channel, double offset) {
    constexpr char kMethod[] = "ZelAnalogModule::setOffset";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    calibrationOffset[channel] = offset;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelAnalogModule::getOffset(unsigned short channel, double* offset) {
    constexpr char kMethod[] = "ZelAnalogModule::getOffset";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    if (offset == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    *offset = calibrationOffset[channel];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

bool ZelAnalogModule::setScaling(unsigned short channel, double scaling) {
    if (!validChannel(channel)) return false;
    calibrationScaling[channel] = scaling;
    return true;
}

bool ZelAnalogModule::getScaling(unsigned short channel, double* scaling) {
    if (scaling == nullptr || !validChannel(channel)) return false;
    *scaling = calibrationScaling[channel];
    return true;
}

ZelResults ZelAnalogModule::computeResolutionAndOffset(unsigned short channel, double* resolution,
                                                       double* offset, double scaledHigh,
                                                       double scaledLow, double readingHigh,
                                                       double readingLow) {
    constexpr char kMethod[] = "ZelAnalogModule::computeResolutionAndOffset";
    if (!validChannel(channel)) return ZEL_RESULT(ZEL_INVALID_CHANNEL_RETURNED, kMethod);
    if (resolution == nullptr || offset == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (scaledHigh == 0.0 && scaledLow == 0.0) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    if (readingHigh == 0.0 && readingLow == 0.0) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    if (readingHigh - readingLow == 0.0) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    const double gain = (scaledHigh - scaledLow) / (readingHigh - readingLow);
    const double shift = readingLow * gain - scaledLow;
    calibrationResolution[channel] = gain;
    calibrationOffset[channel] = shift;
    *resolution = gain;
    *offset = shift;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelAnalogModule::readWords(double* values, unsigned short length, unsigned short needed,
                                      COUNT_REQUEST_OPTION option, double (&words)[4],
                                      const char* method) {
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, method);
    if (values == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, method);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    if (length < needed) return ZEL_RESULT(ZEL_PARAM_SIZE_MISMATCH, method);
    wordsFromAnswer(response, option, words);
    return ZelResults(ZEL_OK, method, __LINE__);
}

void ZelAnalogModule::wordsFromAnswer(ZelbusResponse& response, COUNT_REQUEST_OPTION option,
                                      double (&words)[4]) {
    unsigned char* p = params(response);
    // Big-endian words, little-endian when the alternate read was asked for.
    const bool littleEndian = option == COUNT_REQUEST_ALTERNATE;
    for (unsigned short i = 0; i < kValueWords; ++i) {
        const unsigned short w =
            littleEndian ? CommonUtils::uCharsToUShort(p + zelbus::kWordBytes * i)
                         : CommonUtils::uCharsToUShortEndianSwap(p + zelbus::kWordBytes * i);
        words[i] = i % 2 == 0 ? voltageOf(w) : currentOf(w);
    }
}

ZelResults ZelAnalogModule::getVoltage(double* values, unsigned short length,
                                       COUNT_REQUEST_OPTION option) {
    double words[kValueWords];
    ZelResults r = readWords(values, length, 2, option, words, "ZelAnalogModule::getVoltage");
    if (r.ok()) {
        values[0] = words[0];
        values[1] = words[2];
    }
    return r;
}

ZelResults ZelAnalogModule::getCurrent(double* values, unsigned short length,
                                       COUNT_REQUEST_OPTION option) {
    double words[kValueWords];
    ZelResults r = readWords(values, length, 2, option, words, "ZelAnalogModule::getCurrent");
    if (r.ok()) {
        values[0] = words[1];
        values[1] = words[3];
    }
    return r;
}

ZelResults ZelAnalogModule::getValues(double* values, unsigned short length,
                                      COUNT_REQUEST_OPTION option) {
    double words[kValueWords];
    ZelResults r =
        readWords(values, length, kValueWords, option, words, "ZelAnalogModule::getValues");
    if (r.ok()) {
        for (unsigned short i = 0; i < kValueWords; ++i) values[i] = words[i];
    }
    return r;
}

ZelResults ZelAnalogModule::getScaledValues(double* values, unsigned short length,
                                            COUNT_REQUEST_OPTION option) {
    double words[kValueWords];
    ZelResults r =
        readWords(values, length, kValueWords, option, words, "ZelAnalogModule::getScaledValues");
    if (r.ok()) scaleWords(words, values);
    return r;
}

void ZelAnalogModule::scaleWords(const double (&words)[4], double* values) {
    for (unsigned short i = 0; i < kValueWords; ++i) {
        const unsigned short c = i / 2;
        double v = words[i] * calibrationResolution[c] - calibrationOffset[c];
        if (calibrationScaling[c] != 0.0) v = v * calibrationScaling[c];
        values[i] = v + getDeviceOffset(c);
    }
}

ZelResults ZelAnalogModule::scaledValuesFromAnswer(ZelbusResponse& response,
                                                   COUNT_REQUEST_OPTION option, double* values) {
    double words[kValueWords];
    wordsFromAnswer(response, option, words);
    scaleWords(words, values);
    return ZelResults(ZEL_OK, "ZelAnalogModule::getScaledValues", __LINE__);
}

ZelResults ZelAnalogModule::getDiagVoltages(double* values, unsigned short length) {
    constexpr char kMethod[] = "ZelAnalogModule::getDiagVoltages";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (values == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (length < ZEL_ANALOG_DIAG_VALUES) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::moduleSettings({}), &response);
    if (!r.ok()) return r;
    unsigned char* p = params(response);
    for (unsigned short i = 0; i < ZEL_ANALOG_DIAG_VALUES; ++i) {
        const unsigned short w = CommonUtils::uCharsToUShortEndianSwap(p + zelbus::kWordBytes * i);
        // Words 0 and 6 are voltages and 1 and 7 currents of the inputs; the
        // others are the module's ADC words.
        if (i == 0 || i == 6) {
            values[i] = voltageOf(w);
        } else if (i == 1 || i == 7) {
            values[i] = currentOf(w);
        } else {
            values[i] = adcConverter.convert(w, 1.0);
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
