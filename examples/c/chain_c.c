/* A C host of the library: discovers the modules of a segment, reads the
 * positions of the first TTL module it finds, and reads a configuration file.
 *
 *   chain_c LOCAL_IP NETMASK [CONFIG_FILE]
 *
 * Against the simulator: start `zelsim --chain default`, then run
 * `chain_c 127.N.0.1 255.255.0.0 examples/config/chain.xml` with the host
 * address zelsim prints. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zel/zel_capi.h>

#define MAX_MODULES 64

static int fail(const char* what, int code) {
    char text[256];
    ZelModuleShowRespCode(text, code);
    fprintf(stderr, "chain_c: %s: %s (%d)\n", what, text, code);
    return 1;
}

static int isTtl(MODULE_ID id) {
    return id == ZEL_4113_01 || id == ZEL_4113_02 || id == ZEL_4114_01 || id == ZEL_4114_02 ||
           id == ZEL_4115_01 || id == ZEL_4115_02;
}

static int readConfig(const char* file) {
    ZelConfigHandle config = ZelConfigFileCreate();
    char text[512];
    unsigned short modules = 0;
    unsigned short m;
    ZEL_XML_ELEMENTS element;
    unsigned short module, channel;
    int r = ZelConfigFileLoadXml(config, file);
    if (r == ZEL_XML_OK) r = ZelConfigFileGetNumModules(config, &modules);
    if (r != ZEL_XML_OK) {
        ZelConfigFileDecodeErrorType(config, text, (ZEL_XML_RETURN)r);
        fprintf(stderr, "chain_c: %s: %s\n", file, text);
        ZelConfigFileDelete(config);
        return 1;
    }
    printf("configuration %s: %u modules\n", file, modules);
    for (m = 1; m <= modules; ++m) {
        char model[64] = "?";
        char label[128] = "";
        ZelConfigFileGetModuleElement(config, model, m, ZEL_XML_MODEL);
        ZelConfigFileGetModuleElement(config, label, m, ZEL_XML_LABEL);
        printf("  module %u: %s \"%s\"\n", m, model, label);
    }
    r = ZelConfigFileValidateElements(config, &element, &module, &channel);
    if (r == ZEL_XML_OK) {
        printf("  check: complete\n");
    } else {
        char tag[64];
        ZelConfigFileDecodeErrorType(config, text, (ZEL_XML_RETURN)r);
        ZelConfigFileDecodeElementType(config, tag, element);
        printf("  check: %s at %s, module %u, channel %u\n", text, tag, module, channel);
    }
    ZelConfigFileDelete(config);
    return 0;
}

int main(int argc, char** argv) {
    char version[8];
    static char ips[MAX_MODULES * 18];
    static char netmasks[MAX_MODULES * 18];
    unsigned short ports[MAX_MODULES];
    short count = 0;
    char* cursor;
    int found = 0;
    int r;
    ZelModuleHandle finder;

    if (argc < 3) {
        fprintf(stderr, "usage: chain_c LOCAL_IP NETMASK [CONFIG_FILE]\n");
        return 2;
    }
    ZelModuleGetLibraryVersion(version);
    printf("library %s\n", version);

    finder = ZelModuleCreate();
    ZelModuleSetBroadcastingNetmask(finder, argv[2]);
    r = ZelModuleBroadcast(finder, argv[1], 0, &count, ips, netmasks, ports);
    ZelModuleDelete(finder);
    if (r != ZEL_OK) return fail("discovery", r);
    printf("%d modules answered: %s\n", count, ips);

    /* The list holds the addresses separated by single spaces. */
    for (cursor = strtok(ips, " "); cursor != NULL && !found; cursor = strtok(NULL, " ")) {
        ZelModuleHandle probe = ZelModuleCreate();
        MODULE_ID id = MODULE_ID_NONE;
        r = ZelModuleInitialize(probe, cursor, false);
        if (r == ZEL_OK) r = ZelModuleGetModuleType(probe, &id);
        ZelModuleDelete(probe);
        if (r != ZEL_OK) return fail(cursor, r);
        if (isTtl(id)) {
            ZelModuleHandle ttl = ZelTtlModuleCreate();
            unsigned short channels = 0;
            double positions[8];
            char model[32];
            unsigned short ch;
            r = ZelTtlModuleInitialize(ttl, cursor, false);
            if (r == ZEL_OK) r = ZelTtlModuleGetNumChannels(ttl, &channels);
            if (r == ZEL_OK) r = ZelTtlModuleGetPositions(ttl, positions, 8, COUNT_REQUEST_NORMAL);
            if (r != ZEL_OK) {
                ZelTtlModuleDelete(ttl);
                return fail(cursor, r);
            }
            ZelModuleShowType(ttl, model);
            printf("TTL module %s at %s:", model, cursor);
            for (ch = 0; ch < channels && ch < 8; ++ch) printf(" %.4f", positions[ch]);
            printf("\n");
            ZelTtlModuleDelete(ttl);
            found = 1;
        }
    }
    if (!found) printf("no TTL module on the segment\n");
    return argc > 3 ? readConfig(argv[3]) : 0;
}
