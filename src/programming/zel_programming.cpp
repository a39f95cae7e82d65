// ZelProgramming: the programming procedure and its progress record.
#include "programming/zel_programming.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/common_utils.h"
#include "foundation/result_helpers.h"
#include "modules/module_identity.h"
#include "platform/clock.h"
#include "programming/program_file.h"
#include "transport/zel_comm.h"
#include "transport/zelbus_commands.h"
#include "transport/zelbus_frame.h"

namespace {

constexpr long long kStartWaitSeconds = 2;
constexpr long long kRebootWaitSeconds = 5;
constexpr long long kFinishWaitSeconds = 8;
constexpr long long kReturnSeconds = 60;
constexpr long kVersionsTimeoutMs = 1000;
constexpr short kVersionsRetries = 3;
constexpr long kInitTimeoutMs = 30000;
constexpr long kResetTimeoutMs = 1000;
constexpr long kRebootCheckTimeoutMs = 10000;
constexpr long kDataTimeoutMs = 2000;
constexpr short kDataRetries = 2;
constexpr long kFinishTimeoutMs = 2000;
constexpr long kReturnCheckTimeoutMs = 1000;
constexpr long kReconnectTimeoutMs = 5000;
constexpr int kMaxDataLine = 200;
constexpr unsigned char kFramIdentityField = 2;
constexpr unsigned char kFramMarkField = 6;
constexpr int kUnknownVersion = 99;

struct Version {
    int major = kUnknownVersion;
    int minor = kUnknownVersion;
    int patch = kUnknownVersion;
};

// "major.minor.patch"; missing parts are 99.
Version parseVersion(const char* text) {
    Version v;
    int* parts[] = {&v.major, &v.minor, &v.patch};
    const char* p = text;
    for (int* part : parts) {
        if (*p == '\0') break;
        *part = std::atoi(p);
        p = std::strchr(p, '.');
        if (p == nullptr) break;
        ++p;
    }
    return v;
}

const char* startMarker(bool isBootloader, unsigned short priority) {
    if (isBootloader) return "ZEL_DATA_START: ZELbootloader.elf.S19";
    return priority == 1 ? "ZEL_DATA_START: ZELfirmware.elf.S19"
                         : "ZEL_DATA_START: ZELfirmwareP2.elf.S19";
}

const char* endMarker(bool isBootloader, unsigned short priority) {
    if (isBootloader) return "ZEL_DATA_END: ZELbootloader.elf.S19";
    return priority == 1 ? "ZEL_DATA_END: ZELfirmware.elf.S19"
                         : "ZEL_DATA_END: ZELfirmwareP2.elf.S19";
}

}  // namespace

ZelProgramming::ZelProgramming(ZelComm* comm)
    : comm(comm), state(PROGRAMMING_IDLE), fileSize(0), bytesSent(0), headers{} {}

double ZelProgramming::getPercentComplete() {
    const std::int32_t size = fileSize;
    if (size == 0) return 0.0;
    return static_cast<double>(bytesSent.load()) / static_cast<double>(size) * 100.0;
}

long ZelProgramming::getFileSize() { return fileSize < 0 ? 0 : fileSize.load(); }

long ZelProgramming::getBytesSent() { return bytesSent < 0 ? 0 : bytesSent.load(); }

PROGRAMMING_STATE_ENUMS ZelProgramming::getState() {
    return static_cast<PROGRAMMING_STATE_ENUMS>(state.load());
}

void ZelProgramming::setState(PROGRAMMING_STATE_ENUMS newState) { state = newState; }

bool ZelProgramming::isNewVersion(int major, int minor, int patch, unsigned short priority) {
    if (priority == 2) return major >= 1;
    return major > 1 || (major == 1 && minor > 0) || (major == 1 && minor <= 0 && patch >= 3);
}

void ZelProgramming::waitSeconds(long long seconds) {
    const zel::platform::Clock& clock = *comm->getClock();
    const long long start = clock.wallSeconds();
    while (clock.wallSeconds() - start < seconds) clock.sleepMs(50);
}

ZelResults ZelProgramming::exchange(const ZelRequest& request, long timeoutMs, short retries,
                                    const char* method) {
    ZelbusResponse response{};
    ZelResults r = comm->sendCommandWait(request, &response, timeoutMs, retries);
    if (!r.ok()) return r;
    if (response.command != request.command()) {
        return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, method);
    }
    return ZelResults(ZEL_OK, method, __LINE__);
}

