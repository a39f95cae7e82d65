#include <zel/zellibrary.h>

#include <cstdio>
#include <cstring>

int main() {
    ZelComm comm;
    comm.setUdpTimeout(1200);
    const bool ok = ZEL_VERSION_NUM == 0x020300 && comm.getUdpTimeout() == 1200 &&
                    CommonUtils::strToIpAddr("172.31.46.1") == 0xAC1F2E01UL &&
                    std::strcmp(ZelResults::showRespCode(ZEL_RESPONSE_TIMEOUT), "Response timeout") == 0;
    std::printf("package host: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
