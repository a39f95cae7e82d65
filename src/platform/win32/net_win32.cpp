// Winsock 2 implementation of the platform's datagram interface.
//
// Two differences from BSD sockets are hidden here so that the layers above
// behave the same on both systems:
// - a datagram larger than the read buffer fails with WSAEMSGSIZE after the
//   buffer was filled; receiveFrom reports the truncated read, and
//   receiveWhole a size one larger than the buffer (the datagram's real size
//   is not known, only that it did not fit);
// - an ICMP "port unreachable" for an earlier send makes the next recvfrom
//   fail with WSAECONNRESET; SIO_UDP_CONNRESET switches that report off, as
//   unconnected BSD sockets never give it.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // WSAPoll
#endif
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <vector>

#include "platform/net.h"

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace zel::platform {
namespace {

sockaddr_in makeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    return a;
}

SOCKET sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

int clampLength(std::size_t length) {
    return length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
}

}  // namespace

bool acquireSocketLibrary() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void releaseSocketLibrary() { WSACleanup(); }

SocketHandle openUdpSocket() {
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return kInvalidSocket;
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof(report), nullptr, 0, &returned, nullptr,
             nullptr);
    return static_cast<SocketHandle>(s);
}

bool bindSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in a = makeAddress(address, port);
    return ::bind(sock(socket), reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
}

bool setBroadcast(SocketHandle socket, bool enable) {
    const BOOL value = enable ? TRUE : FALSE;
    return ::setsockopt(sock(socket), SOL_SOCKET, SO_BROADCAST,
                        reinterpret_cast<const char*>(&value), sizeof(value)) == 0;
}

void shutdownAndClose(SocketHandle socket) {
    ::shutdown(sock(socket), SD_SEND);
    ::closesocket(sock(socket));
}

void closeSocket(SocketHandle socket) { ::closesocket(sock(socket)); }

long sendTo(SocketHandle socket, const void* data, std::size_t length, std::uint32_t address,
            std::uint16_t port) {
    const sockaddr_in a = makeAddress(address, port);
    const int n = ::sendto(sock(socket), static_cast<const char*>(data), clampLength(length), 0,
                           reinterpret_cast<const sockaddr*>(&a), sizeof(a));
    if (n == SOCKET_ERROR) return -1L;
    tapDatagram(socket, true, Peer{address, port}, data, n);
    return static_cast<long>(n);
}

namespace {

// One recvfrom; `cut` tells whether the datagram was longer than the buffer.
long readDatagram(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from, bool* cut) {
    sockaddr_in a{};
    int length = sizeof(a);
    *cut = false;
    int n = ::recvfrom(sock(socket), static_cast<char*>(buffer), clampLength(capacity), 0,
                       reinterpret_cast<sockaddr*>(&a), &length);
    if (n == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEMSGSIZE) return -1;
        *cut = true;  // the buffer holds the datagram's start
        n = clampLength(capacity);
    }
    if (from != nullptr) {
        from->address = a.sin_addr.s_addr;
        from->port = ntohs(a.sin_port);
    }
    tapDatagram(socket, false, Peer{a.sin_addr.s_addr, ntohs(a.sin_port)}, buffer, n);
    return static_cast<long>(n);
}

}  // namespace

long receiveFrom(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from) {
    bool cut = false;
    return readDatagram(socket, buffer, capacity, from, &cut);
}

long receiveWhole(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from) {
    bool cut = false;
    const long n = readDatagram(socket, buffer, capacity, from, &cut);
    return cut ? static_cast<long>(capacity) + 1 : n;
}

// Winsock's receive time-out leaves the socket's state undefined when it
// ends a read: the readiness wait stays in use.
bool setReceiveTimeout(SocketHandle /*socket*/, long /*timeoutMs*/) { return false; }

long receiveWholeWithin(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from,
                        bool* timedOut) {
    *timedOut = false;
    return receiveWhole(socket, buffer, capacity, from);
}

