// ZelModule: identity lookups, the lifecycle, the configuration and
// neighbour commands, and the checked exchange every module command uses.
#include "modules/zel_module.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "zel_version.h"

namespace {

constexpr long kAsyncPortTimeoutMs = 1000;
constexpr short kAsyncPortRetries = 3;
// FRAM field 1 holds the module's ID string "%d-%02d"; without its last
// three characters ("-vv") it is the hardware number.
constexpr unsigned char kFramIdField = 1;
constexpr std::size_t kFramIdBufferSize = 32;
constexpr std::size_t kFramIdMinLength = 4;
constexpr std::size_t kVariantSuffixLength = 3;
// Release kinds of a version in the configuration answer.
constexpr int kReleaseBeta = 5;
constexpr int kReleaseCandidate = 6;

// "major.minor.patch", with the release kind's suffix and build number.
void formatVersion(char* out, int major, int minor, int patch, int release, int build) {
    if (release == kReleaseBeta) {
        std::snprintf(out, ZEL_VERSION_TEXT_CAPACITY, "%d.%d.%d Beta %d", major, minor, patch,
                      build);
    } else if (release == kReleaseCandidate) {
        std::snprintf(out, ZEL_VERSION_TEXT_CAPACITY, "%d.%d.%d RC %d", major, minor, patch, build);
    } else {
        std::snprintf(out, ZEL_VERSION_TEXT_CAPACITY, "%d.%d.%d", major, minor, patch);
    }
}

// Copies a version text to the caller's buffer unless it is that buffer.
void copyVersion(char* destination, const char* source) {
    if (destination != source) std::memcpy(destination, source, ZEL_VERSION_TEXT_CAPACITY);
}

void copyText(char* destination, const char* source, std::size_t capacity) {
    std::memset(destination, 0, capacity);
    std::snprintf(destination, capacity, "%s", source);
}

}  // namespace

using zelbus::paramCount;
using zelbus::paramLength;
using zelbus::params;

// ---- Identity ---------------------------------------------------------------

const char* ZelModule::showModuleType(MODULE_ID id) { return zel::identity::modelName(id); }
const char* ZelModule::showModuleId(MODULE_ID id) { return zel::identity::idString(id); }

bool ZelModule::isPowerSupplyModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::PowerSupply);
}
bool ZelModule::isKalixModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::Kalix);
}
bool ZelModule::is1VppModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::OneVpp);
}
bool ZelModule::isTtlModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::Ttl);
}
bool ZelModule::isLvdtModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::Lvdt);
}
bool ZelModule::isAnalogModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::Analog);
}
bool ZelModule::isIOModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::Io);
}
bool ZelModule::isPneumaticModule(const MODULE_ID& id) {
    return zel::identity::isKind(id, zel::identity::Kind::Pneumatic);
}
bool ZelModule::isPriority1Module(const MODULE_ID& id) {
    return zel::identity::priorityClass(id) == 1;
}
bool ZelModule::isPriority2Module(const MODULE_ID& id) {
    return zel::identity::priorityClass(id) == 2;
}
bool ZelModule::isBaseModule(const MODULE_ID& id) { return zel::identity::isBase(id); }
bool ZelModule::isBootloaderModule(const MODULE_ID& id) { return id == MODULE_ID_NONE; }

char* ZelModule::getLibraryVersion() {
    // The interface hands out char*; the text itself is constant.
    return const_cast<char*>(ZEL_VERSION_TEXT);
}

// ---- Lifecycle --------------------------------------------------------------

ZelModule::ZelModule()
    : commInitialized(false),
      moduleDataInitialized(false),
      programming(new (std::nothrow) ZelProgramming(this)),
      moduleData(),
      rotaryFormat{},
      deviceOffset{} {}

ZelModule::~ZelModule() {
    programming.reset();
    commInitialized = false;
}

