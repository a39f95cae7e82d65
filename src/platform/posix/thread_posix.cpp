// POSIX (Linux) implementation of the thread placement.
#include <pthread.h>
#include <sched.h>

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

}  // namespace zel::platform
