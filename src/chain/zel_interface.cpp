// ZelInterface: discovery, one object per module kind, the ordering of the
// chain through the neighbour signals, lookup by position.
#include "chain/zel_interface.h"

#include <cstring>
#include <new>

#include "foundation/result_helpers.h"
#include "modules/module_kinds.h"
#include "platform/clock.h"

namespace {

// The modules answer from this port; the host must listen elsewhere.
constexpr unsigned short kReservedHostPort = 27300;
constexpr unsigned long kSignalPauseMs = 500;
constexpr long long kSettlingSeconds = 30;
constexpr int kMaxOrderingPasses = 64;

bool isEncoderModule(const MODULE_ID& id) {
    return zel::identity::has(id, &zel::identity::KindInfo::encoder);
}

}  // namespace

ZelInterface::ZelInterface()
    : localIp{},
      localPort(0),
      modules{},
      numModules(0),
      numConnectResponses(0),
      connectResponses{},
      chainCreationState(ZEL_CHAIN_NOT_CREATED),
      orderingClock(&zel::platform::Clock::system()) {}

void ZelInterface::setClock(const zel::platform::Clock* clock) {
    orderingClock = clock != nullptr ? clock : &zel::platform::Clock::system();
}

ZelInterface::~ZelInterface() { removeConnections(); }

ZelResults ZelInterface::prepare(const char* ip, unsigned short port, const char* netmask,
                                 const char* method) {
    if (ip == nullptr || netmask == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, method);
    if (port == kReservedHostPort) return ZEL_RESULT(ZEL_UDP_PORT_INVALID, method);
    // A longer text is not stored; the field keeps what it held.
    if (std::strlen(ip) < sizeof(localIp)) std::memcpy(localIp, ip, std::strlen(ip) + 1);
    localPort = port;
    removeConnections();
    return ZelResults(ZEL_OK, method, __LINE__);
}

ZelResults ZelInterface::createChain(const char* ip, unsigned short port, bool connectOption,
                                     const char* netmask) {
    ZelResults r = prepare(ip, port, netmask, "ZelInterface::createChain");
    if (!r.ok()) return r;
    chainCreationState = ZEL_CHAIN_DISCOVERING;
    r = sendBroadcast(connectOption, netmask, false);
    if (!r.ok()) {
        chainCreationState = ZEL_CHAIN_FAILED;
        return r;
    }
    chainCreationState = ZEL_CHAIN_ORDERING;
    r = organizeChain();
    chainCreationState = r.ok() ? ZEL_CHAIN_CREATED : ZEL_CHAIN_FAILED;
    return r;
}

ZelResults ZelInterface::restoreFactoryDefaults(const char* ip, unsigned short port,
                                                const char* netmask) {
    ZelResults r = prepare(ip, port, netmask, "ZelInterface::restoreFactoryDefaults");
    if (!r.ok()) return r;
    return sendBroadcast(false, netmask, true);
}

