// The flat C interface: the families of the module kinds. A kind's own
// functions take a handle of that kind (32 for another); the encoder-channel
// functions take any handle whose class derives from ZelDeviceModule.
#include <cstring>

#include "capi/capi_support.h"

using namespace zel::capi;

extern "C" {

// ---- Encoder channels ---------------------------------------------------------

int ZEL_CALL Zel1VppModuleGetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM* type,
                                         unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || type == nullptr) return kNull;
    return gotOr(m->getEncoderType(type, ch), type, ENCODER_TYPE_NONE);
}

int ZEL_CALL Zel1VppModuleGetUom(ZelModuleHandle h, UOM* uom, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || uom == nullptr) return kNull;
    return gotOr(m->getUom(uom, ch), uom, UOM_NONE);
}

int ZEL_CALL Zel1VppModuleSetErrorCompensation(ZelModuleHandle h, double value, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setErrorCompensation(value, ch));
}

int ZEL_CALL Zel1VppModuleGetErrorCompensation(ZelModuleHandle h, double* value,
                                               unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || value == nullptr) return kNull;
    return gotOr(m->getErrorCompensation(value, ch), value, 0.0);
}

int ZEL_CALL Zel1VppModuleGetResolution(ZelModuleHandle h, double* resolution, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || resolution == nullptr) return kNull;
    return gotOr(m->getResolution(resolution, ch), resolution, 0.0);
}

int ZEL_CALL Zel1VppModuleSetScaling(ZelModuleHandle h, double scaling, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setScaling(scaling, ch));
}

int ZEL_CALL Zel1VppModuleGetScaling(ZelModuleHandle h, double* scaling, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || scaling == nullptr) return kNull;
    return gotOr(m->getScaling(scaling, ch), scaling, 0.0);
}

int ZEL_CALL Zel1VppModuleGetCountingDirection(ZelModuleHandle h, bool* direction,
                                               unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || direction == nullptr) return kNull;
    return accepted(m->getCountingDirection(direction, ch));
}

int ZEL_CALL Zel1VppModuleEnableErrorChecking(ZelModuleHandle h, bool enable, unsigned short ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return code(m->enableErrorChecking(enable, ch));
}

int ZEL_CALL Zel1VppModuleClearErrors(ZelModuleHandle h) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    ZelResults r = m->clearAllErrors();
    const unsigned short channels = m->getNumChannels();
    for (unsigned short ch = 0; r.ok() && ch < channels; ++ch) r = m->clearErrorsAndWarnings(ch);
    return code(r);
}

int ZEL_CALL Zel1VppModuleSetLatch(ZelModuleHandle h, LATCH_OPTIONS option, LATCH_CHOICE choice) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setLatch(option, choice));
}

int ZEL_CALL Zel1VppModuleGetLatches(ZelModuleHandle h, unsigned char* latches, unsigned short n) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || latches == nullptr) return kNull;
    return code(m->getLatch(latches, n));
}

int ZEL_CALL Zel1VppModuleSetDeviceOffset(ZelModuleHandle h, unsigned short ch, double offset) {
    if (h == nullptr) return kNull;
    module(h)->setDeviceOffset(ch, offset);
    return 0;
}

int ZEL_CALL Zel1VppModuleGetDeviceOffset(ZelModuleHandle h, unsigned short ch, double* offset) {
    if (h == nullptr || offset == nullptr) return kNull;
    *offset = module(h)->getDeviceOffset(ch);
    return 0;
}

int ZEL_CALL Zel1VppModuleSetEncoderType(ZelModuleHandle h, ENCODER_TYPES_ENUM type,
                                         unsigned short ch) {
    if (Zel1VppModule* vpp = as<Zel1VppModule>(h)) return accepted(vpp->setEncoderType(type, ch));
    if (ZelTtlModule* ttl = as<ZelTtlModule>(h)) return accepted(ttl->setEncoderType(type, ch));
    return kNull;
}

int ZEL_CALL Zel1VppModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch) {
    if (Zel1VppModule* vpp = as<Zel1VppModule>(h)) return accepted(vpp->setUom(uom, ch));
    if (ZelTtlModule* ttl = as<ZelTtlModule>(h)) return accepted(ttl->setUom(uom, ch));
    return kNull;
}

