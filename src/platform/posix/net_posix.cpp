// BSD-socket implementation of the platform's datagram interface.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#if defined(__linux__)
#include <sys/epoll.h>
#endif
#include <sys/select.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "platform/net.h"

namespace zel::platform {
namespace {

sockaddr_in makeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    return a;
}

int fd(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

bool acquireSocketLibrary() { return true; }

void releaseSocketLibrary() {}

SocketHandle openUdpSocket() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    return s < 0 ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool bindSocket(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in a = makeAddress(address, port);
    return ::bind(fd(socket), reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
}

bool setBroadcast(SocketHandle socket, bool enable) {
    const int value = enable ? 1 : 0;
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_BROADCAST, &value, sizeof(value)) == 0;
}

void shutdownAndClose(SocketHandle socket) {
    ::shutdown(fd(socket), SHUT_WR);
    ::close(fd(socket));
}

void closeSocket(SocketHandle socket) { ::close(fd(socket)); }

long sendTo(SocketHandle socket, const void* data, std::size_t length, std::uint32_t address,
            std::uint16_t port) {
    const sockaddr_in a = makeAddress(address, port);
    ssize_t n;
    do {
        n = ::sendto(fd(socket), data, length, 0, reinterpret_cast<const sockaddr*>(&a), sizeof(a));
    } while (n < 0 && errno == EINTR);
    if (n >= 0) tapDatagram(socket, true, Peer{address, port}, data, static_cast<long>(n));
    return static_cast<long>(n);
}

long receiveFrom(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from) {
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    ssize_t n;
    do {
        n = ::recvfrom(fd(socket), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&a), &length);
    } while (n < 0 && errno == EINTR);
    if (n >= 0 && from != nullptr) {
        from->address = a.sin_addr.s_addr;
        from->port = ntohs(a.sin_port);
    }
    if (n >= 0)
        tapDatagram(socket, false, Peer{a.sin_addr.s_addr, ntohs(a.sin_port)}, buffer,
                    static_cast<long>(n));
    return static_cast<long>(n);
}

long receiveWhole(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from) {
    // MSG_TRUNC makes Linux report the whole datagram's size although only
    // `capacity` bytes are copied.
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    ssize_t n;
    do {
        n = ::recvfrom(fd(socket), buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&a),
                       &length);
    } while (n < 0 && errno == EINTR);
    if (n >= 0 && from != nullptr) {
        from->address = a.sin_addr.s_addr;
        from->port = ntohs(a.sin_port);
    }
    if (n >= 0) {
        tapDatagram(
            socket, false, Peer{a.sin_addr.s_addr, ntohs(a.sin_port)}, buffer,
            static_cast<long>(std::min<std::size_t>(static_cast<std::size_t>(n), capacity)));
    }
    return static_cast<long>(n);
}

bool setReceiveTimeout(SocketHandle socket, long timeoutMs) {
    if (timeoutMs < 0) return false;
    const timeval limit{static_cast<time_t>(timeoutMs / 1000),
                        static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit)) == 0;
}

long receiveWholeWithin(SocketHandle socket, void* buffer, std::size_t capacity, Peer* from,
                        bool* timedOut) {
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    const ssize_t n = ::recvfrom(fd(socket), buffer, capacity, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&a), &length);
    *timedOut = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    if (n < 0) return -1;
    if (from != nullptr) {
        from->address = a.sin_addr.s_addr;
        from->port = ntohs(a.sin_port);
    }
    tapDatagram(socket, false, Peer{a.sin_addr.s_addr, ntohs(a.sin_port)}, buffer,
                static_cast<long>(std::min<std::size_t>(static_cast<std::size_t>(n), capacity)));
    return static_cast<long>(n);
}

bool localAddress(SocketHandle socket, Peer* local) {
    sockaddr_in a{};
    socklen_t length = sizeof(a);
    if (local == nullptr ||
        ::getsockname(fd(socket), reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        return false;
    }
    local->address = a.sin_addr.s_addr;
    local->port = ntohs(a.sin_port);
    return true;
}

std::uint32_t sourceAddressTowards(std::uint32_t remote) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (s < 0) return 0;
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
    // Connecting a datagram socket sends nothing; it only chooses the route.
    const sockaddr_in a = makeAddress(remote, 9);
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    std::uint32_t address = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        address = local.sin_addr.s_addr;
    }
    ::close(s);
    return address;
}

Readiness waitReadable(SocketHandle socket, long seconds, long microseconds) {
    // ppoll: the semantics of select for one socket, no limit on the
    // descriptor's number (FD_SETSIZE), and the wait kept to the microsecond
    // (short holds of the exchange are a fraction of a millisecond).
    // select refuses a negative time; so does this wait.
    if (seconds < 0 || microseconds < 0) return Readiness::Error;
    pollfd p{fd(socket), POLLIN, 0};
    const long long totalUs = seconds * 1000000LL + microseconds;
    // A signal does not cut the wait short: wait out what is left of it.
    const long long deadline = monotonicMicroseconds() + totalUs;
    long long leftUs = totalUs;
    int r;
    for (;;) {
        timespec wait{static_cast<time_t>(leftUs / 1000000),
                      static_cast<long>(leftUs % 1000000) * 1000};
        r = ::ppoll(&p, 1, &wait, nullptr);
        if (r >= 0 || errno != EINTR) break;
        leftUs = std::max(0LL, deadline - monotonicMicroseconds());
    }
    if (r < 0) return Readiness::Error;
    if (r == 0) return Readiness::Timeout;
    return (p.revents & (POLLIN | POLLERR)) != 0 ? Readiness::Ready : Readiness::Error;
}

