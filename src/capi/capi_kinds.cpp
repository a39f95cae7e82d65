// The flat C interface: the families of the module kinds. A kind's own
// functions take a handle of that kind (32 for another); the encoder-channel
// functions take any handle whose class derives from ZelDeviceModule.
#include <cstring>

#include "capi/capi_support.h"

using namespace zel::capi;

extern "C" {

// ---- Encoder channels ---------------------------------------------------------

int Zel1VppModuleGetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM* type, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || type == nullptr) return kNull;
    return gotOr(m->getEncoderType(type, ch), type, ENCODER_TYPE_NONE);
}

int Zel1VppModuleGetUom(ZelModuleHandle h, UOM* uom, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || uom == nullptr) return kNull;
    return gotOr(m->getUom(uom, ch), uom, UOM_NONE);
}

int Zel1VppModuleSetErrorCompensation(ZelModuleHandle h, double value, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setErrorCompensation(value, ch));
}

int Zel1VppModuleGetErrorCompensation(ZelModuleHandle h, double* value, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || value == nullptr) return kNull;
    return gotOr(m->getErrorCompensation(value, ch), value, 0.0);
}

int Zel1VppModuleGetResolution(ZelModuleHandle h, double* resolution, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || resolution == nullptr) return kNull;
    return gotOr(m->getResolution(resolution, ch), resolution, 0.0);
}

int Zel1VppModuleSetScaling(ZelModuleHandle h, double scaling, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setScaling(scaling, ch));
}

int Zel1VppModuleGetScaling(ZelModuleHandle h, double* scaling, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || scaling == nullptr) return kNull;
    return gotOr(m->getScaling(scaling, ch), scaling, 0.0);
}

int Zel1VppModuleGetCountingDirection(ZelModuleHandle h, bool* direction, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || direction == nullptr) return kNull;
    return accepted(m->getCountingDirection(direction, ch));
}

int Zel1VppModuleEnableErrorChecking(ZelModuleHandle h, bool enable, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return code(m->enableErrorChecking(enable, ch));
}

int Zel1VppModuleClearErrors(ZelModuleHandle h) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    ZelResults r = m->clearAllErrors();
    const unsigned short channels = m->getNumChannels();
    for (unsigned short ch = 0; r.ok() && ch < channels; ++ch) r = m->clearErrorsAndWarnings(ch);
    return code(r);
}

int Zel1VppModuleSetLatch(ZelModuleHandle h, LATCH_OPTIONS option, LATCH_CHOICE choice) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setLatch(option, choice));
}

int Zel1VppModuleGetLatches(ZelModuleHandle h, unsigned char* latches, unsigned short n) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || latches == nullptr) return kNull;
    return code(m->getLatch(latches, n));
}

int Zel1VppModuleSetDeviceOffset(ZelModuleHandle h, unsigned short ch, double offset) {
    if (h == nullptr) return kNull;
    module(h)->setDeviceOffset(ch, offset);
    return 0;
}

int Zel1VppModuleGetDeviceOffset(ZelModuleHandle h, unsigned short ch, double* offset) {
    if (h == nullptr || offset == nullptr) return kNull;
    *offset = module(h)->getDeviceOffset(ch);
    return 0;
}

int Zel1VppModuleSetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM type, unsigned short ch) {
    if (Zel1VppModule* vpp = as<Zel1VppModule>(h)) return accepted(vpp->setEncoderType(type, ch));
    if (ZelTtlModule* ttl = as<ZelTtlModule>(h)) return accepted(ttl->setEncoderType(type, ch));
    return kNull;
}

int Zel1VppModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch) {
    if (Zel1VppModule* vpp = as<Zel1VppModule>(h)) return accepted(vpp->setUom(uom, ch));
    if (ZelTtlModule* ttl = as<ZelTtlModule>(h)) return accepted(ttl->setUom(uom, ch));
    return kNull;
}

int Zel1VppModuleSetLatchDebouncing(ZelModuleHandle h, unsigned char channel, unsigned short debounceTime) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setLatchDebouncing(channel, debounceTime));
}

int Zel1VppModuleGetChannelStatus(ZelModuleHandle h, unsigned char* status, unsigned char ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || status == nullptr) return kNull;
    unsigned char s = 0;
    ZelResults r = m->getChannelStatus(ch, &s);
    if (r.ok()) *status = s;
    return code(r);
}

