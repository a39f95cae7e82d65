// ZelModule: the commands every module kind answers (counts, latch, ADC
// values, integrity, diagnostics) and the per-channel rotary settings with
// the folding of incremental angles.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "modules/module_units.h"
#include "modules/zel_module.h"

namespace {

constexpr unsigned short kLatchBytes = 5;
constexpr unsigned short kAdcWords = 5;
constexpr unsigned short kIntegrityValues = 14;
// The first ten integrity values are reported in thousandths, the rest in tenths.
constexpr unsigned short kIntegrityThousandths = 10;
// Each channel's entry in a counts answer spans eight bytes.
using zel::units::kWrapSpan;
using zelbus::kCountEntryBytes;
// Integrity sub-operations of command 26.
constexpr unsigned char kIntegrityRead = 0;
constexpr unsigned char kIntegrityClear = 1;
constexpr unsigned char kIntegrityClearAll = 2;

}  // namespace

using zelbus::paramCount;
using zelbus::paramLength;
using zelbus::params;

void ZelModule::convertCountsCommand(ZelbusResponse* response) {
    if (response == nullptr) return;
    int k = response->data[1];
    if (k == 6) k = 4;  // a six-entry answer carries four channels
    if (k > static_cast<int>(ZEL_CHANNEL_CAPACITY)) k = ZEL_CHANNEL_CAPACITY;
    response->numCounts = static_cast<unsigned short>(k);
    for (int i = 0; i < k; ++i) {
        response->counts[i] =
            static_cast<long>(CommonUtils::uCharsToULong(params(*response) + kCountEntryBytes * i));
    }
}

ZelRequest ZelModule::countsRequest(COUNT_REQUEST_OPTION option) {
    return ZelRequest::counts(option == COUNT_REQUEST_ALTERNATE ? 1 : 0);
}

ZelResults ZelModule::readValues(COUNT_REQUEST_OPTION option, ZelbusResponse* response) {
    return getUdpData(countsRequest(option), response);
}

ZelResults ZelModule::getCounts(unsigned long* counts, unsigned short n,
                                COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelModule::getCounts";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (counts == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readValues(option, &response);
    if (!r.ok()) return r;
    return countsFromAnswer(response, counts, n);
}

