/// @file
/// The conversation with one module: its UDP socket, the exchange settings
/// (answer time-out, retry count, network delay) and the request/answer
/// exchange with retries; the static decoders of the messages modules send on
/// their own. ZelComm is the base of every module class.
///
/// One object is used by one thread at a time; every call blocks for as long
/// as its exchange takes (at most the time-out times the number of attempts,
/// plus the network delays).
#ifndef ZEL_ZEL_COMM_H
#define ZEL_ZEL_COMM_H

/// @addtogroup transport
/// @{

#include <cstddef>

#include "foundation/zel_export.h"
#include "foundation/zel_results.h"
#include "transport/udp_socket.h"
#include "transport/zel_request.h"
#include "transport/zelbus_frame.h"

/// The exchange with one module: settings, retries, network delay and the
/// commands every module answers alike (network settings, FRAM fields,
/// factory defaults); base of every module object.
class ZEL_API ZelComm {
  public:
    /// Exchange settings at construction and their limits.
    static constexpr long kDefaultUdpTimeoutMs = 800;
    static constexpr long kMaxUdpTimeoutMs = 10000;    ///< largest time-out stored
    static constexpr short kMaxUdpNumRetries = 10;     ///< largest retry count stored
    static constexpr short kMaxNetworkDelayMs = 1000;  ///< largest network delay stored
    /// From this delay on the pause is a system sleep; below it a calibrated
    /// busy-wait (the system sleep is too coarse for short spacings).
    static constexpr short kSleepDelayThresholdMs = 17;
    /// How long initializeComm counts tick reads, and the divisor of the count.
    static constexpr unsigned long kCalibrationMs = 100;
    static constexpr unsigned long kCalibrationDivisor =
        50;  ///< the count / this = getLoopsPerMs()

    /// Defaults: time-out 800 ms, no retry, no network delay, broadcasting
    /// netmask "255.255.255.255"; the socket stays closed.
    ZelComm();
    /// Closes the socket.
    virtual ~ZelComm();
    ZelComm(const ZelComm&) = delete;
    ZelComm& operator=(const ZelComm&) = delete;

    /// Stored only when ms <= 10000 (signed: a negative value is stored, and
    /// then every attempt sends its request and fails at once: code 1).
    void setUdpTimeout(long ms);
    /// The answer time-out of each attempt, in ms.
    long getUdpTimeout();
    /// Stored only when n <= 10 (signed: a negative count is stored, and then
    /// sendCommandWait sends nothing and gives code 1).
    void setUdpNumRetries(short n);
    /// Attempts after the first one that got no answer.
    short getUdpNumRetries();
    /// Stored only when 0 <= ms <= 1000; a negative value is ignored.
    void setNetworkDelay(short ms);
    /// The pause before every attempt, in ms.
    short getNetworkDelay();

    /// Message type of a datagram: its byte 0 as 0 to 255. A null pointer
    /// gives 0.
    static UdpCmdType getAsyncMsgType(char* msg);
    /// Decodes a connect message (type 18) into *record. Code 32 for a null
    /// pointer, 4 for another type (record untouched), else 0. Reads bytes 0
    /// to 39 of msg.
    static ZelResults decodeConnectMsg(char* msg, ZELBUSConnectResponse* record);
    /// Copies the five latch bytes of a latch message (type 22, bytes 3 to 7)
    /// into latch[0..4]. Codes 32, 4 (nothing written) or 0.
    static ZelResults decodeLatchMsg(char* msg, unsigned char* latch);
    /// Channel-status message (type 33): *channel = byte 3 - '0' (16-bit, no
    /// range check), *status = byte 4. Codes 32, 4 (nothing written) or 0.
    static ZelResults decodeChannelStatusMsg(char* msg, unsigned short* channel,
                                             unsigned short* status);