int Zel1VppModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state, unsigned char ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    unsigned char s = 0;
    ZelResults r = m->getChannelStatus(ch, &s);
    *state = r.ok() && s != 0 ? 1 : 0;
    return code(r);
}

int Zel1VppModuleSetRotaryFormat(ZelModuleHandle h, unsigned short ch, ROTARY_FORMAT format) {
    if (h == nullptr) return kNull;
    module(h)->setRotaryFormat(ch, format);
    return 0;
}

int Zel1VppModuleGetRotaryFormat(ZelModuleHandle h, unsigned short ch, ROTARY_FORMAT* format) {
    if (h == nullptr || format == nullptr) return kNull;
    *format = module(h)->getRotaryFormat(ch);
    return 0;
}

int ZelTtlModuleSetRotaryFormat(ZelModuleHandle h, const unsigned short* ch, const ROTARY_FORMAT* format) {
    if (h == nullptr) return kNull;
    if (ch != nullptr && format != nullptr) module(h)->setRotaryFormat(*ch, *format);
    return 0;
}

int ZelTtlModuleGetRotaryFormat(ZelModuleHandle h, const unsigned short* ch, ROTARY_FORMAT* format) {
    if (h == nullptr || format == nullptr) return kNull;
    *format = module(h)->getRotaryFormat(ch == nullptr ? ZEL_CHANNEL_CAPACITY : *ch);
    return 0;
}

// ---- 1 Vpp --------------------------------------------------------------------

int Zel1VppModuleSetCountingDirection(ZelModuleHandle h, bool direction, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setCountingDirection(direction, ch));
}

int Zel1VppModuleGetCounts(ZelModuleHandle h, unsigned long* counts, unsigned short n, COUNT_REQUEST_OPTION option) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || counts == nullptr) return kNull;
    return code(m->getCounts(counts, n, option));
}

int Zel1VppModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n, COUNT_REQUEST_OPTION option) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || positions == nullptr) return kNull;
    return code(m->getPositions(positions, n, option));
}

int Zel1VppModuleEnableAnalogDiag(ZelModuleHandle h, bool enable, unsigned char ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->enableAnalogDiag(ch, enable));
}

int Zel1VppModuleGetAnalogDiag(ZelModuleHandle h, double* values, short n, unsigned char ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || values == nullptr) return kNull;
    if (n < 2) return kRefused;
    return code(m->getDiag(ch, values, static_cast<unsigned char>(n > 255 ? 255 : n)));
}

int Zel1VppModuleSetLineCount(ZelModuleHandle h, unsigned long lines, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setLineCount(lines, ch));
}

int Zel1VppModuleGetLineCount(ZelModuleHandle h, unsigned long* lines, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || lines == nullptr) return kNull;
    return gotOr(m->getLineCount(lines, ch), lines, 0UL);
}

int Zel1VppModuleSetSignalPeriod(ZelModuleHandle h, unsigned short period, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setSignalPeriod(period, ch));
}

int Zel1VppModuleGetSignalPeriod(ZelModuleHandle h, unsigned short* period, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || period == nullptr) return kNull;
    return gotOr(m->getSignalPeriod(period, ch), period, static_cast<unsigned short>(0));
}

int Zel1VppModuleStartReferencing(ZelModuleHandle h, unsigned char ch, REFERENCE_MARK_ENUM mark, unsigned short value) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->initAbsolutePosition(ch, mark, value));
}

int Zel1VppModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch, bool* complete) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || complete == nullptr) return kNull;
    return code(m->isReferencingComplete(ch, complete));
}

int Zel1VppModuleAcknowledgeAbsolutePosition(ZelModuleHandle h, unsigned char ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->acknowledgeAbsolutePosition(ch));
}

int Zel1VppModuleGetReferencingState(ZelModuleHandle h, unsigned char ch, REF_MARK_STATE* state) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    return code(m->getReferencingState(ch, state));
}

int Zel1VppGetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || type == nullptr) return kNull;
    return code(m->getSignalType(ch, type));
}

int Zel1VppSetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE type) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setSignalType(ch, type));
}

int Zel1VppDetectSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || type == nullptr) return kNull;
    return code(m->detectSignalType(ch, type));
}

// ---- Kalix --------------------------------------------------------------------

int ZelKalixModuleGetChannelPresence(ZelModuleHandle h, unsigned char* present, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || present == nullptr) return kNull;
    unsigned char p = 0;
    ZelResults r = m->getChannelPresence(&p, ch);
    if (r.ok()) *present = p == 1 ? 1 : 0;
    return code(r);
}

int ZelKalixModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setUom(uom, ch));
}

int ZelKalixModuleGetDistinguishableRevolutions(ZelModuleHandle h, short* revolutions, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || revolutions == nullptr) return kNull;
    return accepted(m->getDistinguishableRevolutions(revolutions, ch));  // 1 written beyond channel 7
}

int ZelKalixModuleGetCounts(ZelModuleHandle h, unsigned long* counts, long* values, unsigned short n,
                            COUNT_REQUEST_OPTION option) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || counts == nullptr) return kNull;
    return code(m->getCounts(counts, values, n, option));
}

int ZelKalixModuleGetPositions(ZelModuleHandle h, double* positions, long* values, unsigned short n,
                               COUNT_REQUEST_OPTION option) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || positions == nullptr || values == nullptr) return kNull;
    return code(m->getPositions(positions, values, n, option));
}

}  // extern "C"

namespace {

// getErrors or getWarnings into a local array; 1 when any flag is set.
template <unsigned char Count>
int anyFlagSet(ZelModuleHandle h, unsigned char* state, unsigned short ch,
               ZelResults (ZelKalixModule::*read)(unsigned short, KALIX_ERROR_RESULT*, unsigned char)) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    KALIX_ERROR_RESULT flags[Count] = {};
    ZelResults r = (m->*read)(ch, flags, Count);
    *state = 0;
    for (unsigned char i = 0; r.ok() && i < Count; ++i) {
        if (flags[i] == KALIX_ERROR_SET) *state = 1;
    }
    return code(r);
}

}  // namespace

extern "C" {

int ZelKalixModuleGetKalixErrors(ZelModuleHandle h, KALIX_ERROR_RESULT* results, short n, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || results == nullptr) return kNull;
    if (n < KALIX_ERROR_FLAGS) return kRefused;
    return code(m->getErrors(ch, results, KALIX_ERROR_FLAGS));
}

int ZelKalixModuleGetKalixWarnings(ZelModuleHandle h, KALIX_ERROR_RESULT* results, short n, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || results == nullptr) return kNull;
    if (n < KALIX_WARNING_FLAGS) return kRefused;
    return code(m->getWarnings(ch, results, KALIX_WARNING_FLAGS));
}

int ZelKalixModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state, unsigned short ch) {
    return anyFlagSet<KALIX_ERROR_FLAGS>(h, state, ch, &ZelKalixModule::getErrors);
}

int ZelKalixModuleGetChannelWarningState(ZelModuleHandle h, unsigned char* state, unsigned short ch) {
    return anyFlagSet<KALIX_WARNING_FLAGS>(h, state, ch, &ZelKalixModule::getWarnings);
}

int ZelKalixModuleGetEncoderName(ZelModuleHandle h, char* text, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || text == nullptr) return kNull;
    return accepted(m->getEncoderName(text, ch));
}

int ZelKalixModuleGetEncoderId(ZelModuleHandle h, char* text, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || text == nullptr) return kNull;
    return accepted(m->getEncoderId(text, ch));
}

int ZelKalixModuleGetEncoderSerialNumber(ZelModuleHandle h, char* text, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || text == nullptr) return kNull;
    return accepted(m->getSerialNumber(text, ch));
}

int ZelKalixModuleGetDiags(ZelModuleHandle h, unsigned char* values, short n, unsigned char ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || values == nullptr) return kNull;
    if (n < KALIX_DIAG_BYTES) return kRefused;
    return code(m->getDiag(ch, values, static_cast<unsigned char>(n > 255 ? 255 : n)));
}

// ---- TTL ------------------------------------------------------------------------

int ZelTtlModuleSetCountingDirection(ZelModuleHandle h, unsigned char direction, unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setCountingDirection(direction, ch));
}

int ZelTtlModuleGetCounts(ZelModuleHandle h, unsigned long* counts, unsigned short n, COUNT_REQUEST_OPTION option) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || counts == nullptr) return kNull;
    return code(m->getCounts(counts, n, option));
}

int ZelTtlModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n, COUNT_REQUEST_OPTION option) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || positions == nullptr) return kNull;
    return code(m->getPositions(positions, n, option));
}

int ZelTtlModuleSetLineCount(ZelModuleHandle h, unsigned long lines, TTL_INTERPOLATION interpolation,
                             unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setLineCount(lines, interpolation, ch));
}

