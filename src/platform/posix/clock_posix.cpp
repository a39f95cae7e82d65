// POSIX implementation of the platform clock.
#include <time.h>

#include <cerrno>
#include <ctime>

#include "platform/clock.h"

namespace zel::platform {

unsigned long Clock::tickMs() const {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    const unsigned long long ms = static_cast<unsigned long long>(t.tv_sec) * 1000ULL +
                                  static_cast<unsigned long long>(t.tv_nsec) / 1000000ULL;
    return static_cast<unsigned long>(ms & 0xFFFFFFFFULL);
}

void Clock::sleepMs(unsigned long ms) const {
    timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

long long Clock::wallSeconds() const { return static_cast<long long>(std::time(nullptr)); }

const Clock& Clock::system() {
    static const Clock clock;
    return clock;
}

long long monotonicMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000LL + t.tv_nsec / 1000;
}

}  // namespace zel::platform