ZelResults ZelModule::countsFromAnswer(ZelbusResponse& response, unsigned long* counts,
                                       unsigned short n) {
    constexpr char kMethod[] = "ZelModule::getCounts";
    convertCountsCommand(&response);
    const unsigned short copied = n < response.numCounts ? n : response.numCounts;
    for (unsigned short i = 0; i < copied; ++i) {
        // The counts are 32-bit; keep that range where long is wider.
        counts[i] = static_cast<unsigned long>(response.counts[i]) & 0xFFFFFFFFUL;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::getLatch(unsigned char* latch, unsigned short n) {
    constexpr char kMethod[] = "ZelModule::getLatch";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (latch == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = exchangeExpecting(ZelRequest::latch(LATCH_READ, 0), &response, kMethod);
    if (!r.ok()) return r;
    if (n >= kLatchBytes) {
        const unsigned char* p = params(response);
        // Only a base module has the four extra latch inputs.
        const bool base = isBaseModule(moduleData.moduleId);
        latch[0] = p[0];
        for (int i = 1; i < kLatchBytes; ++i) latch[i] = base ? p[i] : 0;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::setLatch(LATCH_OPTIONS option, LATCH_CHOICE choice) {
    constexpr char kMethod[] = "ZelModule::setLatch";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (option == LATCH_SET && choice > LATCH_CHOICE_4)
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    const ZelRequest request =
        ZelRequest::latch(static_cast<unsigned char>(option), static_cast<unsigned char>(choice));
    ZelbusResponse response{};
    return exchangeExpecting(request, &response, kMethod);
}

ZelResults ZelModule::getAdcValues(short* values, unsigned short n) {
    constexpr char kMethod[] = "ZelModule::getAdcValues";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (values == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = exchangeExpecting(ZelRequest::adcValues(), &response, kMethod);
    if (!r.ok()) return r;
    if (n >= kAdcWords) {
        const unsigned char* p = params(response);
        for (int i = 0; i < kAdcWords; ++i) {
            const unsigned char* word = p + zelbus::kWordBytes * i;
            values[i] = static_cast<short>(word[0] << 8 | word[1]);  // big-endian
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::getIntegrity(unsigned long* errors, double* values, unsigned short n) {
    constexpr char kMethod[] = "ZelModule::getIntegrity";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (errors == nullptr || values == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = exchangeExpecting(ZelRequest::integrity(kIntegrityRead), &response, kMethod);
    if (!r.ok()) return r;
    unsigned char* p = params(response);
    *errors = CommonUtils::uCharsToULong(p);
    if (n >= kIntegrityValues) {
        for (int i = 0; i < kIntegrityValues; ++i) {
            const double raw =
                static_cast<double>(CommonUtils::uCharsToLong(p + zelbus::kLongBytes * (i + 1)));
            values[i] = i < kIntegrityThousandths ? raw / 1000.0 : raw / 10.0;
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::clearIntegrityErrors() {
    constexpr char kMethod[] = "ZelModule::clearIntegrityErrors";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    return exchangeExpecting(ZelRequest::integrity(kIntegrityClear), &response, kMethod);
}

ZelResults ZelModule::clearAllErrors() {
    constexpr char kMethod[] = "ZelModule::clearAllErrors";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    return exchangeExpecting(ZelRequest::integrity(kIntegrityClearAll), &response, kMethod);
}

ZelResults ZelModule::enableDiags(DIAG_MODE_OPTIONS mode) {
    constexpr char kMethod[] = "ZelModule::enableDiags";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::enableDiags(static_cast<unsigned char>(mode)), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

// ---- Rotary settings --------------------------------------------------------

void ZelModule::setRotaryFormat(const unsigned short& channel, const ROTARY_FORMAT& format) {
    if (channel < ZEL_CHANNEL_CAPACITY) rotaryFormat[channel] = format;
}

ROTARY_FORMAT ZelModule::getRotaryFormat(const unsigned short& channel) {
    return channel < ZEL_CHANNEL_CAPACITY ? rotaryFormat[channel] : ROTARY_FORMAT_NONE;
}

void ZelModule::setDeviceOffset(const unsigned short& channel, const double& offset) {
    if (channel < ZEL_CHANNEL_CAPACITY) deviceOffset[channel] = offset;
}

double ZelModule::getDeviceOffset(const unsigned short& channel) {
    return channel < ZEL_CHANNEL_CAPACITY ? deviceOffset[channel] : 0.0;
}

void ZelModule::foldIncrementalAngle(double* degrees, const double* countsPerRevolution,
                                     const int* wrapCount, const double* wrapCorrection,
                                     const ROTARY_FORMAT* format) {
    if (degrees == nullptr || format == nullptr) return;
    double v = *degrees;
    switch (*format) {
        case ROTARY_FORMAT_0_360:
        case ROTARY_FORMAT_PLUS_MINUS_180:
            v = std::fmod(v, 360.0);
            if (v < 0) v += 360.0;
            if (*format == ROTARY_FORMAT_PLUS_MINUS_180 && v >= 180.0) v -= 360.0;
            *degrees = v;
            return;
        case ROTARY_FORMAT_MOD_360:
        case ROTARY_FORMAT_CONTINUOUS: {
            if (countsPerRevolution == nullptr || wrapCount == nullptr ||
                wrapCorrection == nullptr) {
                return;
            }
            const int w = *wrapCount;
            // Each wrap of the 32-bit counter adds its span in degrees.
            const double wraps =
                std::fabs(static_cast<double>(w)) * kWrapSpan / *countsPerRevolution * 360.0;
            if (w > 0) v = v + wraps - *wrapCorrection;
            if (w < 0) v = v - (wraps + *wrapCorrection);
            if (*format == ROTARY_FORMAT_MOD_360) v = std::fmod(v, 360.0);
            *degrees = v;
            return;
        }
        default:
            return;  // ROTARY_FORMAT_NONE and above: unchanged
    }
}
