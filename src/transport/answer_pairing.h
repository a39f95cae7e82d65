// How a module's answer is paired with the request it answers. The protocol
// carries no request number; a module answers each request with one
// datagram to the sender's address and port. So the pairing is made by the
// port the request leaves from, not by time:
// - a module object keeps two client sockets (two ports the system chose)
//   and sends each call from the other one than the call before; an answer
//   or copy the link delivers late for one call reaches the port the next
//   call does not listen on;
// - a port stays in use only while everything it was sent was answered by
//   exactly one whole answer. After an attempt that timed out or ended with
//   an empty, short or oversize answer, and whenever a datagram is found
//   queued at a port before a call's request leaves from it, the port is
//   replaced by a fresh socket before that request: what the old requests
//   still owe goes to a port nobody listens on;
// - a retry of the same call goes out from the same port without that look:
//   an answer to an earlier attempt answers the same request and is taken;
// - only a datagram from the module's address and port 27015 is an answer
//   (any other sender's is read and thrown away, and the wait goes on); one
//   shorter than its header announces is a failed attempt.
// Nothing is waited for but the answer of the request in flight, and
// nothing is held back. What it cannot tell apart: a copy of an answer that
// the link delays past the whole of the next call and into the call after,
// from that call's own answer.
//
// The unit does its input and output through a PairingLink: the system's
// sockets in UdpSocket, a scripted one in tests. Internal to the library.
#ifndef ZEL_ANSWER_PAIRING_H
#define ZEL_ANSWER_PAIRING_H

#include <atomic>
#include <cstdint>

namespace zel::transport {

// What a module object's pairing counted since its construction: the
// attempts sent again within a call, and the datagrams thrown away because
// no request of theirs was in flight (queued before a request, or come to a
// port with nothing in flight) or because another sender sent them.
struct PairingCounters {
    unsigned long long retries = 0;
    unsigned long long strays = 0;
    unsigned long long foreign = 0;
};

// The two client ports of one module object, as the pairing uses them.
class PairingLink {
  public:
    enum class Wait { Ready, Timeout, Error };
    virtual ~PairingLink() = default;
    // Replaces the socket of `port` (0 or 1) by a new one; its local port is
    // the system's choice at the first send. False when none can be made.
    virtual bool renew(int port) = 0;
    // Sends `length` bytes to the module from `port`. False on failure.
    virtual bool send(int port, const char* data, int length) = 0;
    // Waits up to `timeoutUs` (0: a poll) for a datagram queued at `port`.
    virtual Wait wait(int port, long long timeoutUs) = 0;
    // Reads one datagram of `port`: its size when it fit into `capacity`, a
    // larger value when it did not, -1 on error; the sender's address
    // (network order) and port into *fromAddress and *fromPort.
    virtual long receive(int port, char* buffer, int capacity, std::uint32_t* fromAddress,
                         std::uint16_t* fromPort) = 0;
    // Waits up to `timeoutUs` for a datagram at `port` and reads it as
    // receive does: Ready with its size (or -1 when the read failed) in
    // *received, else Timeout or Error. This one waits, then reads; a link
    // whose system can sleep in the read itself saves the wait's call.
    virtual Wait receiveWithin(int port, long long timeoutUs, char* buffer, int capacity,
                               long* received, std::uint32_t* fromAddress,
                               std::uint16_t* fromPort) {
        const Wait w = wait(port, timeoutUs);
        if (w == Wait::Ready) *received = receive(port, buffer, capacity, fromAddress, fromPort);
        return w;
    }
    // Monotonic microseconds.
    virtual long long nowUs() = 0;
    // Pauses the calling thread.
    virtual void pauseMs(unsigned long ms) = 0;
};

class AnswerPairing {
  public:
    // How an attempt, or one datagram looked at, ended.
    enum class Outcome {
        Answer,      // a whole answer of the module to the request in flight
        Short,       // the module's answer, cut short of what its header announces
        Empty,       // the module's datagram of 0 bytes
        Oversize,    // the module's datagram larger than the caller's buffer
        TimedOut,    // no answer within the time-out (also a negative time-out)
        SendFailed,  // the request could not be sent (or no socket made)
        WaitFailed,  // the readiness wait or the read failed
        Foreign,     // another sender's datagram, thrown away; the wait goes on
        Stray,       // a datagram at a port with no request in flight, thrown away
    };
    // Pause after each stray datagram discarded before a request.
    static constexpr unsigned long kStalePauseMs = 10;

