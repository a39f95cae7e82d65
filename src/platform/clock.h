// Time for the library: the millisecond tick counter (GetTickCount on
// Windows), pauses, and the whole-second wall clock of the C runtime.
// Operations that wait or measure take their time from a Clock so that tests
// of decision logic can watch (or skip) the waits; everything else uses
// Clock::system(), the real one.
#ifndef ZEL_PLATFORM_CLOCK_H
#define ZEL_PLATFORM_CLOCK_H

namespace zel::platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping as a 32-bit counter.
    virtual unsigned long tickMs() const;
    // Blocks the calling thread for `ms` milliseconds.
    virtual void sleepMs(unsigned long ms) const;
    // Whole seconds of the wall clock.
    virtual long long wallSeconds() const;

    // The real clock; immutable, shared by every object that is given none.
    static const Clock& system();
};

// Monotonic microseconds, for the simulator's schedules and the benchmarks.
long long monotonicMicroseconds();

// Blocks the calling thread until monotonicMicroseconds() reaches `us` (at
// once when it has), without the rounding of a millisecond sleep.
void sleepUntilMicroseconds(long long us);

// Wall-clock time in UTC, microseconds since 1970-01-01 00:00:00.
long long utcMicroseconds();

// What the system says about its wall clock's synchronisation: whether a
// time service keeps it in step, and its estimate of the largest error in
// microseconds (-1 when it gives none).
struct WallClockState {
    bool synchronised = false;
    long long maxErrorUs = -1;
};
WallClockState wallClockState();

}  // namespace zel::platform

#endif  // ZEL_PLATFORM_CLOCK_H
