// The UDP socket of one module object. Two set-ups: aimed at one module's
// address and port 27015 (openClient, every command of that module), or
// bound to a local address and port (openServer) so that broadcasts can be
// sent from it and the answers of all modules received on it.
//
// The layer reports plain flags and small status codes; ZelComm turns them
// into response codes. It does not look at who sent an answer: any datagram
// arriving within the wait is taken, and ZelComm's callers check it.
//
// Internal to the library; not thread-safe (one caller at a time).
#ifndef ZEL_UDP_SOCKET_H
#define ZEL_UDP_SOCKET_H

#include <cstdint>

namespace zel::platform {
class Clock;
}

class UdpSocket {
public:
    // Status codes of broadcastAndCollect and broadcastSend.
    enum BroadcastStatus : int {
        BROADCAST_SENT = 0,          // broadcastSend: the datagram went out
        BROADCAST_COLLECTED = 1,     // collection ended by 5 s without an answer
        BROADCAST_SEND_FAILED = 2,
        BROADCAST_READ_FAILED = 3,   // a read gave no data or an error
        BROADCAST_WAIT_FAILED = 4,   // a readiness wait failed
        BROADCAST_PERMISSION_FAILED = 5,
        BROADCAST_BUFFER_FULL = 6,   // the answers do not fit the caller's buffer
        BROADCAST_NULL_POINTER = 7,
    };

    // Size of each discarding read and of each read of a broadcast answer.
    static constexpr int kScratchSize = 512;
    // Pause after each stale datagram discarded before a request.
    static constexpr unsigned long kStalePauseMs = 10;
    // flushReadBuffer: pause after every poll, and empty polls that end it.
    static constexpr unsigned long kFlushPauseMs = 50;
    static constexpr int kFlushEmptyPolls = 5;
    // Wait for each broadcast answer; fixed.
    static constexpr long kBroadcastAnswerWaitS = 5;

    UdpSocket();
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Pauses come from this clock (the system clock unless a test sets one).
    void setClock(const zel::platform::Clock* clock);

    // Aims the socket at moduleIp:27015 (the text is taken as inet_addr
    // takes it, without validation); no local bind, the system picks the
    // local port at the first send. False for a null text or when no socket
    // can be created. An open socket is closed first.
    bool openClient(const char* moduleIp);
    // Binds to localIp:localPort. False for a null text, or when the socket
    // cannot be created or bound. An open socket is closed first.
    bool openServer(const char* localIp, unsigned short localPort);

    // Discards stale datagrams (10 ms pause after each), sends *requestLength
    // bytes to the aimed address and waits up to *timeoutMs for a datagram.
    // False when a pointer is null, the send fails, the wait ends without a
    // datagram, or the datagram is larger than responseCapacity (then every
    // queued datagram is discarded). True when at least one byte was read.
    bool exchange(const char* request, int* requestLength, char* response, int responseCapacity,
                  long* timeoutMs);

    // Reads and throws away datagrams, pausing 50 ms after every poll, until
    // five polls found none (at least 250 ms).
    void flushReadBuffer();

    // Enables broadcasting, sends the request to broadcastIp:port and
    // collects the answers back to back into `responses` (never beyond
    // `capacity`) until 5 s pass without one. *count tells how many arrived.
    int broadcastAndCollect(unsigned short port, const char* broadcastIp, const char* request,
                            int* requestLength, char* responses, int capacity,
                            unsigned short* count);
    // Enables broadcasting and sends one datagram to broadcastIp:port.
    int broadcastSend(unsigned short port, const char* broadcastIp, const char* data,
                      int* length);

    // Shuts down and closes an open socket; nothing for a closed one.
    void close();

private:
    // Takes the socket library and creates the datagram socket; on failure
    // gives the library back.
    bool createSocket();
    void discardWaiting(bool pauseAfterEach);
    bool pollReadable() const;

    bool isOpen;
    std::intptr_t socketHandle;
    // Client: the module's address and port 27015; server: the bound local
    // address and port. Network-order address, host-order port.
    std::uint32_t address;
    std::uint16_t port;
    const zel::platform::Clock* clock;
};

#endif  // ZEL_UDP_SOCKET_H
