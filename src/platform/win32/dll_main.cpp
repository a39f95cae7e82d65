// The DLL's entry point. Loading the library initialises nothing: the one
// step is to switch off the per-thread attach and detach notifications,
// which the library has no use for.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