int ZEL_CALL Zel1VppModuleSetLatchDebouncing(ZelModuleHandle h, unsigned char channel,
                                             unsigned short debounceTime) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setLatchDebouncing(channel, debounceTime));
}

int ZEL_CALL Zel1VppModuleGetChannelStatus(ZelModuleHandle h, unsigned char* status,
                                           unsigned char ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || status == nullptr) return kNull;
    unsigned char s = 0;
    ZelResults r = m->getChannelStatus(ch, &s);
    if (r.ok()) *status = s;
    return code(r);
}

int ZEL_CALL Zel1VppModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state,
                                               unsigned char ch) {
    ZelDeviceModule* m = as<ZelDeviceModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    unsigned char s = 0;
    ZelResults r = m->getChannelStatus(ch, &s);
    *state = r.ok() && s != 0 ? 1 : 0;
    return code(r);
}

int ZEL_CALL Zel1VppModuleSetRotaryFormat(ZelModuleHandle h, unsigned short ch,
                                          ROTARY_FORMAT format) {
    if (h == nullptr) return kNull;
    module(h)->setRotaryFormat(ch, format);
    return 0;
}

int ZEL_CALL Zel1VppModuleGetRotaryFormat(ZelModuleHandle h, unsigned short ch,
                                          ROTARY_FORMAT* format) {
    if (h == nullptr || format == nullptr) return kNull;
    *format = module(h)->getRotaryFormat(ch);
    return 0;
}

int ZEL_CALL ZelTtlModuleSetRotaryFormat(ZelModuleHandle h, const unsigned short* ch,
                                         const ROTARY_FORMAT* format) {
    if (h == nullptr) return kNull;
    if (ch != nullptr && format != nullptr) module(h)->setRotaryFormat(*ch, *format);
    return 0;
}

int ZEL_CALL ZelTtlModuleGetRotaryFormat(ZelModuleHandle h, const unsigned short* ch,
                                         ROTARY_FORMAT* format) {
    if (h == nullptr || format == nullptr) return kNull;
    *format = module(h)->getRotaryFormat(ch == nullptr ? ZEL_CHANNEL_CAPACITY : *ch);
    return 0;
}

// ---- 1 Vpp --------------------------------------------------------------------

int ZEL_CALL Zel1VppModuleSetCountingDirection(ZelModuleHandle h, bool direction,
                                               unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setCountingDirection(direction, ch));
}

int ZEL_CALL Zel1VppModuleGetCounts(ZelModuleHandle h, unsigned long* counts, unsigned short n,
                                    COUNT_REQUEST_OPTION option) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || counts == nullptr) return kNull;
    return code(m->getCounts(counts, n, option));
}

int ZEL_CALL Zel1VppModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n,
                                       COUNT_REQUEST_OPTION option) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || positions == nullptr) return kNull;
    return code(m->getPositions(positions, n, option));
}

int ZEL_CALL Zel1VppModuleEnableAnalogDiag(ZelModuleHandle h, bool enable, unsigned char ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->enableAnalogDiag(ch, enable));
}

int ZEL_CALL Zel1VppModuleGetAnalogDiag(ZelModuleHandle h, double* values, short n,
                                        unsigned char ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || values == nullptr) return kNull;
    if (n < 2) return kRefused;
    return code(m->getDiag(ch, values, static_cast<unsigned char>(n > 255 ? 255 : n)));
}

int ZEL_CALL Zel1VppModuleSetLineCount(ZelModuleHandle h, unsigned long lines, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setLineCount(lines, ch));
}

int ZEL_CALL Zel1VppModuleGetLineCount(ZelModuleHandle h, unsigned long* lines, unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || lines == nullptr) return kNull;
    return gotOr(m->getLineCount(lines, ch), lines, 0UL);
}

int ZEL_CALL Zel1VppModuleSetSignalPeriod(ZelModuleHandle h, unsigned short period,
                                          unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setSignalPeriod(period, ch));
}

int ZEL_CALL Zel1VppModuleGetSignalPeriod(ZelModuleHandle h, unsigned short* period,
                                          unsigned short ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || period == nullptr) return kNull;
    return gotOr(m->getSignalPeriod(period, ch), period, static_cast<unsigned short>(0));
}

