// Datagram sockets and readiness waits for the transport and the simulator.
// This header is the whole of what the rest of the code knows about the
// system's socket interface; posix/ implements it with BSD sockets, and a
// Windows port adds its own implementation (Winsock 2) beside it.
//
// Addresses are IPv4 in network byte order, ports in host order.
#ifndef ZEL_PLATFORM_NET_H
#define ZEL_PLATFORM_NET_H

#include <cstddef>
#include <cstdint>

namespace zel::platform {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Capacity of a dotted IPv4 text, terminator included ("255.255.255.255").
constexpr std::size_t kDottedCapacity = 16;

// Takes and gives back one reference to the system's socket library
// (WSAStartup/WSACleanup on Windows; nothing to do on POSIX systems).
bool acquireSocketLibrary();
void releaseSocketLibrary();

// A new IPv4 UDP socket, or kInvalidSocket.
SocketHandle openUdpSocket();
bool bindSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port);
bool setBroadcast(SocketHandle socket, bool enable);
// Shuts the socket down for sending, then closes it.
void shutdownAndClose(SocketHandle socket);
void closeSocket(SocketHandle socket);

// Bytes sent, or -1.
long sendTo(SocketHandle socket, const void* data, std::size_t length, std::uint32_t address,
            std::uint16_t port);

struct Peer {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// Reads one datagram (at most `capacity` bytes; the rest of a longer one is
// lost). Bytes read, or -1. `from` may be null.
long receiveFrom(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from);
// Reads one datagram. Returns its size when it fit into `capacity` bytes, a
// value larger than `capacity` when it did not (then only `capacity` bytes
// were copied and the rest is lost; POSIX reports the real size, Winsock
// only that it was cut), -1 on error. `from` (may be null) receives the
// sender.
long receiveWhole(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from);
// Makes a blocking read of the socket give up after about `timeoutMs`
// (the system's timers may end it up to an eighth and two scheduler ticks
// later, never earlier). False where the system offers no such time-out
// (Windows here): then receiveWholeWithin is not used.
bool setReceiveTimeout(SocketHandle socket, long timeoutMs);
// Sleeps in the read itself until a datagram comes or the socket's receive
// time-out passes, and reads it as receiveWhole does. *timedOut tells that
// nothing came (or a signal cut the wait short); then nothing was read.
long receiveWholeWithin(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from,
                        bool* timedOut);
// The local address and port a socket is bound to.
bool localAddress(SocketHandle socket, Peer* local);
// The address this machine sends from towards `remote` (as the routing
// table chooses it; 0 when none), for sockets bound to any address.
std::uint32_t sourceAddressTowards(std::uint32_t remote);

enum class Readiness { Ready, Timeout, Error };

// select-style wait for the socket to become readable, up to the given
// seconds and microseconds; zero for both is a poll.
Readiness waitReadable(SocketHandle socket, long seconds, long microseconds);

// Waits until any of `count` sockets is readable or `timeoutMs` passes
// (negative: no limit). ready[i] tells which. Returns the number ready, 0 on
// time-out, -1 on error.
int waitAnyReadable(const SocketHandle* sockets, std::size_t count, bool* ready, int timeoutMs);

// Sockets waited on together again and again (the chain sampler's): the
// cost of a wait grows with the sockets that are ready, not with all of
// them where the system allows it (epoll on Linux; a poll list elsewhere).
// Each socket carries a tag, given back when it is ready.
class WaitSet {
  public:
    WaitSet();
    ~WaitSet();
    WaitSet(const WaitSet&) = delete;
    WaitSet& operator=(const WaitSet&) = delete;
    bool add(SocketHandle socket, std::size_t tag);
    void remove(SocketHandle socket);
    // Waits up to `timeoutUs` (negative: no limit); writes the tags of the
    // ready sockets (at most `capacity`) and returns how many, 0 on time-out,
    // -1 on error.
    int wait(long long timeoutUs, std::size_t* tags, std::size_t capacity);

  private:
    struct State;
    State* state;
};

// A tap that sees every datagram sent and received through this layer, for
// a capture file; null: none. Addresses in network order, ports in host order.
using Tap = void (*)(bool outgoing, const Peer& local, const Peer& remote, const void* data,
                     std::size_t length);
void setTap(Tap tap);
// Calls the tap, if one is set, for a datagram of `socket`.
void tapDatagram(SocketHandle socket, bool outgoing, const Peer& remote, const void* data,
                 long length);

// Numeric form of a dotted text as inet_addr gives it (0xFFFFFFFF when it is
// not an address). Network byte order.
std::uint32_t parseAddress(const char* text);
// Dotted text of a network-order address, as inet_ntoa writes it.
void formatAddress(std::uint32_t address, char* out, std::size_t capacity);

}  // namespace zel::platform

#endif  // ZEL_PLATFORM_NET_H
