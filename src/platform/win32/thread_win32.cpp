// Windows implementation of the thread placement.
#include <windows.h>

#include "platform/thread.h"

namespace zel::platform {

bool pinCurrentThread(unsigned cpu) {
    if (cpu >= sizeof(DWORD_PTR) * 8) return false;
    return SetThreadAffinityMask(GetCurrentThread(), static_cast<DWORD_PTR>(1) << cpu) != 0;
}

bool nameCurrentThread(const char* name) {
    // Thread descriptions need a newer Windows than the library supports.
    return name != nullptr && false;
}

bool tightenTimerSlack() { return false; }

bool raiseCurrentThreadToRealtime(int priority) {
    if (priority < 1 || priority > 99) return false;
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

}  // namespace zel::platform