void ZelModule::storeConnectRecord(const ZELBUSConnectResponse& record) {
    moduleData.port = record.port;
    moduleData.connectFlag = record.connectFlag;
    moduleData.usingDhcp = record.usingDhcp;
    copyText(moduleData.macAddress, record.macAddress, sizeof(moduleData.macAddress));
    copyText(moduleData.netmask, record.netmask, sizeof(moduleData.netmask));
    copyText(moduleData.serialNumber, record.serialNumber, sizeof(moduleData.serialNumber));
    copyText(moduleData.ipStatic, record.ipStatic, sizeof(moduleData.ipStatic));
    copyText(moduleData.netmaskStatic, record.netmaskStatic, sizeof(moduleData.netmaskStatic));
    moduleData.revisionChar = record.revisionChar == 0 ? ' ' : record.revisionChar;
}

ZelResults ZelModule::initializeModule(const char* ip, bool connectOption) {
    constexpr char kMethod[] = "ZelModule::initializeModule";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    copyText(moduleData.ipAddress, ip, sizeof(moduleData.ipAddress));
    if (!initializeComm(ip)) return ZEL_RESULT(ZEL_UDP_BIND_FAILED, kMethod);

    ZELBUSConnectResponse record{};
    ZelResults r = openConnection(ip, &record, connectOption);
    if (!r.ok()) return r;
    storeConnectRecord(record);
    commInitialized = true;

    r = getModuleType(&moduleData.moduleId, &moduleData.moduleNumber, &moduleData.typeByte,
                      &moduleData.numChannels);
    if (!r.ok()) return r;
    // Six-channel answers describe a four-channel module.
    if (moduleData.numChannels == 6) moduleData.numChannels = 4;

    std::memset(moduleData.bootloaderVersion, 0, sizeof(moduleData.bootloaderVersion));
    std::memset(moduleData.firmwareVersion, 0, sizeof(moduleData.firmwareVersion));
    char address[ZEL_IP_TEXT_CAPACITY] = {};
    (void)getConfig(address, &moduleData.configDhcp, moduleData.bootloaderVersion,
                    moduleData.firmwareVersion);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::initializeFirmware(const char* ip) {
    constexpr char kMethod[] = "ZelModule::initializeFirmware";
    if (ip == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (!initializeComm(ip)) return ZEL_RESULT(ZEL_UDP_BIND_FAILED, kMethod);

    ZELBUSConnectResponse record{};
    ZelResults r = openConnection(ip, &record, false);
    if (!r.ok()) return r;
    copyText(moduleData.ipAddress, ip, sizeof(moduleData.ipAddress));
    storeConnectRecord(record);

    std::memset(moduleData.bootloaderVersion, 0, sizeof(moduleData.bootloaderVersion));
    std::memset(moduleData.firmwareVersion, 0, sizeof(moduleData.firmwareVersion));
    commInitialized = true;
    char address[ZEL_IP_TEXT_CAPACITY] = {};
    (void)getConfig(address, &moduleData.configDhcp, moduleData.bootloaderVersion,
                    moduleData.firmwareVersion);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ModuleData ZelModule::getModuleData() { return moduleData; }

unsigned short ZelModule::getNumChannels() { return moduleData.numChannels; }

ZelResults ZelModule::program(const char* file, bool isBootloader) {
    constexpr char kMethod[] = "ZelModule::program";
    if (file == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (moduleData.usingDhcp) return ZEL_RESULT(ZEL_DHCP_BLOCKS_PROGRAMMING, kMethod);
    if (!programming) return ZEL_RESULT(ZEL_NULL_MODULE_RETURNED, kMethod);
    ZelResults r = programming->program(file, isBootloader);
    if (!r.ok()) programming->setState(PROGRAMMING_FAILED);
    return r;
}

ZelProgramming* ZelModule::getProgramming() { return programming.get(); }

double ZelModule::getProgrammingPercentComplete() {
    return programming ? programming->getPercentComplete() : 0.0;
}

PROGRAMMING_STATE_ENUMS ZelModule::getProgrammingState() {
    return programming ? programming->getState() : PROGRAMMING_FAILED;
}

// ---- The checked exchange ---------------------------------------------------

ZelResults ZelModule::getUdpData(UdpCmdType command, unsigned char paramCount,
                                 unsigned char paramLength, ZelbusResponse* response) {
    if (response == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, "ZelModule::getUdpData");
    return getUdpData(ZelRequest::withHeader(command, paramCount, paramLength), response);
}

ZelResults ZelModule::getUdpData(unsigned char* request, UdpCmdType command,
                                 unsigned char paramCount, unsigned char paramLength,
                                 ZelbusResponse* response) {
    constexpr char kMethod[] = "ZelModule::getUdpData";
    if (request == nullptr || response == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    zelbus::writeHeader(request, command, paramCount, paramLength);
    ZelResults r = sendCommandWait(request, response);
    if (!r.ok()) return r;
    return checkAnswer(command, response);
}

ZelResults ZelModule::getUdpData(const ZelRequest& request, ZelbusResponse* response) {
    constexpr char kMethod[] = "ZelModule::getUdpData";
    if (response == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelResults r = sendCommandWait(request, response);
    if (!r.ok()) return r;
    return checkAnswer(request.command(), response);
}

ZelResults ZelModule::checkAnswer(UdpCmdType command, const ZelbusResponse* response) {
    constexpr char kMethod[] = "ZelModule::getUdpData";
    // An answer only counts for the module this object stands for.
    if (std::strncmp(moduleData.ipAddress, getConnectionIp(), ZEL_IP_TEXT_CAPACITY) != 0) {
        return ZEL_RESULT(ZEL_RETURN_IP_MISMATCH, kMethod);
    }
    if (response->command != command) return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::exchangeExpecting(const ZelRequest& request, ZelbusResponse* response,
                                        const char* method, int line) {
    ZelResults r = sendCommandWait(request, response);
    if (!r.ok()) return r;
    if (response->command != request.command()) {
        return ZelResults(ZEL_COMMAND_TYPE_MISMATCH, method, line);
    }
    return ZelResults(ZEL_OK, method, line);
}

// ---- Configuration and neighbour commands -----------------------------------

ZelResults ZelModule::getModuleType(MODULE_ID* id, unsigned long* number, unsigned char* typeByte,
                                    unsigned short* channels) {
    constexpr char kMethod[] = "ZelModule::getModuleType";
    if (id == nullptr || number == nullptr || typeByte == nullptr || channels == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    }
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::getModuleType(), &response);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    if (paramCount(response) != 4) return ZEL_RESULT(ZEL_PARAM_COUNT_MISMATCH, kMethod);

    unsigned char* p = params(response);
    if (paramLength(response) >= 10) {
        *id = static_cast<MODULE_ID>(CommonUtils::uCharsToULong(p));
        *number = CommonUtils::uCharsToULong(p + 4);
        *typeByte = p[8];
        // The channel byte is signed on the wire; its value is passed on as it was.
        *channels = static_cast<unsigned short>(
            static_cast<signed char>(p[9]));  // NOLINT(bugprone-signed-char-misuse)
    } else {
        *id = MODULE_ID_NONE;
        *number = 0;
        *typeByte = 0;
        *channels = 0;
    }
    // The number the module reports is replaced by the hardware number of
    // its ID string, which the module keeps in FRAM.
    unsigned char idText[kFramIdBufferSize] = {};
    if (getFram(kFramIdField, sizeof(idText), idText).ok()) {
        const char* text = reinterpret_cast<const char*>(idText);
        const std::size_t length = strnlen(text, sizeof(idText));
        if (length >= kFramIdMinLength && length < sizeof(idText)) {
            char hardware[kFramIdBufferSize] = {};
            std::memcpy(hardware, text, length - kVariantSuffixLength);
            *number = static_cast<unsigned long>(std::atoi(hardware));
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::getConfig(char* ip, bool* dhcp, char* bootloaderVersion,
                                char* firmwareVersion) {
    constexpr char kMethod[] = "ZelModule::getConfig";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (ip == nullptr || dhcp == nullptr || bootloaderVersion == nullptr ||
        firmwareVersion == nullptr) {
        return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    }
    ZelbusResponse response{};
    ZelResults r = exchangeExpecting(ZelRequest::getConfig(), &response, kMethod);
    if (!r.ok()) return r;

    const unsigned char* p = params(response);
    // The address comes least significant byte first.
    std::snprintf(ip, ZEL_IP_TEXT_CAPACITY, "%d.%d.%d.%d", p[3], p[2], p[1], p[0]);
    *dhcp = p[4] != 0;
    if (paramCount(response) > 2) {
        formatVersion(moduleData.bootloaderVersion, p[5], p[7], p[9], p[17], p[18]);
        copyVersion(bootloaderVersion, moduleData.bootloaderVersion);
    }
    if (paramCount(response) > 3) {
        // A firmware version starting with a digit or letter is the module's
        // own text; otherwise it is three numbers with a release kind.
        if (static_cast<signed char>(p[10]) >= '0') {
            const char* text = reinterpret_cast<const char*>(p + 10);
            const std::size_t room = zelbus::kFrameSize - zelbus::kHeaderSize - 10;
            const std::size_t length = strnlen(text, room);
            if (length < ZEL_VERSION_TEXT_CAPACITY) {
                std::memset(moduleData.firmwareVersion, 0, sizeof(moduleData.firmwareVersion));
                std::memcpy(moduleData.firmwareVersion, text, length);
                copyVersion(firmwareVersion, moduleData.firmwareVersion);
            }
        } else {
            formatVersion(moduleData.firmwareVersion, p[10], p[12], p[14], p[15], p[16]);
            copyVersion(firmwareVersion, moduleData.firmwareVersion);
        }
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::getAsyncPort(unsigned short* port) {
    constexpr char kMethod[] = "ZelModule::getAsyncPort";
    if (port == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = sendCommandWait(ZelRequest::readAsyncPort(), &response, kAsyncPortTimeoutMs,
                                   kAsyncPortRetries);
    if (!r.ok()) return r;
    if (response.command == UDP_CMD_ASYNC_PORT) {
        const unsigned char* p = params(response);
        *port = static_cast<unsigned short>(p[0] * 256 + p[1]);
        return ZelResults(ZEL_OK, kMethod, __LINE__);
    }
    *port = 0;
    // A module without an asynchronous port says so with a negative answer.
    if (response.command == UDP_CMD_NEGATIVE_ANSWER) return ZelResults(ZEL_OK, kMethod, __LINE__);
    return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
}

ZelResults ZelModule::setAsyncMode(bool enable) {
    constexpr char kMethod[] = "ZelModule::setAsyncMode";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    ZelResults r = getUdpData(ZelRequest::asyncMode(enable), &response);
    if (!r.ok()) return r;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::getLeft(LeftData* left) {
    constexpr char kMethod[] = "ZelModule::getLeft";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    if (left == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    ZelbusResponse response{};
    ZelResults r = exchangeExpecting(ZelRequest::getLeft(), &response, kMethod);
    if (!r.ok()) return r;
    if (paramCount(response) == 0) return ZEL_RESULT(ZEL_PARAM_COUNT_ZERO, kMethod);
    if (paramCount(response) != 5) return ZEL_RESULT(ZEL_PARAM_COUNT_MISMATCH, kMethod);
    if (paramLength(response) < 8) return ZEL_RESULT(ZEL_PARAM_SIZE_MISMATCH, kMethod);
    const unsigned char* p = params(response);
    std::snprintf(left->ipAddress, sizeof(left->ipAddress), "%d.%d.%d.%d", p[3], p[2], p[1], p[0]);
    left->leftActive = p[4] != 0;
    left->leftFlag2 = p[5] != 0;
    left->leftFlag3 = p[6] != 0;
    left->leftFlag4 = p[7] != 0;
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelModule::setRight(bool on) {
    constexpr char kMethod[] = "ZelModule::setRight";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    return exchangeExpecting(ZelRequest::setRight(on), &response, kMethod);
}

ZelResults ZelModule::resetZelbus() {
    constexpr char kMethod[] = "ZelModule::resetZelbus";
    if (!commInitialized) return ZEL_RESULT(ZEL_COMM_NOT_INITIALIZED, kMethod);
    ZelbusResponse response{};
    return exchangeExpecting(ZelRequest::reset(), &response, kMethod);
}
