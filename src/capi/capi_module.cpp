// The flat C interface: the module family and the module-wide functions
// that every kind exports under its own prefix.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "capi/capi_support.h"

using namespace zel::capi;

namespace {

template <std::size_t N>
int copyField(ZelModuleHandle h, char* text, char (ModuleData::*field)[N]) {
    if (h == nullptr || text == nullptr) return kNull;
    const ModuleData d = module(h)->getModuleData();
    std::strcpy(text, d.*field);
    return 0;
}

// The connect record a datagram carries, or false when it is none.
bool connectRecord(const char* msg, ZELBUSConnectResponse* record) {
    return ZelComm::decodeConnectMsg(const_cast<char*>(msg), record).ok();
}

// A constructor that throws gives a null handle, as a failed allocation does.
template <typename Kind>
ZelModuleHandle create() {
    return guarded<ZelModuleHandle>(nullptr, [] {
        Kind* object = new (std::nothrow) Kind;
        return object == nullptr ? nullptr : handle(object);
    });
}

}  // namespace

extern "C" {

ZelModuleHandle ZEL_CALL ZelModuleCreate(void) { return create<ZelModule>(); }
ZelModuleHandle ZEL_CALL Zel1VppModuleCreate(void) { return create<Zel1VppModule>(); }
ZelModuleHandle ZEL_CALL ZelKalixModuleCreate(void) { return create<ZelKalixModule>(); }
ZelModuleHandle ZEL_CALL ZelTtlModuleCreate(void) { return create<ZelTtlModule>(); }
ZelModuleHandle ZEL_CALL ZelLvdtModuleCreate(void) { return create<ZelLvdtModule>(); }
ZelModuleHandle ZEL_CALL ZelAnalogModuleCreate(void) { return create<ZelAnalogModule>(); }
ZelModuleHandle ZEL_CALL ZelIoModuleCreate(void) { return create<ZelIoModule>(); }
ZelModuleHandle ZEL_CALL ZelPneumaticModuleCreate(void) { return create<ZelPneumaticModule>(); }

void ZEL_CALL ZelModuleDelete(ZelModuleHandle h) { delete module(h); }

int ZEL_CALL ZelModuleInitialize(ZelModuleHandle h, const char* ip, bool connectOption) {
    if (h == nullptr) return kNull;
    // The object's own initialisation, whatever prefix it is called by.
    return guarded(kRefused, [&] { return code(module(h)->initializeModule(ip, connectOption)); });
}

void ZEL_CALL ZelModuleGetLibraryVersion(char* version) {
    if (version != nullptr) std::strcpy(version, ZelModule::getLibraryVersion());
}

int ZEL_CALL ZelModuleGetModuleType(ZelModuleHandle h, MODULE_ID* id) {
    if (h == nullptr || id == nullptr) return kNull;
    unsigned long number = 0;
    unsigned char typeByte = 0;
    unsigned short channels = 0;
    return code(module(h)->getModuleType(id, &number, &typeByte, &channels));
}

int ZEL_CALL ZelModuleSetIpAddress(ZelModuleHandle h, const char* ip, const char* netmask) {
    if (h == nullptr || ip == nullptr || netmask == nullptr) return kNull;
    return code(module(h)->setIp(ip, netmask));
}

int ZEL_CALL ZelModuleGetIpAddress(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::ipAddress);
}
int ZEL_CALL ZelModuleGetIpStaticAddress(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::ipStatic);
}
int ZEL_CALL ZelModuleGetNetmask(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::netmask);
}
int ZEL_CALL ZelModuleGetNetmaskStatic(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::netmaskStatic);
}
int ZEL_CALL ZelModuleGetMacAddress(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::macAddress);
}
int ZEL_CALL ZelModuleGetBootloaderVersion(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::bootloaderVersion);
}
int ZEL_CALL ZelModuleGetFirmwareVersion(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::firmwareVersion);
}
int ZEL_CALL ZelModuleGetSerialNumber(ZelModuleHandle h, char* text) {
    return copyField(h, text, &ModuleData::serialNumber);
}