bool localAddress(SocketHandle socket, Peer* local) {
    sockaddr_in a{};
    int length = sizeof(a);
    if (local == nullptr ||
        ::getsockname(sock(socket), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        return false;
    }
    local->address = a.sin_addr.s_addr;
    local->port = ntohs(a.sin_port);
    return true;
}

std::uint32_t sourceAddressTowards(std::uint32_t remote) {
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return 0;
    const BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof(on));
    // Connecting a datagram socket sends nothing; it only chooses the route.
    const sockaddr_in a = makeAddress(remote, 9);
    sockaddr_in local{};
    int length = sizeof(local);
    std::uint32_t address = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        address = local.sin_addr.s_addr;
    }
    ::closesocket(s);
    return address;
}

Readiness waitReadable(SocketHandle socket, long seconds, long microseconds) {
    if (seconds < 0 || microseconds < 0) return Readiness::Error;
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(sock(socket), &readSet);
    timeval wait{seconds + microseconds / 1000000L, microseconds % 1000000L};
    const int r = ::select(0, &readSet, nullptr, nullptr, &wait);
    if (r == SOCKET_ERROR) return Readiness::Error;
    return r == 0 ? Readiness::Timeout : Readiness::Ready;
}

int waitAnyReadable(const SocketHandle* sockets, std::size_t count, bool* ready, int timeoutMs) {
    std::vector<WSAPOLLFD> polls(count);
    for (std::size_t i = 0; i < count; ++i) {
        polls[i].fd = sock(sockets[i]);
        polls[i].events = POLLRDNORM;
        polls[i].revents = 0;
    }
    const int r = ::WSAPoll(polls.data(), static_cast<ULONG>(count), timeoutMs);
    for (std::size_t i = 0; i < count; ++i) {
        ready[i] = r > 0 && (polls[i].revents & (POLLRDNORM | POLLERR)) != 0;
    }
    return r == SOCKET_ERROR ? -1 : r;
}

struct WaitSet::State {
    std::vector<WSAPOLLFD> polls;
    std::vector<std::size_t> tags;
};

WaitSet::WaitSet() : state(new State) {}
WaitSet::~WaitSet() { delete state; }

bool WaitSet::add(SocketHandle socket, std::size_t tag) {
    WSAPOLLFD p{};
    p.fd = sock(socket);
    p.events = POLLRDNORM;
    state->polls.push_back(p);
    state->tags.push_back(tag);
    return true;
}

void WaitSet::remove(SocketHandle socket) {
    for (std::size_t i = 0; i < state->polls.size(); ++i) {
        if (state->polls[i].fd == sock(socket)) {
            state->polls.erase(state->polls.begin() + static_cast<long>(i));
            state->tags.erase(state->tags.begin() + static_cast<long>(i));
            return;
        }
    }
}

int WaitSet::wait(long long timeoutUs, std::size_t* tags, std::size_t capacity) {
    if (state->polls.empty()) {
        if (timeoutUs > 0) ::Sleep(static_cast<DWORD>((timeoutUs + 999) / 1000));
        return 0;
    }
    const int timeoutMs = timeoutUs < 0 ? -1 : static_cast<int>((timeoutUs + 999) / 1000);
    const int r =
        ::WSAPoll(state->polls.data(), static_cast<ULONG>(state->polls.size()), timeoutMs);
    if (r == SOCKET_ERROR) return -1;
    std::size_t n = 0;
    for (std::size_t i = 0; i < state->polls.size() && n < capacity; ++i) {
        if (state->polls[i].revents & (POLLRDNORM | POLLERR)) tags[n++] = state->tags[i];
    }
    return static_cast<int>(n);
}

std::uint32_t parseAddress(const char* text) {
    return text == nullptr ? INADDR_NONE : ::inet_addr(text);
}

void formatAddress(std::uint32_t address, char* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return;
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    std::snprintf(out, capacity, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

}  // namespace zel::platform