int ZelTtlModuleGetLineCount(ZelModuleHandle h, unsigned long* lines, TTL_INTERPOLATION* interpolation,
                             unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || lines == nullptr || interpolation == nullptr) return kNull;
    if (m->getLineCount(lines, interpolation, ch)) return 0;
    *lines = 0;
    *interpolation = TTL_INTERPOLATION_1;
    return kRefused;
}

int ZelTtlModuleSetSignalPeriod(ZelModuleHandle h, double period, TTL_INTERPOLATION interpolation,
                                unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setSignalPeriod(period, interpolation, ch));
}

int ZelTtlModuleGetSignalPeriod(ZelModuleHandle h, double* period, TTL_INTERPOLATION* interpolation,
                                unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || period == nullptr || interpolation == nullptr) return kNull;
    if (m->getSignalPeriod(period, interpolation, ch)) return 0;
    *period = 0.0;
    *interpolation = TTL_INTERPOLATION_1;
    return kRefused;
}

int ZelTtlModuleStartReferencing(ZelModuleHandle h, unsigned char ch, REFERENCE_MARK_ENUM mark, unsigned short value) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->initReferencing(ch, mark, value));
}

int ZelTtlModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch, bool* complete) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || complete == nullptr) return kNull;
    return code(m->isReferencingComplete(ch, complete));
}

int ZelTtlModuleAcknowledgeReferencing(ZelModuleHandle h, unsigned char ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->acknowledgeReferencing(ch));
}

int ZelTtlModuleGetReferencingState(ZelModuleHandle h, unsigned char ch, REF_MARK_STATE* state) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    return code(m->getReferencingState(ch, state));
}

int ZelTtlModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence, unsigned char channel) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setChannelPresence(presence, channel));
}

int ZelTtlModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence, unsigned char n) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || presence == nullptr) return kNull;
    return code(m->getChannelPresence(presence, n));
}

int ZelTtlModuleGetFpgaRevision(ZelModuleHandle h, unsigned short* revision) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->getFpgaRevision(revision));
}

// ---- LVDT ---------------------------------------------------------------------

int ZelLvdtModuleSetUom(ZelModuleHandle h, LVDT_UOM uom, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setUom(uom, ch));
}

int ZelLvdtModuleGetUom(ZelModuleHandle h, LVDT_UOM* uom, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || uom == nullptr) return kNull;
    return gotOr(m->getUom(uom, ch), uom, LVDT_UOM_NONE);
}

int ZelLvdtModuleSetResolution(ZelModuleHandle h, double resolution, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setResolution(ch, resolution));
}

int ZelLvdtModuleGetResolution(ZelModuleHandle h, double* resolution, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || resolution == nullptr) return kNull;
    return code(m->getResolution(ch, resolution));
}

int ZelLvdtModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n, COUNT_REQUEST_OPTION option) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || positions == nullptr) return kNull;
    return code(m->getPositions(positions, n, option));
}

int ZelLvdtModuleGetExcitationValues(ZelModuleHandle h, double* volts, double* kilohertz) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || volts == nullptr || kilohertz == nullptr) return kNull;
    return code(m->getExcitationValues(volts, kilohertz));
}

int ZelLvdtModuleSetExcitationVoltage(ZelModuleHandle h, double volts) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setExcitationVoltage(volts));
}

int ZelLvdtModuleSetExcitationFrequency(ZelModuleHandle h, double kilohertz) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setExcitationFrequency(kilohertz));
}

int ZelLvdtModuleGetVoltage(ZelModuleHandle h, unsigned short ch, double* voltage, long* raw) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || voltage == nullptr || raw == nullptr) return kNull;
    return code(m->getVoltage(ch, voltage, raw));
}

int ZelLvdtModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence, unsigned char channel) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setChannelPresence(presence, channel));
}

int ZelLvdtModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence, unsigned char n) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || presence == nullptr) return kNull;
    return code(m->getChannelPresence(presence, n));
}

int ZelLvdtModuleSetDiagnosticsEnabled(ZelModuleHandle h, LVDT_UPDATE_CHOICES choice) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setDiagnosticsEnabled(choice));
}

int ZelLvdtModuleGetSensorGain(ZelModuleHandle h, unsigned short ch, unsigned char* gain) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || gain == nullptr) return kNull;
    return code(m->getSensorGain(ch, gain));
}

