// Decoders of the datagrams modules send on their own: the connect message
// (also the answer to the connect command and to the discovery broadcast),
// the latch message and the channel-status message. The host receives them
// on its asynchronous port and hands them here; the library never listens.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "foundation/result_helpers.h"
#include "platform/net.h"
#include "transport/zel_comm.h"

namespace {

// Offsets of the connect message (type 18).
constexpr int kConnectIp = 3;        // 4 bytes, first octet first
constexpr int kConnectPortHigh = 9;  // bytes 7 to 10 are a big-endian port;
constexpr int kConnectPortLow = 10;  // only the low two are used
constexpr int kConnectFlag = 11;
constexpr int kConnectDhcp = 12;
constexpr int kConnectMac = 13;            // 6 bytes
constexpr int kConnectNetmask = 19;        // 4 bytes
constexpr int kConnectSerial = 23;         // 8 characters
constexpr int kConnectStaticIp = 31;       // 4 bytes
constexpr int kConnectStaticNetmask = 35;  // 4 bytes
constexpr int kConnectRevision = 39;

// Latch message (type 22): five bytes from offset 3.
constexpr int kLatchBytes = 3;
constexpr int kLatchByteCount = 5;
// Channel-status message (type 33): channel as an ASCII digit, then status.
constexpr int kStatusChannel = 3;
constexpr int kStatusValue = 4;

// The address bytes are in network order, as the system's dotted-decimal
// conversion expects them.
void dotted(const unsigned char* bytes, char* out, std::size_t capacity) {
    std::uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    zel::platform::formatAddress(address, out, capacity);
}

}  // namespace

UdpCmdType ZelComm::getAsyncMsgType(char* msg) {
    if (msg == nullptr) return UDP_CMD_CONNECT;
    return static_cast<UdpCmdType>(static_cast<unsigned char>(msg[0]));
}

ZelResults ZelComm::decodeConnectMsg(char* msg, ZELBUSConnectResponse* record) {
    constexpr char kMethod[] = "ZelComm::decodeConnectMsg";
    if (msg == nullptr || record == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    const auto* m = reinterpret_cast<const unsigned char*>(msg);
    if (m[0] != UDP_CMD_CONNECT_MESSAGE) return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);

    dotted(m + kConnectIp, record->ipAddress, sizeof(record->ipAddress));
    record->port = static_cast<unsigned short>(m[kConnectPortHigh] << 8 | m[kConnectPortLow]);
    record->connectFlag = m[kConnectFlag] != 0;
    record->usingDhcp = m[kConnectDhcp] != 0;
    const unsigned char* mac = m + kConnectMac;
    std::snprintf(record->macAddress, sizeof(record->macAddress), "%.2X:%.2X:%.2X:%.2X:%.2X:%.2X",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    dotted(m + kConnectNetmask, record->netmask, sizeof(record->netmask));
    dotted(m + kConnectStaticIp, record->ipStatic, sizeof(record->ipStatic));
    dotted(m + kConnectStaticNetmask, record->netmaskStatic, sizeof(record->netmaskStatic));
    const char* s = msg + kConnectSerial;
    std::snprintf(record->serialNumber, sizeof(record->serialNumber), "%c%c %c%c%c %c%c%c", s[0],
                  s[1], s[2], s[3], s[4], s[5], s[6], s[7]);
    record->revisionChar = msg[kConnectRevision];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelComm::decodeLatchMsg(char* msg, unsigned char* latch) {
    constexpr char kMethod[] = "ZelComm::decodeLatchMsg";
    if (msg == nullptr || latch == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (getAsyncMsgType(msg) != UDP_CMD_LATCH) {
        return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    }
    std::memcpy(latch, msg + kLatchBytes, kLatchByteCount);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelComm::decodeChannelStatusMsg(char* msg, unsigned short* channel,
                                           unsigned short* status) {
    constexpr char kMethod[] = "ZelComm::decodeChannelStatusMsg";
    if (msg == nullptr || channel == nullptr || status == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    }
    if (getAsyncMsgType(msg) != UDP_CMD_CHANNEL_STATUS) {
        return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    }
    const auto* m = reinterpret_cast<const unsigned char*>(msg);
    *channel = static_cast<unsigned short>(m[kStatusChannel] - '0');
    *status = m[kStatusValue];
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
