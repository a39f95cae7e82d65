// Answers paired with requests by the port they leave from.
#include "transport/answer_pairing.h"

#include <cstring>

#include "transport/zelbus_frame.h"

namespace zel::transport {

AnswerPairing::AnswerPairing(PairingLink& l, bool alt) : link(l), alternate(alt) {}

void AnswerPairing::aim(std::uint32_t address, std::uint16_t port) {
    moduleAddress = address;
    modulePort = port;
}

void AnswerPairing::reset(bool alt) {
    alternate = alt;
    owes[0] = owes[1] = false;
    waiting = false;
    current = 1;
}

bool AnswerPairing::renewPort(int port) {
    owes[port] = false;
    ++renewed;
    return link.renew(port);
}

int AnswerPairing::beginCall() {
    if (alternate)
        current = 1 - current;
    else
        current = 0;
    waiting = false;
    return current;
}

AnswerPairing::Outcome AnswerPairing::sendAttempt(const char* request, int length, bool retry,
                                                  bool lookForStrays) {
    waiting = false;
    if (!retry) {
        if (lookForStrays) {
            // Whatever is queued before the request was asked for by nobody.
            char scratch[512];
            std::uint32_t address = 0;
            std::uint16_t port = 0;
            while (link.wait(current, 0) == PairingLink::Wait::Ready) {
                if (link.receive(current, scratch, sizeof(scratch), &address, &port) < 0) break;
                strays.fetch_add(1, std::memory_order_relaxed);
                owes[current] = true;
                link.pauseMs(kStalePauseMs);
            }
        }
        if (alternate && owes[current] && !renewPort(current)) return Outcome::SendFailed;
        owes[current] = false;  // a port that cannot be renewed starts clean
    } else {
        retried.fetch_add(1, std::memory_order_relaxed);
    }
    if (!link.send(current, request, length)) {
        owes[current] = true;
        return Outcome::SendFailed;
    }
    waiting = true;
    return Outcome::Answer;
}

AnswerPairing::Outcome AnswerPairing::take(int port, char* buffer, int capacity, long* received) {
    std::uint32_t address = 0;
    std::uint16_t from = 0;
    *received = link.receive(port, buffer, capacity, &address, &from);
    return classify(port, buffer, capacity, *received, address, from);
}

AnswerPairing::Outcome AnswerPairing::classify(int port, const char* buffer, int capacity, long n,
                                               std::uint32_t address, std::uint16_t from) {
    if (n < 0) {
        owes[port] = true;
        if (port == current) waiting = false;
        return Outcome::WaitFailed;
    }
    if (address != moduleAddress || from != modulePort) {
        foreign.fetch_add(1, std::memory_order_relaxed);
        return Outcome::Foreign;
    }
    if (port != current || !waiting) {
        strays.fetch_add(1, std::memory_order_relaxed);
        owes[port] = true;
        return Outcome::Stray;
    }
    waiting = false;
    Outcome o = Outcome::Answer;
    if (n == 0) {
        o = Outcome::Empty;
    } else if (n > capacity) {
        o = Outcome::Oversize;
    } else if (n < static_cast<long>(zelbus::kHeaderSize) ||
               n < zelbus::frameLength(reinterpret_cast<const unsigned char*>(buffer))) {
        o = Outcome::Short;
    }
    if (o != Outcome::Answer) owes[port] = true;
    return o;
}

void AnswerPairing::timedOut() {
    waiting = false;
    owes[current] = true;
}

AnswerPairing::Outcome AnswerPairing::waitForAnswer(char* response, int capacity, long timeoutMs,
                                                    long* received) {
    if (timeoutMs < 0) {
        // A wait of a negative time fails: the request is out, its answer owed.
        timedOut();
        return Outcome::TimedOut;
    }
    const long long deadline = link.nowUs() + static_cast<long long>(timeoutMs) * 1000;
    for (;;) {
        const long long left = deadline - link.nowUs();
        std::uint32_t address = 0;
        std::uint16_t from = 0;
        switch (link.receiveWithin(current, left > 0 ? left : 0, response, capacity, received,
                                   &address, &from)) {
            case PairingLink::Wait::Timeout:
                timedOut();
                return Outcome::TimedOut;
            case PairingLink::Wait::Error:
                failed(current);
                waiting = false;
                return Outcome::WaitFailed;
            case PairingLink::Wait::Ready:
                break;
        }
        const Outcome o = classify(current, response, capacity, *received, address, from);
        if (o == Outcome::Foreign) continue;
        if (o == Outcome::Oversize) {
            // Nothing of it is left queued for a retry.
            char scratch[512];
            while (link.wait(current, 0) == PairingLink::Wait::Ready &&
                   link.receive(current, scratch, sizeof(scratch), &address, &from) >= 0) {
            }
        }
        return o;
    }
}

AnswerPairing::Outcome AnswerPairing::call(const char* request, int length, char* response,
                                           int capacity, long timeoutMs, int retries, int* received,
                                           void (*beforeAttempt)(void*), void* context) {
    *received = 0;
    beginCall();
    Outcome o = Outcome::TimedOut;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        if (beforeAttempt != nullptr) beforeAttempt(context);
        // Zero behind the datagram on every attempt: a longer answer to an
        // earlier attempt must leave nothing for decoders reading fixed offsets.
        std::memset(response, 0, static_cast<std::size_t>(capacity));
        o = sendAttempt(request, length, attempt > 0, attempt == 0);
        if (o == Outcome::SendFailed) continue;  // a failed attempt like any other
        long n = 0;
        o = waitForAnswer(response, capacity, timeoutMs, &n);
        if (o == Outcome::Answer) {
            *received = static_cast<int>(n);
            return o;
        }
    }
    return o;
}

}  // namespace zel::transport
