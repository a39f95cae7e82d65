/// @file
/// The command frame shared by every request, answer and message of the
/// module protocol, the table of command codes, and the records that receive
/// answers.
///
///   offset 0  command code (UdpCmdType); in an answer, the answer type
///   offset 1  parameter count
///   offset 2  parameter length N
///   offset 3  N parameter bytes, little-endian unless a command says otherwise
///
/// A request is a ZelRequest (transport/zel_request.h): a zero-filled
/// 262-byte frame whose header comes from the command table, sent as N + 3
/// bytes. The connect command 0 is answered with type 18, and type 17 is a
/// negative answer.
#ifndef ZEL_ZELBUS_FRAME_H
#define ZEL_ZELBUS_FRAME_H

/// @addtogroup transport
/// @{

#include <cstddef>

#include "foundation/zel_export.h"

// The one table of command codes: enumerator, code, display name.
#include "transport/zelbus_commands.h"

/// Command codes and answer types. The fixed underlying type holds any byte
/// value a datagram can carry, also codes not in the table.
enum UdpCmdType : int {
/// One table entry as the code it becomes here.
#define ZEL_UDP_COMMAND_ENUMERATOR(name, code, count, length, text) name = (code),
    ZEL_UDP_COMMAND_TABLE(ZEL_UDP_COMMAND_ENUMERATOR)
#undef ZEL_UDP_COMMAND_ENUMERATOR
};

namespace zelbus {

/// Size of every request buffer and answer record.
constexpr unsigned kFrameSize = 262;
/// Command code, parameter count, parameter length.
constexpr unsigned kHeaderSize = 3;
/// Largest parameter length a request can carry.
constexpr unsigned kMaxParamLength = kFrameSize - kHeaderSize;
/// The modules' command port, destination of every command and broadcast.
constexpr unsigned short kModulePort = 27015;
/// Bytes of a 16-bit word among an answer's parameters.
constexpr std::size_t kWordBytes = 2;
/// Bytes of a 32-bit value (a count, a reading, a wrap counter) among an
/// answer's parameters.
constexpr std::size_t kLongBytes = 4;
/// Bytes of one channel's 64-bit entry in the counts answers of the Kalix and
/// 1 Vpp kinds and of the module-wide read.
constexpr std::size_t kCountEntryBytes = 8;

/// Writes bytes 0 to 2 of a frame.
inline void writeHeader(unsigned char* frame, UdpCmdType command, unsigned char paramCount,
                        unsigned char paramLength) {
    frame[0] = static_cast<unsigned char>(command);
    frame[1] = paramCount;
    frame[2] = paramLength;
}

/// Bytes on the wire of a frame: its parameter length plus the header.
inline int frameLength(const unsigned char* frame) {
    return static_cast<int>(frame[2]) + static_cast<int>(kHeaderSize);
}

/// One table entry as the code it becomes here.
#define ZEL_UDP_COMMAND_NAME(name, value, count, length, text) \
    case value:                                                \
        return text;

/// Display name of a command code, "unknown" outside the table.
constexpr const char* commandName(int code) {
    switch (code) {
        ZEL_UDP_COMMAND_TABLE(ZEL_UDP_COMMAND_NAME)
#undef ZEL_UDP_COMMAND_NAME
        default:
            return "unknown";
    }
}

/// The parameter count and length of a command's request.
struct RequestShape {
    int count;   ///< -1: never sent by the host
    int length;  ///< -1: never sent by the host
};

/// One table entry as the shape of its request.
#define ZEL_UDP_REQUEST_SHAPE(name, value, count, length, text) \
    case value:                                                 \
        return RequestShape{count, length};

/// The count and length the command table gives a command's request;
/// {-1, -1} for a type the host never sends and for a code outside the table.
constexpr RequestShape requestShape(int code) {
    // One case per row of the table; rows of the same shape stay apart.
    switch (code) {
        // NOLINTNEXTLINE(bugprone-branch-clone)
        ZEL_UDP_COMMAND_TABLE(ZEL_UDP_REQUEST_SHAPE)
#undef ZEL_UDP_REQUEST_SHAPE
        default:
            return RequestShape{-1, -1};
    }
}

}  // namespace zelbus

/// The record into which every answer is received. Callers zero it before an
/// exchange; `data` is zero-filled behind the received datagram, and readers go
/// by the answer's own parameter length (byte 2).
struct ZelbusResponse {
    unsigned char data[zelbus::kFrameSize];  ///< the datagram as received
    /// Byte 0 of the answer, stored after a successful exchange.
    int command;
    /// Values decoded by convertCountsCommand; numCounts of them are valid.
    long counts[8];
    unsigned short numCounts;  ///< valid entries of counts
};

namespace zelbus {

/// The parameter bytes of an answer (from byte 3), its count and its length.
inline unsigned char* params(ZelbusResponse& response) { return response.data + kHeaderSize; }
/// The answer's parameter count (byte 1).
inline int paramCount(const ZelbusResponse& response) { return response.data[1]; }
/// The answer's parameter length (byte 2).
inline int paramLength(const ZelbusResponse& response) { return response.data[2]; }

}  // namespace zelbus

/// @name Text capacities of the connect record (terminator included)
/// @{
constexpr unsigned ZEL_IP_TEXT_CAPACITY = 18;      ///< dotted IPv4 address
constexpr unsigned ZEL_MAC_TEXT_CAPACITY = 19;     ///< "xx:xx:xx:xx:xx:xx"
constexpr unsigned ZEL_SERIAL_TEXT_CAPACITY = 11;  ///< serial number
/// @}

/// A decoded connect message (type 18): the answer to the connect command and
/// to the discovery broadcast.
struct ZELBUSConnectResponse {
    char ipAddress[ZEL_IP_TEXT_CAPACITY];         ///< the module's current address
    unsigned short port;                          ///< the port it answered from
    bool connectFlag;                             ///< the module the host is plugged into
    bool usingDhcp;                               ///< the address came from DHCP
    char macAddress[ZEL_MAC_TEXT_CAPACITY];       ///< "xx:xx:xx:xx:xx:xx"
    char netmask[ZEL_IP_TEXT_CAPACITY];           ///< the current netmask
    char ipStatic[ZEL_IP_TEXT_CAPACITY];          ///< the address taken without DHCP
    char netmaskStatic[ZEL_IP_TEXT_CAPACITY];     ///< the netmask taken without DHCP
    char serialNumber[ZEL_SERIAL_TEXT_CAPACITY];  ///< the serial number text
    char revisionChar;                            ///< hardware revision letter
};

/// @}

#endif  // ZEL_ZELBUS_FRAME_H