int ZEL_CALL Zel1VppModuleStartReferencing(ZelModuleHandle h, unsigned char ch,
                                           REFERENCE_MARK_ENUM mark, unsigned short value) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->initAbsolutePosition(ch, mark, value));
}

int ZEL_CALL Zel1VppModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch,
                                                 bool* complete) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || complete == nullptr) return kNull;
    return code(m->isReferencingComplete(ch, complete));
}

int ZEL_CALL Zel1VppModuleAcknowledgeAbsolutePosition(ZelModuleHandle h, unsigned char ch) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->acknowledgeAbsolutePosition(ch));
}

int ZEL_CALL Zel1VppModuleGetReferencingState(ZelModuleHandle h, unsigned char ch,
                                              REF_MARK_STATE* state) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    return code(m->getReferencingState(ch, state));
}

int ZEL_CALL Zel1VppGetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || type == nullptr) return kNull;
    return code(m->getSignalType(ch, type));
}

int ZEL_CALL Zel1VppSetSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE type) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setSignalType(ch, type));
}

int ZEL_CALL Zel1VppDetectSignalType(ZelModuleHandle h, unsigned short ch, SIGNAL_TYPE* type) {
    Zel1VppModule* m = as<Zel1VppModule>(h);
    if (m == nullptr || type == nullptr) return kNull;
    return code(m->detectSignalType(ch, type));
}

// ---- Kalix --------------------------------------------------------------------

int ZEL_CALL ZelKalixModuleGetChannelPresence(ZelModuleHandle h, unsigned char* present,
                                              unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || present == nullptr) return kNull;
    unsigned char p = 0;
    ZelResults r = m->getChannelPresence(&p, ch);
    if (r.ok()) *present = p == 1 ? 1 : 0;
    return code(r);
}

int ZEL_CALL ZelKalixModuleSetUom(ZelModuleHandle h, UOM uom, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setUom(uom, ch));
}

int ZEL_CALL ZelKalixModuleGetDistinguishableRevolutions(ZelModuleHandle h, short* revolutions,
                                                         unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || revolutions == nullptr) return kNull;
    return accepted(
        m->getDistinguishableRevolutions(revolutions, ch));  // 1 written beyond channel 7
}

int ZEL_CALL ZelKalixModuleGetCounts(ZelModuleHandle h, unsigned long* counts, long* values,
                                     unsigned short n, COUNT_REQUEST_OPTION option) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || counts == nullptr) return kNull;
    return code(m->getCounts(counts, values, n, option));
}

int ZEL_CALL ZelKalixModuleGetPositions(ZelModuleHandle h, double* positions, long* values,
                                        unsigned short n, COUNT_REQUEST_OPTION option) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || positions == nullptr || values == nullptr) return kNull;
    return code(m->getPositions(positions, values, n, option));
}

}  // extern "C"

namespace {

// getErrors or getWarnings into a local array; 1 when any flag is set.
template <unsigned char Count>
int anyFlagSet(ZelModuleHandle h, unsigned char* state, unsigned short ch,
               ZelResults (ZelKalixModule::*read)(unsigned short, KALIX_ERROR_RESULT*,
                                                  unsigned char)) {
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

int ZEL_CALL ZelKalixModuleGetKalixErrors(ZelModuleHandle h, KALIX_ERROR_RESULT* results, short n,
                                          unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || results == nullptr) return kNull;
    if (n < KALIX_ERROR_FLAGS) return kRefused;
    return code(m->getErrors(ch, results, KALIX_ERROR_FLAGS));
}

int ZEL_CALL ZelKalixModuleGetKalixWarnings(ZelModuleHandle h, KALIX_ERROR_RESULT* results, short n,
                                            unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || results == nullptr) return kNull;
    if (n < KALIX_WARNING_FLAGS) return kRefused;
    return code(m->getWarnings(ch, results, KALIX_WARNING_FLAGS));
}

int ZEL_CALL ZelKalixModuleGetChannelErrorState(ZelModuleHandle h, unsigned char* state,
                                                unsigned short ch) {
    return anyFlagSet<KALIX_ERROR_FLAGS>(h, state, ch, &ZelKalixModule::getErrors);
}

