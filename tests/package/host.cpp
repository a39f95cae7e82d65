#include <zel/zellibrary.h>

#include <cstdio>
#include <cstring>

int main() {
    ZelDeviceModule module;
    module.setUdpTimeout(1200);
    double scaling = 0;
    const bool ok =
        ZEL_VERSION_NUM == 0x020300 && module.getUdpTimeout() == 1200 &&
        std::strcmp(ZelModule::getLibraryVersion(), ZEL_VERSION_TEXT) == 0 &&
        std::strcmp(ZelModule::showModuleId(ZEL_4116_06), "580316-06") == 0 &&
        module.getScaling(&scaling, 0) && scaling == 1.0 &&
        module.getProgrammingState() == PROGRAMMING_IDLE &&
        CommonUtils::strToIpAddr("172.31.46.1") == 0xAC1F2E01UL &&
        std::strcmp(ZelResults::showRespCode(ZEL_RESPONSE_TIMEOUT), "Response timeout") == 0;
    std::printf("package host: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