int ZEL_CALL ZelModuleGetPort(ZelModuleHandle h, unsigned short* port) {
    if (h == nullptr || port == nullptr) return kNull;
    *port = module(h)->getModuleData().port;
    return 0;
}

int ZEL_CALL ZelModuleGetUsingDhcp(ZelModuleHandle h, unsigned char* flag) {
    if (h == nullptr || flag == nullptr) return kNull;
    *flag = module(h)->getModuleData().usingDhcp ? 1 : 0;
    return 0;
}

int ZEL_CALL ZelModuleSetAsyncPort(ZelModuleHandle h, const unsigned short* port) {
    if (h == nullptr || port == nullptr) return kNull;
    return code(module(h)->setAsyncPort(port));
}

int ZEL_CALL ZelModuleGetAsyncPort(ZelModuleHandle h, unsigned short* port) {
    if (h == nullptr || port == nullptr) return kNull;
    return code(module(h)->getAsyncPort(port));
}

int ZEL_CALL ZelModuleSetUsingDhcp(ZelModuleHandle h, char flag) {
    if (h == nullptr) return kNull;
    return code(module(h)->setDhcp(flag != 0 ? 1 : 0));
}

int ZEL_CALL ZelModuleReset(ZelModuleHandle h) {
    if (h == nullptr) return kNull;
    return code(module(h)->resetZelbus());
}

int ZEL_CALL ZelModuleShowType(ZelModuleHandle h, char* text) {
    if (h == nullptr || text == nullptr) return kNull;
    std::strcpy(text, ZelModule::showModuleType(module(h)->getModuleData().moduleId));
    return 0;
}

int ZEL_CALL ZelModuleShowId(ZelModuleHandle h, char* text) {
    if (h == nullptr || text == nullptr) return kNull;
    std::strcpy(text, ZelModule::showModuleId(module(h)->getModuleData().moduleId));
    return 0;
}

int ZEL_CALL ZelModuleShowRespCode(char* text, int value) {
    if (text == nullptr) return kNull;
    std::strcpy(text, ZelResults::showRespCode(static_cast<ZEL_RESPONSE_CODE>(value)));
    return 0;
}

int ZEL_CALL ZelModuleSetBroadcastingNetmask(ZelModuleHandle h, const char* netmask) {
    if (h == nullptr || netmask == nullptr) return kNull;
    module(h)->setBroadcastingNetmask(netmask);
    return 0;
}

int ZEL_CALL ZelModuleSetUdpTimeout(ZelModuleHandle h, long ms) {
    if (h == nullptr) return kNull;
    module(h)->setUdpTimeout(ms);
    return 0;
}

int ZEL_CALL ZelModuleGetUdpTimeout(ZelModuleHandle h, long* ms) {
    if (h == nullptr || ms == nullptr) return kNull;
    *ms = module(h)->getUdpTimeout();
    return 0;
}

int ZEL_CALL ZelModuleSetUdpNumRetries(ZelModuleHandle h, short n) {
    if (h == nullptr) return kNull;
    module(h)->setUdpNumRetries(n);
    return 0;
}

int ZEL_CALL ZelModuleGetUdpNumRetries(ZelModuleHandle h, short* n) {
    if (h == nullptr || n == nullptr) return kNull;
    *n = module(h)->getUdpNumRetries();
    return 0;
}

int ZEL_CALL ZelModuleSetNetworkDelay(ZelModuleHandle h, short ms) {
    if (h == nullptr) return kNull;
    module(h)->setNetworkDelay(ms);
    return 0;
}

int ZEL_CALL ZelModuleGetNetworkDelay(ZelModuleHandle h, short* ms) {
    if (h == nullptr || ms == nullptr) return kNull;
    *ms = module(h)->getNetworkDelay();
    return 0;
}