    /// Sends the new static address and netmask (command 4, 1000 ms, 3
    /// retries). Code 32 for a null address, 24 for "0.0.0.0" (nothing sent);
    /// other texts are converted as they stand. A null netmask sends 0. Code 4
    /// for an answer of another type. The module takes the new address; the
    /// object does not reconnect.
    ZelResults setIp(const char* ip, const char* netmask);
    /// Command 5 with the DHCP byte (1000 ms, 3 retries); code 4 for an answer
    /// of another type.
    ZelResults setDhcp(unsigned char dhcp);
    /// Command 13 with the port big-endian (1000 ms, 3 retries). Code 32 for a
    /// null pointer, 33 outside 1024 to 49151 (nothing sent); answer type 13
    /// or 17 is success, another gives 4.
    ZelResults setAsyncPort(const unsigned short* port);
    /// Binds the object's socket to localIp:localPort and broadcasts command
    /// 34 to the directed broadcast address; no answer is awaited. Code 32 for
    /// a null address, 12 when the socket cannot be bound.
    ZelResults broadcastFactoryDefaults(const char* localIp, unsigned short localPort);
    /// Command 34 to 255.255.255.255 on the socket as it stands; reports nothing.
    void restoreFactoryDefaults();
    /// Writes a non-volatile field (command 24, 2000 ms, 3 retries): fields 3
    /// and 4 are sent in their order, field 8 as data[0] alone, every other
    /// field reversed. Code 32 for null data, 33 for more than 253 bytes
    /// (one frame carries no more; nothing sent), 4 for another answer type.
    ZelResults setFram(unsigned char field, unsigned char size, const unsigned char* data);
    /// Reads a non-volatile field into out (`size` bytes) with the object's
    /// exchange settings: field 1 as "%d-%02d" (ID string), 2 as "%d", 3 as a
    /// MAC text, 4 as a serial text, 8 and 22 as one byte, others not at all.
    /// A buffer too small for the text gets nothing and the read still gives
    /// 0. Code 32 for a null buffer, 34 for a type-17 answer, 4 for another.
    ZelResults getFram(unsigned char field, unsigned char size, unsigned char* out);
    /// Netmask for the directed broadcast address: "255.255.255.255" sends to
    /// the limited broadcast, "0.0.0.0" to the local address itself, any other
    /// to (address AND mask) OR NOT mask. A null or over-long text sets
    /// "255.255.255.0" (the constructor's default is "255.255.255.255").
    void setBroadcastingNetmask(const char* netmask);

    /// @name Internal to the library
    /// @{

    /// Records ip as the connection address and sends the connect command
    /// (5000 ms, no retry); the type-18 answer is decoded into *record. Code
    /// 32 for a null pointer, 4 for another answer type.
    ZEL_INTERNAL ZelResults openConnection(const char* ip, ZELBUSConnectResponse* record,
                                           bool connectOption);
    /// Binds the socket to localIp:*localPort, broadcasts the connect command
    /// and decodes up to 64 answers into records (room for 64). Code 32, 12
    /// (bind), 10 (broadcast or collection failed), 4 (an answer of another
    /// type), else 0, also with *count = 0. Lasts at least 5 s.
    ZEL_INTERNAL ZelResults broadcastOpenConnection(const char* localIp, unsigned short* localPort,
                                                    ZELBUSConnectResponse* records, short* count);
    /// Command 6 (1000 ms, 3 retries); code 4 for another answer type.
    ZEL_INTERNAL ZelResults forceFirmwareReinstall();

    /// Aims the socket at moduleIp:27015 and calibrates the busy-wait of the
    /// network delay (100 ms of tick reads). False for a null address or when
    /// the socket cannot be opened.
    ZEL_INTERNAL bool initializeComm(const char* moduleIp);
    /// The address the socket is aimed at ("" before initializeComm).
    ZEL_INTERNAL const char* getConnectionIp();
    /// Reads and throws away every datagram waiting on the socket.
    ZEL_INTERNAL void flushReadBuffer();

