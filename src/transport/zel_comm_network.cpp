// ZelComm: the connect command, discovery by broadcast, and a module's
// network settings (address and netmask, DHCP, asynchronous port, firmware
// reinstall, factory defaults).
#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "platform/net.h"
#include "transport/zel_comm.h"

namespace {

constexpr long kConnectTimeoutMs = 5000;
constexpr long kNetworkTimeoutMs = 1000;
constexpr short kNetworkRetries = 3;
constexpr unsigned short kAsyncPortMin = 1024;
constexpr unsigned short kAsyncPortMax = 49151;
constexpr int kDiscoveryBufferSize = 16768;
constexpr short kMaxDiscoveryRecords = 64;

}  // namespace

void ZelComm::directedBroadcastAddress(const char* localIp, char* out, std::size_t capacity) {
    if (std::strcmp(broadcastingNetmask, "255.255.255.255") == 0) {
        std::snprintf(out, capacity, "%s", "255.255.255.255");
        return;
    }
    if (std::strcmp(broadcastingNetmask, "0.0.0.0") == 0) {
        std::snprintf(out, capacity, "%s", localIp);
        return;
    }
    const std::uint32_t address = zel::platform::parseAddress(localIp);
    const std::uint32_t mask = zel::platform::parseAddress(broadcastingNetmask);
    zel::platform::formatAddress((address & mask) | ~mask, out, capacity);
}

void ZelComm::setBroadcastingNetmask(const char* netmask) {
    std::memset(broadcastingNetmask, 0, sizeof(broadcastingNetmask));
    const bool fits = netmask != nullptr && std::strlen(netmask) < sizeof(broadcastingNetmask);
    std::snprintf(broadcastingNetmask, sizeof(broadcastingNetmask), "%s",
                  fits ? netmask : "255.255.255.0");
}

ZelResults ZelComm::expectAnswer(const ZelRequest& request, long timeoutMs, short retries,
                                 const char* method, UdpCmdType alsoAccepted, int line) {
    ZelbusResponse response{};
    ZelResults r = sendCommandWait(request, &response, timeoutMs, retries);
    if (!r.ok()) return r;
    if (response.command != request.command() && response.command != alsoAccepted) {
        return ZelResults(ZEL_COMMAND_TYPE_MISMATCH, method, line);
    }
    return ZelResults(ZEL_OK, method, line);
}

