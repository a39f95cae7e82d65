// The UDP socket of one module object. Two set-ups: aimed at one module's
// address and port 27015 (openClient, every command of that module), or
// bound to a local address and port (openServer) so that broadcasts can be
// sent from it and the answers of all modules received on it.
//
// The layer reports plain flags and small status codes; ZelComm turns them
// into response codes.
//
// What an exchange takes as the answer. The protocol carries no request
// number, so the socket pairs answers with requests by sender and by time:
// - only a datagram from the aimed module's address and port 27015 is an
//   answer; any other sender's datagram is read and thrown away, and the
//   wait goes on for what is left of the time-out;
// - every attempt whose time-out ran out leaves an answer owed; before the
//   first attempt of the next command is sent, the socket waits for the
//   owed answers until one time-out after the last of them ran out (or
//   until they all came), and throws them away, so an answer late by up to
//   one more time-out is never taken for a later command. A retry of the
//   same command (markRetry) does not wait: an earlier attempt's late
//   answer answers the same request;
// - an answer that comes much sooner than the module can answer is held
//   while the socket waits up to three usual round trips for another one
//   from the module; when one comes, the early one was a duplicate or an
//   older answer and the later one is taken. Much sooner is under a quarter
//   of the fastest round trip of the last 64 to 128 answers (a copy the
//   link delivered just after the next request went out), and, while the
//   module has lately sent datagrams nobody waited for (the 256 exchanges
//   after a duplicate or a late answer was thrown away, or an early answer
//   held), under 70 % of its usual round trip. An early answer that nothing
//   followed is taken, and halves that floor at most. (A host that has
//   fallen one answer behind receives each older answer about half a round
//   trip after its request, so the hold puts it back in step at the next
//   call.)
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

    // Waits out the answers owed to earlier attempts, discards stale
    // datagrams (10 ms pause after each), sends *requestLength bytes to the
    // aimed address and waits up to *timeoutMs for the module's answer (see
    // above). False when a pointer is null, the send fails, the wait ends
    // without an answer, or the answer is larger than responseCapacity (then
    // every queued datagram is discarded). True when the module's datagram
    // was read, an empty one included; receivedLength() tells how long it was.
    bool exchange(const char* request, int* requestLength, char* response, int responseCapacity,
                  long* timeoutMs);
    // The next exchange repeats the request of the last one: the answers
    // that attempt still owes may answer it, so they are not waited out.
    void markRetry() { retrying = true; }
    // Bytes of the answer the last successful exchange took.
    int receivedLength() const { return lastLength; }

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

    // The exchange in pieces, for a caller that runs the exchanges of many
    // sockets at once (the chain sampler), under the same pairing rules.
    // The descriptor, for a readiness wait over many sockets, and a number
    // that changes whenever the socket is created anew (a new socket may
    // reuse the old descriptor's number).
    std::intptr_t handle() const { return socketHandle; }
    // Whether a datagram is queued, waiting up to `timeoutMs` for one;
    // reads nothing.
    bool pollReadable(long timeoutMs = 0) const;
    unsigned long socketGeneration() const { return generation; }
    // Answers owed by earlier attempts, and until when they are waited for.
    bool owesAnswers() const { return owedAnswers > 0; }
    long long owedUntil() const { return owedUntilUs; }
    // Reads one waiting datagram: its size when it is the module's (an
    // owed answer is then paid), kForeign when another sender's (thrown
    // away), -1 on error.
    static constexpr long kForeign = -3;
    long readWaiting(char* buffer, int capacity);
    // The owed window closed: nothing more is owed.
    void forgiveOwed() { owedAnswers = 0; }
    // Discards every queued datagram, without the pauses of the exchange.
    void discardQueued() { discardWaiting(false); }
    // Sends a request and owes its answer until one time-out after
    // `timeoutMs` ran out. False when the send fails.
    bool sendAttempt(const char* request, int length, long timeoutMs);
    // The module's usual round trip (0 until known), and a new one to learn.
    long long usualRoundTrip() const { return usualRoundTripUs; }
    // Whether an answer that came this long after its request is held for
    // a later one (see the pairing rules above).
    bool isEarly(long long roundTripUs) const;
    void countExchange() {
        if (suspectExchanges > 0) --suspectExchanges;
    }
    void markSuspect() { suspectExchanges = kSuspectExchanges; }
    // `heldAlone`: the answer was held as early and nothing followed it.
    void learnRoundTrip(long long roundTripUs, bool heldAlone);

  private:
    // Takes the socket library and creates the datagram socket; on failure
    // gives the library back.
    bool createSocket();
    void discardWaiting(bool pauseAfterEach);
    bool fromModule(std::uint32_t peerAddress, std::uint16_t peerPort) const;
    // Reads and throws away the answers owed to earlier attempts, until none
    // is owed or the owed window closes.
    void drainOwedAnswers();
    // Waits until `deadlineUs` for a datagram from the module and reads it
    // into `buffer`; foreign datagrams are thrown away. The datagram's size
    // (larger than `capacity` when it did not fit; 0 for an empty one),
    // kTimedOut, or -1 on error.
    static constexpr long kTimedOut = -2;
    long receiveFromModule(char* buffer, int capacity, long long deadlineUs);

    bool isOpen;
    std::intptr_t socketHandle;
    // Client: the module's address and port 27015; server: the bound local
    // address and port. Network-order address, host-order port.
    std::uint32_t address;
    std::uint16_t port;
    const zel::platform::Clock* clock;
    int lastLength = 0;
    // What pairs answers with requests; it belongs to one aimed address and
    // starts afresh when the socket is closed.
    // Answers owed to attempts whose time-out ran out, and until when
    // (monotonic microseconds) they are waited for.
    int owedAnswers = 0;
    long long owedUntilUs = 0;
    bool retrying = false;
    // Exchanges left in which early answers are held: the module sent a
    // datagram nobody waited for (a duplicate, a late answer) not long ago.
    static constexpr int kSuspectExchanges = 256;
    int suspectExchanges = 0;
    unsigned long generation = 0;
    // The module's usual round trip (microseconds, smoothed; 0 until known).
    long long usualRoundTripUs = 0;
    // The fastest round trip of the last whole window of answers and of the
    // window being filled (microseconds; 0 until known).
    static constexpr int kFastestWindow = 64;
    long long fastestRoundTripUs = 0;
    long long windowFastestUs = 0;
    int windowAnswers = 0;
};

#endif  // ZEL_UDP_SOCKET_H