ZelResults ZelInterface::sendBroadcast(bool connectOption, const char* netmask, bool factoryReset) {
    constexpr char kMethod[] = "ZelInterface::sendBroadcast";
    if (netmask == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r;
    {
        ZelModule broadcaster;
        broadcaster.setBroadcastingNetmask(netmask);
        if (factoryReset) return broadcaster.broadcastFactoryDefaults(localIp, localPort);
        short count = 0;
        r = broadcaster.broadcastOpenConnection(localIp, &localPort, connectResponses, &count);
        // The count of this discovery, whatever its result: the records
        // beside it were overwritten by it.
        numConnectResponses = static_cast<unsigned short>(count);
    }
    if (!r.ok()) return r;
    if (numConnectResponses == 0) return ZEL_RESULT(ZEL_BROADCAST_NO_RESPONSE, kMethod);
    for (unsigned short i = 0; i < numConnectResponses; ++i) {
        r = createNewModule(connectResponses[i].ipAddress, connectOption);
        if (!r.ok()) return r;
    }
    return r;
}

bool ZelInterface::append(ZelModule* module) {
    if (numModules >= ZEL_MAX_CHAIN_MODULES) return false;
    modules[numModules++] = module;
    return true;
}

ZelResults ZelInterface::createNewModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelInterface::createNewModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    MODULE_ID id = MODULE_ID_NONE;
    {
        ZelModule* probe = new (std::nothrow) ZelModule;
        if (probe == nullptr) return ZEL_RESULT(ZEL_NULL_MODULE_RETURNED, kMethod);
        ZelResults r = probe->initializeModule(ip, false);
        id = probe->getModuleData().moduleId;
        delete probe;
        if (!r.ok()) return r;
    }
    ZelModule* module = zel::kinds::create(id, true);
    if (module == nullptr) return ZEL_RESULT(ZEL_NULL_MODULE_RETURNED, kMethod);
    ZelResults r = module->initializeModule(ip, connectOption);
    if (!r.ok()) {
        delete module;
        return r;
    }
    if (!append(module)) {
        delete module;
        return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    }
    return r;
}

ZelResults ZelInterface::addModule(MODULE_ID id, const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelInterface::addModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (numModules >= ZEL_MAX_CHAIN_MODULES) return ZEL_RESULT(ZEL_OUT_OF_RANGE, kMethod);
    ZelModule* probe = new (std::nothrow) ZelModule;
    if (probe == nullptr) return ZEL_RESULT(ZEL_NULL_MODULE_RETURNED, kMethod);
    if (probe->initializeModule(ip, false).ok()) {
        MODULE_ID reported = MODULE_ID_NONE;
        unsigned long number = 0;
        unsigned char typeByte = 0;
        unsigned short channels = 0;
        ZelResults r = probe->getModuleType(&reported, &number, &typeByte, &channels);
        if (!r.ok()) {
            delete probe;
            return r;
        }
        if (reported != id) {
            append(probe);  // kept as it is, so the host can still reach it
            return ZEL_RESULT(ZEL_MODULE_NOT_IN_ZELBUS, kMethod);
        }
    }
    // A module that could not be identified is taken as `id` says.
    delete probe;
    ZelModule* module = zel::kinds::create(id, false);
    if (module == nullptr) return ZEL_RESULT(ZEL_NULL_MODULE_RETURNED, kMethod);
    ZelResults r = module->initializeModule(ip, connectOption);
    if (!r.ok()) {
        delete module;
        return r;
    }
    append(module);
    return r;
}

ZelResults ZelInterface::organizeChain() {
    constexpr char kMethod[] = "ZelInterface::organizeChain";
    const zel::platform::Clock& clock = *orderingClock;
    if (numModules == 0) return ZEL_RESULT(ZEL_FIRST_MODULE_UNKNOWN, kMethod);

    // Every right output off; the module the host is plugged into leads.
    int first = -1;
    for (unsigned short i = 0; i < numModules; ++i) {
        ZelResults r = modules[i]->setRight(false);
        if (!r.ok()) return r;
        if (modules[i]->getModuleData().connectFlag) first = i;
    }
    if (first < 0) return ZEL_RESULT(ZEL_FIRST_MODULE_UNKNOWN, kMethod);

    // Wait until no left input is high any more, at most 30 s.
    const long long start = clock.wallSeconds();
    for (;;) {
        bool anyHigh = false;
        for (unsigned short i = 0; i < numModules; ++i) {
            LeftData left{};
            ZelResults r = modules[i]->getLeft(&left);
            if (!r.ok()) return r;
            anyHigh = anyHigh || left.leftActive;
        }
        if (!anyHigh) break;
        clock.sleepMs(kSignalPauseMs);
        if (clock.wallSeconds() - start >= kSettlingSeconds) break;
    }

    // Pass the signal on: each module found raises its right output, and
    // the module whose left input then goes high is the next one.
    ZelModule* order[ZEL_MAX_CHAIN_MODULES] = {};
    bool visited[ZEL_MAX_CHAIN_MODULES] = {};
    unsigned short found = 0;
    ZelResults r = modules[first]->setRight(true);
    if (!r.ok()) return r;
    clock.sleepMs(kSignalPauseMs);
    order[found++] = modules[first];
    visited[first] = true;
    for (int pass = 0; pass < kMaxOrderingPasses && found < numModules; ++pass) {
        for (unsigned short i = 0; i < numModules; ++i) {
            if (visited[i]) continue;
            LeftData left{};
            r = modules[i]->getLeft(&left);
            if (!r.ok()) return r;
            if (!left.leftActive) continue;
            r = modules[i]->setRight(true);
            if (!r.ok()) return r;
            order[found++] = modules[i];
            visited[i] = true;
            clock.sleepMs(kSignalPauseMs);
        }
    }
    if (found < numModules) return ZEL_RESULT(ZEL_CONNECT_IN_NOT_HIGH, kMethod);

    ZelResults result(ZEL_OK, kMethod, __LINE__);
    for (unsigned short i = 0; i < numModules; ++i) {
        modules[i] = order[i];
        // Every output goes off, whatever one of them answers.
        ZelResults off = modules[i]->setRight(false);
        if (!off.ok()) result = off;
    }
    return result;
}