ZelResults ZelComm::openConnection(const char* ip, ZELBUSConnectResponse* record,
                                   bool connectOption) {
    constexpr char kMethod[] = "ZelComm::openConnection";
    if (ip == nullptr || record == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    std::memset(connectionIp, 0, sizeof(connectionIp));
    std::snprintf(connectionIp, sizeof(connectionIp), "%s", ip);

    ZelbusResponse response{};
    ZelResults r =
        sendCommandWait(ZelRequest::connect(connectOption), &response, kConnectTimeoutMs, 0);
    if (!r.ok()) return r;
    if (response.command != UDP_CMD_CONNECT_MESSAGE) {
        return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    }
    if (ZelResults d = decodeConnectMsg(reinterpret_cast<char*>(response.data), record); !d.ok()) {
        return d;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelComm::broadcastOpenConnection(const char* localIp, unsigned short* localPort,
                                            ZELBUSConnectResponse* records, short* count) {
    constexpr char kMethod[] = "ZelComm::broadcastOpenConnection";
    if (localIp == nullptr || localPort == nullptr || records == nullptr || count == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    }
    if (!udpSocket.openServer(localIp, *localPort)) {
        return ZEL_RESULT(ZEL_UDP_BIND_FAILED, kMethod);
    }
    const ZelRequest request = ZelRequest::discovery(CommonUtils::strToIpAddr(localIp), *localPort);
    char destination[ZEL_IP_TEXT_CAPACITY];
    directedBroadcastAddress(localIp, destination, sizeof(destination));

    // Zero-filled, so a short answer never decodes bytes that did not arrive
    // in this collection.
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kDiscoveryBufferSize + 40);
    int length = request.size();
    unsigned short collected = 0;
    const int status = udpSocket.broadcastAndCollect(
        zelbus::kModulePort, destination, reinterpret_cast<const char*>(request.bytes()), &length,
        buffer.get(), kDiscoveryBufferSize, &collected);
    // The number of answers received is reported also when the collection
    // then fails, so a caller never pairs an older count with these records.
    const short decoded =
        collected < kMaxDiscoveryRecords ? static_cast<short>(collected) : kMaxDiscoveryRecords;
    *count = decoded;
    if (status != UdpSocket::BROADCAST_COLLECTED) {
        return ZEL_RESULT(ZEL_BROADCAST_SEND_FAILED, kMethod);
    }
    int offset = 0;
    for (short i = 0; i < decoded; ++i) {
        char* answer = buffer.get() + offset;
        if (static_cast<unsigned char>(answer[0]) != UDP_CMD_CONNECT_MESSAGE) {
            return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
        }
        if (ZelResults d = decodeConnectMsg(answer, &records[i]); !d.ok()) return d;
        offset += zelbus::frameLength(reinterpret_cast<unsigned char*>(answer));
        if (offset >= kDiscoveryBufferSize) break;
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelComm::setIp(const char* ip, const char* netmask) {
    constexpr char kMethod[] = "ZelComm::setIp";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (std::strcmp(ip, "0.0.0.0") == 0) return ZEL_RESULT(ZEL_IP_MALFORMED, kMethod);
    const ZelRequest request =
        ZelRequest::setIp(CommonUtils::strToIpAddr(ip), CommonUtils::strToIpAddr(netmask));
    return expectAnswer(request, kNetworkTimeoutMs, kNetworkRetries, kMethod);
}

ZelResults ZelComm::setDhcp(unsigned char dhcp) {
    return expectAnswer(ZelRequest::setDhcp(dhcp), kNetworkTimeoutMs, kNetworkRetries,
                        "ZelComm::setDhcp");
}

ZelResults ZelComm::forceFirmwareReinstall() {
    return expectAnswer(ZelRequest::forceFirmwareReinstall(), kNetworkTimeoutMs, kNetworkRetries,
                        "ZelComm::forceFirmwareReinstall");
}

ZelResults ZelComm::setAsyncPort(const unsigned short* port) {
    constexpr char kMethod[] = "ZelComm::setAsyncPort";
    if (port == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (*port < kAsyncPortMin || *port > kAsyncPortMax)
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    // A module that refuses the port answers with type 17; that counts as done.
    return expectAnswer(ZelRequest::setAsyncPort(*port), kNetworkTimeoutMs, kNetworkRetries,
                        kMethod, UDP_CMD_NEGATIVE_ANSWER);
}

ZelResults ZelComm::broadcastFactoryDefaults(const char* localIp, unsigned short localPort) {
    constexpr char kMethod[] = "ZelComm::broadcastFactoryDefaults";
    if (localIp == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (!udpSocket.openServer(localIp, localPort)) return ZEL_RESULT(ZEL_UDP_BIND_FAILED, kMethod);
    char destination[ZEL_IP_TEXT_CAPACITY];
    directedBroadcastAddress(localIp, destination, sizeof(destination));
    const ZelRequest request = ZelRequest::factoryDefaults();
    int length = request.size();
    udpSocket.broadcastSend(zelbus::kModulePort, destination,
                            reinterpret_cast<const char*>(request.bytes()), &length);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

void ZelComm::restoreFactoryDefaults() {
    const ZelRequest request = ZelRequest::factoryDefaults();
    int length = request.size();
    udpSocket.broadcastSend(zelbus::kModulePort, "255.255.255.255",
                            reinterpret_cast<const char*>(request.bytes()), &length);
}

namespace {

constexpr long kFramWriteTimeoutMs = 2000;
constexpr int kFramAnswerSize = 3;  // byte 3 of the answer: the field's size
constexpr int kFramAnswerData = 4;  // the field's bytes start at byte 4

// How setFram lays out a field's bytes.
enum class FramLayout { Reversed, Unchanged, FirstByte };

FramLayout framLayout(unsigned char field) {
    switch (field) {
        case 3:
        case 4:
            return FramLayout::Unchanged;
        case 8:
            return FramLayout::FirstByte;
        default:
            return FramLayout::Reversed;
    }
}

// Writes a FRAM field's answer into the caller's buffer of `size` bytes.
// A buffer too small for the field's text gets nothing (and the read still
// succeeds); fields without a text form are not written.
void decodeFramField(unsigned char field, unsigned char* a, unsigned char size,
                     unsigned char* out) {
    const int r3 = a[kFramAnswerSize];
    unsigned char* d = a + kFramAnswerData;
    char* text = reinterpret_cast<char*>(out);
    switch (field) {
        case 1:  // the module's ID string: hardware number and variant
            if (2 * r3 < size) {
                std::snprintf(text, size, "%d-%02d", d[0] | d[1] << 8 | d[2] << 16, d[3]);
            }
            break;
        case 2:
            if (2 * r3 < size) {
                std::snprintf(text, size, "%d", static_cast<int>(CommonUtils::uCharsToLong(d)));
            }
            break;
        case 3:
            if (2 * r3 + 5 < size) {
                std::snprintf(text, size, "%02X:%02X:%02X:%02X:%02X:%02X", d[0], d[1], d[2], d[3],
                              d[4], d[5]);
            }
            break;
        case 4:
            if (r3 + 2 < size) {
                std::snprintf(text, size, "%c%c %c%c%c %c%c%c", d[0], d[1], d[2], d[3], d[4], d[5],
                              d[6], d[7]);
            }
            break;
        case 8:
        case 22:
            out[0] = d[0];
            break;
        default:
            break;
    }
}

}  // namespace

ZelResults ZelComm::setFram(unsigned char field, unsigned char size, const unsigned char* data) {
    constexpr char kMethod[] = "ZelComm::setFram";
    if (data == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    // A field's bytes as they go, behind the write flag and the field number.
    unsigned char bytes[256] = {};
    switch (framLayout(field)) {
        case FramLayout::Unchanged:
            std::memcpy(bytes, data, size);
            break;
        case FramLayout::FirstByte:
            bytes[0] = data[0];
            break;
        case FramLayout::Reversed:
            CommonUtils::endianSwap(data, bytes, size);
            break;
    }
    // A field too long for one frame is refused (code 33, nothing sent).
    return expectAnswer(ZelRequest::writeFram(field, bytes, size), kFramWriteTimeoutMs,
                        kNetworkRetries, kMethod);
}

ZelResults ZelComm::getFram(unsigned char field, unsigned char size, unsigned char* out) {
    constexpr char kMethod[] = "ZelComm::getFram";
    if (out == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = sendCommandWait(ZelRequest::readFram(field), &response);
    if (!r.ok()) return r;
    if (response.command == UDP_CMD_NEGATIVE_ANSWER) return ZEL_RESULT(ZEL_FRAM_ERROR, kMethod);
    if (response.command != UDP_CMD_FRAM) return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    decodeFramField(field, response.data, size, out);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
