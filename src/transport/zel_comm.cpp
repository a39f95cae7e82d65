// ZelComm: exchange settings and the request/answer exchange with retries.
#include "transport/zel_comm.h"

#include <cstdio>
#include <cstring>

#include "foundation/result_helpers.h"
#include "platform/clock.h"

namespace {
constexpr char kSendCommandWait[] = "ZelComm::sendCommandWait";
}

ZelComm::ZelComm()
    : connectionIp{},
      broadcastingNetmask{},
      udpTimeout(kDefaultUdpTimeoutMs),
      udpNumRetries(0),
      networkDelay(0),
      loopsPerMs(0),
      clock(&zel::platform::Clock::system()) {
    std::snprintf(broadcastingNetmask, sizeof(broadcastingNetmask), "%s", "255.255.255.255");
}

ZelComm::~ZelComm() { udpSocket.close(); }

void ZelComm::setUdpTimeout(long ms) {
    if (ms <= kMaxUdpTimeoutMs) udpTimeout = ms;
}

long ZelComm::getUdpTimeout() { return udpTimeout; }

void ZelComm::setUdpNumRetries(short n) {
    if (n <= kMaxUdpNumRetries) udpNumRetries = n;
}

short ZelComm::getUdpNumRetries() { return udpNumRetries; }

void ZelComm::setNetworkDelay(short ms) {
    if (static_cast<unsigned short>(ms) <= static_cast<unsigned short>(kMaxNetworkDelayMs)) {
        networkDelay = ms;
    }
}

short ZelComm::getNetworkDelay() { return networkDelay; }

void ZelComm::setClock(const zel::platform::Clock* c) {
    clock = c != nullptr ? c : &zel::platform::Clock::system();
    udpSocket.setClock(clock);
}

bool ZelComm::waitForDatagram(long timeoutMs) const {
    return timeoutMs >= 0 && udpSocket.pollReadable(timeoutMs);
}

UdpSocket& ZelComm::exchangeSocket() { return udpSocket; }

zel::transport::PairingCounters ZelComm::getPairingCounters() {
    return udpSocket.pairing().counters();
}

const char* ZelComm::getConnectionIp() { return connectionIp; }

void ZelComm::flushReadBuffer() { udpSocket.flushReadBuffer(); }

bool ZelComm::initializeComm(const char* moduleIp) {
    if (moduleIp == nullptr || !udpSocket.openClient(moduleIp)) return false;
    calibrateBusyWait();
    return true;
}

void ZelComm::calibrateBusyWait() {
    // Counts how often the tick counter can be read in 100 ms; the busy-wait
    // of short network delays counts that many iterations per 2 ms of delay.
    const unsigned long start = clock->tickMs();
    unsigned long reads = 0;
    while (clock->tickMs() - start < kCalibrationMs) ++reads;
    loopsPerMs = reads / kCalibrationDivisor;
}

void ZelComm::pauseBeforeAttemptOf(void* comm) {
    static_cast<ZelComm*>(comm)->pauseBeforeAttempt();
}

void ZelComm::pauseBeforeAttempt() {
    if (networkDelay == 0) return;
    if (networkDelay >= kSleepDelayThresholdMs) {
        clock->sleepMs(static_cast<unsigned long>(networkDelay));
        return;
    }
    // volatile keeps the counting loop from being optimised away.
    const unsigned long long limit =
        static_cast<unsigned long long>(networkDelay) * static_cast<unsigned long long>(loopsPerMs);
    for (volatile unsigned long long counter = 0; counter < limit;) counter = counter + 1;
}

ZelResults ZelComm::sendCommandWait(const unsigned char* request, ZelbusResponse* response) {
    return exchangeWithRetries(request, response, udpTimeout, udpNumRetries, true);
}

ZelResults ZelComm::sendCommandWait(const unsigned char* request, ZelbusResponse* response,
                                    long timeoutMs, short numRetries) {
    return exchangeWithRetries(request, response, timeoutMs, numRetries, false);
}

ZelResults ZelComm::sendCommandWait(const ZelRequest& request, ZelbusResponse* response) {
    if (response != nullptr && request.refused()) {
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kSendCommandWait);
    }
    return sendCommandWait(request.bytes(), response);
}

ZelResults ZelComm::sendCommandWait(const ZelRequest& request, ZelbusResponse* response,
                                    long timeoutMs, short numRetries) {
    if (response != nullptr && request.refused()) {
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kSendCommandWait);
    }
    return sendCommandWait(request.bytes(), response, timeoutMs, numRetries);
}

ZelResults ZelComm::exchangeWithRetries(const unsigned char* request, ZelbusResponse* response,
                                        long timeoutMs, short numRetries, bool withNetworkDelay) {
    if (request == nullptr || response == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kSendCommandWait);
    }
    std::memset(response->data, 0, sizeof(response->data));
    if (numRetries < 0) return ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kSendCommandWait);

    using Outcome = zel::transport::AnswerPairing::Outcome;
    int received = 0;
    const Outcome o = udpSocket.pairing().call(
        reinterpret_cast<const char*>(request), zelbus::frameLength(request),
        reinterpret_cast<char*>(response->data), static_cast<int>(sizeof(response->data)),
        timeoutMs, numRetries, &received, withNetworkDelay ? pauseBeforeAttemptOf : nullptr, this);
    switch (o) {
        case Outcome::Answer:
            response->command = response->data[0];
            return ZelResults(ZEL_OK, kSendCommandWait, 0);
        case Outcome::Short:
            // Cut short of what its own header announces: the missing bytes
            // would read as zero values.
            return ZEL_RESULT(ZEL_PARAM_SIZE_MISMATCH, kSendCommandWait);
        default:
            // No answer, an empty or oversize datagram, a failed send or wait.
            return ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kSendCommandWait);
    }
}
