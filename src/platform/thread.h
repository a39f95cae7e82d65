// Where a thread runs. The simulator can give its serving thread a core of
// its own and the benchmarks keep the host on another, as a module has its
// own processor: left to the scheduler, the thread a host wakes tends to run
// on the host's own core, after the host's burst of requests.
#ifndef ZEL_PLATFORM_THREAD_H
#define ZEL_PLATFORM_THREAD_H

namespace zel::platform {

// Keeps the calling thread on one processor from now on. False when there
// is no such processor or the system refuses.
bool pinCurrentThread(unsigned cpu);

// Gives the calling thread a name the system's tools show (at most 15
// characters are kept). False when the system refuses.
bool nameCurrentThread(const char* name);

// Lets the calling thread's timed waits end at their time: the system may
// otherwise run a wait up to 50 us past it to save wake-ups. False when the
// system has no such setting.
bool tightenTimerSlack();

// Runs the calling thread under the system's real-time (first in, first out)
// scheduling at `priority` (1 to 99): no ordinary thread takes its processor
// while it runs. False when the system refuses (no permission) or has none;
// the thread then runs as before.
bool raiseCurrentThreadToRealtime(int priority);

}  // namespace zel::platform

#endif  // ZEL_PLATFORM_THREAD_H
