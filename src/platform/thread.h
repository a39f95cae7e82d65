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

}  // namespace zel::platform

#endif  // ZEL_PLATFORM_THREAD_H
