/* Loads zel.dll as a host in another language would: every name of the C
 * header's list resolves with GetProcAddress under its undecorated name,
 * and 100 000 calls through each calling-convention family of the
 * module-wide and configuration functions leave the caller's stack pointer
 * where it was (a function defined as cdecl but declared __stdcall leaves
 * its arguments on the stack at every call).
 *   dll_exports_check zel.dll capi_names.txt */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "capi/zel_capi.h"

#define CALLS 100000

static void* stackPointer(void) {
    void* sp;
#if defined(__i386__)
    __asm__ volatile("movl %%esp, %0" : "=r"(sp));
#else
    __asm__ volatile("movq %%rsp, %0" : "=r"(sp));
#endif
    return sp;
}

typedef int(ZEL_CALL* HandleOnly)(ZelModuleHandle);
typedef int(ZEL_CALL* HandleUShort)(ZelModuleHandle, unsigned short*);
typedef int(ZEL_CALL* HandleByte)(ZelModuleHandle, unsigned char*);
typedef int(ZEL_CALL* HandleDiag)(ZelModuleHandle, DIAG_MODE_OPTIONS);
typedef int(ZEL_CALL* HandleShorts)(ZelModuleHandle, short*, short);
typedef int(ZEL_CALL* HandleErrors)(ZelModuleHandle, unsigned long*, double*, short);
typedef int(ZEL_CALL* HandleInit)(ZelModuleHandle, const char*, bool);
typedef int(ZEL_CALL* ConfigCount)(ZelConfigHandle, unsigned short*);

static const char* suffix(const char* name, const char* end) {
    size_t n = strlen(name), e = strlen(end);
    return n >= e && strcmp(name + n - e, end) == 0 ? name + n - e : NULL;
}

/* Calls `f` as its family's type with null pointers; returns what it gave,
 * or -1 when the stack pointer moved. */
static int callFamily(const char* name, FARPROC f, int* family) {
    void* before;
    void* after;
    int code = 0;
    int i;
    *family = 1;
    before = stackPointer();
    if (suffix(name, "ModuleGetNumChannels")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleUShort)(void*)f)(NULL, NULL);
    } else if (suffix(name, "ModuleClearLatch") || suffix(name, "ModuleClearErrors")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleOnly)(void*)f)(NULL);
    } else if (suffix(name, "ModuleGetLatch") || suffix(name, "ModuleGetModuleErrorState")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleByte)(void*)f)(NULL, NULL);
    } else if (suffix(name, "ModuleEnableDiags")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleDiag)(void*)f)(NULL, DIAG_MODE_ON);
    } else if (suffix(name, "ModuleGetAdcValues")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleShorts)(void*)f)(NULL, NULL, 5);
    } else if (suffix(name, "ModuleGetModuleErrors")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleErrors)(void*)f)(NULL, NULL, NULL, 14);
    } else if (suffix(name, "ModuleInitialize")) {
        for (i = 0; i < CALLS; ++i) code = ((HandleInit)(void*)f)(NULL, NULL, false);
    } else if (strcmp(name, "ZelConfigFileGetNumModules") == 0) {
        for (i = 0; i < CALLS; ++i) code = ((ConfigCount)(void*)f)(NULL, NULL);
    } else {
        *family = 0;
        return 0;
    }
    after = stackPointer();
    return before == after ? code : -1;
}

int main(int argc, char** argv) {
    HMODULE library;
    FILE* names;
    char name[256];
    int resolved = 0, missing = 0, checked = 0, moved = 0;
    if (argc != 3) {
        fprintf(stderr, "usage: dll_exports_check zel.dll capi_names.txt\n");
        return 2;
    }
    library = LoadLibraryA(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "LoadLibrary %s failed: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    names = fopen(argv[2], "r");
    if (names == NULL) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 1;
    }
    while (fgets(name, sizeof name, names) != NULL) {
        FARPROC f;
        int family = 0, code;
        name[strcspn(name, "\r\n")] = '\0';
        if (name[0] == '\0') continue;
        f = GetProcAddress(library, name);
        if (f == NULL) {
            printf("missing: %s\n", name);
            ++missing;
            continue;
        }
        ++resolved;
        code = callFamily(name, f, &family);
        if (!family) continue;
        ++checked;
        if (code == -1) {
            printf("stack pointer moved: %s\n", name);
            ++moved;
        } else if (code != ZEL_NULL_POINTER && code != ZEL_XML_NULL_POINTER) {
            printf("%s with null pointers gave %d\n", name, code);
            ++moved;
        }
    }
    fclose(names);
    printf("%d names resolved, %d missing; %d functions called %d times each, %d failed\n",
           resolved, missing, checked, CALLS, moved);
    return missing == 0 && moved == 0 && resolved > 0 && checked > 0 ? 0 : 1;
}
