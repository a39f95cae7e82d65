// The UDP socket layer over the platform's datagram interface.
#include "transport/udp_socket.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/net.h"
#include "transport/zelbus_frame.h"

namespace net = zel::platform;

UdpSocket::UdpSocket()
    : isOpen(false),
      handles{net::kInvalidSocket, net::kInvalidSocket},
      address(0),
      port(0),
      clock(&net::Clock::system()),
      pairer(*this, false) {}

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::setClock(const net::Clock* c) { clock = c != nullptr ? c : &net::Clock::system(); }

bool UdpSocket::createSocket() {
    if (!net::acquireSocketLibrary()) return false;
    handles[0] = net::openUdpSocket();
    ++generations[0];
    if (handles[0] != net::kInvalidSocket) return true;
    net::releaseSocketLibrary();
    return false;
}

bool UdpSocket::openClient(const char* moduleIp) {
    if (moduleIp == nullptr) return false;
    close();
    address = net::parseAddress(moduleIp);
    port = zelbus::kModulePort;
    if (!createSocket()) return false;
    isOpen = true;
    client = true;
    pairer.aim(address, port);
    pairer.reset(true);
    return true;
}

bool UdpSocket::openServer(const char* localIp, unsigned short localPort) {
    if (localIp == nullptr) return false;
    close();
    address = net::parseAddress(localIp);
    port = localPort;
    if (!createSocket()) return false;
    if (!net::bindSocket(handles[0], address, port)) {
        net::closeSocket(handles[0]);
        handles[0] = net::kInvalidSocket;
        net::releaseSocketLibrary();
        return false;
    }
    isOpen = true;
    client = false;
    // Commands would go to the bound address itself, from the one port
    // that must stay bound.
    pairer.aim(address, port);
    pairer.reset(false);
    return true;
}

bool UdpSocket::pollReadable(long timeoutMs) const {
    const std::intptr_t h = handles[pairer.currentPort()];
    return h != net::kInvalidSocket &&
           net::waitReadable(h, timeoutMs / 1000, (timeoutMs % 1000) * 1000) ==
               net::Readiness::Ready;
}

bool UdpSocket::renew(int p) {
    if (!isOpen || !client) return false;
    if (handles[p] != net::kInvalidSocket) net::closeSocket(handles[p]);
    handles[p] = net::openUdpSocket();
    ++generations[p];
    return handles[p] != net::kInvalidSocket;
}

bool UdpSocket::send(int p, const char* data, int length) {
    if (!isOpen || length < 0) return false;
    if (handles[p] == net::kInvalidSocket && !renew(p)) return false;
    return net::sendTo(handles[p], data, static_cast<std::size_t>(length), address, port) >= 0;
}

UdpSocket::Wait UdpSocket::wait(int p, long long timeoutUs) {
    if (handles[p] == net::kInvalidSocket) return Wait::Error;
    switch (net::waitReadable(handles[p], static_cast<long>(timeoutUs / 1000000),
                              static_cast<long>(timeoutUs % 1000000))) {
        case net::Readiness::Ready:
            return Wait::Ready;
        case net::Readiness::Timeout:
            return Wait::Timeout;
        case net::Readiness::Error:
            break;
    }
    return Wait::Error;
}

long UdpSocket::receive(int p, char* buffer, int capacity, std::uint32_t* fromAddress,
                        std::uint16_t* fromPort) {
    net::Peer from;
    const long n = net::receiveWhole(handles[p], buffer, static_cast<std::size_t>(capacity), &from);
    *fromAddress = from.address;
    *fromPort = from.port;
    return n;
}

// Most answers come long before the time-out, and a read that sleeps by
// itself costs one call less than a readiness wait and a read. So the first
// part of the wait sleeps in the read, with the socket's receive time-out
// set to three quarters of the wait less 20 ms: the system may end that
// time-out up to an eighth late and in whole scheduler ticks, and this keeps
// it inside the wait. The rest, to the microsecond, is the readiness wait.
// The socket keeps its receive time-out from call to call (one system call
// when the wait changes).
UdpSocket::Wait UdpSocket::receiveWithin(int p, long long timeoutUs, char* buffer, int capacity,
                                         long* received, std::uint32_t* fromAddress,
                                         std::uint16_t* fromPort) {
    constexpr long kTimerLateMs = 20;
    constexpr long kShortestReadMs = 5;
    const long waitMs = static_cast<long>((timeoutUs + 999) / 1000);
    const long readMs = waitMs / 4 * 3 - kTimerLateMs;
    if (handles[p] != net::kInvalidSocket && readMs >= kShortestReadMs) {
        bool set = readTimeoutMs[p] == readMs && readTimeoutGeneration[p] == generations[p];
        if (!set && net::setReceiveTimeout(handles[p], readMs)) {
            readTimeoutMs[p] = readMs;
            readTimeoutGeneration[p] = generations[p];
            set = true;
        }
        if (set) {
            const long long start = net::monotonicMicroseconds();
            bool timedOut = false;
            net::Peer from;
            const long n = net::receiveWholeWithin(
                handles[p], buffer, static_cast<std::size_t>(capacity), &from, &timedOut);
            if (!timedOut) {
                *received = n;
                *fromAddress = from.address;
                *fromPort = from.port;
                return Wait::Ready;
            }
            timeoutUs = std::max(0LL, timeoutUs - (net::monotonicMicroseconds() - start));
        }
    }
    return PairingLink::receiveWithin(p, timeoutUs, buffer, capacity, received, fromAddress,
                                      fromPort);
}