int ZEL_CALL ZelModuleBroadcast(ZelModuleHandle h, const char* localIp, unsigned short localPort,
                                short* count, char* ipList, char* netmaskList,
                                unsigned short* ports) {
    if (h == nullptr || localIp == nullptr || count == nullptr || ipList == nullptr ||
        netmaskList == nullptr || ports == nullptr) {
        return kNull;
    }
    return guarded(kRefused, [&] {
        static constexpr int kRecords = 64;
        auto records = std::make_unique<ZELBUSConnectResponse[]>(kRecords);
        ZelResults r =
            module(h)->broadcastOpenConnection(localIp, &localPort, records.get(), count);
        if (!r.ok()) return code(r);
        char* ip = ipList;
        char* mask = netmaskList;
        for (short i = 0; i < *count && i < kRecords; ++i) {
            const char* separator = i + 1 < *count ? " " : "";
            ip += std::sprintf(ip, "%s%s", records[i].ipAddress, separator);
            mask += std::sprintf(mask, "%s%s", records[i].netmask, separator);
            ports[i] = records[i].port;
        }
        return code(r);
    });
}

int ZEL_CALL ZelModuleProgram(ZelModuleHandle h, const char* file, bool isBootloader) {
    if (h == nullptr || file == nullptr) return kNull;
    return guarded(kRefused, [&] { return code(module(h)->program(file, isBootloader)); });
}

int ZEL_CALL ZelModuleGetProgramState(ZelModuleHandle h, PROGRAMMING_STATE_ENUMS* state) {
    if (h == nullptr || state == nullptr) return kNull;
    *state = module(h)->getProgrammingState();
    return 0;
}

int ZEL_CALL ZelModuleGetProgramPercentComplete(ZelModuleHandle h, double* percent) {
    if (h == nullptr || percent == nullptr) return kNull;
    *percent = module(h)->getProgrammingPercentComplete();
    return 0;
}

int ZEL_CALL ZelModuleCheckProgramFile(const char* file, bool isBootloader, char* why,
                                       unsigned long size) {
    return guarded<int>(ZEL_UNKNOWN_ERROR, [&]() -> int {
        if (file == nullptr || (why == nullptr && size != 0)) return kNull;
        bool holdsBootloader = false;
        std::vector<ProgramFileProblem> problems;
        int r = ZelProgramming::checkProgramFile(file, &holdsBootloader, &problems).getCode();
        if (r == 0 && holdsBootloader != isBootloader) {
            r = ZEL_IMAGE_INVALID;
            problems.push_back({0, holdsBootloader
                                       ? "the file holds a bootloader image, not firmware"
                                       : "the file holds firmware, not a bootloader image"});
        }
        std::string text;
        for (const ProgramFileProblem& p : problems) {
            if (p.line > 0) text += "line " + std::to_string(p.line) + ": ";
            text += p.text + "\n";
        }
        copyBounded(why, size, text);
        return r;
    });
}

// ---- Asynchronous messages ---------------------------------------------------

int ZEL_CALL ZelModuleGetAsyncMsgType(const char* msg, UdpCmdType* type) {
    if (msg == nullptr || type == nullptr) return kNull;
    *type = ZelComm::getAsyncMsgType(const_cast<char*>(msg));
    return 0;
}

#define ZEL_CAPI_CONNECT_TEXT(Name, field)                                \
    int Name(const char* msg, char* text) {                               \
        if (msg == nullptr || text == nullptr) return kNull;              \
        ZELBUSConnectResponse record{};                                   \
        if (connectRecord(msg, &record)) std::strcpy(text, record.field); \
        return 0;                                                         \
    }
ZEL_CAPI_CONNECT_TEXT(ZelModuleGetAsyncMsgIpAddress, ipAddress)
ZEL_CAPI_CONNECT_TEXT(ZelModuleGetAsyncMsgMacAddress, macAddress)
ZEL_CAPI_CONNECT_TEXT(ZelModuleGetAsyncMsgNetmask, netmask)
ZEL_CAPI_CONNECT_TEXT(ZelModuleGetAsyncMsgSerialNumber, serialNumber)
#undef ZEL_CAPI_CONNECT_TEXT