ZelResults ZelProgramming::program(const char* file, bool isBootloader) {
    constexpr char kMethod[] = "ZelProgramming::program";
    if (file == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    if (comm == nullptr) return ZEL_RESULT(ZEL_NULL_MODULE_RETURNED, kMethod);
    state = PROGRAMMING_PREPARING;
    waitSeconds(kStartWaitSeconds);
    ZelResults r = validateFile(file, isBootloader);
    if (!r.ok()) return r;

    // The module's identity from FRAM field 2 gives its priority class.
    ZelbusResponse answer{};
    r = comm->sendCommandWait(ZelRequest::readFram(kFramIdentityField), &answer);
    if (!r.ok()) return r;
    if (answer.command != UDP_CMD_FRAM) return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    char identity[16];
    std::snprintf(identity, sizeof(identity), "%ld", CommonUtils::uCharsToLong(answer.data + 4));
    const auto priority = static_cast<unsigned short>(
        zel::identity::priorityClass(static_cast<MODULE_ID>(std::strtoul(identity, nullptr, 10))));
    if (priority == 0) return ZEL_RESULT(ZEL_MODULE_NUMBER_INVALID, kMethod);

    const Version image = parseVersion(headers[isBootloader ? 0 : priority - 1].version);
    const bool imageIsNew =
        isNewVersion(image.major, image.minor, image.patch, isBootloader ? 0 : priority);
    bool bootloaderIsNew = false;
    bool firmwareIsNew = false;
    bool firmwarePresent = false;
    r = getBlAndFwCompatibilityInModule(&bootloaderIsNew, &firmwareIsNew, &firmwarePresent,
                                        priority);
    if (!r.ok()) return r;

    // The variant the module understands.
    bool skipReboot = false;
    bool forceReinstall = false;
    if (!isBootloader) {
        if (bootloaderIsNew && !imageIsNew)
            return ZEL_RESULT(ZEL_FIRMWARE_REVISION_INVALID, kMethod);
        r = programInit(PROGRAM_CHOICE_FIRMWARE, 0);
    } else if (!firmwarePresent) {
        return ZEL_RESULT(ZEL_FIRMWARE_NOT_LOADED, kMethod);
    } else if (!firmwareIsNew || !bootloaderIsNew) {
        skipReboot = true;
        r = programInit(PROGRAM_CHOICE_BOOTLOADER, 0);
    } else if (imageIsNew) {
        r = programInit(PROGRAM_CHOICE_BOOTLOADER, 0);
    } else {
        return ZEL_RESULT(ZEL_FIRMWARE_REVISION_INVALID, kMethod);
    }
    if (!r.ok()) return r;

    if (!skipReboot) {
        r = exchange(ZelRequest::reset(), kResetTimeoutMs, 0, kMethod);
        if (!r.ok()) return r;
        r = verifyReboot();
        if (!r.ok()) return r;
        if (isBootloader) {
            r = programInit(
                firmwareIsNew ? PROGRAM_CHOICE_BOOTLOADER_NEW : PROGRAM_CHOICE_BOOTLOADER, 0);
        } else {
            r = programInit(bootloaderIsNew ? PROGRAM_CHOICE_FIRMWARE_NEW : PROGRAM_CHOICE_FIRMWARE,
                            priority);
        }
        if (!r.ok()) return r;
    } else if (firmwareIsNew) {
        // An old bootloader under a new firmware: the firmware takes the
        // image and is reinstalled afterwards.
        forceReinstall = true;
        r = programInit(PROGRAM_CHOICE_BOOTLOADER_NEW, 0);
        if (!r.ok()) return r;
    }

    state = PROGRAMMING_SENDING;
    r = programBinary(file, isBootloader, priority);
    if (!r.ok()) return r;
    if (forceReinstall) {
        r = comm->forceFirmwareReinstall();
        if (!r.ok()) return r;
    }
    state = PROGRAMMING_FINISHING;
    ZelResults result = programFinished();

    // The module restarts with its new image; wait for it to answer again.
    waitSeconds(kFinishWaitSeconds);
    const zel::platform::Clock& clock = *comm->getClock();
    const long long start = clock.wallSeconds();
    bool back = false;
    const ZelRequest versions = ZelRequest::getConfig();
    while (!back && clock.wallSeconds() - start < kReturnSeconds) {
        ZelbusResponse any{};
        back = comm->sendCommandWait(versions, &any, kReturnCheckTimeoutMs, 0).ok();
    }
    comm->flushReadBuffer();
    state = PROGRAMMING_COMPLETE;
    if (!back) return ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kMethod);

    if (result.ok() && ((bootloaderIsNew && firmwareIsNew) ||
                        (bootloaderIsNew && !firmwareIsNew && !firmwarePresent))) {
        result = comm->setFram(kFramMarkField, 0, reinterpret_cast<const unsigned char*>(identity));
    }
    if (forceReinstall) return ZelResults(ZEL_OK, kMethod, __LINE__);
    ZelbusResponse ignored{};
    // The module restarts into its firmware; the request only prompts it,
    // and the outcome is the programming's, not this answer's.
    (void)comm->sendCommandWait(ZelRequest::connect(false), &ignored, kReconnectTimeoutMs, 0);
    return result;
}

