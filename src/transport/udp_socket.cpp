// The UDP socket layer over the platform's datagram interface.
#include "transport/udp_socket.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/net.h"
#include "transport/zelbus_frame.h"

namespace net = zel::platform;

UdpSocket::UdpSocket()
    : isOpen(false),
      socketHandle(net::kInvalidSocket),
      address(0),
      port(0),
      clock(&net::Clock::system()) {}

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::setClock(const net::Clock* c) { clock = c != nullptr ? c : &net::Clock::system(); }

bool UdpSocket::createSocket() {
    if (!net::acquireSocketLibrary()) return false;
    socketHandle = net::openUdpSocket();
    if (socketHandle != net::kInvalidSocket) return true;
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
    return true;
}

bool UdpSocket::openServer(const char* localIp, unsigned short localPort) {
    if (localIp == nullptr) return false;
    close();
    address = net::parseAddress(localIp);
    port = localPort;
    if (!createSocket()) return false;
    if (!net::bindSocket(socketHandle, address, port)) {
        net::closeSocket(socketHandle);
        socketHandle = net::kInvalidSocket;
        net::releaseSocketLibrary();
        return false;
    }
    isOpen = true;
    return true;
}

bool UdpSocket::pollReadable() const {
    return net::waitReadable(socketHandle, 0, 0) == net::Readiness::Ready;
}

void UdpSocket::discardWaiting(bool pauseAfterEach) {
    char scratch[kScratchSize];
    while (pollReadable()) {
        if (net::receiveFrom(socketHandle, scratch, sizeof(scratch), nullptr) < 0) return;
        if (pauseAfterEach) clock->sleepMs(kStalePauseMs);
    }
}

bool UdpSocket::exchange(const char* request, int* requestLength, char* response,
                         int responseCapacity, long* timeoutMs) {
    if (request == nullptr || requestLength == nullptr || response == nullptr ||
        timeoutMs == nullptr) {
        return false;
    }
    if (!isOpen || *requestLength < 0 || responseCapacity <= 0) return false;
    const long seconds = *timeoutMs / 1000;
    const long microseconds = (*timeoutMs % 1000) * 1000;

    // A late answer to an earlier command must never be taken for this one.
    discardWaiting(true);

    if (net::sendTo(socketHandle, request, static_cast<std::size_t>(*requestLength), address,
                    port) < 0) {
        return false;
    }
    if (net::waitReadable(socketHandle, seconds, microseconds) != net::Readiness::Ready) {
        return false;
    }
    // One read tells the datagram's whole size: an answer larger than the
    // record is refused, and whatever else is queued goes with it.
    const long n = net::receiveWhole(socketHandle, response,
                                     static_cast<std::size_t>(responseCapacity));
    if (n > responseCapacity) {
        discardWaiting(false);
        return false;
    }
    return n >= 1;
}

void UdpSocket::flushReadBuffer() {
    if (!isOpen) return;
    char scratch[kScratchSize];
    int emptyPolls = 0;
    while (emptyPolls < kFlushEmptyPolls) {
        if (pollReadable()) {
            net::receiveFrom(socketHandle, scratch, sizeof(scratch), nullptr);
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
    if (!isOpen || !net::setBroadcast(socketHandle, true)) return BROADCAST_PERMISSION_FAILED;
    if (*requestLength < 0 ||
        net::sendTo(socketHandle, request, static_cast<std::size_t>(*requestLength),
                    net::parseAddress(broadcastIp), destinationPort) < 0) {
        return BROADCAST_SEND_FAILED;
    }
    *count = 0;
    long total = 0;
    char scratch[kScratchSize];
    for (;;) {
        switch (net::waitReadable(socketHandle, kBroadcastAnswerWaitS, 0)) {
            case net::Readiness::Error:
                return BROADCAST_WAIT_FAILED;
            case net::Readiness::Timeout:
                return BROADCAST_COLLECTED;
            case net::Readiness::Ready:
                break;
        }
        const long n = net::receiveFrom(socketHandle, scratch, sizeof(scratch), nullptr);
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
    if (!isOpen || !net::setBroadcast(socketHandle, true)) return BROADCAST_PERMISSION_FAILED;
    if (*length < 0 || net::sendTo(socketHandle, data, static_cast<std::size_t>(*length),
                                   net::parseAddress(broadcastIp), destinationPort) < 0) {
        return BROADCAST_SEND_FAILED;
    }
    return BROADCAST_SENT;
}

void UdpSocket::close() {
    if (!isOpen) return;
    net::shutdownAndClose(socketHandle);
    net::releaseSocketLibrary();
    socketHandle = net::kInvalidSocket;
    isOpen = false;
}
