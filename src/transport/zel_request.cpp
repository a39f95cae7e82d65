// ZelRequest: the builders of the request frames, one per command.
#include "transport/zel_request.h"

#include <cstring>

#include "foundation/common_utils.h"

namespace {

// Sub-operations of the asynchronous port command 13.
constexpr unsigned char kAsyncPortWrite = 0;
constexpr unsigned char kAsyncPortRead = 1;
// Sub-operations of the FRAM command 24.
constexpr unsigned char kFramRead = 0;
constexpr unsigned char kFramWrite = 1;
// Parameter bytes of the connect command 0.
constexpr std::size_t kConnectOptionAt = 8;
constexpr unsigned char kDiscoveryMark = 1;
constexpr std::size_t kDiscoveryPortAt = 4;
// Parameter bytes of the FRAM command ahead of a field's bytes.
constexpr unsigned kFramHead = 2;

}  // namespace

ZelRequest::ZelRequest(UdpCmdType command) : frame{}, outOfRange(false) {
    const zelbus::RequestShape shape = zelbus::requestShape(command);
    if (shape.count < 0) {
        refuse();
        return;
    }
    zelbus::writeHeader(frame, command, static_cast<unsigned char>(shape.count),
                        static_cast<unsigned char>(shape.length));
}

ZelRequest ZelRequest::withHeader(UdpCmdType command, unsigned char paramCount,
                                  unsigned char paramLength) {
    ZelRequest r(command);
    r.outOfRange = false;
    zelbus::writeHeader(r.frame, command, paramCount, paramLength);
    return r;
}

ZelRequest ZelRequest::withParams(UdpCmdType command, std::initializer_list<unsigned char> values) {
    ZelRequest r(command);
    r.put(0, values, static_cast<std::size_t>(r.paramLength()));
    return r;
}

void ZelRequest::put(std::size_t at, std::initializer_list<unsigned char> values,
                     std::size_t room) {
    if (values.size() > room) {
        refuse();
        return;
    }
    std::size_t i = at;
    for (unsigned char v : values) *param(i++) = v;
}

// ---- Connection and network settings ----------------------------------------

ZelRequest ZelRequest::connect(bool connectOption) {
    ZelRequest r(UDP_CMD_CONNECT);
    *r.param(kConnectOptionAt) = connectOption ? 1 : 0;
    return r;
}

ZelRequest ZelRequest::discovery(unsigned long hostAddress, unsigned short hostPort) {
    ZelRequest r(UDP_CMD_CONNECT);
    CommonUtils::uLongToUChars(r.param(0), hostAddress);
    CommonUtils::uLongToUChars(r.param(kDiscoveryPortAt), hostPort);
    // The mark takes the place of the address's lowest byte.
    *r.param(0) = kDiscoveryMark;
    return r;
}

ZelRequest ZelRequest::setIp(unsigned long address, unsigned long netmask) {
    ZelRequest r(UDP_CMD_SET_IP);
    CommonUtils::uLongToUChars(r.param(0), address);
    CommonUtils::uLongToUChars(r.param(zelbus::kLongBytes), netmask);
    return r;
}

ZelRequest ZelRequest::setDhcp(unsigned char dhcp) { return withParams(UDP_CMD_SET_DHCP, {dhcp}); }

ZelRequest ZelRequest::forceFirmwareReinstall() {
    return ZelRequest(UDP_CMD_FORCE_FIRMWARE_REINSTALL);
}

ZelRequest ZelRequest::readAsyncPort() { return withParams(UDP_CMD_ASYNC_PORT, {kAsyncPortRead}); }

ZelRequest ZelRequest::setAsyncPort(unsigned short port) {
    // The port goes big-endian.
    return withParams(UDP_CMD_ASYNC_PORT, {kAsyncPortWrite, static_cast<unsigned char>(port >> 8),
                                           static_cast<unsigned char>(port & 0xFF)});
}

ZelRequest ZelRequest::readFram(unsigned char field) {
    return withParams(UDP_CMD_FRAM, {kFramRead, field});
}

ZelRequest ZelRequest::writeFram(unsigned char field, const unsigned char* bytes, unsigned size) {
    ZelRequest r(UDP_CMD_FRAM);
    if (size > kMaxFramBytes || (bytes == nullptr && size > 0)) {
        r.refuse();
        return r;
    }
    zelbus::writeHeader(r.frame, UDP_CMD_FRAM, static_cast<unsigned char>(r.paramCount() + 1),
                        static_cast<unsigned char>(kFramHead + size));
    r.put(0, {kFramWrite, field}, kFramHead);
    if (size > 0) std::memcpy(r.param(kFramHead), bytes, size);
    return r;
}

