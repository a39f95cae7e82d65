// Where a thread runs. The simulator gives its serving thread a core of its
// own and the benchmarks keep the host on another, as a module has its own
// processor: left to the scheduler, the thread a host wakes is run on the
// host's own core after the host's burst of requests, one after the other.
#ifndef ZEL_PLATFORM_THREAD_H
#define ZEL_PLATFORM_THREAD_H

namespace zel::platform {

// Keeps the calling thread on one processor from now on. False when there
// is no such processor or the system refuses.
bool pinCurrentThread(unsigned cpu);

}  // namespace zel::platform

#endif  // ZEL_PLATFORM_THREAD_H
