// ZelIoModule and ZelPneumaticModule: output switching and state reads.
#include "modules/zel_io_module.h"

#include "foundation/result_helpers.h"

using zelbus::params;

namespace {

constexpr unsigned char kOutputs = 4;
constexpr unsigned char kValveOutput = 4;
constexpr unsigned char kMask = 0x0F;
constexpr unsigned char kValveBit = 0x08;

}  // namespace

// ---- ZelIoModule ------------------------------------------------------------

ZelIoModule::ZelIoModule() = default;
ZelIoModule::~ZelIoModule() = default;

ZelResults ZelIoModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelIoModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    setModuleDataInitialized(1);
    setNumChannels(8);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelIoModule::switchOutput(unsigned char output, bool on) {
    ZelbusResponse response{};
    return getUdpData(ZelRequest::setOutputs(output, on ? 1 : 0), &response);
}

ZelResults ZelIoModule::readState(unsigned char option, ZelbusResponse* response) {
    return getUdpData(ZelRequest::counts(option), response);
}

ZelResults ZelIoModule::setOutputs(const unsigned char* outputs) {
    constexpr char kMethod[] = "ZelIoModule::setOutputs";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (outputs == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    for (unsigned char n = 1; n <= kOutputs; ++n) {
        ZelResults r = switchOutput(n, (*outputs >> (n - 1) & 1) != 0);
        if (!r.ok()) return r;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelIoModule::setOutput(unsigned char output, bool on) {
    constexpr char kMethod[] = "ZelIoModule::setOutput";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (output == 0 || output > kOutputs) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    ZelResults r = switchOutput(output, on);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

void ZelIoModule::statesFromAnswer(ZelbusResponse& response, unsigned char* inputs,
                                   unsigned char* outputs) {
    *inputs = params(response)[0] & kMask;
    *outputs = params(response)[1] & kMask;
}

ZelResults ZelIoModule::getOutputs(unsigned char* outputs) {
    constexpr char kMethod[] = "ZelIoModule::getOutputs";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (outputs == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readState(0, &response);
    if (!r.ok()) return r;
    unsigned char inputs = 0;
    statesFromAnswer(response, &inputs, outputs);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelIoModule::getInputs(unsigned char* inputs) {
    constexpr char kMethod[] = "ZelIoModule::getInputs";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (inputs == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readState(0, &response);
    if (!r.ok()) return r;
    unsigned char outputs = 0;
    statesFromAnswer(response, inputs, &outputs);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelIoModule::getIO(unsigned char* inputs, unsigned char* outputs,
                              COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelIoModule::getIO";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (inputs == nullptr || outputs == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = readState(static_cast<unsigned char>(option), &response);
    if (!r.ok()) return r;
    statesFromAnswer(response, inputs, outputs);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

// ---- ZelPneumaticModule -----------------------------------------------------

ZelPneumaticModule::ZelPneumaticModule() = default;
ZelPneumaticModule::~ZelPneumaticModule() = default;

ZelResults ZelPneumaticModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelPneumaticModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = ZelModule::initializeModule(ip, connectOption);
    if (!r.ok()) return r;
    setModuleDataInitialized(1);
    setNumChannels(1);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelPneumaticModule::getOutput(unsigned char* state, COUNT_REQUEST_OPTION option) {
    constexpr char kMethod[] = "ZelPneumaticModule::getOutput";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (state == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::counts(static_cast<unsigned char>(option)), &response);
    if (!r.ok()) return r;
    *state = (params(response)[0] & kValveBit) != 0 ? 1 : 0;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelPneumaticModule::setOutput(bool on) {
    constexpr char kMethod[] = "ZelPneumaticModule::setOutput";
    if (!isCommInitialized()) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::setOutputs(kValveOutput, on ? 1 : 0), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