ZelRequest ZelRequest::factoryDefaults() { return ZelRequest(UDP_CMD_FACTORY_DEFAULTS); }

// ---- Commands every module answers ------------------------------------------

ZelRequest ZelRequest::counts(unsigned char option) {
    return withParams(UDP_CMD_GET_COUNTS, {option});
}

ZelRequest ZelRequest::reset() { return ZelRequest(UDP_CMD_RESET); }

ZelRequest ZelRequest::getConfig() { return ZelRequest(UDP_CMD_GET_CONFIG); }

ZelRequest ZelRequest::getLeft() { return ZelRequest(UDP_CMD_GET_LEFT); }

ZelRequest ZelRequest::setRight(bool on) {
    return withParams(UDP_CMD_SET_RIGHT, {static_cast<unsigned char>(on ? 1 : 0)});
}

ZelRequest ZelRequest::getModuleType() { return ZelRequest(UDP_CMD_GET_MODULE_TYPE); }

ZelRequest ZelRequest::latch(unsigned char option, unsigned char choice) {
    return withParams(UDP_CMD_LATCH, {option, choice});
}

ZelRequest ZelRequest::adcValues() { return ZelRequest(UDP_CMD_ADC_VALUES); }

ZelRequest ZelRequest::asyncMode(bool enable) {
    return withParams(UDP_CMD_ASYNC_MODE, {static_cast<unsigned char>(enable ? 1 : 0)});
}

ZelRequest ZelRequest::integrity(unsigned char operation) {
    return withParams(UDP_CMD_INTEGRITY, {operation});
}

ZelRequest ZelRequest::enableDiags(unsigned char mode) {
    return withParams(UDP_CMD_ENABLE_DIAGS, {mode});
}

// ---- Commands of the module kinds -------------------------------------------

ZelRequest ZelRequest::setOutputs(unsigned char output, unsigned char state) {
    return withParams(UDP_CMD_SET_OUTPUTS, {output, state});
}

ZelRequest ZelRequest::kalixParams(unsigned char channel) {
    return withParams(UDP_CMD_KALIX_GET_PARAMS, {channel});
}

ZelRequest ZelRequest::kalixInfo(unsigned char channel) {
    return withParams(UDP_CMD_KALIX_GET_INFO, {channel});
}

ZelRequest ZelRequest::kalixChannelPresence() { return ZelRequest(UDP_CMD_KALIX_CHANNEL_PRESENCE); }

ZelRequest ZelRequest::moduleSettings(std::initializer_list<unsigned char> block) {
    ZelRequest r(UDP_CMD_MODULE_SETTINGS);
    r.put(0, block, kSettingsBytes);
    return r;
}

ZelRequest ZelRequest::samplingSettings(unsigned char channel, unsigned char value) {
    return withParams(UDP_CMD_SAMPLING_SETTINGS, {channel, value});
}

ZelRequest ZelRequest::channelSettings(unsigned char operation, unsigned char channel,
                                       std::initializer_list<unsigned char> values) {
    ZelRequest r(UDP_CMD_CHANNEL_SETTINGS);
    r.put(0, {operation, channel}, 2);
    r.put(2, values, kChannelSettingBytes);
    return r;
}

ZelRequest ZelRequest::channelStatus(unsigned char channel, unsigned char function) {
    return withParams(UDP_CMD_CHANNEL_STATUS, {channel, function});
}

// ---- Programming --------------------------------------------------------------

ZelRequest ZelRequest::programInit(unsigned char choice, unsigned long checksum) {
    ZelRequest r(UDP_CMD_PROGRAM_INIT);
    *r.param(0) = choice;
    CommonUtils::uLongToUChars(r.param(1), checksum);
    return r;
}

ZelRequest ZelRequest::programData(const char* line, unsigned length) {
    ZelRequest r(UDP_CMD_PROGRAM_DATA);
    if (length > kMaxDataLine || (line == nullptr && length > 0)) {
        r.refuse();
        return r;
    }
    zelbus::writeHeader(r.frame, UDP_CMD_PROGRAM_DATA, static_cast<unsigned char>(r.paramCount()),
                        static_cast<unsigned char>(r.paramLength() + static_cast<int>(length)));
    if (length > 0) std::memcpy(r.param(0), line, length);
    return r;
}

ZelRequest ZelRequest::programFinished() { return ZelRequest(UDP_CMD_PROGRAM_FINISHED); }