int ZEL_CALL ZelKalixModuleGetChannelWarningState(ZelModuleHandle h, unsigned char* state,
                                                  unsigned short ch) {
    return anyFlagSet<KALIX_WARNING_FLAGS>(h, state, ch, &ZelKalixModule::getWarnings);
}

int ZEL_CALL ZelKalixModuleGetEncoderName(ZelModuleHandle h, char* text, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || text == nullptr) return kNull;
    return accepted(m->getEncoderName(text, ch));
}

int ZEL_CALL ZelKalixModuleGetEncoderId(ZelModuleHandle h, char* text, unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || text == nullptr) return kNull;
    return accepted(m->getEncoderId(text, ch));
}

int ZEL_CALL ZelKalixModuleGetEncoderSerialNumber(ZelModuleHandle h, char* text,
                                                  unsigned short ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || text == nullptr) return kNull;
    return accepted(m->getSerialNumber(text, ch));
}

int ZEL_CALL ZelKalixModuleGetDiags(ZelModuleHandle h, unsigned char* values, short n,
                                    unsigned char ch) {
    ZelKalixModule* m = as<ZelKalixModule>(h);
    if (m == nullptr || values == nullptr) return kNull;
    if (n < KALIX_DIAG_BYTES) return kRefused;
    return code(m->getDiag(ch, values, static_cast<unsigned char>(n > 255 ? 255 : n)));
}

// ---- TTL ------------------------------------------------------------------------

int ZEL_CALL ZelTtlModuleSetCountingDirection(ZelModuleHandle h, unsigned char direction,
                                              unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setCountingDirection(direction, ch));
}

int ZEL_CALL ZelTtlModuleGetCounts(ZelModuleHandle h, unsigned long* counts, unsigned short n,
                                   COUNT_REQUEST_OPTION option) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || counts == nullptr) return kNull;
    return code(m->getCounts(counts, n, option));
}

int ZEL_CALL ZelTtlModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n,
                                      COUNT_REQUEST_OPTION option) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || positions == nullptr) return kNull;
    return code(m->getPositions(positions, n, option));
}

int ZEL_CALL ZelTtlModuleSetLineCount(ZelModuleHandle h, unsigned long lines,
                                      TTL_INTERPOLATION interpolation, unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setLineCount(lines, interpolation, ch));
}

int ZEL_CALL ZelTtlModuleGetLineCount(ZelModuleHandle h, unsigned long* lines,
                                      TTL_INTERPOLATION* interpolation, unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || lines == nullptr || interpolation == nullptr) return kNull;
    if (m->getLineCount(lines, interpolation, ch)) return 0;
    *lines = 0;
    *interpolation = TTL_INTERPOLATION_1;
    return kRefused;
}

int ZEL_CALL ZelTtlModuleSetSignalPeriod(ZelModuleHandle h, double period,
                                         TTL_INTERPOLATION interpolation, unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setSignalPeriod(period, interpolation, ch));
}

int ZEL_CALL ZelTtlModuleGetSignalPeriod(ZelModuleHandle h, double* period,
                                         TTL_INTERPOLATION* interpolation, unsigned short ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || period == nullptr || interpolation == nullptr) return kNull;
    if (m->getSignalPeriod(period, interpolation, ch)) return 0;
    *period = 0.0;
    *interpolation = TTL_INTERPOLATION_1;
    return kRefused;
}

int ZEL_CALL ZelTtlModuleStartReferencing(ZelModuleHandle h, unsigned char ch,
                                          REFERENCE_MARK_ENUM mark, unsigned short value) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->initReferencing(ch, mark, value));
}

int ZEL_CALL ZelTtlModuleGetReferencingComplete(ZelModuleHandle h, unsigned char ch,
                                                bool* complete) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || complete == nullptr) return kNull;
    return code(m->isReferencingComplete(ch, complete));
}

int ZEL_CALL ZelTtlModuleAcknowledgeReferencing(ZelModuleHandle h, unsigned char ch) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->acknowledgeReferencing(ch));
}

int ZEL_CALL ZelTtlModuleGetReferencingState(ZelModuleHandle h, unsigned char ch,
                                             REF_MARK_STATE* state) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || state == nullptr) return kNull;
    return code(m->getReferencingState(ch, state));
}

int ZEL_CALL ZelTtlModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence,
                                            unsigned char channel) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setChannelPresence(presence, channel));
}

