// The UDP socket of one module object. Two set-ups: aimed at one module's
// address and port 27015 (openClient, every command of that module), or
// bound to a local address and port (openServer) so that broadcasts can be
// sent from it and the answers of all modules received on it.
//
// The layer reports plain flags and small status codes; ZelComm turns them
// into response codes.
//
// What an exchange takes as the answer is the pairing's business
// (transport/answer_pairing.h): a client socket is two sockets, and a port
// that may still receive an answer nobody waits for is replaced before it
// sends again.
//
// Internal to the library; not thread-safe (one caller at a time).
#ifndef ZEL_UDP_SOCKET_H
#define ZEL_UDP_SOCKET_H

#include <cstdint>

#include "transport/answer_pairing.h"

namespace zel::platform {
class Clock;
}

class UdpSocket : private zel::transport::PairingLink {
  public:
    // Status codes of broadcastAndCollect and broadcastSend.
    enum BroadcastStatus : int {
        BROADCAST_SENT = 0,       // broadcastSend: the datagram went out
        BROADCAST_COLLECTED = 1,  // collection ended by 5 s without an answer
        BROADCAST_SEND_FAILED = 2,
        BROADCAST_READ_FAILED = 3,  // a read gave no data or an error
        BROADCAST_WAIT_FAILED = 4,  // a readiness wait failed
        BROADCAST_PERMISSION_FAILED = 5,
        BROADCAST_BUFFER_FULL = 6,  // the answers do not fit the caller's buffer
        BROADCAST_NULL_POINTER = 7,
    };

    // Size of each discarding read and of each read of a broadcast answer.
    static constexpr int kScratchSize = 512;
    // flushReadBuffer: pause after every poll, and empty polls that end it.
    static constexpr unsigned long kFlushPauseMs = 50;
    static constexpr int kFlushEmptyPolls = 5;
    // Wait for each broadcast answer; fixed.
    static constexpr long kBroadcastAnswerWaitS = 5;

    UdpSocket();
    ~UdpSocket() override;
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

    // One attempt: discards what is queued (10 ms pause after each; a
    // client socket then sends from a fresh port), sends *requestLength
    // bytes to the aimed address and waits up to *timeoutMs for the
    // module's whole answer. False when a pointer is null, the send or the
    // wait fails, no answer came in time (a negative time-out sends and
    // then fails), or the answer is empty, cut short, or larger than
    // responseCapacity (then every queued datagram is discarded).
    bool exchange(const char* request, int* requestLength, char* response, int responseCapacity,
                  long* timeoutMs);
    // What pairs answers with requests on this socket; its calls make whole
    // exchanges with retries, or their pieces for many sockets at once.
    zel::transport::AnswerPairing& pairing() { return pairer; }

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
    int broadcastSend(unsigned short port, const char* broadcastIp, const char* data, int* length);

    // Shuts down and closes an open socket; nothing for a closed one.
    void close();

    // For a caller that waits on many sockets at once: the descriptor of
    // each port (kInvalidSocket for none yet), and a number that changes
    // whenever a port's socket is made anew (a new socket may reuse the old
    // descriptor's number).
    std::intptr_t handle(int port = 0) const { return handles[port]; }
    unsigned long socketGeneration(int port = 0) const { return generations[port]; }
    // Whether a datagram is queued at the port of the last call, waiting up
    // to `timeoutMs` for one; reads nothing.
    bool pollReadable(long timeoutMs = 0) const;

  private:
    // Takes the socket library and creates port 0's socket; on failure
    // gives the library back.
    bool createSocket();
    // The pairing's link.
    bool renew(int port) override;
    bool send(int port, const char* data, int length) override;
    Wait wait(int port, long long timeoutUs) override;
    long receive(int port, char* buffer, int capacity, std::uint32_t* fromAddress,
                 std::uint16_t* fromPort) override;
    Wait receiveWithin(int port, long long timeoutUs, char* buffer, int capacity, long* received,
                       std::uint32_t* fromAddress, std::uint16_t* fromPort) override;
    long long nowUs() override;
    void pauseMs(unsigned long ms) override;

    bool isOpen;
    // Port 0's socket, and a client's second port (made at its first use).
    std::intptr_t handles[2];
    unsigned long generations[2] = {0, 0};
    // The receive time-out each port's socket was given (ms, -1: none yet),
    // and the generation of the socket it was given to.
    long readTimeoutMs[2] = {-1, -1};
    unsigned long readTimeoutGeneration[2] = {0, 0};
    // Client: the module's address and port 27015; server: the bound local
    // address and port. Network-order address, host-order port.
    std::uint32_t address;
    std::uint16_t port;
    bool client = false;
    const zel::platform::Clock* clock;
    zel::transport::AnswerPairing pairer;
};

#endif  // ZEL_UDP_SOCKET_H
