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
      socketHandle(net::kInvalidSocket),
      address(0),
      port(0),
      clock(&net::Clock::system()) {}

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::setClock(const net::Clock* c) { clock = c != nullptr ? c : &net::Clock::system(); }

bool UdpSocket::createSocket() {
    if (!net::acquireSocketLibrary()) return false;
    socketHandle = net::openUdpSocket();
    ++generation;
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

bool UdpSocket::pollReadable(long timeoutMs) const {
    return net::waitReadable(socketHandle, timeoutMs / 1000, (timeoutMs % 1000) * 1000) ==
           net::Readiness::Ready;
}

void UdpSocket::discardWaiting(bool pauseAfterEach) {
    char scratch[kScratchSize];
    while (pollReadable()) {
        net::Peer from;
        if (net::receiveFrom(socketHandle, scratch, sizeof(scratch), &from) < 0) return;
        // The module sent more than it was asked for: duplicates or late
        // answers happen on this link, so early answers are held for a while.
        if (fromModule(from.address, from.port)) suspectExchanges = kSuspectExchanges;
        if (pauseAfterEach) clock->sleepMs(kStalePauseMs);
    }
}

bool UdpSocket::fromModule(std::uint32_t peerAddress, std::uint16_t peerPort) const {
    return peerAddress == address && peerPort == port;
}

long UdpSocket::receiveFromModule(char* buffer, int capacity, long long deadlineUs) {
    for (;;) {
        const long long leftUs = deadlineUs - net::monotonicMicroseconds();
        if (leftUs <= 0) return kTimedOut;
        switch (net::waitReadable(socketHandle, static_cast<long>(leftUs / 1000000),
                                  static_cast<long>(leftUs % 1000000))) {
            case net::Readiness::Timeout:
                return kTimedOut;
            case net::Readiness::Error:
                return -1;
            case net::Readiness::Ready:
                break;
        }
        net::Peer from;
        const long n =
            net::receiveWhole(socketHandle, buffer, static_cast<std::size_t>(capacity), &from);
        if (n < 0) return -1;
        if (fromModule(from.address, from.port)) return n;
    }
}

void UdpSocket::drainOwedAnswers() {
    char scratch[kScratchSize];
    while (owedAnswers > 0 && receiveFromModule(scratch, sizeof(scratch), owedUntilUs) >= 0) {
        --owedAnswers;
        suspectExchanges = kSuspectExchanges;  // an answer came after its time-out
    }
    owedAnswers = 0;
}

bool UdpSocket::exchange(const char* request, int* requestLength, char* response,
                         int responseCapacity, long* timeoutMs) {
    if (request == nullptr || requestLength == nullptr || response == nullptr ||
        timeoutMs == nullptr) {
        return false;
    }
    if (!isOpen || *requestLength < 0 || responseCapacity <= 0 || *timeoutMs < 0) return false;
    lastLength = 0;

    // A late answer to an earlier command must never be taken for this one:
    // first the answers still owed, then whatever else is queued.
    if (!retrying) drainOwedAnswers();
    retrying = false;
    discardWaiting(true);

    if (net::sendTo(socketHandle, request, static_cast<std::size_t>(*requestLength), address,
                    port) < 0) {
        return false;
    }
    const long long sentUs = net::monotonicMicroseconds();
    const long long timeoutUs = static_cast<long long>(*timeoutMs) * 1000;
    const long long deadlineUs = sentUs + timeoutUs;
    // The answer to this request is owed until it comes; if it does not come
    // in time it is still waited for, one time-out longer, before the next.
    ++owedAnswers;
    owedUntilUs = deadlineUs + timeoutUs;

    long n = receiveFromModule(response, responseCapacity, deadlineUs);
    if (n < 0) return false;
    --owedAnswers;
    long long roundTripUs = net::monotonicMicroseconds() - sentUs;
    bool heldAlone = false;
    const bool early = isEarly(roundTripUs);
    countExchange();
    if (early && n <= responseCapacity) {
        // Sooner than the module can have answered this request: a duplicate
        // or an older answer, unless nothing else follows it.
        markSuspect();
        heldAlone = true;
        char later[kScratchSize];
        const long long holdUntilUs =
            std::min(deadlineUs, net::monotonicMicroseconds() + 3 * usualRoundTripUs);
        const long m = receiveFromModule(later, sizeof(later), holdUntilUs);
        if (m > 0 && m <= responseCapacity) {
            std::memcpy(response, later, static_cast<std::size_t>(m));
            std::memset(response + m, 0, static_cast<std::size_t>(responseCapacity - m));
            n = m;
            roundTripUs = net::monotonicMicroseconds() - sentUs;
            heldAlone = false;
        }
    }
    if (n > responseCapacity) {
        discardWaiting(false);
        return false;
    }
    learnRoundTrip(roundTripUs, heldAlone);
    lastLength = static_cast<int>(n);
    return true;
}

long UdpSocket::readWaiting(char* buffer, int capacity) {
    net::Peer from;
    const long n =
        net::receiveWhole(socketHandle, buffer, static_cast<std::size_t>(capacity), &from);
    if (n < 0) return -1;
    if (!fromModule(from.address, from.port)) return kForeign;
    if (owedAnswers > 0) --owedAnswers;
    return n;
}

bool UdpSocket::sendAttempt(const char* request, int length, long timeoutMs) {
    if (!isOpen || request == nullptr || length < 0) return false;
    if (net::sendTo(socketHandle, request, static_cast<std::size_t>(length), address, port) < 0)
        return false;
    ++owedAnswers;
    owedUntilUs = net::monotonicMicroseconds() + 2LL * timeoutMs * 1000;
    return true;
}

bool UdpSocket::isEarly(long long roundTripUs) const {
    if (roundTripUs * 4 < fastestRoundTripUs) return true;
    return suspectExchanges > 0 && roundTripUs * 10 < usualRoundTripUs * 7;
}

void UdpSocket::learnRoundTrip(long long roundTripUs, bool heldAlone) {
    // A window's fastest answer counts until the next window is whole, so
    // one slow stretch never hides how fast the module can answer. An early
    // answer that nothing followed is either a copy whose own answer was
    // lost or held up, or an answer of a module that now answers much faster
    // than at first (the first datagram to an address waits for its address
    // resolution): it halves the floor and the usual round trip at most, so
    // that the copies of a link that sends them keep being held, and a
    // faster module's answers stop being held after a few. (The hold marks
    // the link suspect; were the usual round trip only averaged down, the
    // suspect link's rule would go on holding the faster answers for dozens
    // of exchanges.)
    if (usualRoundTripUs == 0) {
        usualRoundTripUs = roundTripUs;
    } else if (heldAlone) {
        usualRoundTripUs = std::min(usualRoundTripUs, std::max(roundTripUs, usualRoundTripUs / 2));
    } else {
        usualRoundTripUs = (usualRoundTripUs * 7 + roundTripUs) / 8;
    }
    const long long counted =
        heldAlone ? std::max(roundTripUs, fastestRoundTripUs / 2) : roundTripUs;
    if (fastestRoundTripUs == 0 || counted < fastestRoundTripUs) fastestRoundTripUs = counted;
    if (windowFastestUs == 0 || counted < windowFastestUs) windowFastestUs = counted;
    if (++windowAnswers == kFastestWindow) {
        fastestRoundTripUs = windowFastestUs;
        windowFastestUs = 0;
        windowAnswers = 0;
    }
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
    owedAnswers = 0;
    owedUntilUs = 0;
    retrying = false;
    suspectExchanges = 0;
    usualRoundTripUs = 0;
    fastestRoundTripUs = 0;
    windowFastestUs = 0;
    windowAnswers = 0;
}
