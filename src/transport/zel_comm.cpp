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

ZelResults ZelComm::exchangeWithRetries(const unsigned char* request, ZelbusResponse* response,
                                        long timeoutMs, short numRetries, bool withNetworkDelay) {
    if (request == nullptr || response == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kSendCommandWait);
    }
    int requestLength = zelbus::frameLength(request);
    std::memset(response->data, 0, sizeof(response->data));
    if (numRetries < 0) return ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kSendCommandWait);

    for (short attempt = 0;;) {
        if (withNetworkDelay) pauseBeforeAttempt();
        // Zero behind the datagram on every attempt: a longer answer to an
        // earlier attempt must leave nothing for decoders reading fixed offsets.
        if (attempt > 0) {
            std::memset(response->data, 0, sizeof(response->data));
            udpSocket.markRetry();
        }
        long timeout = timeoutMs;
        bool cutShort = false;
        if (udpSocket.exchange(reinterpret_cast<const char*>(request), &requestLength,
                               reinterpret_cast<char*>(response->data),
                               static_cast<int>(sizeof(response->data)), &timeout)) {
            // An answer cut short of what its own header announces is not an
            // answer: the missing bytes would read as zero values.
            const int received = udpSocket.receivedLength();
            cutShort = received < static_cast<int>(zelbus::kHeaderSize) ||
                       received < zelbus::frameLength(response->data);
            if (!cutShort) {
                response->command = response->data[0];
                return ZelResults(ZEL_OK, kSendCommandWait, 0);
            }
        }
        if (++attempt > numRetries) {
            return cutShort ? ZEL_RESULT(ZEL_PARAM_SIZE_MISMATCH, kSendCommandWait)
                            : ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kSendCommandWait);
        }
    }
}
