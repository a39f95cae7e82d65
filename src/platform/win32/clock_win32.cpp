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

void sleepUntilMicroseconds(long long us) {
    for (long long now = monotonicMicroseconds(); now < us; now = monotonicMicroseconds()) {
        const long long left = us - now;
        Sleep(left > 2000 ? static_cast<DWORD>((left - 1000) / 1000) : 0);
    }
}

long long utcMicroseconds() {
    FILETIME f;
    GetSystemTimeAsFileTime(&f);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    // 100 ns ticks since 1601; 11644473600 s lie between 1601 and 1970.
    return static_cast<long long>(ticks / 10ULL) - 11644473600000000LL;
}

WallClockState wallClockState() { return WallClockState{}; }

}  // namespace zel::platform