    // `alternate`: the link has two renewable client ports (else one port,
    // never renewed: a socket bound to a fixed local port).
    AnswerPairing(PairingLink& link, bool alternate);

    // The module the answers must come from (network-order address).
    void aim(std::uint32_t address, std::uint16_t port);
    // Forgets what the ports owe: the sockets were just made anew, two
    // renewable ones with `alternate`, else one bound to a fixed port.
    void reset(bool alternate);

    // One whole call: up to 1 + retries attempts, each sent (after
    // `beforeAttempt(context)` when given) and waited for up to timeoutMs.
    // The answer goes into `response` (capacity bytes, zero-filled behind
    // it on every attempt); *received tells its size. The outcome of the
    // last attempt. A negative time-out sends each attempt and then fails
    // it at once.
    Outcome call(const char* request, int length, char* response, int capacity, long timeoutMs,
                 int retries, int* received, void (*beforeAttempt)(void*) = nullptr,
                 void* context = nullptr);

    // The same in pieces, for a caller that waits on many modules at once.
    // Starts a call: the port its requests leave from.
    int beginCall();
    // Sends the call's request, the first time or again (`retry`): renews
    // a port that owes answers (first attempt only), and with
    // `lookForStrays` first discards what is queued at the port (pausing
    // after each) and then renews it. SendFailed or Answer (sent).
    Outcome sendAttempt(const char* request, int length, bool retry, bool lookForStrays);
    // Reads one datagram queued at `port` into `buffer`: Answer, Short,
    // Empty or Oversize end the attempt in flight; Foreign leaves it
    // waiting; Stray when no attempt of this port is in flight.
    Outcome take(int port, char* buffer, int capacity, long* received);
    // The attempt in flight got no answer in time: its port owes one.
    void timedOut();
    // A read or wait of the port failed: the port is renewed at the next call.
    void failed(int port) { owes[port] = true; }
    // The port of the current call, and whether an attempt is in flight.
    int currentPort() const { return current; }
    bool inFlight() const { return waiting; }
    // Ports renewed since construction (for tests and measurements).
    unsigned long renewals() const { return renewed; }
    // Its counts; safe to read from another thread while calls run.
    PairingCounters counters() const {
        PairingCounters c;
        c.retries = retried.load(std::memory_order_relaxed);
        c.strays = strays.load(std::memory_order_relaxed);
        c.foreign = foreign.load(std::memory_order_relaxed);
        return c;
    }

  private:
    bool renewPort(int port);
    // What a datagram of `n` bytes read at `port` from address:from is.
    Outcome classify(int port, const char* buffer, int capacity, long n, std::uint32_t address,
                     std::uint16_t from);
    Outcome waitForAnswer(char* response, int capacity, long timeoutMs, long* received);

    PairingLink& link;
    bool alternate;
    std::uint32_t moduleAddress = 0;
    std::uint16_t modulePort = 0;
    int current = 1;
    bool waiting = false;
    // Per port: a request sent from it was not answered by exactly one whole
    // answer (or a datagram came that nobody asked for).
    bool owes[2] = {false, false};
    unsigned long renewed = 0;
    std::atomic<unsigned long long> retried{0};
    std::atomic<unsigned long long> strays{0};
    std::atomic<unsigned long long> foreign{0};
};

}  // namespace zel::transport

#endif  // ZEL_ANSWER_PAIRING_H