long long UdpSocket::nowUs() { return net::monotonicMicroseconds(); }

void UdpSocket::pauseMs(unsigned long ms) { clock->sleepMs(ms); }

bool UdpSocket::exchange(const char* request, int* requestLength, char* response,
                         int responseCapacity, long* timeoutMs) {
    if (request == nullptr || requestLength == nullptr || response == nullptr ||
        timeoutMs == nullptr) {
        return false;
    }
    if (!isOpen || *requestLength < 0 || responseCapacity <= 0) return false;
    int received = 0;
    return pairer.call(request, *requestLength, response, responseCapacity, *timeoutMs, 0,
                       &received) == zel::transport::AnswerPairing::Outcome::Answer;
}

void UdpSocket::flushReadBuffer() {
    if (!isOpen) return;
    char scratch[kScratchSize];
    int emptyPolls = 0;
    while (emptyPolls < kFlushEmptyPolls) {
        if (pollReadable()) {
            net::receiveFrom(handles[pairer.currentPort()], scratch, sizeof(scratch), nullptr);
        } else {
            ++emptyPolls;
        }
        clock->sleepMs(kFlushPauseMs);
    }
}

int UdpSocket::broadcastAndCollect(unsigned short destinationPort, const char* broadcastIp,
                                   const char* request, int* requestLength, char* responses,
                                   int capacity, unsigned short* count) {
    if (broadcastIp == nullptr || request == nullptr || requestLength == nullptr ||
        responses == nullptr || count == nullptr) {
        return BROADCAST_NULL_POINTER;
    }
    if (!isOpen || !net::setBroadcast(handles[0], true)) return BROADCAST_PERMISSION_FAILED;
    if (*requestLength < 0 ||
        net::sendTo(handles[0], request, static_cast<std::size_t>(*requestLength),
                    net::parseAddress(broadcastIp), destinationPort) < 0) {
        return BROADCAST_SEND_FAILED;
    }
    *count = 0;
    long total = 0;
    char scratch[kScratchSize];
    for (;;) {
        switch (net::waitReadable(handles[0], kBroadcastAnswerWaitS, 0)) {
            case net::Readiness::Error:
                return BROADCAST_WAIT_FAILED;
            case net::Readiness::Timeout:
                return BROADCAST_COLLECTED;
            case net::Readiness::Ready:
                break;
        }
        const long n = net::receiveFrom(handles[0], scratch, sizeof(scratch), nullptr);
        if (n <= 0) return BROADCAST_READ_FAILED;
        if (total + n > capacity) return BROADCAST_BUFFER_FULL;
        std::memcpy(responses + total, scratch, static_cast<std::size_t>(n));
        total += n;
        ++*count;
    }
}

int UdpSocket::broadcastSend(unsigned short destinationPort, const char* broadcastIp,
                             const char* data, int* length) {
    if (broadcastIp == nullptr || data == nullptr || length == nullptr) {
        return BROADCAST_NULL_POINTER;
    }
    if (!isOpen || !net::setBroadcast(handles[0], true)) return BROADCAST_PERMISSION_FAILED;
    if (*length < 0 || net::sendTo(handles[0], data, static_cast<std::size_t>(*length),
                                   net::parseAddress(broadcastIp), destinationPort) < 0) {
        return BROADCAST_SEND_FAILED;
    }
    return BROADCAST_SENT;
}

void UdpSocket::close() {
    if (!isOpen) return;
    net::shutdownAndClose(handles[0]);
    if (handles[1] != net::kInvalidSocket) net::closeSocket(handles[1]);
    net::releaseSocketLibrary();
    handles[0] = handles[1] = net::kInvalidSocket;
    isOpen = false;
    pairer.reset(false);
}
