/// @file
/// ZelInterface: the chain of modules on one network segment. createChain
/// finds every module with one discovery broadcast, builds for each the
/// object of its kind, and orders them as they sit in the chain by passing
/// the neighbour signal along: every right output off, then the module the
/// host is plugged into raises its right output, its right neighbour sees
/// its left input high and is next, and so on. The host then reaches the
/// modules by their position. The interface also broadcasts a factory reset
/// and takes modules in one by one by address.
///
/// createChain blocks for the discovery (at least 5 s without an answer
/// ends it), the settling of the left inputs (at most 30 s) and 500 ms per
/// module found; another thread may poll getChainCreationState meanwhile.
/// The module objects stay owned by the interface and are valid until the
/// next createChain, restoreFactoryDefaults, removeConnections or the
/// interface's destruction.
#ifndef ZEL_ZEL_INTERFACE_H
#define ZEL_ZEL_INTERFACE_H

/// @addtogroup chain
/// @{

#include <atomic>

#include "foundation/zel_export.h"
#include "foundation/zel_results.h"
#include "modules/zel_1vpp_module.h"
#include "modules/zel_analog_module.h"
#include "modules/zel_io_module.h"
#include "modules/zel_kalix_module.h"
#include "modules/zel_lvdt_module.h"
#include "modules/zel_ttl_module.h"

/// Progress of the last createChain.
enum ZEL_CHAIN_CREATION_STATE : int {
    ZEL_CHAIN_NOT_CREATED = 0,
    ZEL_CHAIN_DISCOVERING = 1,  ///< broadcast and creation of the module objects
    ZEL_CHAIN_ORDERING = 2,
    ZEL_CHAIN_CREATED = 3,  ///< created and in chain order
    ZEL_CHAIN_FAILED = 4,
};

/// The most modules a chain holds.
constexpr unsigned short ZEL_MAX_CHAIN_MODULES = 64;

/// A chain: discovery, one object per module kind, the order of the chain
/// and lookups by position; see the file's description.
class ZEL_API ZelInterface {
  public:
    ZelInterface();
    virtual ~ZelInterface();
    ZelInterface(const ZelInterface&) = delete;
    ZelInterface& operator=(const ZelInterface&) = delete;

    /// Replaces the chain: null arguments 32; port 27300 is the modules' own
    /// answer port (17, nothing changed). Discovers (11 when nobody answers),
    /// creates and initialises one object per answer in arrival order (the
    /// first failure returned, the objects before it kept), then orders them
    /// (31 without a first module, 30 when the order stays incomplete).
    ZelResults createChain(const char* localIp, unsigned short localPort, bool connectOption,
                           const char* broadcastNetmask);
    /// Drops the chain and broadcasts the factory defaults to every module of
    /// the segment; the modules do not answer.
    ZelResults restoreFactoryDefaults(const char* localIp, unsigned short localPort,
                                      const char* broadcastNetmask);
    /// Takes in the module at ip as the kind `id` names. A module reporting
    /// another identity is kept as a plain ZelModule and gives code 29; one
    /// that cannot be identified is taken as `id` says. Code 33 when the chain
    /// holds 64 modules already.
    ZelResults addModule(MODULE_ID id, const char* ip, bool connectOption);
    /// Destroys every module object; the discovery records and the state stay.
    void removeConnections();
    /// Copies all 64 records of the last discovery and their count.
    ZelResults getConnectResponses(ZELBUSConnectResponse* records, unsigned short* count);

    /// The progress of the last createChain; safe to read from another thread.
    ZEL_CHAIN_CREATION_STATE getChainCreationState();
    /// Module objects the chain holds.
    unsigned short getNumModules();
    /// The module at a chain position, or null past the end. The typed
    /// getters also give null when the identity is of another kind or the
    /// object is not of that class; getDeviceModule answers for Kalix, 1 Vpp
    /// and TTL modules only.
    ZelModule* getModule(unsigned short index);
    ZelDeviceModule* getDeviceModule(unsigned short index);        ///< Kalix, 1 Vpp or TTL, or null
    ZelKalixModule* getKalixModule(unsigned short index);          ///< as ZelKalixModule, or null
    Zel1VppModule* get1VppModule(unsigned short index);            ///< as Zel1VppModule, or null
    ZelTtlModule* getTtlModule(unsigned short index);              ///< as ZelTtlModule, or null
    ZelLvdtModule* getLvdtModule(unsigned short index);            ///< as ZelLvdtModule, or null
    ZelIoModule* getIoModule(unsigned short index);                ///< as ZelIoModule, or null
    ZelPneumaticModule* getPneumaticModule(unsigned short index);  ///< or null
    ZelAnalogModule* getAnalogModule(unsigned short index);        ///< as ZelAnalogModule, or null

    /// The clock the ordering takes its 500 ms pauses and its 30 s settling
    /// limit from (null: the system clock), so that tests of its decisions
    /// need not wait them out.
    ZEL_INTERNAL void setClock(const zel::platform::Clock* clock);

  private:
    ZEL_INTERNAL ZelResults sendBroadcast(bool connectOption, const char* broadcastNetmask,
                                          bool factoryReset);
    ZEL_INTERNAL ZelResults createNewModule(const char* ip, bool connectOption);
    ZEL_INTERNAL ZelResults organizeChain();
    /// Steps 1 to 4 shared by createChain and restoreFactoryDefaults.
    ZEL_INTERNAL ZelResults prepare(const char* localIp, unsigned short localPort,
                                    const char* broadcastNetmask, const char* method);
    ZEL_INTERNAL bool append(ZelModule* module);

    char localIp[ZEL_IP_TEXT_CAPACITY];
    unsigned short localPort;
    ZelModule* modules[ZEL_MAX_CHAIN_MODULES];
    unsigned short numModules;
    unsigned short numConnectResponses;
    ZELBUSConnectResponse connectResponses[ZEL_MAX_CHAIN_MODULES];
    std::atomic<ZEL_CHAIN_CREATION_STATE> chainCreationState;
    const zel::platform::Clock* orderingClock;
};

/// @}

#endif  // ZEL_ZEL_INTERFACE_H
