// POSIX implementation of the platform clock.
#include <sys/timex.h>
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

void sleepUntilMicroseconds(long long us) {
    const timespec t{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

long long utcMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<long long>(t.tv_sec) * 1000000LL + t.tv_nsec / 1000;
}

WallClockState wallClockState() {
    WallClockState state;
    timex t{};
    const int status = adjtimex(&t);
    if (status == -1) return state;
    state.synchronised = status != TIME_ERROR && (t.status & STA_UNSYNC) == 0;
    state.maxErrorUs = static_cast<long long>(t.maxerror);
    return state;
}

}  // namespace zel::platform