ZelResults ZelProgramming::programInit(const PROGRAM_CHOICE& choice, unsigned short priority) {
    constexpr char kMethod[] = "ZelProgramming::programInit";
    if (priority >= 3) return ZEL_RESULT(ZEL_MODULE_NOT_IN_ZELBUS, kMethod);
    const unsigned long checksum = priority == 0 ? 0 : headers[priority - 1].checksum;
    return exchange(ZelRequest::programInit(static_cast<unsigned char>(choice), checksum),
                    kInitTimeoutMs, 0, kMethod);
}

ZelResults ZelProgramming::verifyReboot() {
    constexpr char kMethod[] = "ZelProgramming::verifyReboot";
    waitSeconds(kRebootWaitSeconds);
    const zel::platform::Clock& clock = *comm->getClock();
    const long long start = clock.wallSeconds();
    const ZelRequest request = ZelRequest::getModuleType();
    ZelResults r = ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kMethod);
    bool answered = false;
    while (!answered && clock.wallSeconds() - start < kReturnSeconds) {
        ZelbusResponse response{};
        r = comm->sendCommandWait(request, &response, kRebootCheckTimeoutMs, 0);
        answered = r.ok();
    }
    comm->flushReadBuffer();
    if (!answered) return ZEL_RESULT(ZEL_RESPONSE_TIMEOUT, kMethod);
    return r;
}

ZelResults ZelProgramming::programBinary(const char* file, bool isBootloader,
                                         unsigned short priority) {
    constexpr char kMethod[] = "ZelProgramming::programBinary";
    if (file == nullptr) return ZEL_RESULT(ZEL_NULL_POINTER, kMethod);
    bytesSent = 0;
    if (priority > 2 || (!isBootloader && priority == 0))
        return ZEL_RESULT(ZEL_FILE_READ_FAILED, kMethod);
    fileSize = static_cast<std::int32_t>(headers[isBootloader ? 0 : priority - 1].fileSizeBytes);
    zel::image::LineReader reader;
    // A file that vanished or became unreadable since its validation: no
    // data would reach the module, so the transfer must not be closed as done.
    if (!reader.open(file)) return ZEL_RESULT(ZEL_FILE_READ_FAILED, kMethod);
    const char* start = startMarker(isBootloader, priority);
    const char* end = endMarker(isBootloader, priority);
    QByteArray line;
    bool inside = false;
    while (reader.next(line)) {
        if (!inside) {
            inside = zel::image::contains(line, start);
            continue;
        }
        if (zel::image::contains(line, end)) return ZelResults(ZEL_OK, kMethod, __LINE__);
        const int length = static_cast<int>(line.size());
        if (length > kMaxDataLine) continue;
        const ZelRequest request =
            ZelRequest::programData(line.constData(), static_cast<unsigned>(length));
        bytesSent += length;
        ZelbusResponse response{};
        ZelResults r = comm->sendCommandWait(request, &response, kDataTimeoutMs, kDataRetries);
        if (!r.ok()) return r;
        // The module refuses the rest by answering another type.
        if (response.command != UDP_CMD_PROGRAM_DATA) return ZelResults(ZEL_OK, kMethod, __LINE__);
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}

ZelResults ZelProgramming::programFinished() {
    return exchange(ZelRequest::programFinished(), kFinishTimeoutMs, 0,
                    "ZelProgramming::programFinished");
}

ZelResults ZelProgramming::getBlAndFwCompatibilityInModule(bool* bootloaderIsNew,
                                                           bool* firmwareIsNew,
                                                           bool* firmwarePresent,
                                                           unsigned short priority) {
    constexpr char kMethod[] = "ZelProgramming::getBlAndFwCompatibilityInModule";
    ZelbusResponse response{};
    ZelResults r = comm->sendCommandWait(ZelRequest::getConfig(), &response, kVersionsTimeoutMs,
                                         kVersionsRetries);
    if (!r.ok()) return r;
    *firmwarePresent = false;
    if (response.command != UDP_CMD_GET_CONFIG)
        return ZEL_RESULT(ZEL_COMMAND_TYPE_MISMATCH, kMethod);
    const unsigned char* p = zelbus::params(response);
    const int count = zelbus::paramCount(response);
    Version bootloader;
    if (count > 2) bootloader = {p[5], p[7], p[9]};
    Version firmware;
    if (count > 3) {
        *firmwarePresent = true;
        if (p[10] < 0x30) {
            firmware = {p[10], p[12], p[14]};
        } else {
            // The module reports its version as text.
            const char* text = reinterpret_cast<const char*>(p);
            firmware = {std::atoi(text + 10), std::atoi(text + 12), std::atoi(text + 14)};
        }
    }
    *bootloaderIsNew = isNewVersion(bootloader.major, bootloader.minor, bootloader.patch, 0);
    if (firmware.major != kUnknownVersion) {
        *firmwareIsNew = isNewVersion(firmware.major, firmware.minor, firmware.patch, priority);
    }
    return ZelResults(ZEL_OK, kMethod, __LINE__);
}