    /// Sends request (byte 2 + 3 bytes) and waits for one answer into
    /// *response, with the object's time-out, retry count and network delay.
    /// Code 32 for a null pointer (nothing sent); code 1 with a negative retry
    /// count (nothing sent) or when none of the retries + 1 attempts got an
    /// answer; else 0 with response->command = answer byte 0. The network
    /// delay comes before every attempt.
    ZEL_INTERNAL ZelResults sendCommandWait(const unsigned char* request, ZelbusResponse* response);
    /// The same with the given time-out and retry count and no network delay.
    ZEL_INTERNAL ZelResults sendCommandWait(const unsigned char* request, ZelbusResponse* response,
                                            long timeoutMs, short numRetries);
    /// sendCommandWait of a built request; code 33 for a request its builder
    /// refused (nothing sent).
    ZEL_INTERNAL ZelResults sendCommandWait(const ZelRequest& request, ZelbusResponse* response);
    /// The same with the given time-out and retry count and no network delay.
    ZEL_INTERNAL ZelResults sendCommandWait(const ZelRequest& request, ZelbusResponse* response,
                                            long timeoutMs, short numRetries);

    /// Waits and pauses take their time from `clock` (null: the system clock).
    /// For tests of the exchange's decisions; the clock must outlive the object.
    ZEL_INTERNAL void setClock(const zel::platform::Clock* clock);
    /// The clock waits take their time from (null: the system clock).
    ZEL_INTERNAL const zel::platform::Clock* getClock() const { return clock; }
    /// Waits up to `timeoutMs` until a datagram is queued at the object's
    /// socket, reading nothing. A datagram the module has sent can reach the
    /// socket a while after its sender returns when the system is loaded (the
    /// receiving stack's work is then left to a thread of its own); tests that
    /// need it queued wait for it here.
    ZEL_INTERNAL bool waitForDatagram(long timeoutMs) const;
    /// The module's socket, for a caller that runs the exchanges of many
    /// modules at once through its pairing (see transport/answer_pairing.h).
    ZEL_INTERNAL UdpSocket& exchangeSocket();
    /// The retries, stray and foreign datagrams the object's exchanges
    /// counted; safe from another thread while an exchange runs. Exported
    /// for the station layer, which shows them.
    zel::transport::PairingCounters getPairingCounters();
    /// The calibration's count of tick reads in 100 ms, divided by 50: the
    /// busy-wait's loops per unit of network delay.
    ZEL_INTERNAL unsigned long getLoopsPerMs() const { return loopsPerMs; }

    /// @}
  private:
    ZEL_INTERNAL void directedBroadcastAddress(const char* localIp, char* out,
                                               std::size_t capacity);
    /// An explicit exchange whose answer must be of the request's type (or
    /// `alsoAccepted`; -1 is no answer type), else code 4, with the caller's
    /// method and line.
    ZEL_INTERNAL ZelResults expectAnswer(const ZelRequest& request, long timeoutMs, short retries,
                                         const char* method,
                                         UdpCmdType alsoAccepted = static_cast<UdpCmdType>(-1),
                                         int line = __builtin_LINE());
    ZEL_INTERNAL ZelResults exchangeWithRetries(const unsigned char* request,
                                                ZelbusResponse* response, long timeoutMs,
                                                short numRetries, bool withNetworkDelay);
    ZEL_INTERNAL void pauseBeforeAttempt();
    ZEL_INTERNAL static void pauseBeforeAttemptOf(void* comm);
    ZEL_INTERNAL void calibrateBusyWait();

    UdpSocket udpSocket;
    char connectionIp[ZEL_IP_TEXT_CAPACITY];
    char broadcastingNetmask[ZEL_IP_TEXT_CAPACITY];
    long udpTimeout;
    short udpNumRetries;
    short networkDelay;
    unsigned long loopsPerMs;
    const zel::platform::Clock* clock;
};

/// @}

#endif  // ZEL_ZEL_COMM_H
