/* Opens the shared library at run time and resolves every name the C
 * header declares (one per line on standard input). */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    char name[256];
    int resolved = 0, missing = 0;
    void* library;
    if (argc != 2) {
        fprintf(stderr, "usage: dlopen_check LIBRARY < names\n");
        return 2;
    }
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    while (fgets(name, sizeof name, stdin) != NULL) {
        name[strcspn(name, "\r\n")] = '\0';
        if (name[0] == '\0') continue;
        if (dlsym(library, name) == NULL) {
            printf("missing: %s\n", name);
            ++missing;
        } else {
            ++resolved;
        }
    }
    /* The library stays loaded: what its static objects hold stays reachable. */
    printf("%d names resolved, %d missing\n", resolved, missing);
    return missing == 0 && resolved > 0 ? 0 : 1;
}