int ZelLvdtModuleSetSensorGain(ZelModuleHandle h, unsigned short ch, unsigned char gain) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setSensorGain(ch, gain));
}

int ZelLvdtModuleTeachSensorGain(ZelModuleHandle h, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->teachSensorGain(ch));
}

int ZelLvdtModuleGetTeachSensorGainFinished(ZelModuleHandle h, unsigned short ch, unsigned short* finished) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || finished == nullptr) return kNull;
    return code(m->getTeachSensorGainFinished(ch, finished));
}

int ZelLvdtGetFpgaRevision(ZelModuleHandle h, unsigned short* revision) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || revision == nullptr) return kNull;
    return code(m->getFpgaRevision(revision));
}

int ZelLvdtModuleSetOversampling(ZelModuleHandle h, LVDT_OVERSAMPLING_CHOICES choice) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOversampling(choice));
}

// ---- Analog -------------------------------------------------------------------

#define ZEL_CAPI_ANALOG_READ(Name, operation)                                                    \
    int Name(ZelModuleHandle h, double* values, unsigned short n, COUNT_REQUEST_OPTION option) { \
        ZelAnalogModule* m = as<ZelAnalogModule>(h);                                             \
        if (m == nullptr || values == nullptr) return kNull;                                     \
        return code(m->operation(values, n, option));                                            \
    }
ZEL_CAPI_ANALOG_READ(ZelAnalogModuleGetVoltage, getVoltage)
ZEL_CAPI_ANALOG_READ(ZelAnalogModuleGetCurrent, getCurrent)
ZEL_CAPI_ANALOG_READ(ZelAnalogModuleGetValues, getValues)
ZEL_CAPI_ANALOG_READ(ZelAnalogModuleGetScaledValues, getScaledValues)
#undef ZEL_CAPI_ANALOG_READ

int ZelAnalogModuleSetScaling(ZelModuleHandle h, unsigned short ch, double scaling) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setScaling(ch, scaling));
}

int ZelAnalogModuleGetScaling(ZelModuleHandle h, unsigned short ch, double* scaling) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || scaling == nullptr) return kNull;
    return gotOr(m->getScaling(ch, scaling), scaling, 0.0);
}

int ZelAnalogModuleGetDiagVoltages(ZelModuleHandle h, double* values, unsigned short n) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || values == nullptr) return kNull;
    return code(m->getDiagVoltages(values, n));
}

int ZelAnalogModuleSetNumSamples(ZelModuleHandle h, unsigned char channel, unsigned char samples) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setNumSamples(channel, samples));
}

int ZelAnalogModuleSetResolution(ZelModuleHandle h, unsigned short ch, double value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setResolution(ch, value));
}

int ZelAnalogModuleSetOffset(ZelModuleHandle h, unsigned short ch, double value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOffset(ch, value));
}

int ZelAnalogModuleGetResolution(ZelModuleHandle h, unsigned short ch, double* value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || value == nullptr) return kNull;
    return code(m->getResolution(ch, value));
}

int ZelAnalogModuleGetOffset(ZelModuleHandle h, unsigned short ch, double* value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || value == nullptr) return kNull;
    return code(m->getOffset(ch, value));
}

int ZelAnalogModuleComputeResolutionAndOffset(ZelModuleHandle h, unsigned short ch, double* resolution,
                                              double* offset, double scaledHigh, double scaledLow,
                                              double readingHigh, double readingLow) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->computeResolutionAndOffset(ch, resolution, offset, scaledHigh, scaledLow, readingHigh,
                                              readingLow));
}

// ---- I/O and pneumatic ----------------------------------------------------------

int ZelIoModuleSetOutputs(ZelModuleHandle h, unsigned long outputs) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr) return kNull;
    unsigned char bytes[4];
    CommonUtils::uLongToUChars(bytes, outputs);
    return code(m->setOutputs(bytes));
}

int ZelIoModuleSetOutput(ZelModuleHandle h, unsigned char output, unsigned short value) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOutput(output, value != 0));
}

int ZelIoModuleGetOutputs(ZelModuleHandle h, unsigned char* outputs) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr || outputs == nullptr) return kNull;
    return code(m->getOutputs(outputs));
}

int ZelIoModuleGetInputs(ZelModuleHandle h, unsigned char* inputs) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr || inputs == nullptr) return kNull;
    return code(m->getInputs(inputs));
}

int ZelIoModuleGetIO(ZelModuleHandle h, unsigned char* first, unsigned char* second, COUNT_REQUEST_OPTION option) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr || first == nullptr || second == nullptr) return kNull;
    return code(m->getIO(first, second, option));
}