int ZEL_CALL ZelTtlModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence,
                                            unsigned char n) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr || presence == nullptr) return kNull;
    return code(m->getChannelPresence(presence, n));
}

int ZEL_CALL ZelTtlModuleGetFpgaRevision(ZelModuleHandle h, unsigned short* revision) {
    ZelTtlModule* m = as<ZelTtlModule>(h);
    if (m == nullptr) return kNull;
    return code(m->getFpgaRevision(revision));
}

// ---- LVDT ---------------------------------------------------------------------

int ZEL_CALL ZelLvdtModuleSetUom(ZelModuleHandle h, LVDT_UOM uom, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setUom(uom, ch));
}

int ZEL_CALL ZelLvdtModuleGetUom(ZelModuleHandle h, LVDT_UOM* uom, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || uom == nullptr) return kNull;
    return gotOr(m->getUom(uom, ch), uom, LVDT_UOM_NONE);
}

int ZEL_CALL ZelLvdtModuleSetResolution(ZelModuleHandle h, double resolution, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setResolution(ch, resolution));
}

int ZEL_CALL ZelLvdtModuleGetResolution(ZelModuleHandle h, double* resolution, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || resolution == nullptr) return kNull;
    return code(m->getResolution(ch, resolution));
}

int ZEL_CALL ZelLvdtModuleGetPositions(ZelModuleHandle h, double* positions, unsigned short n,
                                       COUNT_REQUEST_OPTION option) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || positions == nullptr) return kNull;
    return code(m->getPositions(positions, n, option));
}

int ZEL_CALL ZelLvdtModuleGetExcitationValues(ZelModuleHandle h, double* volts, double* kilohertz) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || volts == nullptr || kilohertz == nullptr) return kNull;
    return code(m->getExcitationValues(volts, kilohertz));
}

int ZEL_CALL ZelLvdtModuleSetExcitationVoltage(ZelModuleHandle h, double volts) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setExcitationVoltage(volts));
}

int ZEL_CALL ZelLvdtModuleSetExcitationFrequency(ZelModuleHandle h, double kilohertz) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setExcitationFrequency(kilohertz));
}

int ZEL_CALL ZelLvdtModuleGetVoltage(ZelModuleHandle h, unsigned short ch, double* voltage,
                                     long* raw) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || voltage == nullptr || raw == nullptr) return kNull;
    return code(m->getVoltage(ch, voltage, raw));
}

int ZEL_CALL ZelLvdtModuleSetChannelPresence(ZelModuleHandle h, unsigned char presence,
                                             unsigned char channel) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setChannelPresence(presence, channel));
}

int ZEL_CALL ZelLvdtModuleGetChannelPresence(ZelModuleHandle h, unsigned char* presence,
                                             unsigned char n) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || presence == nullptr) return kNull;
    return code(m->getChannelPresence(presence, n));
}

int ZEL_CALL ZelLvdtModuleSetDiagnosticsEnabled(ZelModuleHandle h, LVDT_UPDATE_CHOICES choice) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setDiagnosticsEnabled(choice));
}

int ZEL_CALL ZelLvdtModuleGetSensorGain(ZelModuleHandle h, unsigned short ch, unsigned char* gain) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || gain == nullptr) return kNull;
    return code(m->getSensorGain(ch, gain));
}

int ZEL_CALL ZelLvdtModuleSetSensorGain(ZelModuleHandle h, unsigned short ch, unsigned char gain) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setSensorGain(ch, gain));
}

int ZEL_CALL ZelLvdtModuleTeachSensorGain(ZelModuleHandle h, unsigned short ch) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr) return kNull;
    return code(m->teachSensorGain(ch));
}

int ZEL_CALL ZelLvdtModuleGetTeachSensorGainFinished(ZelModuleHandle h, unsigned short ch,
                                                     unsigned short* finished) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || finished == nullptr) return kNull;
    return code(m->getTeachSensorGainFinished(ch, finished));
}

int ZEL_CALL ZelLvdtGetFpgaRevision(ZelModuleHandle h, unsigned short* revision) {
    ZelLvdtModule* m = as<ZelLvdtModule>(h);
    if (m == nullptr || revision == nullptr) return kNull;
    return code(m->getFpgaRevision(revision));
}