int waitAnyReadable(const SocketHandle* sockets, std::size_t count, bool* ready, int timeoutMs) {
    std::vector<pollfd> polls(count);
    for (std::size_t i = 0; i < count; ++i) polls[i] = pollfd{fd(sockets[i]), POLLIN, 0};
    const int r = ::poll(polls.data(), polls.size(), timeoutMs);
    for (std::size_t i = 0; i < count; ++i) {
        ready[i] = r > 0 && (polls[i].revents & (POLLIN | POLLERR)) != 0;
    }
    if (r < 0 && errno == EINTR) return 0;
    return r;
}

#if defined(__linux__)
struct WaitSet::State {
    int epoll = -1;
};

WaitSet::WaitSet() : state(new State) { state->epoll = ::epoll_create1(EPOLL_CLOEXEC); }

WaitSet::~WaitSet() {
    if (state->epoll >= 0) ::close(state->epoll);
    delete state;
}

bool WaitSet::add(SocketHandle socket, std::size_t tag) {
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u64 = tag;
    return ::epoll_ctl(state->epoll, EPOLL_CTL_ADD, fd(socket), &e) == 0;
}

void WaitSet::remove(SocketHandle socket) {
    ::epoll_ctl(state->epoll, EPOLL_CTL_DEL, fd(socket), nullptr);
}

int WaitSet::wait(long long timeoutUs, std::size_t* tags, std::size_t capacity) {
    constexpr int kAtOnce = 64;
    epoll_event events[kAtOnce];
    const int most = static_cast<int>(std::min<std::size_t>(capacity, kAtOnce));
    int n = -1;
    bool waited = false;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 35))
    // To the microsecond where the kernel can (5.11 and later): a hold of a
    // few round trips stays a few round trips, not a millisecond.
    static std::atomic<bool> exact{true};
    if (exact.load(std::memory_order_relaxed)) {
        timespec limit{static_cast<time_t>(timeoutUs / 1000000),
                       static_cast<long>(timeoutUs % 1000000) * 1000};
        n = ::epoll_pwait2(state->epoll, events, most, timeoutUs < 0 ? nullptr : &limit, nullptr);
        waited = n >= 0 || errno != ENOSYS;
        if (!waited) exact.store(false, std::memory_order_relaxed);
    }
#endif
    if (!waited) {
        // epoll_wait counts in milliseconds: a wait is never cut short, at
        // most a millisecond longer.
        const int timeoutMs = timeoutUs < 0 ? -1 : static_cast<int>((timeoutUs + 999) / 1000);
        n = ::epoll_wait(state->epoll, events, most, timeoutMs);
    }
    if (n < 0) return errno == EINTR ? 0 : -1;
    for (int i = 0; i < n; ++i) tags[i] = static_cast<std::size_t>(events[i].data.u64);
    return n;
}
#else
struct WaitSet::State {
    std::vector<pollfd> polls;
    std::vector<std::size_t> tags;
};

WaitSet::WaitSet() : state(new State) {}
WaitSet::~WaitSet() { delete state; }

bool WaitSet::add(SocketHandle socket, std::size_t tag) {
    state->polls.push_back(pollfd{fd(socket), POLLIN, 0});
    state->tags.push_back(tag);
    return true;
}

void WaitSet::remove(SocketHandle socket) {
    for (std::size_t i = 0; i < state->polls.size(); ++i) {
        if (state->polls[i].fd == fd(socket)) {
            state->polls.erase(state->polls.begin() + static_cast<long>(i));
            state->tags.erase(state->tags.begin() + static_cast<long>(i));
            return;
        }
    }
}

int WaitSet::wait(long long timeoutUs, std::size_t* tags, std::size_t capacity) {
    const int timeoutMs = timeoutUs < 0 ? -1 : static_cast<int>((timeoutUs + 999) / 1000);
    const int r = ::poll(state->polls.data(), state->polls.size(), timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    std::size_t n = 0;
    for (std::size_t i = 0; i < state->polls.size() && n < capacity; ++i) {
        if (state->polls[i].revents & (POLLIN | POLLERR)) tags[n++] = state->tags[i];
    }
    return static_cast<int>(n);
}
#endif

std::uint32_t parseAddress(const char* text) {
    return text == nullptr ? INADDR_NONE : ::inet_addr(text);
}

void formatAddress(std::uint32_t address, char* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return;
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    std::snprintf(out, capacity, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

}  // namespace zel::platform