void ZelInterface::removeConnections() {
    for (unsigned short i = 0; i < numModules; ++i) {
        delete modules[i];
        modules[i] = nullptr;
    }
    numModules = 0;
}

ZelResults ZelInterface::getConnectResponses(ZELBUSConnectResponse* records,
                                             unsigned short* count) {
    constexpr char kMethod[] = "ZelInterface::getConnectResponses";
    if (records == nullptr || count == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    std::memcpy(records, connectResponses, sizeof(connectResponses));
    *count = numConnectResponses;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZEL_CHAIN_CREATION_STATE ZelInterface::getChainCreationState() { return chainCreationState; }

unsigned short ZelInterface::getNumModules() { return numModules; }

ZelModule* ZelInterface::getModule(unsigned short index) {
    return index < numModules ? modules[index] : nullptr;
}

namespace {
// The module as its kind's class when its identity says it is of that kind.
template <typename Kind>
Kind* typed(ZelModule* module, bool (*isKind)(const MODULE_ID&)) {
    if (module == nullptr || !isKind(module->getModuleData().moduleId)) return nullptr;
    return dynamic_cast<Kind*>(module);
}
}  // namespace

ZelDeviceModule* ZelInterface::getDeviceModule(unsigned short index) {
    return typed<ZelDeviceModule>(getModule(index), isEncoderModule);
}
ZelKalixModule* ZelInterface::getKalixModule(unsigned short index) {
    return typed<ZelKalixModule>(getModule(index), ZelModule::isKalixModule);
}
Zel1VppModule* ZelInterface::get1VppModule(unsigned short index) {
    return typed<Zel1VppModule>(getModule(index), ZelModule::is1VppModule);
}
ZelTtlModule* ZelInterface::getTtlModule(unsigned short index) {
    return typed<ZelTtlModule>(getModule(index), ZelModule::isTtlModule);
}
ZelLvdtModule* ZelInterface::getLvdtModule(unsigned short index) {
    return typed<ZelLvdtModule>(getModule(index), ZelModule::isLvdtModule);
}
ZelIoModule* ZelInterface::getIoModule(unsigned short index) {
    return typed<ZelIoModule>(getModule(index), ZelModule::isIOModule);
}
ZelPneumaticModule* ZelInterface::getPneumaticModule(unsigned short index) {
    return typed<ZelPneumaticModule>(getModule(index), ZelModule::isPneumaticModule);
}
ZelAnalogModule* ZelInterface::getAnalogModule(unsigned short index) {
    return typed<ZelAnalogModule>(getModule(index), ZelModule::isAnalogModule);
}