int ZEL_CALL ZelModuleGetAsyncMsgPort(const char* msg, unsigned short* port) {
    if (msg == nullptr || port == nullptr) return kNull;
    ZELBUSConnectResponse record{};
    if (connectRecord(msg, &record)) *port = record.port;
    return 0;
}

int ZEL_CALL ZelModuleGetAsyncMsgDhcp(const char* msg, unsigned char* flag) {
    if (msg == nullptr || flag == nullptr) return kNull;
    ZELBUSConnectResponse record{};
    if (connectRecord(msg, &record)) *flag = record.usingDhcp ? 1 : 0;
    return 0;
}

int ZEL_CALL ZelModuleGetAsyncMsgChannelStatus(const char* msg, unsigned short* channel,
                                               unsigned short* status) {
    if (msg == nullptr || channel == nullptr || status == nullptr) return kNull;
    // 0 whatever the type: a message of another type leaves the outputs as
    // they were, and the caller tells the types apart by ZelModuleGetAsyncMsgType.
    (void)ZelComm::decodeChannelStatusMsg(const_cast<char*>(msg), channel, status);
    return 0;
}

int ZEL_CALL ZelModuleGetAsyncMsgLatch(const char* msg, unsigned char* latch) {
    if (msg == nullptr || latch == nullptr) return kNull;
    // 0 whatever the type, as above.
    (void)ZelComm::decodeLatchMsg(const_cast<char*>(msg), latch);
    return 0;
}

// ---- Module-wide functions ---------------------------------------------------
// ZelCapi... are the implementations of names exported only under the
// kinds' prefixes (aliases below); they are not exported themselves.

int ZEL_CALL ZelModuleGetModuleErrorState(ZelModuleHandle h, unsigned char* state) {
    if (h == nullptr || state == nullptr) return kNull;
    unsigned long errors = 0;
    double value = 0.0;
    ZelResults r = module(h)->getIntegrity(&errors, &value, 1);
    *state = r.ok() && errors != 0 ? 1 : 0;
    return code(r);
}

int ZEL_CALL ZelModuleGetModuleErrors(ZelModuleHandle h, unsigned long* errors, double* values,
                                      short n) {
    if (h == nullptr || errors == nullptr || values == nullptr) return kNull;
    if (n < 14) return kRefused;
    return code(module(h)->getIntegrity(errors, values, static_cast<unsigned short>(n)));
}

int ZEL_CALL ZelModuleClearErrors(ZelModuleHandle h) {
    if (h == nullptr) return kNull;
    return code(module(h)->clearAllErrors());
}

int ZEL_CALL ZelModuleGetAdcValues(ZelModuleHandle h, short* values, short n) {
    if (h == nullptr || values == nullptr) return kNull;
    if (n < 5) return kRefused;
    return code(module(h)->getAdcValues(values, static_cast<unsigned short>(n)));
}

int ZEL_CALL ZelCapiGetNumChannels(ZelModuleHandle h, unsigned short* n) {
    if (h == nullptr || n == nullptr) return kNull;
    *n = module(h)->getNumChannels();
    return 0;
}

int ZEL_CALL ZelCapiEnableDiags(ZelModuleHandle h, DIAG_MODE_OPTIONS mode) {
    if (h == nullptr) return kNull;
    return code(module(h)->enableDiags(mode));
}

int ZEL_CALL ZelCapiClearLatch(ZelModuleHandle h) {
    if (h == nullptr) return kNull;
    return code(module(h)->setLatch(LATCH_CLEAR, LATCH_CHOICE_NONE));
}

int ZEL_CALL ZelCapiGetLatch(ZelModuleHandle h, unsigned char* latched) {
    if (h == nullptr || latched == nullptr) return kNull;
    unsigned char latch[5] = {};
    ZelResults r = module(h)->getLatch(latch, 5);
    if (r.ok()) *latched = latch[0] != 0 ? 1 : 0;
    return code(r);
}

}  // extern "C"

ZEL_CAPI_MODULE_ALIASES(ZEL_CAPI_ALIAS)