int ZEL_CALL ZelLvdtModuleSetOversampling(ZelModuleHandle h, LVDT_OVERSAMPLING_CHOICES choice) {
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

int ZEL_CALL ZelAnalogModuleSetScaling(ZelModuleHandle h, unsigned short ch, double scaling) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return accepted(m->setScaling(ch, scaling));
}

int ZEL_CALL ZelAnalogModuleGetScaling(ZelModuleHandle h, unsigned short ch, double* scaling) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || scaling == nullptr) return kNull;
    return gotOr(m->getScaling(ch, scaling), scaling, 0.0);
}

int ZEL_CALL ZelAnalogModuleGetDiagVoltages(ZelModuleHandle h, double* values, unsigned short n) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || values == nullptr) return kNull;
    return code(m->getDiagVoltages(values, n));
}

int ZEL_CALL ZelAnalogModuleSetNumSamples(ZelModuleHandle h, unsigned char channel,
                                          unsigned char samples) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setNumSamples(channel, samples));
}

int ZEL_CALL ZelAnalogModuleSetResolution(ZelModuleHandle h, unsigned short ch, double value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setResolution(ch, value));
}

int ZEL_CALL ZelAnalogModuleSetOffset(ZelModuleHandle h, unsigned short ch, double value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOffset(ch, value));
}

int ZEL_CALL ZelAnalogModuleGetResolution(ZelModuleHandle h, unsigned short ch, double* value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || value == nullptr) return kNull;
    return code(m->getResolution(ch, value));
}

int ZEL_CALL ZelAnalogModuleGetOffset(ZelModuleHandle h, unsigned short ch, double* value) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr || value == nullptr) return kNull;
    return code(m->getOffset(ch, value));
}

int ZEL_CALL ZelAnalogModuleComputeResolutionAndOffset(ZelModuleHandle h, unsigned short ch,
                                                       double* resolution, double* offset,
                                                       double scaledHigh, double scaledLow,
                                                       double readingHigh, double readingLow) {
    ZelAnalogModule* m = as<ZelAnalogModule>(h);
    if (m == nullptr) return kNull;
    return code(m->computeResolutionAndOffset(ch, resolution, offset, scaledHigh, scaledLow,
                                              readingHigh, readingLow));
}

// ---- I/O and pneumatic ----------------------------------------------------------

int ZEL_CALL ZelIoModuleSetOutputs(ZelModuleHandle h, unsigned long outputs) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr) return kNull;
    unsigned char bytes[4];
    CommonUtils::uLongToUChars(bytes, outputs);
    return code(m->setOutputs(bytes));
}

int ZEL_CALL ZelIoModuleSetOutput(ZelModuleHandle h, unsigned char output, unsigned short value) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOutput(output, value != 0));
}

int ZEL_CALL ZelIoModuleGetOutputs(ZelModuleHandle h, unsigned char* outputs) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr || outputs == nullptr) return kNull;
    return code(m->getOutputs(outputs));
}

int ZEL_CALL ZelIoModuleGetInputs(ZelModuleHandle h, unsigned char* inputs) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr || inputs == nullptr) return kNull;
    return code(m->getInputs(inputs));
}

int ZEL_CALL ZelIoModuleGetIO(ZelModuleHandle h, unsigned char* first, unsigned char* second,
                              COUNT_REQUEST_OPTION option) {
    ZelIoModule* m = as<ZelIoModule>(h);
    if (m == nullptr || first == nullptr || second == nullptr) return kNull;
    return code(m->getIO(first, second, option));
}

int ZEL_CALL ZelPneumaticModuleSetOutput(ZelModuleHandle h, unsigned short value) {
    ZelPneumaticModule* m = as<ZelPneumaticModule>(h);
    if (m == nullptr) return kNull;
    return code(m->setOutput(value != 0));
}

int ZEL_CALL ZelPneumaticModuleGetOutput(ZelModuleHandle h, unsigned char* output,
                                         COUNT_REQUEST_OPTION option) {
    ZelPneumaticModule* m = as<ZelPneumaticModule>(h);
    if (m == nullptr || output == nullptr) return kNull;
    return code(m->getOutput(output, option));
}

}  // extern "C"

ZEL_CAPI_KIND_ALIASES(ZEL_CAPI_ALIAS)