int ZelPneumaticModuleSetOutput(ZelModuleHandle h, unsigned short value) {
    ZelPneumaticModule* m = as<ZelPneumaticModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOutput(value != 0));
}

int ZelPneumaticModuleGetOutput(ZelModuleHandle h, unsigned char* output, COUNT_REQUEST_OPTION option) {
    ZelPneumaticModule* m = as<ZelPneumaticModule>(h);
    if (m == nullptr || output == nullptr) return kNull;
    return code(m->getOutput(output, option));
}

}  // extern "C"

// Names of the shared implementations under the other prefixes.
#define ZEL_CAPI_ENCODER_ALIASES(Kind)                                            \
    ZEL_CAPI_ALIAS(Kind##GetEncoderType, Zel1VppModuleGetEncoderType)             \
    ZEL_CAPI_ALIAS(Kind##GetUom, Zel1VppModuleGetUom)                             \
    ZEL_CAPI_ALIAS(Kind##SetErrorCompensation, Zel1VppModuleSetErrorCompensation) \
    ZEL_CAPI_ALIAS(Kind##GetErrorCompensation, Zel1VppModuleGetErrorCompensation) \
    ZEL_CAPI_ALIAS(Kind##GetResolution, Zel1VppModuleGetResolution)               \
    ZEL_CAPI_ALIAS(Kind##SetScaling, Zel1VppModuleSetScaling)                     \
    ZEL_CAPI_ALIAS(Kind##GetScaling, Zel1VppModuleGetScaling)                     \
    ZEL_CAPI_ALIAS(Kind##GetCountingDirection, Zel1VppModuleGetCountingDirection) \
    ZEL_CAPI_ALIAS(Kind##EnableErrorChecking, Zel1VppModuleEnableErrorChecking)   \
    ZEL_CAPI_ALIAS(Kind##ClearErrors, Zel1VppModuleClearErrors)                   \
    ZEL_CAPI_ALIAS(Kind##SetLatch, Zel1VppModuleSetLatch)                         \
    ZEL_CAPI_ALIAS(Kind##GetLatches, Zel1VppModuleGetLatches)                     \
    ZEL_CAPI_ALIAS(Kind##SetDeviceOffset, Zel1VppModuleSetDeviceOffset)           \
    ZEL_CAPI_ALIAS(Kind##GetDeviceOffset, Zel1VppModuleGetDeviceOffset)
ZEL_CAPI_ENCODER_ALIASES(ZelKalixModule)
ZEL_CAPI_ENCODER_ALIASES(ZelTtlModule)
#undef ZEL_CAPI_ENCODER_ALIASES

ZEL_CAPI_ALIAS(ZelTtlModuleSetEncoderType, Zel1VppModuleSetEncoderType)
ZEL_CAPI_ALIAS(ZelTtlModuleSetUom, Zel1VppModuleSetUom)
ZEL_CAPI_ALIAS(ZelLvdtModuleSetScaling, Zel1VppModuleSetScaling)
ZEL_CAPI_ALIAS(ZelLvdtModuleGetScaling, Zel1VppModuleGetScaling)
ZEL_CAPI_ALIAS(ZelKalixModuleSetLatchDebouncing, Zel1VppModuleSetLatchDebouncing)
ZEL_CAPI_ALIAS(ZelKalixModuleGetChannelStatus, Zel1VppModuleGetChannelStatus)
ZEL_CAPI_ALIAS(ZelTtlModuleGetChannelErrorState, Zel1VppModuleGetChannelErrorState)
ZEL_CAPI_ALIAS(ZelKalixModuleSetRotaryFormat, Zel1VppModuleSetRotaryFormat)
ZEL_CAPI_ALIAS(ZelKalixModuleGetRotaryFormat, Zel1VppModuleGetRotaryFormat)
ZEL_CAPI_ALIAS(ZelAnalogModuleSetDeviceOffset, Zel1VppModuleSetDeviceOffset)
ZEL_CAPI_ALIAS(ZelAnalogModuleGetDeviceOffset, Zel1VppModuleGetDeviceOffset)
ZEL_CAPI_ALIAS(ZelLvdtModuleSetDeviceOffset, Zel1VppModuleSetDeviceOffset)
ZEL_CAPI_ALIAS(ZelLvdtModuleGetDeviceOffset, Zel1VppModuleGetDeviceOffset)
