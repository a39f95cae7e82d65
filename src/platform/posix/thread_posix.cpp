// POSIX (Linux) implementation of the thread placement.
#include <pthread.h>
#include <sched.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include "platform/thread.h"

namespace zel::platform {

bool pinCurrentThread(unsigned cpu) {
    if (cpu >= CPU_SETSIZE) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return pthread_setaffinity_np(pthread_self(), sizeof(set), &set) == 0;
}

bool nameCurrentThread(const char* name) {
    if (name == nullptr) return false;
    char kept[16] = {};
    for (int i = 0; i < 15 && name[i] != '\0'; ++i) kept[i] = name[i];
    return pthread_setname_np(pthread_self(), kept) == 0;
}

bool tightenTimerSlack() {
#if defined(__linux__)
    return prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
#else
    return false;
#endif
}

bool raiseCurrentThreadToRealtime(int priority) {
    if (priority < 1 || priority > 99) return false;
    sched_param p{};
    p.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
}

}  // namespace zel::platform
