// Windows implementation of the platform clock: GetTickCount for the tick
// counter, Sleep for pauses, _time64 for the wall clock.
#include <windows.h>

#include <ctime>

#include "platform/clock.h"

namespace zel::platform {

unsigned long Clock::tickMs() const { return static_cast<unsigned long>(GetTickCount()); }

void Clock::sleepMs(unsigned long ms) const { Sleep(static_cast<DWORD>(ms)); }

long long Clock::wallSeconds() const { return static_cast<long long>(_time64(nullptr)); }

const Clock& Clock::system() {
    static const Clock clock;
    return clock;
}

long long monotonicMicroseconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    const long long f = frequency.QuadPart;
    return (now.QuadPart / f) * 1000000LL + (now.QuadPart % f) * 1000000LL / f;
}

}  // namespace zel::platform
